#include "app/ProcessRunner.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "app/ParameterText.h"

extern char** environ;

namespace mendery {

std::string RunFailureMessage(RunWording wording, const std::string& program, const std::string& parameters) {
    if (wording == RunWording::SplitWindow) return "运行Clipwright错误. 路径:" + program + "Params:" + parameters;
    return "运行Clipwright错误.\r路径:" + program + "\r参数:" + parameters;
}

namespace {

// Waits up to 100 ms for the child to end; true when it has ended (status filled in).
bool WaitStep(pid_t pid, int pidfd, int& status) {
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        int r = ::poll(&p, 1, 100);
        if (r < 0 && errno != EINTR) ::usleep(100000);
    }
    for (int slice = 0; slice < (pidfd >= 0 ? 1 : 10); ++slice) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (pidfd < 0) ::usleep(10000);
    }
    return false;
}

}  // namespace

bool RunAndWait(IHost& host, const std::string& program, const std::string& parameters, const RunOptions& options) {
    if (options.exitCode) *options.exitCode = -1;
    std::vector<std::string> tokens = SplitParameterText(parameters);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (auto& t : tokens) argv.push_back(t.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t pid = 0;
    int rc = ::access(program.c_str(), X_OK) == 0
                 ? ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                 : ENOENT;
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        host.Message(RunFailureMessage(options.wording, program, parameters), MessageKind::Error);
        return false;
    }
#ifdef SYS_pidfd_open
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    int pidfd = -1;
#endif
    int status = 0;
    bool ended = false;
    while (!(ended = WaitStep(pid, pidfd, status))) {
        host.ProcessMessages();
        if (options.shuttingDown && options.shuttingDown()) break;
    }
    if (pidfd >= 0) ::close(pidfd);
    if (ended && options.exitCode) *options.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

}  // namespace mendery

namespace mendery {

ToolRun MakeToolRun(IHost& host, const std::string& program, RunWording wording) {
    return [&host, program, wording](const std::string& parameters) {
        RunOptions o;
        o.wording = wording;
        return RunAndWait(host, program, parameters, o);
    };
}

}  // namespace mendery
