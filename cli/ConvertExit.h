#pragma once
// Exit status and result name of a converter run (wav, avi).
#include "cli/CliHost.h"
#include "convert/ConvertCommon.h"

namespace mendery::cli {

inline int ConvertExitCode(TConvertOutcome outcome) {
    switch (outcome) {
        case TConvertOutcome::Done: return kExitDone;
        case TConvertOutcome::Aborted: return kExitStopped;
        case TConvertOutcome::Failed: return kExitIo;
        default: return kExitRefused;
    }
}

inline const char* ConvertOutcomeName(TConvertOutcome outcome) {
    switch (outcome) {
        case TConvertOutcome::Done: return "done";
        case TConvertOutcome::Aborted: return "stopped";
        case TConvertOutcome::Declined: return "declined";
        case TConvertOutcome::Refused: return "refused";
        case TConvertOutcome::Failed: return "io-error";
        default: return "not-run";
    }
}

// Whether a run of this outcome leaves an output file worth naming.
inline bool WroteOutput(TConvertOutcome outcome) {
    return outcome == TConvertOutcome::Done || outcome == TConvertOutcome::Aborted || outcome == TConvertOutcome::Failed;
}

}  // namespace mendery::cli
