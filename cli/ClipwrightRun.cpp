#include "cli/ClipwrightRun.h"

#include "app/ClipwrightCommandLines.h"

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
