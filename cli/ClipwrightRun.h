#pragma once
// How mendery-cli runs clipwright: through RunAndWait from the folder of mendery-cli, keeping
// the tool's exit code so the command can report it.
#include <string>

#include "app/ProcessRunner.h"
#include "cli/CliHost.h"

namespace mendery::cli {

struct ClipwrightRunner {
    explicit ClipwrightRunner(CliHost& host, RunWording wording = RunWording::MainWindow);
    ToolRun Run();
    bool started = false;
    int exitCode = -1;
    // The command's exit code from the tool's: 0 done, 3 input/output error, 1 otherwise.
    int CommandExitCode() const;
    // Prints the --json summary of a command that ran clipwright.
    void PrintJson(const char* tool, const std::string& source, const std::string& output) const;

private:
    CliHost& host_;
    RunWording wording_;
};

}  // namespace mendery::cli
