#include "rescue/RescueSteps.h"

#include <csignal>
#include <filesystem>
#include <system_error>

#include "asf/AsfInfo.h"
#include "asf/BinaryFile.h"
#include "launch/BasicRepair.h"
#include "launch/ClipwrightCommandLines.h"
#include "launch/CodecListTransplant.h"
#include "launch/ProcessRunner.h"
#include "recovery/LostChunk.h"
#include "repair/AsfFile.h"
#include "repair/FlagFixer.h"
#include "repair/RepairPresets.h"

namespace mendery {

namespace {

// ---- planning rules ---------------------------------------------------------------------

std::optional<std::string> WhyRecoverLostChunks(const RescueContext& c) {
    if (!c.findings.gridBroken) return std::nullopt;
    return "数据块网格已断开 (偏移 " + std::to_string(c.findings.shiftedPacketAt) + " 处有错位的数据块), 需要逐字节重新同步";
}

std::optional<std::string> WhyRepairPackets(const RescueContext& c) {
    const auto& f = c.findings;
    // Lost-chunk recovery re-times a broken grid; the repair pass would read it on the grid.
    if (f.gridBroken) return std::nullopt;
    if (f.damagedPackets > 0)
        return "网格完整, 有 " + std::to_string(f.damagedPackets) + " 个损坏的数据块: 删除它们, 重算大小和时长";
    if (f.headerSizeDamaged) return "文件头对象的大小字段已损坏: 按子对象重写文件头";
    if (f.unfinalised || f.truncated) return "文件不完整: 按实际的数据块重算大小, 数据块数和时长";
    if (f.durationsWrong) return "时长字段不对: 按数据块重算时长";
    return std::nullopt;
}

std::optional<std::string> WhyRebuildTimesAndIndex(const RescueContext& c) {
    const auto& f = c.findings;
    if (!f.indexPresent) return "没有索引: 重建发送时间和索引, 使文件可以定位";
    if (f.gridBroken || f.damagedPackets > 0) return "有损坏: 重建发送时间, 时长和索引";
    if (f.unfinalised || f.truncated || f.durationsWrong) return "重建发送时间, 时长和索引";
    return std::nullopt;
}

std::optional<std::string> WhyFixFlags(const RescueContext& c) {
    if (c.findings.seekableFlag) return std::nullopt;
    return "可定位标志未设置";
}

std::optional<std::string> WhyTransplantCodecList(const RescueContext& c) {
    // clipwright writes no codec list; players show the codec names from the source's.
    if (!c.findings.hasCodecList || !WhyRebuildTimesAndIndex(c)) return std::nullopt;
    return "基础修复的输出没有编解码器列表: 从源文件复制";
}

// ---- runners ----------------------------------------------------------------------------

StepEnd FromOutcome(Outcome outcome) { return {outcome, outcome == Outcome::Done, {}}; }

StepEnd RunRecoverLostChunks(const RescueContext& c, StepHost& host, const std::string& input, const std::string& output) {
    TLostChunk tool;
    tool.AttachHost(host);
    tool.FileName = input;
    tool.OutFileName = output;
    host.AfterEvents = [&] { if (c.Aborted()) tool.Aborted = true; };
    tool.Recover();
    return FromOutcome(tool.LastOutcome());
}

StepEnd RunRepairPackets(const RescueContext& c, StepHost& host, const std::string& input, const std::string& output) {
    TAsfFile engine;
    engine.AttachHost(host);
    engine.FileName = input;
    engine.OutFileName = output;
    const RepairChoice choice = ChooseRepairOptions(c.findings);
    ApplyPreset(engine, choice.fixSizesAndDurations ? RepairPreset::RepairPartialFile : RepairPreset::RepairBadChunks);
    if (choice.deleteBadChunks) engine.FixForBadChunk = BadChunkAction::Delete;
    host.AfterEvents = [&] { if (c.Aborted()) engine.Aborted = true; };
    return FromOutcome(engine.Run());
}

StepEnd RunRebuildTimesAndIndex(const RescueContext& c, StepHost& host, const std::string& input, const std::string& output) {
    if (const std::string why = CheckInputFile(c.clipwright); c.clipwright.empty() || !why.empty()) {
        host.Log("找不到 clipwright: " + c.clipwright + (why.empty() ? "" : " (" + why + ")"));
        return {Outcome::Refused, false, "找不到 clipwright"};
    }
    RunOptions options;
    options.stopSignal = [&c] { return c.Aborted() ? SIGTERM : 0; };
    const ToolRunner tool = MakeToolRunner(host, c.clipwright, options);
    BasicRepairOptions basic;
    basic.resync = c.findings.gridBroken || c.findings.damagedPackets > 0;
    RunResult result;
    const bool finished =
        RunFinished(host, tool, BasicRepairNewParameters(input, output, basic), "基础修复", kStoppedNoOutput, result);
    for (const auto& m : result.messages) host.Log(m);
    if (c.Aborted() || result.Stopped()) return {Outcome::Aborted, false, {}};
    if (!finished) return {Outcome::Failed, false, result.started ? ToolFailureText(result, "基础修复") : "clipwright 无法启动"};
    return {Outcome::Done, true, {}};
}

bool CopyInto(StepHost& host, const std::string& input, const std::string& output) {
    std::error_code ec;
    std::filesystem::copy_file(input, output, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) host.Log("无法复制到工作文件 " + output + ": " + SystemReason(ec.value()));
    return !ec;
}

StepEnd RunFixFlags(const RescueContext&, StepHost& host, const std::string& input, const std::string& output) {
    // An earlier step may have set the flag already; the fixer would then offer to mark the
    // file live, which a rescue never does.
    const AsfInfo info = InspectAsf(input);
    if (info.fileProperties && (info.fileProperties->flags & fp::FlagSeekable))
        return {Outcome::NotRun, false, "已经是可定位的, 无需修改"};
    if (!CopyInto(host, input, output)) return {Outcome::Failed, false, "无法复制到工作文件"};
    FlagFixer fixer(host);
    switch (fixer.FixFlags(output)) {
        case FlagFixResult::SetSeekable: return {Outcome::Done, true, {}};
        case FlagFixResult::NewStyle: return {Outcome::NotRun, false, "标志字段使用了新的位, 保持不变"};
        case FlagFixResult::IoFailed: return {Outcome::Failed, false, {}};
        default: return {Outcome::Refused, false, {}};
    }
}

StepEnd RunTransplantCodecList(const RescueContext& c, StepHost& host, const std::string& input, const std::string& output) {
    if (!CopyInto(host, input, output)) return {Outcome::Failed, false, "无法复制到工作文件"};
    switch (TransplantCodecList(host, c.source, output, [&c] { return c.Aborted(); })) {
        case TransplantResult::Done: return {Outcome::Done, true, {}};
        case TransplantResult::OutputHasOne: return {Outcome::NotRun, false, "结果中已有编解码器列表"};
        case TransplantResult::NoCodecList: return {Outcome::NotRun, false, "源文件中没有可用的编解码器列表"};
        case TransplantResult::Stopped: return {Outcome::Aborted, false, {}};
        case TransplantResult::Failed: return {Outcome::Failed, false, {}};
        default: return {Outcome::Refused, false, {}};
    }
}

// ---- the tables -------------------------------------------------------------------------

struct KindRow {
    RescueStepKind kind;
    const char* tag;
    const char* title;
    PlanRule rule;      // null: never planned yet
    StepRunner runner;  // null: not available yet
};

// In the order the steps run: the header first (every tool needs one), then the packets, then
// what is rebuilt from the packets, then the header's flags and codec list.
const KindRow kKinds[] = {
    {RescueStepKind::RebuildHeader, "header", "从参考文件重建文件头", nullptr, nullptr},
    {RescueStepKind::MendHeader, "mend", "修正文件头字段", nullptr, nullptr},
    {RescueStepKind::RecoverLostChunks, "lch", "丢失数据块恢复", WhyRecoverLostChunks, RunRecoverLostChunks},
    {RescueStepKind::RepairPackets, "adv", "高级修复", WhyRepairPackets, RunRepairPackets},
    {RescueStepKind::RebuildTimesAndIndex, "bsr", "基础修复 (重建时间和索引)", WhyRebuildTimesAndIndex, RunRebuildTimesAndIndex},
    {RescueStepKind::FixFlags, "flags", "设置可定位标志", WhyFixFlags, RunFixFlags},
    {RescueStepKind::TransplantCodecList, "codecs", "复制编解码器列表", WhyTransplantCodecList, RunTransplantCodecList},
};

const KindRow& Row(RescueStepKind kind) {
    for (const auto& row : kKinds)
        if (row.kind == kind) return row;
    return kKinds[0];
}

}  // namespace

const char* StepTitle(RescueStepKind kind) { return Row(kind).title; }
const char* StepTag(RescueStepKind kind) { return Row(kind).tag; }
StepRunner RunnerFor(RescueStepKind kind) { return Row(kind).runner; }

RepairChoice ChooseRepairOptions(const RescueFindings& f) {
    RepairChoice choice;
    // The repair pass tells a bad packet by its signature: in a file whose packets carry none
    // every packet would look bad, so nothing is deleted there.
    choice.deleteBadChunks = f.damagedPackets > 0 && f.packetsSigned;
    choice.fixSizesAndDurations =
        f.unfinalised || f.truncated || f.durationsWrong || f.damagedPackets > 0 || f.headerSizeDamaged;
    return choice;
}

std::vector<RescueStep> PlanSteps(const RescueContext& context) {
    std::vector<RescueStep> steps;
    if (context.findings.stopped) return steps;
    for (const auto& row : kKinds) {
        if (!row.rule || !row.runner) continue;
        // Without a readable header only a header step can help; the packet tools need one.
        const bool headerKind = row.kind == RescueStepKind::RebuildHeader || row.kind == RescueStepKind::MendHeader;
        if (context.findings.headerUnreadable && !headerKind) continue;
        if (auto reason = row.rule(context)) {
            RescueStep step;
            step.kind = row.kind;
            step.title = row.title;
            step.reason = *reason;
            steps.push_back(std::move(step));
        }
    }
    return steps;
}

}  // namespace mendery
