#include "asf/WriteBehind.h"

#include <pthread.h>
#include <signal.h>

#include <utility>

namespace mendery {

WriteBehind::~WriteBehind() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void WriteBehind::Start() {
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &old);  // the new thread inherits the mask
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
        throw;
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void WriteBehind::Submit(std::function<void()> job) {
    Wait();
    if (!thread_.joinable()) Start();
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
        busy_ = true;
    }
    changed_.notify_all();
}

void WriteBehind::Wait() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WriteBehind::Settle() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void WriteBehind::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (!busy_) return;  // quit, nothing left to do
        auto job = std::move(job_);
        lock.unlock();
        std::exception_ptr failure;
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace mendery
