#include "asf/PacketGrid.h"

#include <algorithm>
#include <cstring>

#include "asf/AsfGuid.h"
#include "asf/AsfPacket.h"
#include "asf/ByteCursor.h"

namespace mendery {
namespace {

// The smallest packet that holds its parsing information and one payload header.
constexpr std::uint32_t kSmallestPacket = 16;
constexpr unsigned kLargestDivisor = 8;

bool IndexObjectAt(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    if (bytes.size() - at < 16) return false;
    const Guid g = Guid::FromBytes(bytes.subspan(at, 16));
    return g == guids::SimpleIndex || g == guids::Index;
}

// The two bytes that tell a layout apart, compared before a full parse (most offsets and sizes
// fail here).
bool LooksLike(std::span<const std::uint8_t> bytes, std::uint64_t at, const PacketLayout& layout) {
    const std::uint8_t first = bytes[at];
    std::uint64_t propertyAt = at + 1;
    if (layout.errorCorrection) {
        if (first != layout.errorCorrectionFlags) return false;
        propertyAt = at + 1 + (first & 0x0F) + 1;
    } else if (first & 0x80) {
        return false;
    }
    return propertyAt < bytes.size() && bytes[propertyAt] == layout.propertyFlags;
}

// The first offset in [from, end) where LooksLike holds, else `end`. Searching for the byte
// that tells the layout apart (the error correction flags, or the property flags one byte
// into the packet) skips the offsets that cannot match without testing each of them.
std::uint64_t NextLookalike(std::span<const std::uint8_t> bytes, std::uint64_t from, std::uint64_t end,
                            const PacketLayout& layout) {
    end = std::min<std::uint64_t>(end, bytes.size());
    const std::uint8_t key = layout.errorCorrection ? layout.errorCorrectionFlags : layout.propertyFlags;
    const std::uint64_t keyAt = layout.errorCorrection ? 0 : 1;
    for (std::uint64_t at = from; at < end; ++at) {
        const std::uint64_t searchFrom = at + keyAt;
        const std::uint64_t searchEnd = std::min<std::uint64_t>(end + keyAt, bytes.size());
        if (searchFrom >= searchEnd) break;
        const void* hit = std::memchr(bytes.data() + searchFrom, key, searchEnd - searchFrom);
        if (!hit) break;
        at = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - bytes.data()) - keyAt;
        if (LooksLike(bytes, at, layout)) return at;
    }
    return end;
}

// Every writer stores the stream number of a payload in one byte (length type 1); bytes that
// are no packet parse with any other value as readily as with this one.
bool StreamNumberIsAByte(const ParsedPacket& packet) { return (packet.propertyFlags >> 6) == 1; }

// Multiple payloads and the padding after them fill the packet exactly: its packet length, or
// the packet size when the length is absent (GStreamer counts the padding outside the length).
// A packet read at the wrong offset or size does not add up. One payload always fills it.
bool FillsItsSize(const ParsedPacket& packet, std::uint32_t packetSize) {
    if (!packet.multiplePayloads) return true;
    const std::uint64_t end = packet.explicitPacketLength ? packet.packetLength : packetSize;
    if (packet.usedEnd + packet.paddingLength == end) return true;
    return packet.explicitPacketLength && packet.usedEnd == end && end + packet.paddingLength == packetSize;
}

// The layout the first bytes at `at` announce, before the packet is parsed.
std::optional<PacketLayout> RawLayoutAt(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    if (at >= bytes.size()) return std::nullopt;
    PacketLayout layout;
    std::uint64_t propertyAt = at + 1;
    if (bytes[at] & 0x80) {
        layout.errorCorrection = true;
        layout.errorCorrectionFlags = bytes[at];
        propertyAt = at + 1 + (bytes[at] & 0x0F) + 1;
    }
    if (propertyAt >= bytes.size()) return std::nullopt;
    layout.propertyFlags = bytes[propertyAt];
    return layout;
}

// Whether the run from `at` at `size` is long enough to believe. A first packet searched for
// over a range of offsets needs more of them where the bytes end early: one packet that happens
// to parse near the end of a file is found somewhere in nearly every file.
bool Confirms(std::span<const std::uint8_t> bytes, std::uint64_t at, std::uint32_t size,
              const std::optional<PacketLayout>& layout, bool searchedStart) {
    const GridRun run = ConfirmGrid(bytes, at, size, kGridConfirmPackets, layout);
    if (run.packets >= kGridConfirmPackets) return true;
    if (!run.reachedEnd || run.packets == 0) return false;
    if (searchedStart) return run.packets >= kGridShortRunPackets;
    // The bytes end before kGridConfirmPackets packets: every whole packet must parse, and two
    // of them unless the bytes hold room for one only.
    const std::uint64_t fits = (bytes.size() - at) / size;
    return run.packets >= 2 || fits < 2;
}

// The smallest whole fraction of `size` that confirms too, else `size`.
std::uint32_t SmallestConfirmingFraction(std::span<const std::uint8_t> bytes, std::uint64_t at, std::uint32_t size,
                                         const std::optional<PacketLayout>& layout, bool searchedStart) {
    for (unsigned k = kLargestDivisor; k >= 2; --k)
        if (size % k == 0 && size / k >= kSmallestPacket && Confirms(bytes, at, size / k, layout, searchedStart))
            return size / k;
    return size;
}

std::optional<PacketGrid> GridAt(std::span<const std::uint8_t> bytes, std::uint64_t at, const GridSearch& search) {
    const bool searchedStart = search.firstTo > search.firstFrom;
    auto tryOne = [&](std::uint32_t size) -> std::optional<PacketGrid> {
        if (size < kSmallestPacket || size > kLargestPacketSize) return std::nullopt;
        const auto first = PacketLayoutAt(bytes, at, size);
        if (!first || (search.layout && *first != *search.layout)) return std::nullopt;
        if (!Confirms(bytes, at, size, *first, searchedStart)) return std::nullopt;
        PacketGrid grid;
        grid.start = at;
        grid.packetSize = SmallestConfirmingFraction(bytes, at, size, *first, searchedStart);
        grid.layout = *first;
        grid.confirmed = ConfirmGrid(bytes, at, grid.packetSize, kGridConfirmPackets, *first).packets;
        return grid;
    };
    for (const std::uint32_t size : search.sizes)
        if (auto grid = tryOne(size)) return grid;
    if (!search.scanAllSizes) return std::nullopt;
    const auto first = RawLayoutAt(bytes, at);
    if (!first || (search.layout && *first != *search.layout)) return std::nullopt;
    // The next packet starts where the first one's layout bytes appear again.
    const std::uint64_t end = std::min<std::uint64_t>(bytes.size(), at + kLargestPacketSize + 1);
    for (std::uint64_t next = NextLookalike(bytes, at + kSmallestPacket, end, *first); next < end;
         next = NextLookalike(bytes, next + 1, end, *first))
        if (auto grid = tryOne(static_cast<std::uint32_t>(next - at))) return grid;
    return std::nullopt;
}

}  // namespace

