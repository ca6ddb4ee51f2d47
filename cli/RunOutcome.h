#pragma once
// Exit status and result name of a run of the repair engine, recovery or shrinker.
#include "cli/CliHost.h"
#include "engine/AsfFile.h"

namespace mendery::cli {

inline int ExitCodeFor(TRepairOutcome outcome) {
    switch (outcome) {
        case TRepairOutcome::Done: return kExitDone;
        case TRepairOutcome::Aborted: return kExitStopped;
        case TRepairOutcome::IoFailed: return kExitIo;
        default: return kExitRefused;
    }
}

inline const char* OutcomeName(TRepairOutcome outcome) {
    switch (outcome) {
        case TRepairOutcome::Done: return "done";
        case TRepairOutcome::Aborted: return "stopped";
        case TRepairOutcome::IoFailed: return "io-error";
        case TRepairOutcome::Refused: return "refused";
        default: return "not-run";
    }
}

}  // namespace mendery::cli
