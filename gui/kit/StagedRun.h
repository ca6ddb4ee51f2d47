#pragma once
// A tool's output written under a temporary name beside the chosen file and put in place only
// when the run produced a result.
#include <QString>
#include <functional>

#include "gui/kit/RunEnd.h"

namespace mendery {
class StagedOutput;
}

namespace mendery::ui {

class QtHost;

// `run` gets the temporary path and returns how the run ended. A run that failed, was declined
// or wrote no media leaves an existing `target` exactly as it was; a stopped run's partial
// output is kept and the log says so. Errors (the folder cannot be written, the rename fails)
// are thrown as IoError.
RunEnd RunStagedOutput(QtHost& log, const QString& target, const std::function<RunEnd(const QString&)>& run);
// The end of a staged run that finished on its own time (the re-encoder): commits or discards
// `staged` as RunStagedOutput does, with the same log lines.
void SettleStagedOutput(QtHost& log, StagedOutput& staged, RunEnd end, bool targetExisted);

}  // namespace mendery::ui
