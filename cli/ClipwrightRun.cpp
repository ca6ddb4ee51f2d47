#include "cli/ClipwrightRun.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "launch/ClipwrightCommandLines.h"
#include "asf/BinaryFile.h"
#include "asf/StagedOutput.h"

namespace mendery::cli {

ClipwrightRunner::ClipwrightRunner(CliHost& host, RunWording wording) : host_(host), wording_(wording) {}

ToolRunner ClipwrightRunner::Runner() {
    ToolRunner runner;
    runner.stopSignal = [this] { return host_.StopSignal(); };
    runner.run = [this](const std::string& parameters) {
        RunOptions o;
        o.wording = wording_;
        o.stopSignal = [this] { return host_.StopSignal(); };
        o.output = [this](const std::string& line) { host_.Log(line); };
        std::uint64_t shownTotal = 0;
        o.progress = [this, shownTotal](std::uint64_t done, std::uint64_t total) mutable {
            if (total != shownTotal) {
                host_.SetProgressRange(static_cast<std::int64_t>(shownTotal = total));
                host_.SetStatus("clipwright");
            }
            host_.SetProgress(static_cast<std::int64_t>(done));
        };
        last_ = RunTool(host_, ClipwrightPath(), parameters, o);
        ran_ = true;
        host_.FinishProgress();
        return last_;
    };
    return runner;
}

int ClipwrightRunner::StopSignal() const { return host_.StopSignal() ? host_.StopSignal() : last_.StopSignalSeen(); }

RunResult ClipwrightRunner::Result() const {
    if (StopSignal() != 0) return RunResult::Stopped;
    if (!ran_ || !last_.started) return RunResult::Refused;
    if (last_.exitCode == 0) return RunResult::Done;
    if (last_.exitCode == 3) return RunResult::IoError;
    return RunResult::Refused;
}

int ClipwrightRunner::CommandExitCode() const { return ExitCodeFor(Result(), StopSignal()); }

void ClipwrightRunner::PrintJson(const char* tool, const std::string& source, const std::string& output) const {
    const bool exists = !output.empty() && FileExists(output);
    nlohmann::json j = {{"tool", tool},
                        {"source", source},
                        {"output", exists ? nlohmann::json(output) : nlohmann::json(nullptr)},
                        {"outputSize", exists ? FileSizeOf(output) : 0},
                        {"clipwrightStarted", last_.started},
                        {"clipwrightExitCode", last_.exitCode},
                        {"clipwrightMessages", last_.messages},
                        {"result", Result() == RunResult::Done ? "done" : last_.Stopped() ? "stopped" : "failed"}};
    std::printf("%s\n", j.dump(2).c_str());
}

bool InputReadable(CliHost& host, const std::string& path) {
    const std::string why = CheckInputFile(path);
    if (why.empty()) return true;
    host.Message("无法读取输入文件 \"" + path + "\": " + why, MessageKind::Error);
    return false;
}

bool OutputAllowed(CliHost& host, const std::string& path, bool overwrite) {
    const std::string refusal = ExistingOutputRefusal(path, overwrite);
    if (refusal.empty()) return true;
    host.Message(refusal, MessageKind::Error);
    return false;
}

}  // namespace mendery::cli
