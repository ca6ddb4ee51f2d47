#include "asf/PacketLayout.h"

#include <algorithm>
#include <vector>

#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/BufferedInput.h"

namespace mendery {
namespace {

// A block without error correction data that parses as a packet: its parse, or nothing.
std::optional<ParsedPacket> ParseWithoutErrorCorrection(std::span<const std::uint8_t> block, std::uint32_t packetSize) {
    if (block.empty() || (block[0] & 0x80)) return std::nullopt;
    if (block.size() >= packetSize) {
        ParsedPacket parsed = ParsePacket(block.first(packetSize), packetSize);
        if (!parsed.ok || parsed.payloads.empty()) return std::nullopt;
        for (const auto& payload : parsed.payloads)
            if (payload.streamNumber == 0) return std::nullopt;
        return parsed;
    }
    // The cut last packet of a file: read with zeros after the cut, as the tools hold it. The
    // payloads that begin before the cut must name a stream; those in the zeros name none.
    if (packetSize > kLargestPacketSize) return std::nullopt;
    std::vector<std::uint8_t> whole(packetSize, 0);
    std::copy(block.begin(), block.end(), whole.begin());
    ParsedPacket parsed = ParsePacket(whole, packetSize);
    if (!parsed.ok) return std::nullopt;
    int before = 0;
    for (const auto& payload : parsed.payloads) {
        if (payload.dataAt > block.size()) continue;
        if (payload.streamNumber == 0) return std::nullopt;
        ++before;
    }
    if (before == 0) return std::nullopt;
    return parsed;
}

template <class File>
PacketLayout DetectFrom(File& file, std::int64_t firstPacket, std::uint32_t packetSize) {
    const std::int64_t was = file.Tell();
    const std::int64_t size = file.Size();
    std::int64_t want = std::max<std::int64_t>(0, size - firstPacket);
    want = std::min<std::int64_t>(want, std::int64_t(kLayoutProbeBlocks) * packetSize);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(want));
    file.Seek(firstPacket);
    const std::size_t got = file.Read(bytes);
    file.Seek(was);
    return DetectPacketLayout(std::span<const std::uint8_t>(bytes).first(got), packetSize);
}

}  // namespace

PacketLayout DetectPacketLayout(std::span<const std::uint8_t> firstPackets, std::uint32_t packetSize) {
    PacketLayout layout;
    if (packetSize == 0) return layout;
    int withCorrection = 0, without = 0;
    std::optional<std::uint8_t> flags;
    bool flagsAgree = true;
    for (std::size_t at = 0, blocks = 0; at < firstPackets.size() && blocks < std::size_t(kLayoutProbeBlocks) &&
                                         withCorrection + without < kLayoutVotes;
         at += packetSize, ++blocks) {
        const auto block = firstPackets.subspan(at, std::min<std::size_t>(packetSize, firstPackets.size() - at));
        const BlockKind kind = ClassifyBlock(block);
        if (kind == BlockKind::Index) break;
        if (kind == BlockKind::Good) {
            ++withCorrection;
            continue;
        }
        const auto parsed = ParseWithoutErrorCorrection(block, packetSize);
        if (!parsed) continue;
        ++without;
        if (flags && *flags != parsed->propertyFlags) flagsAgree = false;
        flags = parsed->propertyFlags;
    }
    if (without <= withCorrection) return layout;
    layout.errorCorrection = false;
    if (flagsAgree) layout.propertyFlags = flags;
    return layout;
}

PacketLayout DetectPacketLayout(BinaryFile& file, std::int64_t firstPacket, std::uint32_t packetSize) {
    return DetectFrom(file, firstPacket, packetSize);
}

PacketLayout DetectPacketLayout(BufferedInput& file, std::int64_t firstPacket, std::uint32_t packetSize) {
    return DetectFrom(file, firstPacket, packetSize);
}

BlockKind ClassifyPacket(std::span<const std::uint8_t> block, std::uint32_t packetSize, const PacketLayout& layout) {
    if (layout.errorCorrection) return ClassifyBlock(block);
    if (ClassifyBlock(block) == BlockKind::Index) return BlockKind::Index;
    const auto parsed = ParseWithoutErrorCorrection(block, packetSize);
    if (!parsed) return BlockKind::Bad;
    if (layout.propertyFlags && parsed->propertyFlags != *layout.propertyFlags) return BlockKind::Bad;
    return BlockKind::Good;
}

std::int64_t SendClockStep(const PacketLayout& layout, std::uint16_t previousDuration, std::uint32_t previousSendTime,
                           std::uint32_t sendTime) {
    if (layout.errorCorrection || previousDuration != 0) return previousDuration;
    const std::int64_t step = std::int64_t(sendTime) - std::int64_t(previousSendTime);
    return step > 0 && step <= 0xFFFF ? step : 0;
}

BlockKind ClassifyPacket(std::span<const std::uint8_t> held, std::size_t validBytes, std::uint32_t packetSize,
                         const PacketLayout& layout) {
    if (layout.errorCorrection) return ClassifyBlock(held);
    return ClassifyPacket(held.first(std::min(validBytes, held.size())), packetSize, layout);
}

}  // namespace mendery
