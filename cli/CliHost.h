#pragma once
// The command line's host: log lines on stdout (or stderr under --json), a progress bar on
// stderr when it is a terminal, Ctrl-C as the stop button, questions answered by --yes/--no
// or a prompt on the terminal.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Host.h"

namespace mendery::cli {

struct CommonOptions {
    bool yes = false, no = false, quiet = false, json = false;
    std::string logFile;
};

enum ExitCode { kExitDone = 0, kExitRefused = 1, kExitUsage = 2, kExitIo = 3, kExitStopped = 130 };

class CliHost : public IHost {
public:
    explicit CliHost(const CommonOptions& options);
    ~CliHost() override;

    void Log(std::string_view line) override;
    void ClearLog() override {}
    void SetProgressRange(std::int64_t maximum) override;
    void SetProgress(std::int64_t position) override;
    void SetStatus(std::string_view text) override;
    void ProcessMessages() override;
    void Message(std::string_view text, MessageKind kind) override;
    Answer Ask(std::string_view text, Buttons buttons, MessageKind kind) override;

    // A choice among several answers (the bad-chunk question): returns the chosen index.
    // Without a terminal the default is taken and the question printed.
    int Choose(std::string_view question, const std::vector<std::string>& answers, int defaultIndex);

    // Called once, from ProcessMessages, after the user pressed Ctrl-C.
    std::function<void()> OnStopRequest;
    bool StopRequested() const;
    // The signal that asked to stop (SIGINT, SIGTERM), 0 while none did.
    int StopSignal() const;
    // Prints a line that is not a tool's log line (results, paths) on stdout unless --json.
    void Say(std::string_view line);
    void FinishProgress();

private:
    void DrawProgress(bool force);
    CommonOptions options_;
    std::FILE* logFile_ = nullptr;
    std::FILE* logOut_ = stdout;
    bool progressVisible_ = false;
    std::int64_t max_ = 0, pos_ = 0;
    std::string status_;
    std::chrono::steady_clock::time_point lastDraw_{};
    bool stopDelivered_ = false;
};

// Installs the Ctrl-C and SIGTERM handler and ignores SIGXFSZ, so that a file size limit shows up as a
// write error instead of killing the process.
void InstallSignalHandlers();

}  // namespace mendery::cli
