#pragma once
// How a command's run ended, one mapping for every tool: the exit code of the table in
// CliHost.h and the result name of the --json summary.
#include "cli/CliHost.h"
#include "asf/Outcome.h"

namespace mendery::cli {

enum class RunResult {
    NotRun,
    Done,
    Stopped,        // Ctrl-C or SIGTERM
    Declined,       // the user answered No to the tool's question
    Refused,        // the tool cannot use this input (the log says why)
    NothingUsable,  // the run ended but its output holds no media
    IoError,        // an input could not be read or the output could not be written
};

RunResult ResultOf(Outcome outcome);
// The exit code of the table in CliHost.h. A stop gives 128 + the signal that asked for it:
// `stopSignal` when the caller knows it (the one a child process was stopped by), else the one
// this program received (130 or 143).
int ExitCodeFor(RunResult result, int stopSignal = 0);
const char* ResultName(RunResult result);

}  // namespace mendery::cli