std::optional<PacketLayout> PacketLayoutAt(std::span<const std::uint8_t> bytes, std::uint64_t at,
                                           std::uint32_t packetSize) {
    if (at >= bytes.size() || bytes.size() - at < packetSize) return std::nullopt;
    const ParsedPacket packet = ParsePacket(bytes.subspan(at, packetSize), packetSize);
    if (!packet.ok || !StreamNumberIsAByte(packet) || !FillsItsSize(packet, packetSize)) return std::nullopt;
    PacketLayout layout;
    layout.errorCorrection = packet.hasErrorCorrection;
    layout.errorCorrectionFlags = packet.hasErrorCorrection ? bytes[at] : 0;
    layout.propertyFlags = packet.propertyFlags;
    return layout;
}

GridRun ConfirmGrid(std::span<const std::uint8_t> bytes, std::uint64_t at, std::uint32_t packetSize,
                    std::uint32_t limit, std::optional<PacketLayout> layout) {
    GridRun run;
    if (packetSize == 0) return run;
    for (std::uint64_t pos = at; run.packets < limit; pos += packetSize) {
        if (pos >= bytes.size() || bytes.size() - pos < packetSize || IndexObjectAt(bytes, pos)) {
            run.reachedEnd = true;
            break;
        }
        if (layout && !LooksLike(bytes, pos, *layout)) break;
        const auto found = PacketLayoutAt(bytes, pos, packetSize);
        if (!found || (layout && *found != *layout)) break;
        if (!layout) layout = found;
        ++run.packets;
    }
    return run;
}

std::optional<PacketGrid> FindPacketGrid(std::span<const std::uint8_t> bytes, const GridSearch& search) {
    const std::uint64_t last = std::max(search.firstFrom, search.firstTo);
    const std::uint64_t end = last < bytes.size() ? last + 1 : bytes.size();
    auto next = [&](std::uint64_t from) { return search.layout ? NextLookalike(bytes, from, end, *search.layout) : from; };
    for (std::uint64_t at = next(search.firstFrom); at < end; at = next(at + 1))
        if (auto grid = GridAt(bytes, at, search)) return grid;
    return std::nullopt;
}

}  // namespace mendery
