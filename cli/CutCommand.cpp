// mendery-cli cut: the split window's precheck and cut, marks given in whole seconds.
#include <map>

#include "clipwright/ClipSource.h"
#include "asf/OutputNames.h"
#include "launch/SplitPrecheck.h"
#include "asf/BinaryFile.h"
#include "cli/ClipwrightRun.h"
#include "cli/Commands.h"

namespace mendery::cli {
namespace {

struct CutArgs {
    std::string source, output, sizeCheck = "none";
    std::int64_t start = 0, end = 0;
    bool except = false;
};

const std::map<std::string, SizeMatchMode> kSizeChecks = {
    {"none", SizeMatchMode::None}, {"differs", SizeMatchMode::Differs}, {"shorter", SizeMatchMode::Shorter}};

int RunCut(const CutArgs& a, const CommonOptions& common) {
    CliHost host(common);
    if (!InputReadable(host, a.source)) return kExitIo;
    if (!SplitPrecheck(host, a.source, kSizeChecks.at(a.sizeCheck))) return kExitRefused;
    // The window's total comes from the player's length; the header's play duration without
    // the preroll stands in for it here.
    std::int64_t total = 0;
    try {
        ClipSource src(a.source);
        const auto& p = src.Properties();
        const std::int64_t playMs = static_cast<std::int64_t>(p.playDuration / 10000);
        total = SplitTotalSeconds(std::max<std::int64_t>(playMs - static_cast<std::int64_t>(p.preroll), 0));
    } catch (const std::exception& e) {
        host.Message(e.what(), MessageKind::Error);
        return kExitRefused;
    }
    SplitMarks marks(total);
    if (!marks.SetStart(a.start) || !marks.SetEnd(a.end)) {
        host.Message("标记必须在 0 与 " + std::to_string(total) + " 秒之间.", MessageKind::Warning);
        return kExitUsage;
    }
    ClipwrightRunner runner(host, RunWording::SplitWindow);
    const std::string out = a.output.empty() ? ToolOutputName(a.source, OutputFor::Split) : a.output;
    if (out == a.source || IsSameFile(a.source, out)) {
        host.Message("文件名称必须不同! 请换一个再试.", MessageKind::Warning);
        return kExitRefused;
    }
    if (!OutputAllowed(host, out, common.yes)) return kExitRefused;
    const bool written = RunSplitCut(host, runner.Runner(), a.source, out, marks, a.except);
    if (common.json) runner.PrintJson("cut", a.source, written ? out : "");
    return runner.CommandExitCode();
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<CutArgs>();
    app.add_option("SOURCE", a->source, "the ASF file to cut")->required();
    app.add_option("--start", a->start, "start mark, whole seconds")->required();
    app.add_option("--end", a->end, "end mark, whole seconds")->required();
    app.add_flag("--except", a->except, "keep everything except the marked piece (除选定范围外所有内容)");
    app.add_option("-o,--output", a->output, "output file (default: stem.cut.ext beside the source)");
    app.add_option("--size-check", a->sizeCheck, "size-match warning before cutting (大小匹配警告)")
        ->check(CLI::IsMember({"none", "differs", "shorter"}));
    auto common = AddCommonOptions(app);
    return [a, common] { return RunCut(*a, *common); };
}

const bool registered = RegisterCommand({"cut", "cut a marked piece (or all but it) losslessly through clipwright", 82, Setup});

}  // namespace
}  // namespace mendery::cli
