#include "cli/CliHost.h"

#include <unistd.h>

#include <csignal>
#include <iostream>

namespace mendery::cli {

namespace {
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_stopSignal{0};

extern "C" void OnSigint(int signal) {
    g_stopSignal = signal;
    g_interrupted = true;
    // A second Ctrl-C ends the program at once.
    std::signal(signal, SIG_DFL);
}

bool StdinIsTerminal() { return ::isatty(0) != 0; }
}  // namespace

void InstallSignalHandlers() {
    std::signal(SIGINT, OnSigint);
    std::signal(SIGTERM, OnSigint);
    std::signal(SIGXFSZ, SIG_IGN);
}

CliHost::CliHost(const CommonOptions& options) : options_(options) {
    if (options_.json) logOut_ = stderr;
    if (!options_.logFile.empty()) logFile_ = std::fopen(options_.logFile.c_str(), "w");
}

CliHost::~CliHost() {
    FinishProgress();
    if (logFile_) std::fclose(logFile_);
}

bool CliHost::StopRequested() const { return g_interrupted; }

int CliHost::StopSignal() const { return g_stopSignal; }

void CliHost::Log(std::string_view line) {
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
    // A new status text is shown at once, with the position set just before it.
    DrawProgress(true);
}

void CliHost::DrawProgress(bool force) {
    if (options_.quiet || !::isatty(2)) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
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
    if (g_interrupted && !stopDelivered_) {
        stopDelivered_ = true;
        if (OnStopRequest) OnStopRequest();
    }
}

void CliHost::Message(std::string_view text, MessageKind kind) {
    FinishProgress();
    const char* prefix = kind == MessageKind::Warning ? "警告: " : kind == MessageKind::Error ? "错误: " : "";
    std::string line = prefix + std::string(text);
    for (auto& c : line)
        if (c == '\r') c = '\n';
    if (logFile_) std::fprintf(logFile_, "%s\n", line.c_str());
    std::fprintf(stderr, "%s\n", line.c_str());
}

Answer CliHost::Ask(std::string_view text, Buttons buttons, MessageKind kind) {
    Message(text, kind);
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (options_.yes) {
        std::fprintf(stderr, "--> Yes (--yes)\n");
        return Answer::Yes;
    }
    if (options_.no || !StdinIsTerminal()) {
        std::fprintf(stderr, "--> No (%s)\n", options_.no ? "--no" : "no terminal to ask");
        return Answer::No;
    }
    const bool cancel = buttons == Buttons::YesNoCancel;
    for (;;) {
        std::fprintf(stderr, cancel ? "[y]es / [n]o / [c]ancel? " : "[y]es / [n]o? ");
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
        std::fprintf(stderr, "--> %s (no terminal to ask)\n", answers[defaultIndex].c_str());
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
