#pragma once
// How mendery-cli runs clipwright: through RunTool from the folder of mendery-cli, with its
// progress on the terminal, a stop (Ctrl-C, SIGTERM) passed on to it, and its outcome kept so
// the command can report it.
#include <string>

#include "launch/ProcessRunner.h"
#include "cli/CliHost.h"

namespace mendery::cli {

class ClipwrightRunner {
public:
    explicit ClipwrightRunner(CliHost& host, RunWording wording = RunWording::MainWindow);
    ToolRunner Runner();
    const RunResult& Last() const { return last_; }
    // The command's exit code: 128 + the signal after a stop, 0 done, 3 an input or output
    // error, 1 otherwise (refused, failed, or clipwright could not be started).
    int CommandExitCode() const;
    // Prints the --json summary of a command that ran clipwright.
    void PrintJson(const char* tool, const std::string& source, const std::string& output) const;

private:
    CliHost& host_;
    RunWording wording_;
    RunResult last_;
    bool ran_ = false;
};

// The refusal of an input that cannot be read (exit 3), told to the user; true when it may be used.
bool InputReadable(CliHost& host, const std::string& path);
// The refusal of an existing output without --yes (exit 1), told to the user; true when it may be written.
bool OutputAllowed(CliHost& host, const std::string& path, bool overwrite);

}  // namespace mendery::cli
