#include "gui/recovery/ShrinkerPanel.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

ShrinkerPanel::ShrinkerPanel(QWidget* parent)
    : ToolFrame({QStringLiteral("Edit4"), QStringLiteral("输出文件:"),
                  {QStringLiteral("输出文件"), QStringLiteral("流媒体文件(*.asf,*.wmv,*.wma) (*.asf *.wmv *.wma)"),
                   QStringLiteral("asf")}},
                 parent) {
    setObjectName(QStringLiteral("Shrinker"));
    ExtraCompressionBox = new QCheckBox(QStringLiteral("应用加强缩减 (慎用)"), this);
    ExtraCompressionBox->setObjectName(QStringLiteral("CheckBox1"));
    ExtraCompressionBox->setChecked(true);
    Options()->addWidget(ExtraCompressionBox);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setMinimumWidth(230);
    RatioPanel = new QLabel(frame);
    RatioPanel->setObjectName(QStringLiteral("Panel1"));
    (new QHBoxLayout(frame))->addWidget(RatioPanel);
    Counters()->addWidget(frame);
    engine_.AttachHost(Host());
    engine_.OnRatioText = [this](const std::string& text) { RatioPanel->setText(ToQt(text)); };
}

void ShrinkerPanel::DisableExtraCompression() {
    ExtraCompressionBox->setChecked(false);
    ExtraCompressionBox->setEnabled(false);
}

void ShrinkerPanel::Prepare() {
    ClearRun();
    RatioPanel->clear();
}

void ShrinkerPanel::Run() {
    engine_.FileName = ToStd(FileName);
    engine_.OutFileName = ToStd(WorkOutput());
    engine_.ExtraCompression = ExtraCompressionBox->isChecked();
    // The cutting tool of the extra stage is the one beside the program, as for every other run.
    engine_.Shrink();
    FinishRun();
}

}  // namespace mendery::ui
