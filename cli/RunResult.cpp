#include "cli/RunResult.h"

namespace mendery::cli {

RunResult ResultOf(TRepairOutcome outcome) {
    switch (outcome) {
        case TRepairOutcome::Done: return RunResult::Done;
        case TRepairOutcome::Aborted: return RunResult::Stopped;
        case TRepairOutcome::Refused: return RunResult::Refused;
        case TRepairOutcome::IoFailed: return RunResult::IoError;
        case TRepairOutcome::NothingUsable: return RunResult::NothingUsable;
        case TRepairOutcome::NotRun: break;
    }
    return RunResult::NotRun;
}

RunResult ResultOf(TConvertOutcome outcome) {
    switch (outcome) {
        case TConvertOutcome::Done: return RunResult::Done;
        case TConvertOutcome::Aborted: return RunResult::Stopped;
        case TConvertOutcome::Declined: return RunResult::Declined;
        case TConvertOutcome::Refused: return RunResult::Refused;
        case TConvertOutcome::Failed: return RunResult::IoError;
        case TConvertOutcome::NotRun: break;
    }
    return RunResult::NotRun;
}

int ExitCodeFor(RunResult result) {
    switch (result) {
        case RunResult::Done: return kExitDone;
        case RunResult::Stopped: return CliHost::StoppedExitCode();
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
