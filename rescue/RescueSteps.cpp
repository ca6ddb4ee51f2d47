#include "rescue/RescueSteps.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <set>
#include <system_error>

#include "asf/AsfInfo.h"
#include "asf/BinaryFile.h"
#include "launch/BasicRepair.h"
#include "launch/ClipwrightCommandLines.h"
#include "launch/CodecListTransplant.h"
#include "launch/ProcessRunner.h"
#include "recovery/HeaderMend.h"
#include "recovery/HeaderRebuild.h"
#include "recovery/LostChunk.h"
#include "repair/AsfFile.h"
#include "repair/FlagFixer.h"
#include "repair/RepairPresets.h"

namespace mendery {

namespace {

// ---- planning rules ---------------------------------------------------------------------

std::optional<std::string> WhyRebuildHeader(const RescueContext& c) {
    if (!c.findings.headerUnreadable || c.reference.empty()) return std::nullopt;
    return "文件头无法读取: 用参考文件的文件头和本文件的数据块重建文件";
}

std::optional<std::string> WhyMendHeader(const RescueContext& c) {
    if (!c.findings.HeaderFieldsContradict()) return std::nullopt;
    if (c.findings.headerUnreadable) return "文件头无法读取: 先按子对象和数据块修正文件头字段 (损坏的大小, 数目和 GUID)";
    return "文件头字段与文件内容矛盾: 按子对象和数据块修正文件头字段";
}

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
    if (f.unfinalised || f.truncated) return "文件不完整: 按实际的数据块重算大小, 数据块数和时长";
    if (f.packetsPastDataEnd) return "数据对象之后还有数据块: 按实际的数据块重算大小, 数据块数和时长";
    if (f.durationsWrong) return "时长字段不对: 按数据块重算时长";
    return std::nullopt;
}

std::optional<std::string> NeedsTimesAndIndex(const RescueContext& c) {
    const auto& f = c.findings;
    if (!f.indexPresent) return "没有索引: 重建发送时间和索引, 使文件可以定位";
    if (f.gridBroken || f.damagedPackets > 0) return "有损坏: 重建发送时间, 时长和索引";
    if (f.unfinalised || f.truncated || f.durationsWrong || f.packetsPastDataEnd) return "重建发送时间, 时长和索引";
    return std::nullopt;
}

std::optional<std::string> WhyRebuildTimesAndIndex(const RescueContext& c) {
    if (!c.clipwrightProblem.empty()) return std::nullopt;
    return NeedsTimesAndIndex(c);
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

bool LogHas(const std::vector<std::string>& log, std::string_view start) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.starts_with(start); });
}

StepEnd RunRebuildHeader(const RescueContext& c, StepHost& host, const std::string& input, const std::string& output) {
    const Outcome outcome = RebuildHeaderFromReference(input, c.reference, output, host, [&c] { return c.Aborted(); });
    switch (outcome) {
        case Outcome::Done: return {outcome, true, {}};
        case Outcome::Refused: return {outcome, false, "参考文件与本文件的数据块不符 (原因见步骤日志)"};
        case Outcome::NothingUsable: return {outcome, false, "按参考文件的设置找不到数据块"};
        default: return {outcome, false, {}};
    }
}

StepEnd RunMendHeader(const RescueContext& c, StepHost& host, const std::string& input, const std::string& output) {
    bool changed = false;
    const Outcome outcome = MendHeaderFields(input, output, host, &changed, [&c] { return c.Aborted(); });
    if (outcome == Outcome::Done && changed) return {outcome, true, {}};
    if (outcome == Outcome::Done || outcome == Outcome::NotRun) {
        // Nothing was changed: either nothing contradicts the file, or the file does not say
        // what the field should be; the step log has the mend's own reason.
        const bool agrees = LogHas(host.Lines(), "文件头字段与文件内容一致");
        return {Outcome::NotRun, false, agrees ? "文件头字段与文件一致" : "文件头字段无法按文件内容确定, 未修改 (原因见步骤日志)"};
    }
    if (outcome == Outcome::Refused) return {outcome, false, "文件开头没有可修正的文件头"};
    return {outcome, false, {}};
}

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
    if (choice.removeLengthFields) {
        engine.FixPad40 = true;
        const std::set<std::int64_t> mendable(c.findings.lengthFieldPackets.begin(), c.findings.lengthFieldPackets.end());
        engine.FixForBadChunk = BadChunkAction::AskOneByOne;
        engine.OnDecideForBadChunk = [mendable, choice](TAsfFile&, BadChunkAction& action, std::int64_t index) {
            if (mendable.count(index)) action = BadChunkAction::DoNothing;
            else action = choice.deleteBadChunks ? BadChunkAction::Delete : BadChunkAction::DoNothing;
        };
    }
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
    // A packet size the first packets do not fit (and the mend could not set from the file) is
    // most often a grid shifted from the start: every block then parses as something else.
    basic.resync = c.findings.gridBroken || c.findings.damagedPackets > 0 || c.findings.packetSizeSuspect;
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
    const std::string& from = c.codecListFrom.empty() ? c.source : c.codecListFrom;
    switch (TransplantCodecList(host, from, output, [&c] { return c.Aborted(); })) {
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
    PlanRule rule;
    StepRunner runner;
};

