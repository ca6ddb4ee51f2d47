#pragma once
// The command line's host: log lines on stdout (or stderr under --json), a progress bar on
// stderr when it is a terminal, Ctrl-C and SIGTERM as the stop button, questions answered by
// --yes/--no or a prompt on the terminal.
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "asf/Host.h"

namespace mendery::cli {

struct CommonOptions {
    bool yes = false, no = false, quiet = false, json = false;
    bool overwrite = false;  // --overwrite: replace an existing output without answering questions
    std::string logFile;
    // Whether an existing output may be replaced (--yes or --overwrite).
    bool MayReplaceOutput() const { return yes || overwrite; }
};

// One table for every command (and clipwright): 0 done; 1 refused, failed or nothing usable;
// 2 usage error; 3 an input cannot be opened or read or an output cannot be written;
// 130 stopped by Ctrl-C (SIGINT); 143 stopped by SIGTERM.
enum ExitCode {
    kExitDone = 0,
    kExitRefused = 1,
    kExitUsage = 2,
    kExitIo = 3,
    kExitStopped = 130,
    kExitTerminated = 143
};

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

    // Called once, from ProcessMessages, after a stop signal (Ctrl-C or SIGTERM) arrived.
    std::function<void()> OnStopRequest;
    bool StopRequested() const;
    // The signal that asked the program to stop (SIGINT or SIGTERM), 0 when none arrived.
    static int StopSignal();
    // 130 after Ctrl-C, 143 after SIGTERM.
    static int StoppedExitCode();
    // Prints a line that is not a tool's log line (results, paths) on stdout unless --json.
    void Say(std::string_view line);
    // The last line a tool logged or showed that can tell why a run ended (closing lines such
    // as "文件已关闭" and removals of unfinished files are passed over); empty when none.
    const std::string& LastReasonLine() const { return lastReason_; }
    void FinishProgress();

private:
    void DrawProgress(bool force);
    CommonOptions options_;
    // Whether a progress bar is drawn: asked once, not with every position (a system call each).
    const bool drawsProgress_;
    std::FILE* logFile_ = nullptr;
    std::FILE* logOut_ = stdout;
    bool progressVisible_ = false;
    std::int64_t max_ = 0, pos_ = 0;
    std::string status_;
    std::int64_t lastDrawMs_ = -1000;  // on the coarse monotonic clock
    bool stopDelivered_ = false;
    std::string lastReason_;
    void NoteReason(std::string_view line);
};

// Installs the stop handler for SIGINT and SIGTERM and ignores SIGXFSZ, so that a file size
// limit shows up as a write error instead of killing the process. The first stop signal is
// recorded and reaches the running tool through ProcessMessages; a second one ends the program
// at once (removing the staged output registered below and the folder of cli/KillCleanup.h).
void InstallSignalHandlers();
// A message box's text as one terminal line block: "警告: " or "错误: " before warnings and
// errors, unless the text already starts with that word.
std::string WithKindPrefix(std::string_view text, MessageKind kind);
// A command that writes nothing (info) may simply end on the first stop signal.
void EndAtOnceOnStop(bool atOnce);
// The temporary output a second stop signal removes before the program ends; empty for none.
void SetOutputToRemoveOnKill(const std::string& path);

}  // namespace mendery::cli
