#pragma once
// A thread of its own for an output's writes. The writer hands over a full buffer and goes on
// filling the next one while this thread waits in write(): the kernel's copy into its page
// cache and the tool's reading and parsing then run on two cores at once, and a pass takes
// about as long as the larger of the two instead of their sum.
//
// One job at a time, in the order given. The thread starts with the first job (a small
// output never starts one) and takes no asynchronous signals: a stop is still delivered to
// the thread that runs the tool, as before.
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace mendery {

class WriteBehind {
public:
    WriteBehind() = default;
    // Waits for the job in flight; its failure, if any, is dropped (a writer that wanted it
    // called Wait).
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Waits for the job before (throwing its failure, then `job` is not run), then starts `job`.
    void Submit(std::function<void()> job);
    // Waits for the job in flight and throws what it threw.
    void Wait();
    // Waits for the job in flight; what it threw is kept for the next Wait or Submit.
    void Settle();

private:
    void Run();
    void Start();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool busy_ = false, quit_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace mendery
