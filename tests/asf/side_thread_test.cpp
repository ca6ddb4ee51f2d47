// The thread that reads ahead and parses beside a pass: every job runs once, its work is seen by
// the caller once Wait() returns, and no hand-over is lost, whether the waiting side was still
// watching or had gone to sleep. A lost wake-up hangs, so a watchdog ends the test binary.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "asf/SideThread.h"

using namespace mendery;
using namespace std::chrono_literals;

namespace {

// Ends the process when the scope is not left within `limit`: a hang would otherwise only end
// at the test runner's timeout, minutes later.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              const auto until = std::chrono::steady_clock::now() + limit;
              while (!done_.load()) {
                  if (std::chrono::steady_clock::now() > until) {
                      std::fprintf(stderr, "side thread hand-over hung\n");
                      std::_Exit(1);
                  }
                  std::this_thread::sleep_for(10ms);
              }
          }) {}
    ~Watchdog() {
        done_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace

// Jobs back to back (both sides watching), after a pause longer than the watch (the thread
// asleep when the job comes) and jobs that outlast the watch (the caller asleep in Wait). The
// counter is a plain int: only the hand-over orders the two threads' accesses to it.
TEST(SideThread, EveryJobRunsOnceAndIsSeenAfterWaitAsleepOrNot) {
    const Watchdog watchdog(60s);
    SideThread side;
    int runs = 0;
    for (int i = 0; i < 3000; ++i) {
        const bool threadSleeps = i % 7 == 3;
        const bool callerSleeps = i % 11 == 5;
        if (threadSleeps) std::this_thread::sleep_for(300us);
        side.Start([&runs, callerSleeps] {
            if (callerSleeps) std::this_thread::sleep_for(300us);
            ++runs;
        });
        side.Wait();
        ASSERT_EQ(runs, i + 1);
    }
}

// A thread is ended while it watches for a job, while it sleeps, and with a job still running.
TEST(SideThread, EndsWhetherIdleAsleepOrBusy) {
    const Watchdog watchdog(60s);
    { SideThread idle; }
    {
        SideThread asleep;
        std::this_thread::sleep_for(2ms);
    }
    bool ran = false;
    {
        SideThread busy;
        busy.Start([&ran] {
            std::this_thread::sleep_for(2ms);
            ran = true;
        });
    }
    EXPECT_TRUE(ran);
}
