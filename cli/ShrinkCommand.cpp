// mendery-cli shrink: cuts the unused tail off every chunk and trims the header.
#include <nlohmann/json.hpp>

#include "asf/OutputNames.h"
#include "cli/Commands.h"
#include "cli/CommandOutput.h"
#include "recovery/Shrinker.h"

namespace mendery::cli {
namespace {

struct ShrinkArgs {
    std::string source, output;
    bool noExtra = false;
};

int RunShrink(const ShrinkArgs& args, const CommonOptions& common) {
    CliHost host(common);
    CommandOutput output(host, common);
    if (auto refused =
            output.Open(args.source, args.output.empty() ? ToolOutputName(args.source, OutputFor::Shrinker) : args.output))
        return *refused;
    TShrinker tool;
    tool.AttachHost(host);
    tool.FileName = args.source;
    tool.OutFileName = output.WorkPath();
    tool.ExtraCompression = !args.noExtra;
    host.OnStopRequest = [&] { tool.Aborted = true; };
    tool.Shrink();

    const auto& s = tool.LastSummary();
    const RunResult result = output.Finish({ResultOf(tool.LastOutcome()), s.chunksWritten});
    if (common.json) {
        nlohmann::json j = {{"tool", "shrink"},
                            {"source", args.source},
                            {"chunkSize", s.chunkSize},
                            {"usedLength", s.usedLength},
                            {"chunks", s.chunks},
                            {"chunksWritten", s.chunksWritten},
                            {"streams", s.streams},
                            {"inputSize", s.inputSize},
                            {"outputSize", output.Kept() ? s.outputSize : 0},
                            {"extraCompression", s.extraRan}};
        output.AddToJson(j);
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<ShrinkArgs>();
    app.add_option("SOURCE", a->source, "the ASF file to shrink")->required();
    app.add_option("-o,--output", a->output, "output file (default: stem.shr.ext beside the source)");
    app.add_flag("--no-extra", a->noExtra, "skip the extra stage through the cutting tool");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunShrink(*a, *common); };
}

const bool registered =
    RegisterCommand({"shrink", "shrinker: cut the empty tail off every chunk and trim the header", 30, Setup});

}  // namespace
}  // namespace mendery::cli
