#include "convert/AviTiming.h"

namespace mendery {

bool IntervalHistogram::Empty() const {
    for (auto c : counts_)
        if (c) return false;
    return true;
}

std::int64_t IntervalHistogram::FrameDuration(TTimingMethod method) const {
    std::uint32_t most = 0;
    int mostBin = kFirstBin;
    std::uint64_t total = 0;
    for (int bin = kFirstBin; bin <= kLastBin; ++bin) {
        const std::uint32_t c = (*this)[bin];
        if (c > most) {
            most = c;
            mostBin = bin;
        }
        total += c;
    }
    if (method == tmFewestDuplicates) {
        // Rare intervals (below a quarter of the most frequent) do not pull the average.
        std::uint64_t weighted = 0, counted = 0;
        for (int bin = kFirstBin; bin <= kLastBin; ++bin) {
            const std::uint32_t c = (*this)[bin];
            if (c < most / 4) continue;
            weighted += std::uint64_t(bin) * c;
            counted += c;
        }
        return counted == 0 ? 0 : static_cast<std::int64_t>(weighted * 1000 / counted);
    }
    // The fastest interval that occurs more than one time in ten, else the most frequent.
    for (int bin = kFirstBin; bin <= kLastBin; ++bin)
        if ((*this)[bin] > total / 10) return std::int64_t(bin) * 1000;
    return std::int64_t(mostBin) * 1000;
}

void Timeline::Note(std::uint32_t t, std::uint32_t send, IntervalHistogram& histogram) {
    auto small = [](std::int64_t v) { return v >= -kMaxDrift && v <= kMaxDrift; };
    if (lastTime > 0) {
        if (t == 0) {
            t = lastTime + 1;
        } else {
            const std::int32_t d = static_cast<std::int32_t>(t - lastTime);
            const std::int64_t sent = std::int64_t(send) - std::int64_t(lastSend);
            // A damaged send time must not cost an ordinary interval: only a jump needs the send
            // times to confirm it.
            if (!small(d) && !small(d - sent)) {
                // The first time on the far side waits; the line moves there when the next time
                // is also there (a clock that starts again), else it was one damaged field.
                const bool moved = unconfirmed && small(std::int64_t(t) - std::int64_t(unconfirmedTime));
                unconfirmed = !moved;
                unconfirmedTime = t;
                if (!moved) return;
            } else {
                unconfirmed = false;
                syncBalance += std::int64_t(d) * 1000;
                histogram.Count(d);
            }
        }
    }
    lastTime = t;
    lastSend = send;
}
}  // namespace mendery
