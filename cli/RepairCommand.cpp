// mendery-cli repair: the advanced repair engine with every option and the dialog's presets.
#include <map>
#include <nlohmann/json.hpp>

#include "asf/OutputNames.h"
#include "cli/Commands.h"
#include "cli/CommandOutput.h"
#include "repair/AsfFile.h"
#include "repair/RepairPresets.h"

namespace mendery::cli {
namespace {

struct RepairArgs {
    std::string source, output, preset = "custom";
    std::string badChunks, seekable, live, otherFlags;
    bool fixFileSize = false, fixDataSize = false, fixChunkCount = false, fixTimeCodes = false;
    bool fixTotalTime = false, fixPlayTime = false, fixPad08 = false, fixPad10 = false, fixPad40 = false;
    bool stripHeader = false, stripIndex = false, cleanHeader = false, detail = false;
};

const std::map<std::string, BadChunkAction> kBadChunkNames = {
    {"nothing", BadChunkAction::DoNothing},    {"ask", BadChunkAction::AskOneByOne},
    {"delete", BadChunkAction::Delete},        {"zero", BadChunkAction::FillWithZero},
    {"copy-last", BadChunkAction::CopyLastGood}, {"delete-last", BadChunkAction::DeletePlusLastGood}};
const std::map<std::string, SeekableFlagChange> kSeekableNames = {
    {"keep", SeekableFlagChange::Keep}, {"enable", SeekableFlagChange::Enable}, {"disable", SeekableFlagChange::Disable}};
const std::map<std::string, LiveFlagChange> kLiveNames = {
    {"keep", LiveFlagChange::Keep}, {"set", LiveFlagChange::Set}, {"reset", LiveFlagChange::Reset}};
const std::map<std::string, OtherFlagsChange> kOtherNames = {
    {"keep", OtherFlagsChange::Keep}, {"clear", OtherFlagsChange::ClearAll}};

template <typename Map>
std::vector<std::string> Keys(const Map& m) {
    std::vector<std::string> out;
    for (const auto& [k, v] : m) out.push_back(k);
    return out;
}

void ApplyArgs(TAsfFile& e, const RepairArgs& a) {
    ApplyPreset(e, *FindRepairPreset(a.preset));
    if (!a.badChunks.empty()) e.FixForBadChunk = kBadChunkNames.at(a.badChunks);
    if (!a.seekable.empty()) e.FileSeekableFlag = kSeekableNames.at(a.seekable);
    if (!a.live.empty()) e.LiveFlag = kLiveNames.at(a.live);
    if (!a.otherFlags.empty()) e.OtherFlags = kOtherNames.at(a.otherFlags);
    e.FixFileSize |= a.fixFileSize;
    e.FixDataSize |= a.fixDataSize;
    e.FixChunkCount |= a.fixChunkCount;
    e.FixTimeCodes |= a.fixTimeCodes;
    e.FixTotalTime |= a.fixTotalTime;
    e.FixPlayTime |= a.fixPlayTime;
    e.FixPad08 |= a.fixPad08;
    e.FixPad10 |= a.fixPad10;
    e.FixPad40 |= a.fixPad40;
    e.StripHeader |= a.stripHeader;
    e.StripIndex |= a.stripIndex;
    e.CleanHeader |= a.cleanHeader;
    e.WriteLog |= a.detail;
}

// The five answers of the bad-chunk dialog, in its order.
const std::vector<std::pair<std::string, BadChunkAction>> kBadChunkAnswers = {
    {"跳过此数据块", BadChunkAction::DoNothing},     {"删除它", BadChunkAction::Delete},
    {"以零填充", BadChunkAction::FillWithZero},      {"复制最后好的", BadChunkAction::CopyLastGood},
    {"删除+恢复最近", BadChunkAction::DeletePlusLastGood}};

int RunRepair(const RepairArgs& args, const CommonOptions& common) {
    CliHost host(common);
    CommandOutput output(host, common);
    if (auto refused = output.Open(args.source, args.output.empty() ? ToolOutputName(args.source, OutputFor::AdvancedRepair)
                                                                    : args.output))
        return *refused;
    TAsfFile engine;
    engine.AttachHost(host);
    ApplyArgs(engine, args);
    engine.FileName = args.source;
    engine.OutFileName = output.WorkPath();
    int lastAnswer = 0;
    engine.OnDecideForBadChunk = [&](TAsfFile&, BadChunkAction& what, std::int64_t index) {
        std::vector<std::string> captions;
        for (const auto& a : kBadChunkAnswers) captions.push_back(a.first);
        lastAnswer = host.Choose("侦测损坏的数据块 - 数据块数量: " + std::to_string(index), captions, lastAnswer);
        what = kBadChunkAnswers[lastAnswer].second;
    };
    host.OnStopRequest = [&] { engine.Aborted = true; };

    engine.Run();

    const auto& s = engine.LastSummary();
    const RunResult result = output.Finish({ResultOf(engine.LastOutcome()), s.chunkCount});
    if (common.json) {
        nlohmann::json j = {{"tool", "repair"},
                            {"source", args.source},
                            {"chunkSize", engine.ChunkSize()},
                            {"blocks", s.blocks},
                            {"goodChunks", s.goodChunks},
                            {"badChunks", s.badChunks},
                            {"shortChunks", s.shortChunks},
                            {"indexBlocks", s.indexBlocks},
                            {"chunksWritten", s.chunkCount},
                            {"outputSize", output.Kept() ? s.outputSize : 0},
                            {"sendDurationMs", s.sendDurationMs},
                            {"badChunkIndexes", s.badChunkIndexes}};
        output.AddToJson(j);
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<RepairArgs>();
    app.add_option("SOURCE", a->source, "the damaged ASF file")->required();
    app.add_option("-o,--output", a->output, "output file (default: stem.adv.ext beside the source)");
    std::vector<std::string> presets;
    for (const auto& p : RepairPresets()) presets.emplace_back(p.cliName);
    app.add_option("--preset", a->preset, "options of one of the repair dialog's presets; options given after it add to it")
        ->check(CLI::IsMember(presets));
    app.add_option("--bad-chunks", a->badChunks, "what to do with chunks whose signature is bad")
        ->check(CLI::IsMember(Keys(kBadChunkNames)));
    app.add_option("--seekable", a->seekable, "seekable flag")->check(CLI::IsMember(Keys(kSeekableNames)));
    app.add_option("--live", a->live, "broadcast (live) flag")->check(CLI::IsMember(Keys(kLiveNames)));
    app.add_option("--other-flags", a->otherFlags, "the other flag bits")->check(CLI::IsMember(Keys(kOtherNames)));
    app.add_flag("--fix-file-size", a->fixFileSize, "rewrite the file size field");
    app.add_flag("--fix-data-size", a->fixDataSize, "rewrite the data object size");
    app.add_flag("--fix-chunk-count", a->fixChunkCount, "rewrite the data packet counts");
    app.add_flag("--fix-time-codes", a->fixTimeCodes, "rewrite every chunk's send time in sequence");
    app.add_flag("--fix-total-time", a->fixTotalTime, "rewrite the play duration");
    app.add_flag("--fix-play-time", a->fixPlayTime, "rewrite the send duration");
    app.add_flag("--fix-pad08", a->fixPad08, "recompute one-byte padding length fields");
    app.add_flag("--fix-pad10", a->fixPad10, "recompute two-byte padding length fields");
    app.add_flag("--fix-pad40", a->fixPad40, "remove two-byte packet length fields");
    app.add_flag("--strip-header", a->stripHeader, "write no header (chunks and index only)");
    app.add_flag("--strip-index", a->stripIndex, "leave the index object out");
    app.add_flag("--clean-header", a->cleanHeader, "drop header objects other than the essential ones");
    app.add_flag("--detail", a->detail, "log a detail line for every chunk (slow)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunRepair(*a, *common); };
}

const bool registered = RegisterCommand({"repair", "advanced repair: copy chunk by chunk, fix damaged chunks, times, padding, header", 10, Setup});

}  // namespace
}  // namespace mendery::cli
