#include "launch/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "asf/ParameterText.h"

extern char** environ;

namespace mendery {

std::string RunFailureMessage(RunWording wording, const std::string& program, const std::string& parameters) {
    if (wording == RunWording::SplitWindow) return "运行Clipwright错误. 路径:" + program + "Params:" + parameters;
    return "运行Clipwright错误.\r路径:" + program + "\r参数:" + parameters;
}

int RunResult::StopSignalSeen() const {
    if (stopSignal != 0) return stopSignal;
    if (exitCode == 143) return SIGTERM;
    if (exitCode == 130) return SIGINT;
    return 0;
}

namespace {

constexpr char kProgressPrefix[] = "@progress ";
constexpr char kToolPrefix[] = "clipwright: ";
// How long a program that was asked to stop may take before it is killed.
constexpr auto kStopGrace = std::chrono::seconds(10);

struct Pipe {
    int read = -1, write = -1;
    bool Open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    void CloseRead() {
        if (read >= 0) ::close(read);
        read = -1;
    }
    void CloseWrite() {
        if (write >= 0) ::close(write);
        write = -1;
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
};

// Everything the child needs, made before fork: after it only async-signal-safe calls run.
struct ChildPlan {
    std::vector<std::string> tokens;
    std::vector<char*> argv;
    std::vector<std::string> envText;
    std::vector<char*> envp;
};

ChildPlan PlanChild(const std::string& program, const std::string& parameters) {
    ChildPlan plan;
    plan.tokens = SplitParameterText(parameters);
    plan.argv.push_back(const_cast<char*>(program.c_str()));
    for (auto& t : plan.tokens) plan.argv.push_back(t.data());
    plan.argv.push_back(nullptr);
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "CLIPWRIGHT_PROGRESS=", 20) != 0) plan.envText.emplace_back(*e);
    plan.envText.emplace_back("CLIPWRIGHT_PROGRESS=1");
    for (auto& e : plan.envText) plan.envp.push_back(e.data());
    plan.envp.push_back(nullptr);
    return plan;
}

[[noreturn]] void RunChild(const std::string& program, ChildPlan& plan, Pipe& out, Pipe& err, Pipe& status, pid_t parent) {
    // The program ends with us: a killed parent sends it SIGTERM, which clipwright takes as a
    // stop (its temporary output is removed). A parent already gone before this: end now.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard{};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) ::sigaction(s, &standard, nullptr);
    ::dup2(out.write, STDOUT_FILENO);
    ::dup2(err.write, STDERR_FILENO);
    ::execve(program.c_str(), plan.argv.data(), plan.envp.data());
    const int error = errno;
    ssize_t ignored = ::write(status.write, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

// Splits what arrives on a pipe into lines.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    int Fd() const { return fd_; }
    bool Open() const { return fd_ >= 0; }
    // Reads what is there; calls `line` for every complete line. At the end of the stream the
    // last unfinished line is given too and the reader closes.
    void Drain(const std::function<void(std::string)>& line) {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return;  // nothing more for now
            if (n == 0) {
                if (!pending_.empty()) line(std::move(pending_));
                pending_.clear();
                ::close(fd_);
                fd_ = -1;
                return;
            }
            pending_.append(buf, static_cast<std::size_t>(n));
            for (std::size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
                line(pending_.substr(0, nl));
                pending_.erase(0, nl + 1);
            }
        }
    }
    ~LineReader() {
        if (fd_ >= 0) ::close(fd_);
    }

private:
    int fd_;
    std::string pending_;
};

std::string WithoutToolPrefix(std::string line) {
    if (line.rfind(kToolPrefix, 0) == 0) line.erase(0, sizeof kToolPrefix - 1);
    return line;
}

}  // namespace

