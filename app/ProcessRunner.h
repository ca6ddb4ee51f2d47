#pragma once
// Starts a program from one parameter text and waits for it in 100 ms steps, letting the host
// handle pending events between the steps.
#include <functional>
#include <string>

#include "engine/Host.h"

namespace mendery {

// The message shown when the program cannot be started depends on the window that runs it.
enum class RunWording { MainWindow, SplitWindow };
std::string RunFailureMessage(RunWording wording, const std::string& program, const std::string& parameters);

struct RunOptions {
    RunWording wording = RunWording::MainWindow;
    // Asked after every step; true stops waiting (the program keeps running on its own).
    std::function<bool()> shuttingDown;
    int* exitCode = nullptr;  // the program's exit code, -1 when it did not end normally
};

// Splits `parameters` as a shell would, starts `program` with them (its standard output goes
// to our standard error) and waits until it ends. Returns whether the start succeeded; on a
// failed start the host shows the failure message.
bool RunAndWait(IHost& host, const std::string& program, const std::string& parameters, const RunOptions& options = {});

}  // namespace mendery

namespace mendery {

// Runs the cutting tool with one parameter text; returns whether it could be started. The
// flows around the tool take one of these, so tests can stand in for the tool.
using ToolRun = std::function<bool(const std::string& parameters)>;
ToolRun MakeToolRun(IHost& host, const std::string& program, RunWording wording = RunWording::MainWindow);

}  // namespace mendery
