// A scripted rescue for the window test while the rescue library is not in the tree: two
// steps that log, let events run and copy the source to the staged output.
#include <filesystem>

#include "asf/StagedOutput.h"
#include "rescue/Rescue.h"

namespace mendery {

std::int64_t DecodeCheck::Frames() const {
    std::int64_t n = 0;
    for (const auto& s : streams) n += s.frames;
    return n;
}

namespace {
DecodeCheck Check(double seconds, std::int64_t frames) {
    DecodeCheck c;
    c.opened = true;
    c.playableSeconds = seconds;
    c.streams = {{1, "音频", frames * 2}, {2, "视频", frames}};
    c.seekable = seconds > 5;
    return c;
}
}  // namespace

const RescueReport& RescueRun::Run() {
    report_ = {};
    report_.diagnosis = {"数据包已损坏: 3 个", "没有索引"};
    report_.before = Check(3.5, 40);
    for (auto kind : {RescueStepKind::RepairPackets, RescueStepKind::FixFlags}) {
        RescueStep step;
        step.kind = kind;
        step.title = kind == RescueStepKind::RepairPackets ? "高级修复" : "设置可定位";
        step.reason = "脚本";
        report_.steps.push_back(step);
    }
    if (observer_) observer_->Diagnosed(report_);
    StagedOutput staged(OutFileName);
    for (std::size_t i = 0; i < report_.steps.size(); ++i) {
        RescueStep& step = report_.steps[i];
        if (observer_) observer_->StepStarted(i, step);
        for (int k = 0; k < 20 && !Aborted; ++k) {
            step.log.push_back("行 " + std::to_string(k));
            host_->ProcessMessages();
        }
        step.outcome = Aborted ? Outcome::Aborted : Outcome::Done;
        step.kept = !Aborted;
        if (!Aborted) step.check = Check(10, 100);
        if (observer_) observer_->StepEnded(i, step);
        if (Aborted) {
            report_.outcome = Outcome::Aborted;
            return report_;
        }
    }
    std::filesystem::copy_file(FileName, staged.TempPath(), std::filesystem::copy_options::overwrite_existing);
    staged.Commit();
    report_.after = Check(10, 100);
    report_.output = OutFileName;
    report_.outcome = Outcome::Done;
    return report_;
}

std::vector<std::string> RescueTable(const RescueReport&) { return {"项目 修复前 修复后"}; }

}  // namespace mendery
