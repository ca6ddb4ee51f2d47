#include "asf/AsfPacket.h"

#include <optional>

#include "asf/ByteCursor.h"

namespace mendery {
namespace {

// The parser meets damaged packets all the time (every block a repair or a search looks at),
// so it does not throw: its cursor is quiet, and each step says whether the packet still
// holds together. A field past the end of the bytes is the cursor's failure; a field that
// contradicts the others is a fault of its own kind.

void Fail(ParsedPacket& parsed, PacketError kind, std::string text) {
    parsed.ok = false;
    parsed.errorKind = kind;
    parsed.error = std::move(text);
}

bool Truncated(const ByteCursor& cursor, ParsedPacket& parsed) {
    if (!cursor.Failed()) return false;
    Fail(parsed, PacketError::Truncated, cursor.FailureText());
    return true;
}

void ReadPayloadHeader(ByteCursor& cursor, const ParsedPacket& parsed, PacketPayload& payload) {
    const std::uint8_t streamByte = cursor.U8();
    payload.streamNumber = streamByte & 0x7F;
    payload.keyFrame = (streamByte & 0x80) != 0;
    payload.mediaObjectNumber = cursor.ByLengthType((parsed.propertyFlags >> 4) & 3);
    const std::uint64_t offsetAt = cursor.Pos();
    payload.offsetIntoMediaObject = cursor.ByLengthType((parsed.propertyFlags >> 2) & 3);
    payload.replicatedLength = cursor.ByLengthType(parsed.propertyFlags & 3);
    if (payload.replicatedLength == 1) {
        // Compressed payload: the offset field holds the presentation time.
        payload.compressed = true;
        payload.presentationTime = payload.offsetIntoMediaObject;
        payload.hasPresentationTime = ((parsed.propertyFlags >> 2) & 3) == 3;
        payload.presentationTimeAt = offsetAt;
        payload.presentationTimeDelta = cursor.U8();
        return;
    }
    payload.replicatedAt = cursor.Pos();
    const auto replicated = cursor.Bytes(payload.replicatedLength);
    if (replicated.size() >= 8) {
        ByteCursor fields(replicated);
        payload.mediaObjectSize = fields.U32();
        payload.presentationTime = fields.U32();
        payload.hasPresentationTime = true;
        payload.presentationTimeAt = payload.replicatedAt + 4;
    }
}

// False when a sub-payload's length runs past the end of its payload.
bool SplitCompressed(std::span<const std::uint8_t> packet, PacketPayload& payload, ParsedPacket& parsed) {
    ByteCursor cursor = ByteCursor::Quiet(packet);
    cursor.Seek(payload.dataAt);
    ByteCursor group = cursor.Sub(payload.dataLength);
    while (!group.AtEnd() && !group.Failed() && !cursor.Failed()) {
        const std::uint8_t length = group.U8();
        const std::uint64_t at = payload.dataAt + group.Pos();
        group.Skip(length);
        if (!group.Failed()) payload.pieces.push_back({at, length});
    }
    const ByteCursor& failed = cursor.Failed() ? cursor : group;
    if (!failed.Failed()) return true;
    Fail(parsed, PacketError::PayloadOverrun, failed.FailureText());
    return false;
}

// The error correction data and the payload parsing information, up to the duration. The
// fields and positions are set as far as the bytes reach: a field the packet ends before
// keeps its zero position and width, so code that patches fields never writes outside it.
bool ReadParsingInfo(ByteCursor& cursor, std::uint32_t packetSize, ParsedPacket& parsed) {
    const std::uint8_t first = cursor.U8();
    if (first & 0x80) {
        parsed.hasErrorCorrection = true;
        if (first & 0x60) {
            Fail(parsed, PacketError::BadErrorCorrection, "纠错数据长度类型不是0");
            return false;
        }
        cursor.Skip(first & 0x0F);
        if (Truncated(cursor, parsed)) return false;
        parsed.lengthTypeFlagsAt = cursor.Pos();
        parsed.lengthTypeFlags = cursor.U8();
    } else {
        parsed.lengthTypeFlags = first;
    }
    parsed.propertyFlags = cursor.U8();
    if (Truncated(cursor, parsed)) return false;
    const unsigned packetLengthType = (parsed.lengthTypeFlags >> 5) & 3,
                   sequenceType = (parsed.lengthTypeFlags >> 1) & 3,
                   paddingType = (parsed.lengthTypeFlags >> 3) & 3;
    parsed.packetLengthAt = cursor.Pos();
    parsed.packetLengthWidth = LengthTypeWidth(packetLengthType);
    parsed.explicitPacketLength = packetLengthType != 0;
    parsed.packetLength = cursor.ByLengthType(packetLengthType, packetSize);
    if (Truncated(cursor, parsed)) {
        parsed.packetLength = 0;
        return false;
    }
    parsed.sequence = cursor.ByLengthType(sequenceType);
    if (Truncated(cursor, parsed)) return false;
    parsed.paddingLengthAt = cursor.Pos();
    parsed.paddingLengthWidth = LengthTypeWidth(paddingType);
    parsed.paddingLength = cursor.ByLengthType(paddingType);
    if (Truncated(cursor, parsed)) return false;
    parsed.sendTimeAt = cursor.Pos();
    parsed.sendTime = cursor.U32();
    if (Truncated(cursor, parsed)) return false;
    parsed.duration = cursor.U16();
    if (Truncated(cursor, parsed)) return false;
    parsed.parsingInfoRead = true;
    return true;
}

// Where the payloads end: the packet length (or packet size) less the padding; `end` becomes
// where multiple payloads must end. Nothing when the fields contradict each other or the
// payloads would run past the bytes given.
std::optional<std::uint64_t> PayloadEnd(const ByteCursor& cursor, std::size_t available, std::uint32_t packetSize,
                                        ParsedPacket& parsed, std::uint64_t& end) {
    end = packetSize;
    if (parsed.explicitPacketLength) {
        if (parsed.packetLength > packetSize) {
            Fail(parsed, PacketError::LengthOverSize, "数据包长度字段大于数据块大小");
            return std::nullopt;
        }
        end = parsed.packetLength;
    }
    // Most writers count the padding inside the packet length. GStreamer writes a packet
    // length that already excludes the padding (length + padding = packet size); its
    // payloads then run up to the packet length, and multiple payloads are bounded by the
    // packet length in either case.
    std::uint64_t payloadEnd;
    if (parsed.paddingLength <= end && end - parsed.paddingLength >= cursor.Pos()) payloadEnd = end - parsed.paddingLength;
    else if (parsed.explicitPacketLength && std::uint64_t(parsed.packetLength) + parsed.paddingLength <= packetSize) payloadEnd = end;
    else {
        Fail(parsed, PacketError::PaddingOverrun, "填充长度太大");
        return std::nullopt;
    }
    if (payloadEnd > available) {
        Fail(parsed, PacketError::Truncated, "数据包不完整");
        return std::nullopt;
    }
    if (end > available) end = available;
    return payloadEnd;
}

bool ReadSinglePayload(ByteCursor& cursor, std::uint64_t payloadEnd, ParsedPacket& parsed) {
    PacketPayload payload;
    ReadPayloadHeader(cursor, parsed, payload);
    if (Truncated(cursor, parsed)) return false;
    if (cursor.Pos() > payloadEnd) {
        Fail(parsed, PacketError::PayloadOverrun, "负载头超出数据包末尾");
        return false;
    }
    payload.dataAt = cursor.Pos();
    payload.dataLength = static_cast<std::uint32_t>(payloadEnd - cursor.Pos());
    parsed.payloads.push_back(std::move(payload));
    parsed.usedEnd = payloadEnd;
    return true;
}

bool ReadMultiplePayloads(ByteCursor& cursor, std::uint64_t end, ParsedPacket& parsed) {
    parsed.payloadFlagsAt = cursor.Pos();
    parsed.payloadFlags = cursor.U8();
    if (Truncated(cursor, parsed)) return false;
    const unsigned count = parsed.payloadFlags & kPayloadCountMask, lengthType = (parsed.payloadFlags >> 6) & 3;
    if (count == 0) {
        Fail(parsed, PacketError::ZeroPayloadCount, "多负载的数目为0");
        return false;
    }
    // One allocation per packet, not one for every time the list would grow.
    parsed.payloads.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        PacketPayload payload;
        ReadPayloadHeader(cursor, parsed, payload);
        payload.dataLength = cursor.ByLengthType(lengthType);
        payload.dataAt = cursor.Pos();
        if (Truncated(cursor, parsed)) return false;
        if (payload.dataAt > end || payload.dataLength > end - payload.dataAt) {
            Fail(parsed, PacketError::PayloadOverrun, "负载超出数据包末尾");
            return false;
        }
        cursor.Skip(payload.dataLength);
        if (Truncated(cursor, parsed)) return false;
        parsed.payloads.push_back(std::move(payload));
    }
    parsed.usedEnd = cursor.Pos();
    return true;
}

bool ReadPayloads(std::span<const std::uint8_t> packet, std::uint32_t packetSize, ParsedPacket& parsed) {
    ByteCursor cursor = ByteCursor::Quiet(packet);
    if (!ReadParsingInfo(cursor, packetSize, parsed)) return false;
    std::uint64_t end = 0;
    const auto payloadEnd = PayloadEnd(cursor, packet.size(), packetSize, parsed, end);
    if (!payloadEnd) return false;
    parsed.multiplePayloads = (parsed.lengthTypeFlags & 1) != 0;
    return parsed.multiplePayloads ? ReadMultiplePayloads(cursor, end, parsed) : ReadSinglePayload(cursor, *payloadEnd, parsed);
}

}  // namespace

