#pragma once
// A pass over packets or blocks that lets the host's pending events run now and then (where a
// stop request arrives) and ends by throwing PassStopped when the user asked to stop.
#include <cstdint>
#include <functional>

#include "asf/Host.h"

namespace mendery {

struct PassStopped {};

class PassStop {
public:
    PassStop(IHost& host, const std::function<bool()>& stopRequested, std::int64_t every)
        : host_(host), stopRequested_(stopRequested), every_(every) {}
    void Range(std::int64_t steps) { host_.SetProgressRange(steps); }
    // After step `done` of the pass: progress, pending events and the stop check every so many steps.
    void Step(std::int64_t done) {
        if (done % every_ != 0) return;
        host_.SetProgress(done);
        host_.ProcessMessages();
        if (stopRequested_ && stopRequested_()) throw PassStopped{};
    }

private:
    IHost& host_;
    const std::function<bool()>& stopRequested_;
    std::int64_t every_;
};

}  // namespace mendery
