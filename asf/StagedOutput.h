#pragma once
// A tool writes its output under a temporary name beside the target; the file is put in place
// only when the run produced a result. A run that fails, is declined or produces nothing
// removes the temporary file, and a file that already had the target's name stays exactly as
// it was. The temporary name keeps the target's extension, for code that looks at it.
#include <string>

#include "asf/Host.h"

namespace mendery {

class StagedOutput {
public:
    // Creates an empty temporary file in the target's folder; throws IoError (with the
    // system's reason) when the folder cannot be written.
    explicit StagedOutput(std::string target);
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    const std::string& Target() const { return target_; }
    const std::string& TempPath() const { return temp_; }
    bool Committed() const { return committed_; }

    // Renames the temporary file over the target; throws IoError when that fails (the
    // temporary file is then removed and the target left as it was).
    void Commit();
    // Removes the temporary file (nothing else); done by the destructor unless committed.
    void Discard();

private:
    std::string target_, temp_;
    bool committed_ = false;
};

// The name the user knows an output by: the target of the staged output whose temporary file
// `path` is, else `path` itself.
std::string UserOutputName(const std::string& path);

// Why a run removes the output it created.
enum class DiscardReason {
    Unfinished,  // it holds part of a result that is not usable
    Empty,       // nothing was written to it
};

// Removes an output file a run created and does not keep, and logs that it did (nothing when
// there was no file to remove; no log when `log` is null). The line names the file by
// UserOutputName: a tool writing to a staged output's temporary file knows only that name, the
// user only the target.
void DiscardOutput(const std::string& path, ILogSink* log, DiscardReason why = DiscardReason::Unfinished);

// The refusal for an output that already exists and may not be replaced (the command line
// without --yes), or empty.
std::string ExistingOutputRefusal(const std::string& target, bool overwrite);

}  // namespace mendery
