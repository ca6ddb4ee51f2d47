#include "gui/recovery/LostChunkPanel.h"

#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

LostChunkPanel::LostChunkPanel(QWidget* parent)
    : ToolFrame({QStringLiteral("Edit4"), QStringLiteral("输出文件:"),
                  {QStringLiteral("输出文件"), QStringLiteral("流文件 (*.asf *.wmv *.wma)"), QStringLiteral("asf")}},
                 parent) {
    setObjectName(QStringLiteral("LostChunk"));
    engine_.AttachHost(Host());
}

void LostChunkPanel::Run() {
    engine_.FileName = ToStd(FileName);
    engine_.OutFileName = ToStd(WorkOutput());
    engine_.Recover();
    FinishRun();
}

}  // namespace mendery::ui
