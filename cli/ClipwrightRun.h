#pragma once
// How mendery-cli runs clipwright: through RunTool from the folder of mendery-cli, with its
// progress on the terminal, a stop (Ctrl-C, SIGTERM) passed on to it, and its outcome kept so
// the command can report it.
#include <string>

#include "launch/ProcessRunner.h"
#include "cli/CliHost.h"
#include "cli/RunResult.h"

namespace mendery::cli {

class ClipwrightRunner {
public:
    explicit ClipwrightRunner(CliHost& host, RunWording wording = RunWording::MainWindow);
    ToolRunner Runner();
    const mendery::RunResult& Last() const { return last_; }
    // How the command ended: stopped (by our signal or the one clipwright was stopped by),
    // done, an input or output error, else refused (also when clipwright could not be started).
    RunResult Result() const;
    // Result()'s exit code; a stop gives 128 + its signal.
    int CommandExitCode() const;
    // Prints the --json summary of a command that ran clipwright.
    void PrintJson(const char* tool, const std::string& source, const std::string& output) const;

private:
    CliHost& host_;
    // The signal that stopped the command, 0 when none did.
    int StopSignal() const;
    RunWording wording_;
    mendery::RunResult last_;
    bool ran_ = false;
};

// The refusal of an input that cannot be read (exit 3), told to the user; true when it may be used.
bool InputReadable(CliHost& host, const std::string& path);
// The refusal of an existing output without --yes (exit 1), told to the user; true when it may be written.
bool OutputAllowed(CliHost& host, const std::string& path, bool overwrite);

}  // namespace mendery::cli
