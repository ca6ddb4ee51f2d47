// mendery-cli avi: video and audio of an ASF file rewrapped into an AVI 1.0 file, then the
// header edits of the converter's panel (--fps, --divx) applied to the finished file.
#include <nlohmann/json.hpp>

#include "app/OutputNames.h"
#include "cli/Commands.h"
#include "cli/ConvertExit.h"
#include "convert/AsfToAvi.h"

namespace mendery::cli {
namespace {

struct AviArgs {
    std::string source, output, timing = "average", fps;
    bool quickResync = false, divx = false;
};

int RunAvi(const AviArgs& args, const CommonOptions& common) {
    CliHost host(common);
    TAsf2Avi tool;
    tool.AttachHost(host);
    tool.FileName = args.source;
    tool.OutFileName = args.output.empty() ? ToolOutputName(args.source, OutputFor::Avi) : args.output;
    tool.Reset();
    tool.TimingMethod = args.timing == "fastest" ? tmBestSync : tmFewestDuplicates;
    tool.QuickReSync = args.quickResync;
    host.OnStopRequest = [&] { tool.Aborted = true; };
    try {
        tool.Convert();
        host.FinishProgress();
        const bool finished = tool.LastOutcome() == TConvertOutcome::Done || tool.LastOutcome() == TConvertOutcome::Aborted;
        if (finished && !args.fps.empty()) {
            tool.Fields.framesPerSecond = args.fps;
            tool.UpgradeAvi();
        }
        if (finished && args.divx && !tool.MakeDivX())
            host.Say("--divx: 视频压缩格式 \"" + tool.HeaderImage().FourCC(avi::VideoCompression) +
                     "\" 不是 MP42 或 MP43, 未改变");
    } catch (const IoError& e) {
        host.Log(std::string("访问文件出错: ") + e.what());
        return kExitIo;
    }

    const auto outcome = tool.LastOutcome();
    const bool wrote = FileExists(tool.OutFileName) && WroteOutput(outcome);
    if (wrote) host.Say("输出文件: " + tool.OutFileName);
    if (common.json) {
        const auto& s = tool.LastSummary();
        const auto& h = tool.HeaderImage();
        nlohmann::json j = {{"tool", "avi"},
                            {"source", args.source},
                            {"output", wrote ? nlohmann::json(tool.OutFileName) : nlohmann::json(nullptr)},
                            {"result", ConvertOutcomeName(outcome)},
                            {"videoStream", tool.VideoStream()},
                            {"audioStream", tool.AudioStream()},
                            {"chunkSize", tool.ChunkSize()},
                            {"chunks", s.chunks},
                            {"abandonedChunks", s.abandoned},
                            {"videoFrames", tool.VideoFrames()},
                            {"addedFrames", tool.AddedFrames()},
                            {"microSecPerFrame", h.U32(avi::MicroSecPerFrame)},
                            {"framesPerSecond", tool.Fields.framesPerSecond},
                            {"videoFourCC", h.FourCC(avi::VideoCompression)},
                            {"outputSize", s.outputSize}};
        std::printf("%s\n", j.dump(2).c_str());
    }
    // A finished file without a single video frame is no conversion (its log says so).
    if (outcome == TConvertOutcome::Done && tool.VideoFrames() == 0) return kExitRefused;
    return ConvertExitCode(outcome);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<AviArgs>();
    app.add_option("SOURCE", a->source, "the ASF file (.asf, .wmv)")->required()->check(CLI::ExistingFile);
    app.add_option("-o,--output", a->output, "output AVI file (default: stem.avi beside the source)");
    app.add_option("--timing", a->timing,
                   "frame duration: average (fewest duplicated frames) or fastest (best audio/video sync)")
        ->check(CLI::IsMember({"average", "fastest"}));
    app.add_flag("--quick-resync", a->quickResync, "insert bursts of empty frames at key frames to catch up quickly");
    app.add_flag("--divx", a->divx, "relabel MPEG-4 v2/v3 video as DivX (MP42 -> DIV2, MP43 -> DIV3) afterwards");
    app.add_option("--fps", a->fps, "write this frame rate into the finished file's header afterwards");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunAvi(*a, *common); };
}

const bool registered = RegisterCommand({"avi", "rewrap video and audio into an AVI 1.0 file without decoding", 60, Setup});

}  // namespace
}  // namespace mendery::cli
