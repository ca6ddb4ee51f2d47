#include "cli/CliHost.h"

#include <unistd.h>

#include <csignal>
#include <ctime>
#include <string>
#include <iostream>

#include "cli/KillCleanup.h"

namespace mendery::cli {

namespace {
// Written by the signal handler, read by the program: lock-free atomics only.
std::atomic<int> g_stopSignal{0};
std::atomic<bool> g_endAtOnce{false};
std::atomic<const char*> g_removeOnKill{nullptr};
std::string g_removeOnKillPath;

extern "C" void OnStopSignal(int signal) {
    int none = 0;
    const bool first = g_stopSignal.compare_exchange_strong(none, signal);
    if (first && !g_endAtOnce.load()) return;
    // A second stop signal (or a command with nothing to finish) ends the program at once;
    // the unfinished temporary output goes with it, and the rescue's work folder, so that
    // nothing the run created is left.
    if (const char* path = g_removeOnKill.load()) ::unlink(path);
    RemoveFolderOnKill();
    ::_exit(128 + signal);
}

bool StdinIsTerminal() { return ::isatty(0) != 0; }
}  // namespace

void InstallSignalHandlers() {
    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume, as they did under signal(): the stop is noticed at the
    // tool's next ProcessMessages.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

void EndAtOnceOnStop(bool atOnce) { g_endAtOnce = atOnce; }

void SetOutputToRemoveOnKill(const std::string& path) {
    g_removeOnKill = nullptr;
    g_removeOnKillPath = path;
    if (!g_removeOnKillPath.empty()) g_removeOnKill = g_removeOnKillPath.c_str();
}

int CliHost::StopSignal() { return g_stopSignal.load(); }

int CliHost::StoppedExitCode() { return StopSignal() == SIGTERM ? kExitTerminated : kExitStopped; }

CliHost::CliHost(const CommonOptions& options) : options_(options), drawsProgress_(!options.quiet && ::isatty(2) != 0) {
    if (options_.json) logOut_ = stderr;
    if (!options_.logFile.empty()) logFile_ = std::fopen(options_.logFile.c_str(), "w");
}

CliHost::~CliHost() {
    FinishProgress();
    if (logFile_) std::fclose(logFile_);
}

bool CliHost::StopRequested() const { return StopSignal() != 0; }

void CliHost::NoteReason(std::string_view line) {
    const auto trimmed = line.substr(std::min(line.find_first_not_of(' '), line.size()));
    for (std::string_view closing : {"文件已关闭", "旧文件是", "--->>"})
        if (trimmed.substr(0, closing.size()) == closing) return;
    // The removal of an unfinished output follows the reason; it is not one.
    if (trimmed.find("输出文件已删除") != std::string_view::npos) return;
    if (!trimmed.empty()) lastReason_ = trimmed;
}

void CliHost::Log(std::string_view line) {
    NoteReason(line);
    if (logFile_) {
        std::fwrite(line.data(), 1, line.size(), logFile_);
        std::fputc('\n', logFile_);
    }
    if (options_.quiet) return;
    if (progressVisible_) {
        std::fputs("\r\033[K", stderr);
        progressVisible_ = false;
    }
    std::fwrite(line.data(), 1, line.size(), logOut_);
    std::fputc('\n', logOut_);
    std::fflush(logOut_);
}

void CliHost::Say(std::string_view line) {
    if (options_.json) return;
    Log(line);
}

void CliHost::SetProgressRange(std::int64_t maximum) {
    max_ = maximum;
    pos_ = 0;
}

void CliHost::SetProgress(std::int64_t position) {
    pos_ = position;
    DrawProgress(false);
}

void CliHost::SetStatus(std::string_view text) {
    status_ = text;
    // The first status after a message is shown at once; later ones, like the position, at
    // most every 100 ms. The converters count chunks in their status, one call per chunk: a
    // terminal sent a line for each of them slowed a run several times over.
    DrawProgress(!progressVisible_);
}

namespace {
// Milliseconds on the kernel's tick-granular monotonic clock. The progress asks for the time
// once or twice a chunk, a few hundred thousand times in a large file: the coarse clock costs a
// fraction of the precise one's 30 ns (on a virtual machine), and its ticks of a few
// milliseconds are fine enough for a 100 ms redraw.
std::int64_t CoarseNowMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
}  // namespace

void CliHost::DrawProgress(bool force) {
    if (!drawsProgress_) return;
    const std::int64_t now = CoarseNowMs();
    if (!force && now - lastDrawMs_ < 100) return;
    lastDrawMs_ = now;
    int percent = max_ > 0 ? static_cast<int>(std::min<std::int64_t>(100, pos_ * 100 / max_)) : 0;
    int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r\033[K[%s%s] %3d%% %lld/%lld %s", std::string(filled, '#').c_str(),
                 std::string(30 - filled, '.').c_str(), percent, static_cast<long long>(pos_),
                 static_cast<long long>(max_), status_.c_str());
    std::fflush(stderr);
    progressVisible_ = true;
}

void CliHost::FinishProgress() {
    if (progressVisible_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        progressVisible_ = false;
    }
}

void CliHost::ProcessMessages() {
    if (StopRequested() && !stopDelivered_) {
        stopDelivered_ = true;
        if (OnStopRequest) OnStopRequest();
    }
}

std::string WithKindPrefix(std::string_view text, MessageKind kind) {
    const std::string_view prefix = kind == MessageKind::Warning ? "警告" : kind == MessageKind::Error ? "错误" : "";
    // Some tools' texts already begin with their kind ("错误: ...", "警告:..."): no second one.
    if (prefix.empty() || text.substr(0, prefix.size()) == prefix) return std::string(text);
    return std::string(prefix) + ": " + std::string(text);
}

void CliHost::Message(std::string_view text, MessageKind kind) {
    FinishProgress();
    NoteReason(text.substr(0, text.find('\r')));
    std::string line = WithKindPrefix(text, kind);
    for (auto& c : line)
        if (c == '\r') c = '\n';
    if (logFile_) std::fprintf(logFile_, "%s\n", line.c_str());
    std::fprintf(stderr, "%s\n", line.c_str());
}

Answer CliHost::Ask(std::string_view text, Buttons buttons, MessageKind kind) {
    Message(text, kind);
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (options_.yes) {
        std::fprintf(stderr, "--> 是 (--yes)\n");
        return Answer::Yes;
    }
    if (options_.no || !StdinIsTerminal()) {
        std::fprintf(stderr, "--> 否 (%s)\n", options_.no ? "--no" : "没有可以提问的终端");
        return Answer::No;
    }
    const bool cancel = buttons == Buttons::YesNoCancel;
    for (;;) {
        std::fprintf(stderr, cancel ? "是 [y] / 否 [n] / 取消 [c]? " : "是 [y] / 否 [n]? ");
        std::string answer;
        if (!std::getline(std::cin, answer)) return cancel ? Answer::Cancel : Answer::No;
        if (answer == "y" || answer == "yes") return Answer::Yes;
        if (answer == "n" || answer == "no") return Answer::No;
        if (cancel && (answer == "c" || answer == "cancel")) return Answer::Cancel;
    }
}

int CliHost::Choose(std::string_view question, const std::vector<std::string>& answers, int defaultIndex) {
    FinishProgress();
    std::fprintf(stderr, "%.*s\n", static_cast<int>(question.size()), question.data());
    for (std::size_t i = 0; i < answers.size(); ++i)
        std::fprintf(stderr, "  %zu) %s%s\n", i + 1, answers[i].c_str(), static_cast<int>(i) == defaultIndex ? "  *" : "");
    if (!StdinIsTerminal()) {
        std::fprintf(stderr, "--> %s (没有可以提问的终端)\n", answers[defaultIndex].c_str());
        return defaultIndex;
    }
    for (;;) {
        std::fprintf(stderr, "1-%zu [%d]? ", answers.size(), defaultIndex + 1);
        std::string line;
        if (!std::getline(std::cin, line)) return defaultIndex;
        if (line.empty()) return defaultIndex;
        try {
            int n = std::stoi(line);
            if (n >= 1 && n <= static_cast<int>(answers.size())) return n - 1;
        } catch (const std::exception&) {
        }
    }
}

}  // namespace mendery::cli
