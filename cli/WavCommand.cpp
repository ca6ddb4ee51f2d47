// mendery-cli wav: the audio stream of an ASF file into a WAVE file, still compressed.
#include <nlohmann/json.hpp>

#include "app/OutputNames.h"
#include "cli/Commands.h"
#include "convert/AsfToWav.h"
#include "cli/ConvertExit.h"

namespace mendery::cli {
namespace {

struct WavArgs {
    std::string source, output;
};

int RunWav(const WavArgs& args, const CommonOptions& common) {
    CliHost host(common);
    TAsf2Wav tool;
    tool.AttachHost(host);
    tool.FileName = args.source;
    tool.OutFileName = args.output.empty() ? ToolOutputName(args.source, OutputFor::Wav) : args.output;
    host.OnStopRequest = [&] { tool.Aborted = true; };
    tool.Reset();
    try {
        tool.Convert();
    } catch (const IoError& e) {
        host.Log(std::string("访问文件出错: ") + e.what());
        return kExitIo;
    }
    host.FinishProgress();

    const auto outcome = tool.LastOutcome();
    const bool wrote = FileExists(tool.OutFileName) && WroteOutput(outcome);
    if (wrote) host.Say("输出文件: " + tool.OutFileName);
    if (common.json) {
        const auto& s = tool.LastSummary();
        nlohmann::json j = {{"tool", "wav"},
                            {"source", args.source},
                            {"output", wrote ? nlohmann::json(tool.OutFileName) : nlohmann::json(nullptr)},
                            {"result", ConvertOutcomeName(outcome)},
                            {"stream", tool.StreamNumber()},
                            {"chunkSize", tool.ChunkSize()},
                            {"chunks", s.chunks},
                            {"abandonedChunks", s.abandoned},
                            {"mediaObjects", s.objects},
                            {"outputSize", s.outputSize}};
        std::printf("%s\n", j.dump(2).c_str());
    }
    // A finished file without any audio data is no extraction: every chunk was abandoned or
    // the stream's payloads did not match (encrypted content).
    if (outcome == TConvertOutcome::Done && tool.LastSummary().objects == 0) return kExitRefused;
    return ConvertExitCode(outcome);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<WavArgs>();
    app.add_option("SOURCE", a->source, "the ASF file (.asf, .wmv, .wma)")->required()->check(CLI::ExistingFile);
    app.add_option("-o,--output", a->output, "output WAVE file (default: stem.wav beside the source)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunWav(*a, *common); };
}

const bool registered = RegisterCommand({"wav", "extract the audio stream into a WAVE file without decoding it", 70, Setup});

}  // namespace
}  // namespace mendery::cli
