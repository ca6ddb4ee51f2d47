#include "asf/AsfPacket.h"

#include "asf/ByteCursor.h"

namespace mendery {
namespace {

// A packet whose fields contradict each other; a field past the end of the bytes is the
// cursor's TruncatedData.
struct PacketFault {
    PacketError kind;
    const char* text;
};

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

void SplitCompressed(std::span<const std::uint8_t> packet, PacketPayload& payload) {
    ByteCursor cursor(packet);
    cursor.Seek(payload.dataAt);
    ByteCursor group = cursor.Sub(payload.dataLength);
    while (!group.AtEnd()) {
        const std::uint8_t length = group.U8();
        const std::uint64_t at = payload.dataAt + group.Pos();
        group.Skip(length);
        payload.pieces.push_back({at, length});
    }
}

// The error correction data and the payload parsing information, up to the duration.
void ReadParsingInfo(ByteCursor& cursor, std::uint32_t packetSize, ParsedPacket& parsed) {
    const std::uint8_t first = cursor.U8();
    if (first & 0x80) {
        parsed.hasErrorCorrection = true;
        if (first & 0x60) throw PacketFault{PacketError::BadErrorCorrection, "纠错数据长度类型不是0"};
        cursor.Skip(first & 0x0F);
        parsed.lengthTypeFlagsAt = cursor.Pos();
        parsed.lengthTypeFlags = cursor.U8();
    } else {
        parsed.lengthTypeFlags = first;
    }
    parsed.propertyFlags = cursor.U8();
    const unsigned packetLengthType = (parsed.lengthTypeFlags >> 5) & 3,
                   sequenceType = (parsed.lengthTypeFlags >> 1) & 3,
                   paddingType = (parsed.lengthTypeFlags >> 3) & 3;
    parsed.packetLengthAt = cursor.Pos();
    parsed.packetLengthWidth = LengthTypeWidth(packetLengthType);
    parsed.explicitPacketLength = packetLengthType != 0;
    parsed.packetLength = cursor.ByLengthType(packetLengthType, packetSize);
    parsed.sequence = cursor.ByLengthType(sequenceType);
    parsed.paddingLengthAt = cursor.Pos();
    parsed.paddingLengthWidth = LengthTypeWidth(paddingType);
    parsed.paddingLength = cursor.ByLengthType(paddingType);
    parsed.sendTimeAt = cursor.Pos();
    parsed.sendTime = cursor.U32();
    parsed.duration = cursor.U16();
    parsed.parsingInfoRead = true;
}

// Where the payloads end: the packet length (or packet size) less the padding.
std::uint64_t PayloadEnd(const ByteCursor& cursor, std::size_t available, std::uint32_t packetSize,
                         const ParsedPacket& parsed, std::uint64_t& end) {
    end = packetSize;
    if (parsed.explicitPacketLength) {
        if (parsed.packetLength > packetSize) throw PacketFault{PacketError::LengthOverSize, "数据包长度字段大于数据块大小"};
        end = parsed.packetLength;
    }
    // Most writers count the padding inside the packet length. GStreamer writes a packet
    // length that already excludes the padding (length + padding = packet size); its
    // payloads then run up to the packet length, and multiple payloads are bounded by the
    // packet length in either case.
    std::uint64_t payloadEnd;
    if (parsed.paddingLength <= end && end - parsed.paddingLength >= cursor.Pos()) payloadEnd = end - parsed.paddingLength;
    else if (parsed.explicitPacketLength && std::uint64_t(parsed.packetLength) + parsed.paddingLength <= packetSize) payloadEnd = end;
    else throw PacketFault{PacketError::PaddingOverrun, "填充长度太大"};
    if (payloadEnd > available) throw TruncatedData("数据包不完整");
    if (end > available) end = available;
    return payloadEnd;
}

void ReadSinglePayload(ByteCursor& cursor, std::uint64_t payloadEnd, ParsedPacket& parsed) {
    PacketPayload payload;
    ReadPayloadHeader(cursor, parsed, payload);
    if (cursor.Pos() > payloadEnd) throw PacketFault{PacketError::PayloadOverrun, "负载头超出数据包末尾"};
    payload.dataAt = cursor.Pos();
    payload.dataLength = static_cast<std::uint32_t>(payloadEnd - cursor.Pos());
    parsed.payloads.push_back(std::move(payload));
    parsed.usedEnd = payloadEnd;
}

void ReadMultiplePayloads(ByteCursor& cursor, std::uint64_t end, ParsedPacket& parsed) {
    parsed.payloadFlagsAt = cursor.Pos();
    parsed.payloadFlags = cursor.U8();
    const unsigned count = parsed.payloadFlags & kPayloadCountMask, lengthType = (parsed.payloadFlags >> 6) & 3;
    if (count == 0) throw PacketFault{PacketError::ZeroPayloadCount, "多负载的数目为0"};
    for (unsigned i = 0; i < count; ++i) {
        PacketPayload payload;
        ReadPayloadHeader(cursor, parsed, payload);
        payload.dataLength = cursor.ByLengthType(lengthType);
        payload.dataAt = cursor.Pos();
        if (payload.dataAt > end || payload.dataLength > end - payload.dataAt)
            throw PacketFault{PacketError::PayloadOverrun, "负载超出数据包末尾"};
        cursor.Skip(payload.dataLength);
        parsed.payloads.push_back(std::move(payload));
    }
    parsed.usedEnd = cursor.Pos();
}

void Fail(ParsedPacket& parsed, PacketError kind, std::string text) {
    parsed.ok = false;
    parsed.errorKind = kind;
    parsed.error = std::move(text);
}

}  // namespace

ParsedPacket ParsePacket(std::span<const std::uint8_t> packet, std::uint32_t packetSize) {
    ParsedPacket parsed;
    try {
        ByteCursor cursor(packet);
        ReadParsingInfo(cursor, packetSize, parsed);
        std::uint64_t end = 0;
        const std::uint64_t payloadEnd = PayloadEnd(cursor, packet.size(), packetSize, parsed, end);
        parsed.multiplePayloads = (parsed.lengthTypeFlags & 1) != 0;
        if (parsed.multiplePayloads) ReadMultiplePayloads(cursor, end, parsed);
        else ReadSinglePayload(cursor, payloadEnd, parsed);
    } catch (const PacketFault& fault) {
        Fail(parsed, fault.kind, fault.text);
        return parsed;
    } catch (const TruncatedData& e) {
        Fail(parsed, PacketError::Truncated, e.what());
        return parsed;
    }
    try {
        for (auto& payload : parsed.payloads)
            if (payload.compressed) SplitCompressed(packet, payload);
    } catch (const TruncatedData& e) {
        // A sub-payload's length runs past the end of its payload.
        Fail(parsed, PacketError::PayloadOverrun, e.what());
        return parsed;
    }
    parsed.ok = true;
    return parsed;
}

}  // namespace mendery
