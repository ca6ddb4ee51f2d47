// mendery-cli rescue: diagnose a damaged file, run the tools that fit its damage, check every
// result with an independent decode and keep the best file.
#include <nlohmann/json.hpp>
#include <optional>

#include "asf/BinaryFile.h"
#include "asf/OutputNames.h"
#include "asf/StagedOutput.h"
#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "cli/KillCleanup.h"
#include "launch/ClipwrightCommandLines.h"
#include "rescue/Rescue.h"
#include "rescue/RescueText.h"
#include "rescue/RescueWork.h"

namespace mendery::cli {
namespace {

struct RescueArgs {
    std::string source, output, reference;
};

// The steps as they run, one line each on the log.
class ProgressLines : public IRescueObserver {
public:
    explicit ProgressLines(CliHost& host) : host_(host) {}
    void Diagnosed(const RescueReport& report) override {
        host_.Log("诊断:");
        for (const auto& line : report.diagnosis) host_.Log("  " + line);
        LogSteps(report, 0);
    }
    void PlanChanged(const RescueReport& report, std::size_t firstNew, const std::vector<std::string>& diagnosis) override {
        host_.Log("重新诊断:");
        for (const auto& line : diagnosis) host_.Log("  " + line);
        LogSteps(report, firstNew);
    }
    void StepStarted(std::size_t index, const RescueStep& step) override {
        host_.Log("步骤 " + std::to_string(index + 1) + ": " + step.title + " ...");
    }
    void StepEnded(std::size_t index, const RescueStep& step) override { host_.Log(StepLine(index, step)); }

private:
    void LogSteps(const RescueReport& report, std::size_t from) {
        if (from >= report.steps.size()) return;
        host_.Log(from == 0 ? "计划的步骤:" : "接下来的步骤:");
        for (std::size_t i = from; i < report.steps.size(); ++i)
            host_.Log("  " + std::to_string(i + 1) + ". " + report.steps[i].title + ": " + report.steps[i].reason);
    }

    CliHost& host_;
};

nlohmann::json CheckJson(const DecodeCheck& c) {
    nlohmann::json streams = nlohmann::json::array();
    for (const auto& s : c.streams) streams.push_back({{"number", s.number}, {"kind", s.kind}, {"frames", s.frames}});
    return {{"opened", c.opened},         {"whyNot", c.whyNot},           {"playableSeconds", c.playableSeconds},
            {"frames", c.Frames()},       {"streams", streams},           {"decodeErrors", c.decodeErrors},
            {"seekable", c.seekable}};
}

nlohmann::json ReportJson(const RescueReport& r, const std::string& source, RunResult result) {
    nlohmann::json steps = nlohmann::json::array();
    for (const auto& s : r.steps) {
        nlohmann::json step = {{"title", s.title}, {"reason", s.reason},
                               {"outcome", ResultName(ResultOf(s.outcome))},
                               {"kept", s.kept}, {"note", s.note}, {"log", s.log}};
        step["check"] = s.check ? CheckJson(*s.check) : nlohmann::json(nullptr);
        steps.push_back(step);
    }
    return {{"tool", "rescue"},
            {"source", source},
            {"result", ResultName(result)},
            {"diagnosis", r.diagnosis},
            {"before", CheckJson(r.before)},
            {"after", r.after ? CheckJson(*r.after) : nlohmann::json(nullptr)},
            {"steps", steps},
            {"output", r.output},
            {"needsReference", r.needsReference}};
}

int RunRescue(const RescueArgs& a, const CommonOptions& common) {
    CliHost host(common);
    if (auto code = CheckSource(host, a.source)) return *code;
    if (!a.reference.empty())
        if (auto code = CheckSource(host, a.reference)) return *code;
    const std::string target = a.output.empty() ? ToolOutputName(a.source, OutputFor::Rescue) : a.output;
    if (const std::string refusal = OutputRefusalLine(a.source, target); !refusal.empty()) {
        host.Message(refusal, MessageKind::Error);
        return kExitRefused;
    }
    if (const std::string refusal = ExistingOutputRefusal(target, common.MayReplaceOutput()); !refusal.empty()) {
        host.Message(refusal + ", 未做任何改动.", MessageKind::Error);
        return kExitRefused;
    }

    // The work folder is made here, so that a second Ctrl-C, which ends the program at once,
    // removes it too. When it cannot be made the run tries again and says why.
    std::optional<RescueWorkFolder> work;
    try {
        work.emplace(std::string());
    } catch (const IoError&) {
    }
    std::optional<FolderRemovedOnKill> removedOnKill;
    RescueRun run;
    if (work) {
        run.WorkFolder = work->Path();
        removedOnKill.emplace(work->Path());
    }
    run.FileName = a.source;
    run.OutFileName = target;
    run.ReferenceFileName = a.reference;
    run.ClipwrightPath = ClipwrightPath();
    run.OutputStaging = [](const std::string& tempPath) { SetOutputToRemoveOnKill(tempPath); };
    ProgressLines progress(host);
    run.AttachHost(host);
    run.AttachObserver(&progress);
    host.OnStopRequest = [&run] { run.Aborted = true; };
    const RescueReport& report = run.Run();
    host.FinishProgress();

    for (const auto& line : RescueTable(report)) host.Log(line);
    const RunResult result = ResultOf(report.outcome);
    if (common.json) std::printf("%s\n", ReportJson(report, a.source, result).dump(2).c_str());
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto a = std::make_shared<RescueArgs>();
    app.add_option("SOURCE", a->source, "the damaged ASF file")->required();
    app.add_option("-o,--output", a->output, "output file (default: stem.rsc.ext beside the source)");
    app.add_option("--reference", a->reference, "a good file recorded with the same settings (for a lost header)");
    auto common = AddCommonOptions(app);
    return [a, common] { return RunRescue(*a, *common); };
}

const bool registered = RegisterCommand(
    {"rescue", "diagnose, choose the tools, run them, check every result by decoding it, keep the best", 16, Setup});

}  // namespace
}  // namespace mendery::cli