RunResult RunTool(IHost& host, const std::string& program, const std::string& parameters, const RunOptions& options) {
    RunResult result;
    if (options.exitCode) *options.exitCode = -1;
    ChildPlan plan = PlanChild(program, parameters);
    Pipe out, err, status;
    pid_t pid = -1;
    int startError = ENOENT;
    if (::access(program.c_str(), X_OK) == 0 && out.Open() && err.Open() && status.Open()) {
        const pid_t parent = ::getpid();
        pid = ::fork();
        if (pid == 0) RunChild(program, plan, out, err, status, parent);
        startError = pid < 0 ? errno : 0;
        status.CloseWrite();
        if (pid > 0) {
            // The status pipe closes on a successful exec; an error number arrives otherwise.
            int childError = 0;
            ssize_t n;
            do n = ::read(status.read, &childError, sizeof childError);
            while (n < 0 && errno == EINTR);
            if (n == sizeof childError) {
                startError = childError;
                ::waitpid(pid, nullptr, 0);
                pid = -1;
            }
        }
    }
    if (pid <= 0) {
        (void)startError;
        host.Message(RunFailureMessage(options.wording, program, parameters), MessageKind::Error);
        return result;
    }
    result.started = true;
    out.CloseWrite();
    err.CloseWrite();
    LineReader outLines(out.read), errLines(err.read);
    out.read = err.read = -1;  // the readers own them now
    for (int fd : {outLines.Fd(), errLines.Fd()}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    auto passThrough = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    auto onOut = [&](std::string line) {
        if (options.output) options.output(WithoutToolPrefix(std::move(line)));
        else passThrough(line);
    };
    auto onErr = [&](std::string line) {
        if (line.rfind(kProgressPrefix, 0) == 0) {
            unsigned long long done = 0, total = 0;
            if (options.progress &&
                std::sscanf(line.c_str() + sizeof kProgressPrefix - 1, "%llu %llu", &done, &total) == 2 && total > 0)
                options.progress(done, total);
            return;
        }
        if (!options.output) passThrough(line);
        result.messages.push_back(WithoutToolPrefix(std::move(line)));
    };

#ifdef SYS_pidfd_open
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    const int pidfd = -1;
#endif
    int waitStatus = 0;
    bool ended = false, killed = false;
    std::chrono::steady_clock::time_point stopAt{};
    while (!ended) {
        pollfd fds[3];
        nfds_t n = 0;
        for (int fd : {outLines.Fd(), errLines.Fd(), pidfd})
            if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
        const int r = ::poll(fds, n, pidfd >= 0 ? 100 : 20);
        if (r < 0 && errno != EINTR) ::usleep(20000);
        if (outLines.Open()) outLines.Drain(onOut);
        if (errLines.Open()) errLines.Drain(onErr);
        const pid_t w = ::waitpid(pid, &waitStatus, WNOHANG);
        if (w == pid || (w < 0 && errno == ECHILD)) {
            ended = true;
            break;
        }
        host.ProcessMessages();
        if (result.stopSignal == 0) {
            int signal = options.stopSignal ? options.stopSignal() : 0;
            if (signal == 0 && options.shuttingDown && options.shuttingDown()) signal = SIGTERM;
            if (signal != 0) {
                result.stopSignal = signal;
                ::kill(pid, signal);
                stopAt = std::chrono::steady_clock::now();
            }
        } else if (!killed && std::chrono::steady_clock::now() - stopAt > kStopGrace) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
    }
    if (pidfd >= 0) ::close(pidfd);
    // What the program wrote just before it ended.
    if (outLines.Open()) outLines.Drain(onOut);
    if (errLines.Open()) errLines.Drain(onErr);
    if (WIFEXITED(waitStatus)) result.exitCode = WEXITSTATUS(waitStatus);
    if (options.exitCode) *options.exitCode = result.exitCode;
    return result;
}

bool RunAndWait(IHost& host, const std::string& program, const std::string& parameters, const RunOptions& options) {
    return RunTool(host, program, parameters, options).started;
}

ToolRunner MakeToolRunner(IHost& host, const std::string& program, RunOptions options) {
    if (!options.output) options.output = [&host](const std::string& line) { host.Log(line); };
    ToolRunner runner;
    runner.run = [&host, program, options](const std::string& parameters) {
        return RunTool(host, program, parameters, options);
    };
    runner.stopSignal = [options] {
        if (options.stopSignal)
            if (const int s = options.stopSignal()) return s;
        return options.shuttingDown && options.shuttingDown() ? SIGTERM : 0;
    };
    return runner;
}

std::string ToolFailureText(const RunResult& result, const std::string& job) {
    std::string text = "Clipwright 未能完成" + job;
    if (result.messages.empty()) {
        text += result.exitCode >= 0 ? " (退出代码 " + std::to_string(result.exitCode) + ")." : " (进程被终止).";
        return text;
    }
    text += ":";
    for (const auto& m : result.messages) text += "\r" + m;
    return text;
}

}  // namespace mendery
