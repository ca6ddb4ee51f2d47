#include "asf/AsfPacket.h"

#include "asf/ByteCursor.h"

namespace mendery {
namespace {

void ReadPayloadHeader(ByteCursor& c, const ParsedPacket& p, PacketPayload& pl) {
    std::uint8_t sn = c.U8();
    pl.streamNumber = sn & 0x7F;
    pl.keyFrame = (sn & 0x80) != 0;
    pl.mediaObjectNumber = c.ByLengthType((p.propertyFlags >> 4) & 3);
    std::uint64_t offsetAt = c.Pos();
    pl.offsetIntoMediaObject = c.ByLengthType((p.propertyFlags >> 2) & 3);
    pl.replicatedLength = c.ByLengthType(p.propertyFlags & 3);
    if (pl.replicatedLength == 1) {
        // Compressed payload: the offset field holds the presentation time.
        pl.compressed = true;
        pl.presentationTime = pl.offsetIntoMediaObject;
        pl.hasPresentationTime = ((p.propertyFlags >> 2) & 3) == 3;
        pl.presentationTimeAt = offsetAt;
        pl.presentationTimeDelta = c.U8();
        return;
    }
    pl.replicatedAt = c.Pos();
    auto rep = c.Bytes(pl.replicatedLength);
    if (rep.size() >= 8) {
        ByteCursor r(rep);
        pl.mediaObjectSize = r.U32();
        pl.presentationTime = r.U32();
        pl.hasPresentationTime = true;
        pl.presentationTimeAt = pl.replicatedAt + 4;
    }
}

void SplitCompressed(std::span<const std::uint8_t> packet, PacketPayload& pl) {
    ByteCursor c(packet);
    c.Seek(pl.dataAt);
    ByteCursor sub = c.Sub(pl.dataLength);
    while (!sub.AtEnd()) {
        std::uint8_t len = sub.U8();
        std::uint64_t at = pl.dataAt + sub.Pos();
        sub.Skip(len);
        pl.pieces.push_back({at, len});
    }
}

}  // namespace

ParsedPacket ParsePacket(std::span<const std::uint8_t> packet, std::uint32_t packetSize) {
    ParsedPacket p;
    try {
        ByteCursor c(packet);
        std::uint8_t first = c.U8();
        if (first & 0x80) {
            p.hasErrorCorrection = true;
            if (first & 0x60) throw TruncatedData("纠错数据长度类型不是0");
            c.Skip(first & 0x0F);
            p.lengthTypeFlagsAt = c.Pos();
            p.lengthTypeFlags = c.U8();
        } else {
            p.lengthTypeFlags = first;
        }
        p.propertyFlags = c.U8();
        const unsigned plType = (p.lengthTypeFlags >> 5) & 3, seqType = (p.lengthTypeFlags >> 1) & 3,
                       padType = (p.lengthTypeFlags >> 3) & 3;
        p.packetLengthAt = c.Pos();
        p.packetLengthWidth = LengthTypeWidth(plType);
        p.explicitPacketLength = plType != 0;
        p.packetLength = c.ByLengthType(plType, packetSize);
        p.sequence = c.ByLengthType(seqType);
        p.paddingLengthAt = c.Pos();
        p.paddingLengthWidth = LengthTypeWidth(padType);
        p.paddingLength = c.ByLengthType(padType);
        p.sendTimeAt = c.Pos();
        p.sendTime = c.U32();
        p.duration = c.U16();

        std::uint64_t end = packetSize;
        if (p.explicitPacketLength) {
            if (p.packetLength > packetSize) throw TruncatedData("数据包长度字段大于数据块大小");
            end = p.packetLength;
        }
        // Most writers count the padding inside the packet length. GStreamer writes a packet
        // length that already excludes the padding (length + padding = packet size); its
        // payloads then run up to the packet length, and multiple payloads are bounded by the
        // packet length in either case.
        std::uint64_t payloadEnd;
        if (p.paddingLength <= end && end - p.paddingLength >= c.Pos()) payloadEnd = end - p.paddingLength;
        else if (p.explicitPacketLength && std::uint64_t(p.packetLength) + p.paddingLength <= packetSize) payloadEnd = end;
        else throw TruncatedData("填充长度太大");
        if (payloadEnd > packet.size()) throw TruncatedData("数据包不完整");
        if (end > packet.size()) end = packet.size();

        p.multiplePayloads = (p.lengthTypeFlags & 1) != 0;
        if (!p.multiplePayloads) {
            PacketPayload pl;
            ReadPayloadHeader(c, p, pl);
            if (c.Pos() > payloadEnd) throw TruncatedData("负载头超出数据包末尾");
            pl.dataAt = c.Pos();
            pl.dataLength = static_cast<std::uint32_t>(payloadEnd - c.Pos());
            p.payloads.push_back(std::move(pl));
            p.usedEnd = payloadEnd;
        } else {
            p.payloadFlagsAt = c.Pos();
            p.payloadFlags = c.U8();
            const unsigned count = p.payloadFlags & 0x3F, lenType = (p.payloadFlags >> 6) & 3;
            if (count == 0) throw TruncatedData("多负载的数目为0");
            for (unsigned i = 0; i < count; ++i) {
                PacketPayload pl;
                ReadPayloadHeader(c, p, pl);
                pl.dataLength = c.ByLengthType(lenType);
                pl.dataAt = c.Pos();
                if (pl.dataAt > end || pl.dataLength > end - pl.dataAt) throw TruncatedData("负载超出数据包末尾");
                c.Skip(pl.dataLength);
                p.payloads.push_back(std::move(pl));
            }
            p.usedEnd = c.Pos();
        }
        for (auto& pl : p.payloads)
            if (pl.compressed) SplitCompressed(packet, pl);
        p.ok = true;
    } catch (const TruncatedData& e) {
        p.ok = false;
        p.error = e.what();
    }
    return p;
}

}  // namespace mendery
