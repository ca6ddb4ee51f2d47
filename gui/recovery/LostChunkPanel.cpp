#include "gui/recovery/LostChunkPanel.h"

#include "gui/kit/QtHost.h"

namespace mendery::ui {

TLostChunkPanel::TLostChunkPanel(QWidget* parent)
    : TToolFrame(QStringLiteral("Edit4"),
                 {QStringLiteral("输出文件"), QStringLiteral("流文件 (*.asf *.wmv *.wma)"), QStringLiteral("asf"),
                  QStringLiteral("输出文件:")},
                 parent) {
    setObjectName(QStringLiteral("LostChunk"));
    engine_.AttachHost(Host());
}

void TLostChunkPanel::Run() {
    engine_.FileName = FileName.toStdString();
    engine_.OutFileName = WorkOutput().toStdString();
    engine_.Recover();
    FinishRun();
}

}  // namespace mendery::ui
