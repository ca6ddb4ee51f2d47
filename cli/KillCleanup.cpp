#include "cli/KillCleanup.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <thread>

namespace mendery::cli {

namespace {
// Made once and never closed: the handler may write to them at any moment.
int g_wake[2] = {-1, -1};  // handler -> cleanup thread
int g_done[2] = {-1, -1};  // cleanup thread -> handler
std::atomic<bool> g_armed{false};  // a folder is set and the thread waits
std::mutex g_mutex;                // guards g_folder between the program and the thread
std::string g_folder;

void RemoveFolder() {
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        folder = g_folder;
    }
    if (folder.empty()) return;
    // The program may still be writing into it: a few tries catch what it added meanwhile.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        if (!std::filesystem::exists(folder, ec)) return;
    }
}

void CleanupThread() {
    for (;;) {
        char byte = 0;
        const ssize_t n = ::read(g_wake[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        RemoveFolder();
        (void)!::write(g_done[1], &byte, 1);
    }
}

// The stop signals are blocked while the program holds the mutex and in the thread itself: the
// handler then never runs where it would keep the thread from the folder.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

bool StartThread() {
    if (::pipe2(g_wake, O_CLOEXEC) != 0) return false;
    if (::pipe2(g_done, O_CLOEXEC) != 0) return false;
    const sigset_t stops = StopSignals();
    sigset_t old;
    ::pthread_sigmask(SIG_BLOCK, &stops, &old);
    try {
        std::thread(CleanupThread).detach();
    } catch (const std::system_error&) {
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
        return false;
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return true;
}
}  // namespace

void SetFolderToRemoveOnKill(const std::string& path) {
    static bool started = false;
    if (!path.empty() && !started) started = StartThread();
    const sigset_t stops = StopSignals();
    sigset_t old;
    ::pthread_sigmask(SIG_BLOCK, &stops, &old);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_folder = path;
    }
    g_armed = started && !path.empty();
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void RemoveFolderOnKill() {
    if (!g_armed.load()) return;
    const char byte = 1;
    if (::write(g_wake[1], &byte, 1) != 1) return;
    pollfd done{g_done[0], POLLIN, 0};
    while (::poll(&done, 1, kKillCleanupWaitMs) < 0 && errno == EINTR) {
    }
}

}  // namespace mendery::cli
