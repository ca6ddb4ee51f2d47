// mendery-cli basic: basic repair through clipwright, as a new file or replacing the source.
#include "launch/BasicRepair.h"
#include "asf/OutputNames.h"
#include "cli/ClipwrightRun.h"
#include "cli/Commands.h"
#include "asf/BinaryFile.h"

namespace mendery::cli {
namespace {

struct BasicArgs {
    std::string source, output;
    bool replace = false;
    BasicRepairOptions options;
};

int RunBasic(const BasicArgs& a, const CommonOptions& common) {
    CliHost host(common);
    if (!InputReadable(host, a.source)) return kExitIo;
    ClipwrightRunner runner(host);
    if (a.replace) {
        // The backup of an earlier replacement is the user's original: kept unless --yes.
        if (!OutputAllowed(host, ToolOutputName(a.source, OutputFor::BasicRepairBackup), common.yes)) return kExitRefused;
        auto added = BasicRepairReplacingSource(host, runner.Runner(), a.source, a.options);
        if (common.json) runner.PrintJson("basic", a.source, added ? *added : a.source);
        return runner.CommandExitCode();
    }
    const std::string out = a.output.empty() ? ToolOutputName(a.source, OutputFor::BasicRepairNew) : a.output;
    if (out != a.source && !OutputAllowed(host, out, common.yes)) return kExitRefused;
    auto added = BasicRepairToNewFile(host, runner.Runner(), a.source, out, a.options);
    if (common.json) runner.PrintJson("basic", a.source, added ? *added : "");
    return runner.CommandExitCode();
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<BasicArgs>();
    app.add_option("SOURCE", a->source, "the damaged ASF file")->required();
    auto* out = app.add_option("-o,--output", a->output, "output file (default: stem.bsr.ext beside the source)");
    app.add_flag("--replace", a->replace, "replace the source (kept as SOURCE.旧) with the repaired file")->excludes(out);
    app.add_flag("--resync", a->options.resync, "search byte by byte for the next packet after damage (重新同步流媒体)");
    app.add_flag("--istart", a->options.istart, "keep the frames before the first key frame (不等待关键帧)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunBasic(*a, *common); };
}

const bool registered = RegisterCommand({"basic", "basic repair through clipwright: drop damaged packets, rebuild header and index", 80, Setup});

}  // namespace
}  // namespace mendery::cli
