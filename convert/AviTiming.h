#pragma once
// How the AVI converter finds one constant frame duration for a stream that carries only
// presentation times: it counts the intervals between consecutive payload times and picks
// either their trimmed average or the fastest frequent interval.
#include <array>
#include <cstdint>

namespace mendery {

// The two timing methods, in the order of the converter's radio group.
enum TTimingMethod { tmFewestDuplicates /* "冗余帧数量最小化" */, tmBestSync /* "最佳音频/视频同步" */ };

class IntervalHistogram {
public:
    static constexpr int kFirstBin = 10, kLastBin = 500;  // milliseconds
    void Clear() { counts_.fill(0); }
    void Count(std::int64_t intervalMs) {
        if (intervalMs >= kFirstBin && intervalMs <= kLastBin) ++counts_[intervalMs - kFirstBin];
    }
    std::uint32_t& operator[](int bin) { return counts_.at(bin - kFirstBin); }
    std::uint32_t operator[](int bin) const { return counts_.at(bin - kFirstBin); }
    bool Empty() const;
    // The frame duration in microseconds by the chosen method; 0 when the averaging method
    // finds nothing to average.
    std::int64_t FrameDuration(TTimingMethod method) const;

private:
    std::array<std::uint32_t, kLastBin - kFirstBin + 1> counts_{};
};

// The timing state one pass keeps while it reads payload presentation times.
struct Timeline {
    std::uint32_t lastTime = 0;      // ms; 0 = none yet
    std::uint32_t lastSend = 0;      // ms; send time of the packet that carried lastTime
    std::int64_t syncBalance = 0;    // µs: elapsed presentation time minus the video written
    bool unconfirmed = false;        // a jump not yet followed: unconfirmedTime is where it went
    std::uint32_t unconfirmedTime = 0;
    // A jump of the presentation time beyond this (ms), forward or back, is time that passed only
    // when the send times moved about as far.
    static constexpr std::int64_t kMaxDrift = 30000;
    // One payload's presentation time and its packet's send time: the interval to the previous
    // time is counted and added to the balance. A time of 0 after the first stands for "one
    // millisecond later". A jump the send times do not share is never counted, so a damaged time
    // field cannot make the converter fill days with empty frames: a single such time is passed
    // over, and two in a row on the new clock (a clock that starts again) move the line there.
    void Note(std::uint32_t t, std::uint32_t send, IntervalHistogram& histogram);
};

}  // namespace mendery
