#pragma once
// Starts a program from one parameter text and waits for it in 100 ms steps, letting the host
// handle pending events between the steps. The program ends with the one that started it
// (also when that one is killed), a stop asked for while it runs is passed on to it, and what
// it says is read: its standard output lines are its log, "@progress DONE TOTAL" lines on its
// standard error are progress, its other standard error lines are kept as its messages.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "asf/Host.h"

namespace mendery {

// The message shown when the program cannot be started depends on the window that runs it.
enum class RunWording { MainWindow, SplitWindow };
std::string RunFailureMessage(RunWording wording, const std::string& program, const std::string& parameters);

// What became of one run.
struct RunResult {
    bool started = false;
    int exitCode = -1;   // -1 when it did not end by itself (killed by a signal)
    int stopSignal = 0;  // the stop passed on to it (SIGINT, SIGTERM), 0 when none was
    std::vector<std::string> messages;  // its standard error lines, progress lines left out
    bool Stopped() const { return stopSignal != 0 || exitCode == 130 || exitCode == 143; }
    bool Done() const { return started && exitCode == 0 && !Stopped(); }
    // The signal a caller reports the stop with: the one passed on, or the one the program
    // says (by its exit code) it was stopped by.
    int StopSignalSeen() const;
};

struct RunOptions {
    RunWording wording = RunWording::MainWindow;
    // Asked after every step; true: the program is being closed. The running program is
    // ended (SIGTERM) and waited for, so that it can remove what it had half written.
    std::function<bool()> shuttingDown;
    // Asked after every step: the stop the user asked for (SIGINT, SIGTERM), 0 while none.
    // It is passed on to the program once.
    std::function<int()> stopSignal;
    // The program's standard output lines (its log). None given: they, and its messages,
    // pass through to our standard error as the program wrote them.
    std::function<void(const std::string& line)> output;
    // The program's progress lines; none given: not shown.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    int* exitCode = nullptr;  // the program's exit code, -1 when it did not end normally
};

// Splits `parameters` as a shell would, starts `program` with them and waits until it ends.
// On a failed start the host shows the failure message.
RunResult RunTool(IHost& host, const std::string& program, const std::string& parameters, const RunOptions& options = {});
// The same, returning only whether the start succeeded.
bool RunAndWait(IHost& host, const std::string& program, const std::string& parameters, const RunOptions& options = {});

// How a flow runs the cutting tool with one parameter text, and learns of a stop the user
// asked for around the runs (while the codec list is copied, before files are renamed). The
// flows take one of these, so tests can stand in for the tool.
using ToolRun = std::function<RunResult(const std::string& parameters)>;
struct ToolRunner {
    ToolRun run;
    std::function<int()> stopSignal;  // the stop asked for (SIGINT, SIGTERM), 0 while none
    int StopSignal() const { return stopSignal ? stopSignal() : 0; }
};
// Runs `program` through RunTool with these options, its log going to the host's log; a stop
// is what the options say.
ToolRunner MakeToolRunner(IHost& host, const std::string& program, RunOptions options = {});

// What the user is told about a run of `job` ("分割", "合并", ...) that did not finish:
// clipwright's own reason when it gave one, else its exit code.
std::string ToolFailureText(const RunResult& result, const std::string& job);

}  // namespace mendery
