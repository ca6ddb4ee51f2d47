#pragma once
// Builds a Simple Index Object: one entry per time interval (1 s), each naming the packet
// where the latest key frame at or before that time begins and how many packets it spans.
#include <cstdint>
#include <vector>

#include "asf/AsfGuid.h"

namespace mendery {

class SimpleIndexBuilder {
public:
    static constexpr std::uint64_t kIntervalMs = 1000;
    // Above this many entries (a timeline of more than a day, in practice a damaged one) the
    // interval grows instead, so that the index stays small.
    static constexpr std::uint64_t kMaxEntries = 100000;

    // Key frames must be added in order of presentation time (ms, preroll not included).
    void AddKeyFrame(std::uint64_t timeMs, std::uint32_t packetNumber, std::uint32_t packetCount);
    // Extends the packet count of the last key frame added.
    void ExtendLast(std::uint32_t packetCount);
    bool Empty() const { return keys_.empty(); }

    // The whole object, with entries up to durationMs (1 s apart, or wider past kMaxEntries).
    std::vector<std::uint8_t> Build(const Guid& fileId, std::uint64_t durationMs) const;

private:
    struct Key { std::uint64_t timeMs; std::uint32_t packet; std::uint32_t count; };
    std::vector<Key> keys_;
};

}  // namespace mendery
