// mendery-cli shrink: cuts the unused tail off every chunk and trims the header.
#include <nlohmann/json.hpp>

#include <filesystem>

#include "app/OutputNames.h"
#include "cli/Commands.h"
#include "cli/RunOutcome.h"
#include "recovery/Shrinker.h"

namespace mendery::cli {
namespace {

struct ShrinkArgs {
    std::string source, output;
    bool noExtra = false;
};

int RunShrink(const ShrinkArgs& args, const CommonOptions& common) {
    CliHost host(common);
    TShrinker tool;
    tool.AttachHost(host);
    tool.FileName = args.source;
    tool.OutFileName = args.output.empty() ? ToolOutputName(args.source, OutputFor::Shrinker) : args.output;
    tool.ExtraCompression = !args.noExtra;
    tool.ToolDirectory = RunningProgramFolder() + "/";
    host.OnStopRequest = [&] { tool.Aborted = true; };
    tool.Shrink();
    host.FinishProgress();

    const auto outcome = tool.LastOutcome();
    const auto& s = tool.LastSummary();
    const bool wrote = outcome == TRepairOutcome::Done || outcome == TRepairOutcome::Aborted;
    if (wrote && s.outputSize > 0) host.Say("输出文件: " + tool.OutFileName);
    if (common.json) {
        nlohmann::json j = {{"tool", "shrink"},
                            {"source", args.source},
                            {"output", wrote ? nlohmann::json(tool.OutFileName) : nlohmann::json(nullptr)},
                            {"result", OutcomeName(outcome)},
                            {"chunkSize", s.chunkSize},
                            {"usedLength", s.usedLength},
                            {"chunks", s.chunks},
                            {"chunksWritten", s.chunksWritten},
                            {"streams", s.streams},
                            {"inputSize", s.inputSize},
                            {"outputSize", s.outputSize},
                            {"extraCompression", s.extraRan}};
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(outcome);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<ShrinkArgs>();
    app.add_option("SOURCE", a->source, "the ASF file to shrink")->required()->check(CLI::ExistingFile);
    app.add_option("-o,--output", a->output, "output file (default: stem.shr.ext beside the source)");
    app.add_flag("--no-extra", a->noExtra, "skip the extra stage through the cutting tool");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunShrink(*a, *common); };
}

const bool registered =
    RegisterCommand({"shrink", "shrinker: cut the empty tail off every chunk and trim the header", 30, Setup});

}  // namespace
}  // namespace mendery::cli