ParsedPacket ParsePacket(std::span<const std::uint8_t> packet, std::uint32_t packetSize) {
    ParsedPacket parsed;
    ParsePacket(packet, packetSize, parsed);
    return parsed;
}

void ParsePacket(std::span<const std::uint8_t> packet, std::uint32_t packetSize, ParsedPacket& parsed) {
    // Everything is reset but the payload list's storage, which the next packet reuses.
    static_cast<PacketFields&>(parsed) = PacketFields{};
    parsed.error.clear();
    parsed.payloads.clear();
    if (!ReadPayloads(packet, packetSize, parsed)) return;
    for (auto& payload : parsed.payloads)
        if (payload.compressed && !SplitCompressed(packet, payload, parsed)) return;
    parsed.ok = true;
}

std::optional<std::size_t> FirstStreamByteAt(std::span<const std::uint8_t> packet) {
    if (packet.empty()) return std::nullopt;
    std::size_t at = 0;
    if (packet[0] & 0x80) {
        if (packet[0] & 0x60) return std::nullopt;  // not a packet ReadParsingInfo accepts
        at = 1 + (packet[0] & 0x0F);
        if (at >= packet.size()) return std::nullopt;
    }
    const std::uint8_t flags = packet[at];
    // Length type flags, property flags, the three fields the flags size, send time, duration.
    at += 2 + LengthTypeWidth(flags >> 5) + LengthTypeWidth(flags >> 1) + LengthTypeWidth(flags >> 3) + 6;
    if (flags & 1) ++at;  // the payload flags of multiple payloads
    if (at >= packet.size()) return std::nullopt;
    return at;
}

}  // namespace mendery
