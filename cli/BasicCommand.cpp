// mendery-cli basic: basic repair through clipwright, as a new file or replacing the source.
#include "app/BasicRepair.h"
#include "app/OutputNames.h"
#include "engine/BinaryFile.h"
#include "cli/ClipwrightRun.h"
#include "cli/Commands.h"

namespace mendery::cli {
namespace {

struct BasicArgs {
    std::string source, output;
    bool replace = false;
    BasicRepairOptions options;
};

int RunBasic(const BasicArgs& a, const CommonOptions& common) {
    CliHost host(common);
    ClipwrightRunner runner(host);
    if (a.replace) {
        auto added = BasicRepairReplacingSource(host, runner.Run(), a.source, a.options);
        if (common.json) runner.PrintJson("basic", a.source, added ? *added : a.source);
        if (added) host.Say("输出文件: " + *added);
        else if (FileExists(ToolOutputName(a.source, OutputFor::BasicRepairBackup)) && runner.started && runner.exitCode == 0)
            host.Say("源文件已被替换; 旧文件: " + ToolOutputName(a.source, OutputFor::BasicRepairBackup));
        return runner.CommandExitCode();
    }
    const std::string out = a.output.empty() ? ToolOutputName(a.source, OutputFor::BasicRepairNew) : a.output;
    auto added = BasicRepairToNewFile(host, runner.Run(), a.source, out, a.options);
    if (common.json) runner.PrintJson("basic", a.source, added ? *added : "");
    if (!runner.started && !added) return kExitRefused;
    if (added && runner.exitCode == 0) host.Say("输出文件: " + *added);
    return runner.CommandExitCode();
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<BasicArgs>();
    app.add_option("SOURCE", a->source, "the damaged ASF file")->required()->check(CLI::ExistingFile);
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
