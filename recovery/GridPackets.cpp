#include "recovery/GridPackets.h"

#include "asf/AsfGuid.h"
#include <algorithm>

#include "asf/AsfPacket.h"
#include "asf/PageCopy.h"

namespace mendery {
namespace {

constexpr std::size_t kReadBlock = 1 << 20;

void AddStreamNumbers(std::span<const std::uint8_t> block, const PacketGrid& grid, std::set<int>& numbers) {
    if (const auto packet = PacketOfGrid(block, grid))
        for (const auto& payload : packet->payloads) numbers.insert(payload.streamNumber);
}

}  // namespace

std::optional<ParsedPacket> PacketOfGrid(std::span<const std::uint8_t> block, const PacketGrid& grid) {
    const auto layout = PacketLayoutAt(block, 0, grid.packetSize);
    if (!layout || *layout != grid.layout) return std::nullopt;
    return ParsePacket(block, grid.packetSize);
}

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
    BlockBuffer reader(perRead);
    auto pos = static_cast<std::int64_t>(start);
    file.Seek(pos);
    for (;;) {
        const auto buffer = reader.Place(pos, perRead);
        const std::size_t n = file.Read(buffer);
        pos += static_cast<std::int64_t>(n);
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

std::set<int> StreamNumbersInPackets(std::span<const std::uint8_t> bytes, const PacketGrid& grid) {
    std::set<int> numbers;
    const std::uint32_t size = grid.packetSize;
    for (std::uint64_t at = grid.start; size > 0 && at < bytes.size() && bytes.size() - at >= size; at += size) {
        const auto block = bytes.subspan(at, size);
        if (IndexObjectStarts(block)) break;
        AddStreamNumbers(block, grid, numbers);
    }
    return numbers;
}

std::set<int> StreamNumbersInFile(BinaryFile& file, const PacketGrid& grid, PassStop* stop) {
    std::set<int> numbers;
    std::int64_t seen = 0;
    WalkGridPackets(file, grid.start, grid.packetSize, [&](std::span<const std::uint8_t> block) {
        AddStreamNumbers(block, grid, numbers);
        if (stop) stop->Step(++seen);
        return true;
    });
    return numbers;
}

}  // namespace mendery
