// mendery-cli join: joins the files in the order given through clipwright.
#include <algorithm>

#include "launch/BasicRepair.h"
#include "asf/OutputNames.h"
#include "cli/ClipwrightRun.h"
#include "cli/Commands.h"

namespace mendery::cli {
namespace {

struct JoinArgs {
    std::vector<std::string> files;
    std::string output;
    bool allowIncompatible = false;
};

int RunJoin(const JoinArgs& a, const CommonOptions& common) {
    CliHost host(common);
    for (const auto& f : a.files)
        if (!InputReadable(host, f)) return kExitIo;
    const std::string out = a.output.empty() ? JoinedOutputName(a.files.front(), a.files.back()) : a.output;
    const bool namesAnInput = std::find(a.files.begin(), a.files.end(), out) != a.files.end();
    if (!namesAnInput && !OutputAllowed(host, out, common.yes)) return kExitRefused;
    ClipwrightRunner runner(host);
    auto added = JoinListedFiles(host, runner.Runner(), a.files, out, a.allowIncompatible);
    if (common.json) runner.PrintJson("join", a.files.front(), added ? *added : "");
    return runner.CommandExitCode();
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<JoinArgs>();
    app.add_option("FILE", a->files, "the files to join, in order")->required();
    app.add_option("-o,--output", a->output, "output file (default: the joined name of the first and last file)");
    app.add_flag("--allow-incompatible", a->allowIncompatible, "join files whose bitrates differ (合并不兼容的比特率)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunJoin(*a, *common); };
}

const bool registered = RegisterCommand({"join", "join files losslessly through clipwright", 81, Setup});

}  // namespace
}  // namespace mendery::cli
