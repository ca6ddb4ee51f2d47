#include "clipwright/SimpleIndexBuilder.h"

#include <algorithm>

#include "asf/ByteCursor.h"

namespace mendery {

void SimpleIndexBuilder::AddKeyFrame(std::uint64_t timeMs, std::uint32_t packetNumber, std::uint32_t packetCount) {
    // A key frame earlier than the last one (a damaged time stamp) would break the ordering the
    // entries rely on; the later one stands for that time.
    if (!keys_.empty() && timeMs < keys_.back().timeMs) timeMs = keys_.back().timeMs;
    keys_.push_back({timeMs, packetNumber, packetCount});
}

void SimpleIndexBuilder::ExtendLast(std::uint32_t packetCount) {
    if (!keys_.empty()) keys_.back().count = std::max(keys_.back().count, packetCount);
}

std::vector<std::uint8_t> SimpleIndexBuilder::Build(const Guid& fileId, std::uint64_t durationMs) const {
    std::uint64_t interval = kIntervalMs;
    if (durationMs / kIntervalMs + 1 > kMaxEntries) interval = kIntervalMs * ((durationMs / kIntervalMs) / kMaxEntries + 1);
    const std::uint64_t entries = keys_.empty() ? 0 : durationMs / interval + 1;
    const std::uint64_t size = 56 + entries * 6;
    std::vector<std::uint8_t> out(size);
    BytePatcher w(out);
    std::copy(guids::SimpleIndex.bytes.begin(), guids::SimpleIndex.bytes.end(), out.begin());
    w.U64At(16, size);
    std::copy(fileId.bytes.begin(), fileId.bytes.end(), out.begin() + 24);
    w.U64At(40, interval * 10000);
    std::uint32_t maxCount = 0;
    for (const auto& k : keys_) maxCount = std::max(maxCount, k.count);
    w.U32At(48, maxCount);
    w.U32At(52, static_cast<std::uint32_t>(entries));
    std::size_t k = 0;
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint64_t t = i * interval;
        while (k + 1 < keys_.size() && keys_[k + 1].timeMs <= t) ++k;
        w.U32At(56 + i * 6, keys_[k].packet);
        w.U16At(56 + i * 6 + 4, static_cast<std::uint16_t>(std::min<std::uint32_t>(keys_[k].count, 0xFFFF)));
    }
    return out;
}

}  // namespace mendery
