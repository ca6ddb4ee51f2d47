// mendery-cli recover: lost-chunk recovery of a file whose chunk grid is broken.
#include <nlohmann/json.hpp>

#include "asf/OutputNames.h"
#include "cli/Commands.h"
#include "cli/CommandOutput.h"
#include "recovery/LostChunk.h"

namespace mendery::cli {
namespace {

struct RecoverArgs {
    std::string source, output;
};

int RunRecover(const RecoverArgs& args, const CommonOptions& common) {
    CliHost host(common);
    CommandOutput output(host, common);
    if (auto refused =
            output.Open(args.source, args.output.empty() ? ToolOutputName(args.source, OutputFor::LostChunk) : args.output))
        return *refused;
    TLostChunk tool;
    tool.AttachHost(host);
    tool.FileName = args.source;
    tool.OutFileName = output.WorkPath();
    host.OnStopRequest = [&] { tool.Aborted = true; };
    tool.Recover();

    const auto& s = tool.LastSummary();
    const RunResult result = output.Finish({ResultOf(tool.LastOutcome()), s.chunksWritten});
    if (common.json) {
        nlohmann::json j = {{"tool", "recover"},
                            {"source", args.source},
                            {"chunksWritten", s.chunksWritten},
                            {"resyncs", s.resyncs},
                            {"sendDurationMs", s.sendClockMs},
                            {"outputSize", output.Kept() ? s.outputSize : 0}};
        output.AddToJson(j);
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<RecoverArgs>();
    app.add_option("SOURCE", a->source, "the ASF file whose chunks are lost or broken")->required();
    app.add_option("-o,--output", a->output, "output file (default: stem.lch.ext beside the source)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunRecover(*a, *common); };
}

const bool registered =
    RegisterCommand({"recover", "lost-chunk recovery: re-synchronise a broken chunk grid, rebuild the timeline", 20, Setup});

}  // namespace
}  // namespace mendery::cli