// In the order the steps run: the header first (every tool needs one; a header that is there is
// mended before a reference's replaces it), then the packets, then
// what is rebuilt from the packets, then the header's flags and codec list.
const KindRow kKinds[] = {
    {RescueStepKind::MendHeader, "mend", "修正文件头字段", WhyMendHeader, RunMendHeader},
    {RescueStepKind::RebuildHeader, "header", "从参考文件重建文件头", WhyRebuildHeader, RunRebuildHeader},
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

// The lost-chunk recovery and the advanced repair each read damaged packets their own way, and
// either may drop what the basic repair's own resynchronising reader keeps (a grid shifted
// from its first packet, a packet cut in half). The basic repair on the packets as they were
// is one more candidate; the decode check decides.
RescueStep BasicRepairCandidate() {
    RescueStep step;
    step.kind = RescueStepKind::RebuildTimesAndIndex;
    step.title = "基础修复 (候选: 直接处理数据块步骤之前的文件)";
    step.reason = "数据块步骤可能丢掉基础修复能保留的数据: 比较两条路径, 保留解码更好的结果";
    step.fromPacketsStart = true;
    return step;
}

}  // namespace

const char* StepTitle(RescueStepKind kind) { return Row(kind).title; }
const char* StepTag(RescueStepKind kind) { return Row(kind).tag; }
StepRunner RunnerFor(RescueStepKind kind) { return Row(kind).runner; }

RepairChoice ChooseRepairOptions(const RescueFindings& f) {
    RepairChoice choice;
    // The repair pass reads packets with and without error correction data alike: in both it
    // drops only those that do not parse.
    choice.deleteBadChunks = f.damagedPackets > 0;
    choice.removeLengthFields = !f.lengthFieldPackets.empty();
    choice.fixSizesAndDurations =
        f.unfinalised || f.truncated || f.durationsWrong || f.packetsPastDataEnd || f.damagedPackets > 0;
    return choice;
}

bool IsHeaderStep(RescueStepKind kind) { return kind == RescueStepKind::RebuildHeader || kind == RescueStepKind::MendHeader; }

bool IsPacketStep(RescueStepKind kind) {
    return kind == RescueStepKind::RecoverLostChunks || kind == RescueStepKind::RepairPackets;
}

std::string ClipwrightProblem(const std::string& path) {
    if (path.empty()) return "没有找到 clipwright";
    if (std::string why = CheckInputFile(path); !why.empty()) return "clipwright 无法使用: " + path + " (" + why + ")";
    if (::access(path.c_str(), X_OK) != 0) return "clipwright 无法运行: " + path + " (" + SystemReason(errno) + ")";
    return {};
}

std::vector<RescueStep> PlanSteps(const RescueContext& context, std::vector<std::string>* skipped) {
    std::vector<RescueStep> steps;
    if (context.findings.stopped) return steps;
    // Without a readable header only a header step can help; the packet tools need one.
    if (skipped && !context.findings.headerUnreadable && !context.clipwrightProblem.empty() && NeedsTimesAndIndex(context))
        skipped->push_back("跳过基础修复 (重建时间和索引): " + context.clipwrightProblem);
    bool packetStep = false;
    for (const auto& row : kKinds) {
        if (context.findings.headerUnreadable && !IsHeaderStep(row.kind)) continue;
        if (auto reason = row.rule(context)) {
            RescueStep step;
            step.kind = row.kind;
            step.title = row.title;
            step.reason = *reason;
            packetStep |= IsPacketStep(row.kind);
            const bool basic = row.kind == RescueStepKind::RebuildTimesAndIndex;
            steps.push_back(std::move(step));
            if (basic && packetStep) steps.push_back(BasicRepairCandidate());
        }
    }
    return steps;
}

}  // namespace mendery
