#include "gui/recovery/ShrinkerPanel.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <QCoreApplication>
#include "gui/kit/QtHost.h"

namespace mendery::ui {

TShrinkerPanel::TShrinkerPanel(QWidget* parent)
    : TToolFrame(QStringLiteral("Edit4"),
                 {QStringLiteral("输出文件"), QStringLiteral("流媒体文件(*.asf,*.wmv,*.wma) (*.asf *.wmv *.wma)"),
                  QStringLiteral("asf"), QStringLiteral("输出文件:")},
                 parent) {
    setObjectName(QStringLiteral("Shrinker"));
    CheckBox1 = new QCheckBox(QStringLiteral("应用加强缩减 (慎用)"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    Options()->addWidget(CheckBox1);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setMinimumWidth(230);
    Panel1 = new QLabel(frame);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    (new QHBoxLayout(frame))->addWidget(Panel1);
    Counters()->addWidget(frame);
    engine_.AttachHost(Host());
    engine_.OnRatioText = [this](const std::string& text) { Panel1->setText(QString::fromStdString(text)); };
}

void TShrinkerPanel::DisableExtraCompression() {
    CheckBox1->setChecked(false);
    CheckBox1->setEnabled(false);
}

void TShrinkerPanel::Prepare() {
    ClearRun();
    Panel1->clear();
}

void TShrinkerPanel::Run() {
    engine_.FileName = FileName.toStdString();
    engine_.OutFileName = WorkOutput().toStdString();
    engine_.ExtraCompression = CheckBox1->isChecked();
    engine_.ToolDirectory = QCoreApplication::applicationDirPath().toStdString();
    engine_.Shrink();
    FinishRun();
}

}  // namespace mendery::ui
