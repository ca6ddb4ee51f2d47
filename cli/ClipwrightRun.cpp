#include "cli/ClipwrightRun.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/ClipwrightCommandLines.h"
#include "engine/BinaryFile.h"

namespace mendery::cli {

ClipwrightRunner::ClipwrightRunner(CliHost& host, RunWording wording) : host_(host), wording_(wording) {}

ToolRun ClipwrightRunner::Run() {
    return [this](const std::string& parameters) {
        RunOptions o;
        o.wording = wording_;
        o.exitCode = &exitCode;
        started = RunAndWait(host_, ClipwrightPath(), parameters, o);
        return started;
    };
}

int ClipwrightRunner::CommandExitCode() const {
    if (!started) return kExitRefused;
    if (exitCode == 0) return kExitDone;
    if (exitCode == 3) return kExitIo;
    if (exitCode == 130) return kExitStopped;
    return kExitRefused;
}

}  // namespace mendery::cli

namespace mendery::cli {

void ClipwrightRunner::PrintJson(const char* tool, const std::string& source, const std::string& output) const {
    const bool exists = !output.empty() && FileExists(output);
    nlohmann::json j = {{"tool", tool},
                        {"source", source},
                        {"output", exists ? nlohmann::json(output) : nlohmann::json(nullptr)},
                        {"outputSize", exists ? FileSizeOf(output) : 0},
                        {"clipwrightStarted", started},
                        {"clipwrightExitCode", exitCode},
                        {"result", CommandExitCode() == kExitDone ? "done" : "failed"}};
    std::printf("%s\n", j.dump(2).c_str());
}

}  // namespace mendery::cli
