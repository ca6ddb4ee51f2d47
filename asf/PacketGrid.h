#pragma once
// Where the data packets of a file lie: the packet size and the offset of the first packet,
// found from the packets themselves. A size holds when packets one after another at that
// spacing all parse and share one layout (with or without error correction data, the same
// property flags); confirming it over several packets keeps a size that lands on a packet
// boundary by chance from passing.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace mendery {

// The part of a packet's layout that a writer keeps the same in every packet of a file.
struct PacketLayout {
    bool errorCorrection = false;
    std::uint8_t errorCorrectionFlags = 0;  // the first byte, when error correction data is present
    std::uint8_t propertyFlags = 0;
    friend bool operator==(const PacketLayout&, const PacketLayout&) = default;
};

struct PacketGrid {
    std::uint64_t start = 0;      // offset of the first packet in the bytes searched
    std::uint32_t packetSize = 0;
    PacketLayout layout;
    std::uint32_t confirmed = 0;  // consecutive packets that parsed at this size
};

// Packets that must parse one after another before a size is believed; fewer when the bytes
// end sooner.
inline constexpr std::uint32_t kGridConfirmPackets = 16;
// Where the first packet is searched for over a range of offsets and the bytes end sooner.
inline constexpr std::uint32_t kGridShortRunPackets = 4;

// The layout of the packet at `at` when it parses at `packetSize` as a packet of a grid: its
// stream numbers one byte long, multiple payloads and padding filling the packet exactly.
// Nothing otherwise.
std::optional<PacketLayout> PacketLayoutAt(std::span<const std::uint8_t> bytes, std::uint64_t at,
                                           std::uint32_t packetSize);

struct GridRun {
    std::uint32_t packets = 0;  // consecutive packets that parsed
    bool reachedEnd = false;    // the run ended at the end of the bytes or at an index object
};

// How many packets parse one after another from `at` at `packetSize` with the layout of the
// first (or with `layout` when given), up to `limit`. The run stops at the first packet that
// does not parse or has another layout, at the end of the bytes (a last block shorter than a
// packet is not counted) and at an index object.
GridRun ConfirmGrid(std::span<const std::uint8_t> bytes, std::uint64_t at, std::uint32_t packetSize,
                    std::uint32_t limit, std::optional<PacketLayout> layout = std::nullopt);

struct GridSearch {
    std::vector<std::uint32_t> sizes;  // tried in this order (the declared size first)
    bool scanAllSizes = false;         // then every size from the smallest packet to 65,535
    std::uint64_t firstFrom = 0;       // the first packet begins at or after this offset
    std::uint64_t firstTo = 0;         // ... and at or before this one (firstFrom alone when equal)
    std::optional<PacketLayout> layout;  // the packets must have this layout
};

// The first offset (from firstFrom) and, there, the first size of the search that confirms
// over kGridConfirmPackets packets (or every whole packet the bytes hold: at least two unless
// only one fits at a fixed start, kGridShortRunPackets at a searched one). A size that confirms while half, a third ... of it confirms too is taken as
// that smaller size: every second packet of a grid also parses at twice its size.
std::optional<PacketGrid> FindPacketGrid(std::span<const std::uint8_t> bytes, const GridSearch& search);

}  // namespace mendery
