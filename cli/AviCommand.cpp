// mendery-cli avi: video and audio of an ASF file rewrapped into an AVI 1.0 file, then the
// header edits of the converter's panel (--fps, --divx) applied to the finished file.
#include <nlohmann/json.hpp>

#include "asf/OutputNames.h"
#include "cli/Commands.h"
#include "cli/CommandOutput.h"
#include "convert/Asf2Avi.h"

namespace mendery::cli {
namespace {

struct AviArgs {
    std::string source, output, timing = "average", fps;
    bool quickResync = false, divx = false;
};

int RunAvi(const AviArgs& args, const CommonOptions& common) {
    CliHost host(common);
    CommandOutput output(host, common);
    if (auto refused = output.Open(args.source, args.output.empty() ? ToolOutputName(args.source, OutputFor::Avi) : args.output))
        return *refused;
    TAsf2Avi tool;
    tool.AttachHost(host);
    tool.FileName = args.source;
    tool.OutFileName = output.WorkPath();
    tool.Reset();
    tool.TimingMethod = args.timing == "fastest" ? tmBestSync : tmFewestDuplicates;
    tool.QuickReSync = args.quickResync;
    host.OnStopRequest = [&] { tool.Aborted = true; };
    RunResult ran = RunResult::IoError;
    try {
        tool.Convert();
        host.FinishProgress();
        ran = ResultOf(tool.LastOutcome());
        // The header edits go into the temporary file, before it is put in place.
        const bool finished = ran == RunResult::Done || ran == RunResult::Stopped;
        if (finished && !args.fps.empty()) {
            tool.Fields.framesPerSecond = args.fps;
            tool.UpgradeAvi();
        }
        if (finished && args.divx && !tool.MakeDivX())
            host.Say("--divx: 视频压缩格式 \"" + tool.HeaderImage().FourCC(avi::VideoCompression) +
                     "\" 不是 MP42 或 MP43, 未改变");
    } catch (const IoError& e) {
        host.Log(std::string("访问文件出错: ") + e.what());
        ran = RunResult::IoError;
    }

    // A finished file without a single video frame is no conversion (its log says so).
    const auto& s = tool.LastSummary();
    const RunResult result = output.Finish({ran, static_cast<std::int64_t>(tool.VideoFrames()), "视频帧"});
    if (common.json) {
        const auto& h = tool.HeaderImage();
        nlohmann::json j = {{"tool", "avi"},
                            {"source", args.source},
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
                            {"outputSize", output.Kept() ? s.outputSize : 0}};
        output.AddToJson(j);
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<AviArgs>();
    app.add_option("SOURCE", a->source, "the ASF file (.asf, .wmv)")->required();
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
