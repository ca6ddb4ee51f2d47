// mendery-cli rebuild-header: a file whose header object is missing or destroyed gets the
// header of a good file recorded with the same settings.
#include <nlohmann/json.hpp>

#include "asf/BinaryFile.h"
#include "asf/OutputNames.h"
#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "recovery/HeaderRebuild.h"

namespace mendery::cli {
namespace {

struct RebuildArgs {
    std::string source, reference, output;
};

int RunRebuild(const RebuildArgs& args, const CommonOptions& common) {
    CliHost host(common);
    const std::string target = args.output.empty() ? ToolOutputName(args.source, OutputFor::HeaderRebuild) : args.output;
    if (auto code = CheckSource(host, args.reference)) return *code;
    // The reference is read while the output is written: it may not be the output.
    if (const std::string refusal = OutputRefusalLine(args.reference, target); !refusal.empty()) {
        host.Message(refusal, MessageKind::Error);
        return kExitRefused;
    }
    CommandOutput output(host, common);
    if (auto refused = output.Open(args.source, target)) return *refused;
    bool stop = false;
    host.OnStopRequest = [&] { stop = true; };
    const Outcome outcome =
        RebuildHeaderFromReference(args.source, args.reference, output.WorkPath(), host, [&] { return stop; });
    const std::int64_t packets = outcome == Outcome::Done ? DataPacketsIn(output.WorkPath()) : 0;
    const RunResult result = output.Finish({ResultOf(outcome), packets});
    if (common.json) {
        nlohmann::json j = {{"tool", "rebuild-header"}, {"source", args.source}, {"reference", args.reference}};
        output.AddToJson(j);
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<RebuildArgs>();
    app.add_option("DAMAGED", a->source, "the file whose header object is missing or destroyed")->required();
    app.add_option("--reference", a->reference, "a good file recorded with the same settings")->required();
    app.add_option("-o,--output", a->output, "output file (default: stem.rbh.ext beside the damaged file)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunRebuild(*a, *common); };
}

const bool registered = RegisterCommand(
    {"rebuild-header", "rebuild a missing or destroyed header from a good file recorded with the same settings", 25, Setup});

}  // namespace
}  // namespace mendery::cli
