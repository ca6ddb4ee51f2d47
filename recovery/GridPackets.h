#pragma once
// Walking the packets of a file along a known grid: every whole packet-sized block from the
// first packet to the end of the file or to an index object, and what the packets say.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/PacketGrid.h"
#include "recovery/PassStop.h"

namespace mendery {

struct GridPass {
    std::uint64_t wholePackets = 0;   // packet-sized blocks visited
    std::uint64_t end = 0;            // file offset after the last of them
    bool endedAtIndex = false;        // an index object follows them
    std::vector<std::uint8_t> trailing;  // the bytes after them, shorter than a packet (not at an index)
};

// Calls `visit` with every whole block of `packetSize` bytes from `start` (a packet of the
// grid) until the file ends or a block begins with an index object's GUID. `visit` returns
// false to stop early.
GridPass WalkGridPackets(BinaryFile& file, std::uint64_t start, std::uint32_t packetSize,
                         const std::function<bool(std::span<const std::uint8_t>)>& visit);

// The packet in `block` when it parses with the grid's layout; nothing for a damaged block
// (zeros parse as a packet of stream 0 without error correction data).
std::optional<ParsedPacket> PacketOfGrid(std::span<const std::uint8_t> block, const PacketGrid& grid);

// Stream numbers of the payloads of the packets of the grid, in `bytes` (which hold the grid's
// start), or in the whole file. `stop`, when given, lets a long pass be stopped.
std::set<int> StreamNumbersInPackets(std::span<const std::uint8_t> bytes, const PacketGrid& grid);
std::set<int> StreamNumbersInFile(BinaryFile& file, const PacketGrid& grid, PassStop* stop = nullptr);

// Whether a block begins with the GUID of an index object (simple index or index).
bool IndexObjectStarts(std::span<const std::uint8_t> block);

}  // namespace mendery
