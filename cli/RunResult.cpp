#include "cli/RunResult.h"

namespace mendery::cli {

RunResult ResultOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done: return RunResult::Done;
        case Outcome::Aborted: return RunResult::Stopped;
        case Outcome::Declined: return RunResult::Declined;
        case Outcome::Refused: return RunResult::Refused;
        case Outcome::Failed: return RunResult::IoError;
        case Outcome::NothingUsable: return RunResult::NothingUsable;
        case Outcome::NotRun: break;
    }
    return RunResult::NotRun;
}

int ExitCodeFor(RunResult result, int stopSignal) {
    switch (result) {
        case RunResult::Done: return kExitDone;
        case RunResult::Stopped: return stopSignal != 0 ? 128 + stopSignal : CliHost::StoppedExitCode();
        case RunResult::IoError: return kExitIo;
        default: return kExitRefused;
    }
}

const char* ResultName(RunResult result) {
    switch (result) {
        case RunResult::Done: return "done";
        case RunResult::Stopped: return "stopped";
        case RunResult::Declined: return "declined";
        case RunResult::Refused: return "refused";
        case RunResult::NothingUsable: return "no-media";
        case RunResult::IoError: return "io-error";
        case RunResult::NotRun: break;
    }
    return "not-run";
}

}  // namespace mendery::cli
