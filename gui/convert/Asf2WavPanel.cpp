#include "gui/convert/Asf2WavPanel.h"

#include <QMessageBox>

#include "gui/kit/QtHost.h"
#include "gui/kit/Widgets.h"

namespace mendery::ui {

void RunConverter(QWidget* owner, const QString& path, const std::function<void()>& convert) {
    RunGuarded(owner, path, convert);
}

TAsf2WavPanel::TAsf2WavPanel(QWidget* parent)
    : TToolFrame(QStringLiteral("Edit4"),
                 {QStringLiteral("转换为Wav文件"), QStringLiteral("Wav文件 (*.wav)"), QStringLiteral("wav"), QStringLiteral("Wav文件:")},
                 parent) {
    setObjectName(QStringLiteral("Asf2Wav"));
    engine_.AttachHost(Host());
}

void TAsf2WavPanel::Prepare() {
    engine_.Reset();
    ClearRun();
}

void TAsf2WavPanel::Run() {
    engine_.FileName = FileName.toStdString();
    engine_.OutFileName = WorkOutput().toStdString();
    // An error opening the files reaches the dialog's error display.
    engine_.Convert();
    FinishRun();
}

}  // namespace mendery::ui
