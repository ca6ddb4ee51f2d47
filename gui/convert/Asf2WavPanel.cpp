#include "gui/convert/Asf2WavPanel.h"

#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

Asf2WavPanel::Asf2WavPanel(QWidget* parent)
    : ToolFrame({QStringLiteral("Edit4"), QStringLiteral("Wav文件:"),
                  {QStringLiteral("转换为Wav文件"), QStringLiteral("Wav文件 (*.wav)"), QStringLiteral("wav")}},
                 parent) {
    setObjectName(QStringLiteral("Asf2Wav"));
    engine_.AttachHost(Host());
}

void Asf2WavPanel::Prepare() {
    engine_.Reset();
    ClearRun();
}

void Asf2WavPanel::Run() {
    engine_.FileName = ToStd(FileName);
    engine_.OutFileName = ToStd(WorkOutput());
    // An error opening the files reaches the dialog's error display.
    engine_.Convert();
    FinishRun();
}

}  // namespace mendery::ui
