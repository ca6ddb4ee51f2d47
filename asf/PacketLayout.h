#pragma once
// Whether a file's data packets begin with error correction data (82 00 00, as most writers
// put it) or directly with the length type flags (GStreamer and some capture software), decided
// once per file from its first packets, and the one test every tool gives each packet of it.
#include <cstdint>
#include <optional>
#include <span>

#include "asf/AsfObjects.h"

namespace mendery {

class BinaryFile;
class BufferedInput;

struct PacketLayout {
    bool errorCorrection = true;
    // The property flags byte that every probed packet without error correction data shared.
    // Writers keep it for the whole file, so a block that carries another one is damage (a byte
    // search meets it far more often than a real packet start). Absent when they differed.
    std::optional<std::uint8_t> propertyFlags;
};

// How many packets decide the layout, and how many blocks at the packet grid are looked at to
// find them (the first packets of a damaged file may be garbage).
inline constexpr int kLayoutVotes = 8;
inline constexpr int kLayoutProbeBlocks = 64;

// The log line every tool writes for a file whose packets carry no error correction data.
inline constexpr const char* kNoErrorCorrectionLine = "数据包不含纠错数据 (按数据包结构检查每个数据包).";

// Decides from the blocks at the packet grid in `firstPackets` (the bytes from the first packet
// on): a block with the signature 82 00 00 votes for error correction data, one without bit 7 in
// its first byte that parses whole as a packet (see ClassifyPacket) votes against. Packets
// without error correction data must outnumber those with it; otherwise (no votes, a tie) the
// file is read as packets with error correction data, as every tool always did.
PacketLayout DetectPacketLayout(std::span<const std::uint8_t> firstPackets, std::uint32_t packetSize);
// The same, reading the blocks from `firstPacket` on; the file stays where it stood.
PacketLayout DetectPacketLayout(BinaryFile& file, std::int64_t firstPacket, std::uint32_t packetSize);
PacketLayout DetectPacketLayout(BufferedInput& file, std::int64_t firstPacket, std::uint32_t packetSize);

// One block of the packet grid (`block` holds its bytes; shorter than packetSize only at the
// end of a cut file). With error correction data: the signature 82 00 00 is a good packet,
// 90 08 00 the index object, anything else bad. Without: 90 08 00 is still the index object; a
// packet is good when its first byte has bit 7 clear, it parses whole (a cut last packet: up
// to at least one whole payload), every payload names a stream (1 to 127), and its property
// flags are the file's.
BlockKind ClassifyPacket(std::span<const std::uint8_t> block, std::uint32_t packetSize, const PacketLayout& layout);
// The same for a block read into a zeroed buffer: `held` holds `validBytes` bytes of the file,
// then zeros where the file ended. The signature test looks at the buffer as it always has.
BlockKind ClassifyPacket(std::span<const std::uint8_t> held, std::size_t validBytes, std::uint32_t packetSize,
                         const PacketLayout& layout);

// How far a rewritten send clock moves from one kept packet to the next. With error correction
// data: the earlier packet's duration, as always. Without it (GStreamer leaves every packet's
// duration 0), a duration of 0 gives way to the step between the two packets' own send times
// when that step goes forward by no more than a duration field holds; a larger jump is no
// packet's time and moves the clock by nothing.
std::int64_t SendClockStep(const PacketLayout& layout, std::uint16_t previousDuration, std::uint32_t previousSendTime,
                           std::uint32_t sendTime);

}  // namespace mendery
