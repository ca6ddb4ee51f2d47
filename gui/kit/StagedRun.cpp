#include "gui/kit/StagedRun.h"

#include <QFileInfo>

#include "asf/StagedOutput.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

void SettleStagedOutput(TQtHost& log, StagedOutput& staged, TRunEnd end, bool targetExisted) {
    if (end == TRunEnd::Nothing) {
        staged.Discard();
        log.Log(targetExisted ? "没有生成输出文件, 已有的文件保持不变: " + staged.Target() : std::string("没有生成输出文件."));
        return;
    }
    staged.Commit();
    if (end == TRunEnd::Partial) log.Log("输出文件不完整 (已中止), 只包含中止前写入的部分: " + staged.Target());
}

TRunEnd RunStagedOutput(TQtHost& log, const QString& target, const std::function<TRunEnd(const QString&)>& run) {
    const bool existed = QFileInfo::exists(target);
    StagedOutput staged(ToStd(target));  // discards the temporary file unless committed
    const TRunEnd end = run(ToQt(staged.TempPath()));
    SettleStagedOutput(log, staged, end, existed);
    return end;
}

}  // namespace mendery::ui
