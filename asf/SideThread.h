#pragma once
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace mendery {

// Runs one job at a time on a thread of its own. The thread takes no asynchronous signals: a
// stop is still delivered to the thread that runs the tool. Where no thread can be had (a
// process limit reached), each job runs in Start on the caller's thread: the work is the same,
// only not overlapped.
// Either side that waits for the other (the thread for a job, the caller for its end) first
// watches for a short while before it sleeps: waking a sleeping thread costs a system call on
// one side and, on a virtual machine whose idle core halts, some 50 µs before the other runs
// again, paid at every hand-over of a block. A pass hands over a block every few hundred
// microseconds, and the side that is ahead usually waits for less than the watch lasts.
class SideThread {
public:
    SideThread() {
        sigset_t all, old;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &old);  // the new thread inherits the mask
        try {
            thread_ = std::thread([this] { Serve(); });
        } catch (const std::system_error&) {
            // No thread (a process limit reached): Start runs each job itself.
        } catch (...) {
            ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
            throw;
        }
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    ~SideThread() {
        if (!thread_.joinable()) return;
        Wait();
        quit_.store(true);
        Announce();
        thread_.join();
    }
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // `job` must not throw. Only after Wait() (or before the first Start) may the next be given.
    void Start(std::function<void()> job) {
        if (!thread_.joinable()) {
            job();
            return;
        }
        job_ = std::move(job);  // the thread reads it only once `busy_` is set
        busy_.store(true);
        Announce();
    }
    void Wait() {
        Await([this] { return !busy_.load(); });
    }

private:
    // How long a side watches before it sleeps.
    static constexpr std::chrono::microseconds kWatch{50};

    void Serve() {
        for (;;) {
            Await([this] { return busy_.load() || quit_.load(); });
            if (!busy_.load()) return;
            job_();
            job_ = nullptr;
            busy_.store(false);
            Announce();
        }
    }

    // Returns once `ready()` holds. The sleeper is counted before its last look, and the other
    // side changes the state before it looks at the count (both sequentially consistent): either
    // the look sees the change, or the change sees the sleeper and wakes it.
    template <class Ready>
    void Await(Ready ready) {
        const auto until = std::chrono::steady_clock::now() + kWatch;
        for (int spins = 0; !ready(); ++spins) {
            if (spins % 64 == 63 && std::chrono::steady_clock::now() >= until) {
                std::unique_lock lock(mutex_);
                sleepers_.fetch_add(1);
                changed_.wait(lock, ready);
                sleepers_.fetch_sub(1);
                return;
            }
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    }
    // Wakes a side that went to sleep; called after every change of the state.
    void Announce() {
        if (sleepers_.load() == 0) return;
        // Taking the lock waits until the sleeper is inside its wait, so the notice reaches it.
        { std::lock_guard lock(mutex_); }
        changed_.notify_all();
    }

    std::function<void()> job_;
    std::atomic<bool> busy_{false};  // a job was given and has not ended
    std::atomic<bool> quit_{false};
    std::atomic<int> sleepers_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};

}  // namespace mendery
