#include "recovery/GridPackets.h"

#include "asf/AsfGuid.h"
#include <algorithm>

#include "asf/AsfPacket.h"

namespace mendery {
namespace {

constexpr std::size_t kReadBlock = 1 << 20;

void AddStreamNumbers(std::span<const std::uint8_t> block, std::uint32_t packetSize, std::set<int>& numbers) {
    const ParsedPacket packet = ParsePacket(block, packetSize);
    if (!packet.ok) return;
    for (const auto& payload : packet.payloads) numbers.insert(payload.streamNumber);
}

}  // namespace

bool IndexObjectStarts(std::span<const std::uint8_t> block) {
    if (block.size() < 16) return false;
    const Guid g = Guid::FromBytes(block.first(16));
    return g == guids::SimpleIndex || g == guids::Index;
}

GridPass WalkGridPackets(BinaryFile& file, std::uint64_t start, std::uint32_t packetSize,
                         const std::function<bool(std::span<const std::uint8_t>)>& visit) {
    GridPass pass;
    pass.end = start;
    if (packetSize == 0) return pass;
    const std::size_t perRead = std::max<std::size_t>(1, kReadBlock / packetSize) * packetSize;
    std::vector<std::uint8_t> buffer(perRead);
    file.Seek(static_cast<std::int64_t>(start));
    for (;;) {
        const std::size_t n = file.Read(buffer);
        std::size_t at = 0;
        for (; n - at >= packetSize; at += packetSize) {
            const auto block = std::span<const std::uint8_t>(buffer).subspan(at, packetSize);
            if (IndexObjectStarts(block)) {
                pass.endedAtIndex = true;
                return pass;
            }
            if (!visit(block)) return pass;
            ++pass.wholePackets;
            pass.end += packetSize;
        }
        if (n < buffer.size()) {
            const auto rest = std::span<const std::uint8_t>(buffer).subspan(at, n - at);
            if (IndexObjectStarts(rest)) pass.endedAtIndex = true;
            else pass.trailing.assign(rest.begin(), rest.end());
            return pass;
        }
    }
}

std::set<int> StreamNumbersInPackets(std::span<const std::uint8_t> bytes, std::uint64_t start, std::uint32_t packetSize) {
    std::set<int> numbers;
    for (std::uint64_t at = start; packetSize > 0 && at < bytes.size() && bytes.size() - at >= packetSize; at += packetSize) {
        const auto block = bytes.subspan(at, packetSize);
        if (IndexObjectStarts(block)) break;
        AddStreamNumbers(block, packetSize, numbers);
    }
    return numbers;
}

std::set<int> StreamNumbersInFile(BinaryFile& file, std::uint64_t start, std::uint32_t packetSize) {
    std::set<int> numbers;
    WalkGridPackets(file, start, packetSize, [&](std::span<const std::uint8_t> block) {
        AddStreamNumbers(block, packetSize, numbers);
        return true;
    });
    return numbers;
}

}  // namespace mendery
