#pragma once
#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace mendery {

// Runs one job at a time on a thread of its own. The thread takes no asynchronous signals: a
// stop is still delivered to the thread that runs the tool.
class SideThread {
public:
    SideThread() {
        sigset_t all, old;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &old);  // the new thread inherits the mask
        try {
            thread_ = std::thread([this] { Serve(); });
        } catch (...) {
            ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
            throw;
        }
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    ~SideThread() {
        Wait();
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // `job` must not throw.
    void Start(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            job_ = std::move(job);
        }
        changed_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !job_; });
    }

private:
    void Serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return quit_ || job_; });
            if (!job_) return;
            lock.unlock();
            job_();
            lock.lock();
            job_ = nullptr;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace mendery
