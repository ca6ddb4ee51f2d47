#pragma once
// A program started in the background, its output going to a file, for tests that stop
// programs with real signals. The environment is the test's own, with `extraEnv` entries
// ("NAME=value") added in front.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace mendery::test {

class Background {
public:
    Background(std::vector<std::string> argv, const std::string& log, std::vector<std::string> extraEnv = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        std::vector<char*> env;
        for (auto& e : extraEnv) env.push_back(e.data());
        for (char** e = environ; *e; ++e) env.push_back(*e);
        env.push_back(nullptr);
        if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Background() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    pid_t Pid() const { return pid_; }
    // The exit code, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool Ended() {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
        waited_ = true;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }
    // After Ended() returned true: the exit code, or 128 + the signal that ended it.
    int Code() const { return code_; }

private:
    pid_t pid_ = -1;
    bool waited_ = false;
    int code_ = -1;
};

}  // namespace mendery::test
