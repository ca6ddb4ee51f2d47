// mendery-cli wav: the audio stream of an ASF file into a WAVE file, still compressed.
#include <nlohmann/json.hpp>

#include "asf/OutputNames.h"
#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "convert/Asf2Wav.h"

namespace mendery::cli {
namespace {

struct WavArgs {
    std::string source, output;
};

int RunWav(const WavArgs& args, const CommonOptions& common) {
    CliHost host(common);
    CommandOutput output(host, common);
    if (auto refused = output.Open(args.source, args.output.empty() ? ToolOutputName(args.source, OutputFor::Wav) : args.output))
        return *refused;
    TAsf2Wav tool;
    tool.AttachHost(host);
    tool.FileName = args.source;
    tool.OutFileName = output.WorkPath();
    host.OnStopRequest = [&] { tool.Aborted = true; };
    tool.Reset();
    RunResult ran = RunResult::IoError;
    try {
        tool.Convert();
        ran = ResultOf(tool.LastOutcome());
    } catch (const IoError& e) {
        host.Log(std::string("访问文件出错: ") + e.what());
    }

    // A finished file without any audio data is no extraction: every chunk was abandoned or
    // the stream's payloads did not match (encrypted content).
    const auto& s = tool.LastSummary();
    const RunResult result = output.Finish({ran, s.objects, "音频块"});
    if (common.json) {
        nlohmann::json j = {{"tool", "wav"},
                            {"source", args.source},
                            {"stream", tool.StreamNumber()},
                            {"chunkSize", tool.ChunkSize()},
                            {"chunks", s.chunks},
                            {"abandonedChunks", s.abandoned},
                            {"mediaObjects", s.objects},
                            {"outputSize", output.Kept() ? s.outputSize : 0}};
        output.AddToJson(j);
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<WavArgs>();
    app.add_option("SOURCE", a->source, "the ASF file (.asf, .wmv, .wma)")->required();
    app.add_option("-o,--output", a->output, "output WAVE file (default: stem.wav beside the source)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunWav(*a, *common); };
}

const bool registered = RegisterCommand({"wav", "extract the audio stream into a WAVE file without decoding it", 70, Setup});

}  // namespace
}  // namespace mendery::cli
