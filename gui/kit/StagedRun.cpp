#include "gui/kit/StagedRun.h"

#include <QFileInfo>

#include "asf/StagedOutput.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

void SettleStagedOutput(QtHost& log, StagedOutput& staged, RunEnd end, bool targetExisted) {
    if (end == RunEnd::Nothing) {
        staged.Discard();
        log.Log(targetExisted ? "没有生成输出文件, 已有的文件保持不变: " + staged.Target() : std::string("没有生成输出文件."));
        return;
    }
    staged.Commit();
    if (end == RunEnd::Partial) log.Log("输出文件不完整 (已中止), 只包含中止前写入的部分: " + staged.Target());
}

RunEnd RunStagedOutput(QtHost& log, const QString& target, const std::function<RunEnd(const QString&)>& run) {
    const bool existed = QFileInfo::exists(target);
    StagedOutput staged(ToStd(target));  // discards the temporary file unless committed
    const RunEnd end = run(ToQt(staged.TempPath()));
    SettleStagedOutput(log, staged, end, existed);
    return end;
}

}  // namespace mendery::ui
