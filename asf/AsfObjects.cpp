#include "asf/AsfObjects.h"

#include <algorithm>

namespace mendery {

ObjectHeader ObjectHeader::Read(ByteCursor& c) {
    ObjectHeader h;
    h.guid = Guid::FromBytes(c.Bytes(16));
    h.size = c.U64();
    return h;
}

FileProperties FileProperties::Read(ByteCursor c) {
    FileProperties p;
    c.Skip(kObjectHeaderSize);
    p.fileId = Guid::FromBytes(c.Bytes(16));
    p.fileSize = c.U64();
    p.creationDate = c.U64();
    p.dataPacketsCount = c.U64();
    p.playDuration = c.U64();
    p.sendDuration = c.U64();
    p.preroll = c.U64();
    p.flags = c.U32();
    p.minPacketSize = c.U32();
    p.maxPacketSize = c.U32();
    p.maxBitrate = c.U32();
    return p;
}

StreamProperties StreamProperties::Read(ByteCursor c) {
    StreamProperties s;
    auto head = ObjectHeader::Read(c);
    // The object's own size bounds everything inside it.
    if (head.size >= kObjectHeaderSize) c = c.Sub(head.size - kObjectHeaderSize, true);
    s.streamType = Guid::FromBytes(c.Bytes(16));
    s.errorCorrectionType = Guid::FromBytes(c.Bytes(16));
    s.timeOffset = c.U64();
    std::uint32_t typeLen = c.U32();
    std::uint32_t ecLen = c.U32();
    s.flags = c.U16();
    c.Skip(4);
    auto ts = c.Bytes(typeLen);
    s.typeSpecific.assign(ts.begin(), ts.end());
    auto ec = c.Bytes(ecLen);
    s.errorCorrection.assign(ec.begin(), ec.end());
    return s;
}

DataObjectHead DataObjectHead::Read(ByteCursor c) {
    DataObjectHead d;
    c.Skip(16);
    d.size = c.U64();
    d.fileId = Guid::FromBytes(c.Bytes(16));
    d.totalPackets = c.U64();
    c.Skip(2);
    return d;
}

const SubObject* HeaderWalk::Find(const Guid& g) const {
    for (const auto& o : objects)
        if (o.guid == g) return &o;
    return nullptr;
}

std::vector<const SubObject*> HeaderWalk::FindAll(const Guid& g) const {
    std::vector<const SubObject*> out;
    for (const auto& o : objects)
        if (o.guid == g) out.push_back(&o);
    return out;
}

HeaderWalk WalkHeader(std::span<const std::uint8_t> header) {
    ByteCursor c(header);
    HeaderWalk w;
    auto head = ObjectHeader::Read(c);
    w.headerSize = head.size;
    w.declaredCount = c.U32();
    c.Skip(2);
    std::uint64_t end = head.size;
    if (end > header.size()) {
        end = header.size();
        w.end = WalkEnd::BytesMissing;
    }
    std::uint64_t pos = kHeaderObjectFixedSize;
    while (pos < end) {
        if (end - pos < kObjectHeaderSize) {
            if (w.end == WalkEnd::Complete) w.end = WalkEnd::TrailingBytes;
            break;
        }
        c.Seek(pos);
        SubObject o;
        auto oh = ObjectHeader::Read(c);
        o.offset = pos;
        o.guid = oh.guid;
        o.size = oh.size;
        if (o.size < kObjectHeaderSize) {
            w.end = WalkEnd::SizeTooSmall;
            break;
        }
        if (o.size > end - pos) {
            if (w.end == WalkEnd::Complete || head.size <= header.size()) w.end = WalkEnd::RunsPastEnd;
            break;
        }
        w.objects.push_back(o);
        pos += o.size;
    }
    return w;
}

bool DataObjectAt(std::span<const std::uint8_t> bytes, std::uint64_t size) {
    return size <= bytes.size() && bytes.size() - size >= 16 &&
           std::equal(guids::DataObject.bytes.begin(), guids::DataObject.bytes.end(), bytes.begin() + size);
}

std::optional<std::uint64_t> HeaderSizeFromChildren(std::span<const std::uint8_t> bytes) {
    std::uint64_t pos = kHeaderObjectFixedSize;
    while (bytes.size() >= kObjectHeaderSize && pos <= bytes.size() - kObjectHeaderSize) {
        if (DataObjectAt(bytes, pos)) return pos;
        const std::uint64_t size = ReadU64At(bytes, pos + 16);
        if (size < kObjectHeaderSize || size > bytes.size() - pos) return std::nullopt;
        pos += size;
    }
    return std::nullopt;
}

BlockKind ClassifyBlock(std::span<const std::uint8_t> block) {
    if (block.size() < 3) return BlockKind::Bad;
    if (block[0] == 0x82 && block[1] == 0x00 && block[2] == 0x00) return BlockKind::Good;
    if (block[0] == 0x90 && block[1] == 0x08 && block[2] == 0x00) return BlockKind::Index;
    return BlockKind::Bad;
}

bool IsIndexMarker4(std::span<const std::uint8_t> block) {
    return block.size() >= 4 && block[0] == 0x90 && block[1] == 0x08 && block[2] == 0x00 && block[3] == 0x33;
}

std::span<const KnownLayout> KnownLayouts() {
    static const KnownLayout table[] = {
        {0x00, -1, -1, 0, 5, 9, 13}, {0x01, -1, -1, 0, 5, 9, 14}, {0x08, -1, 5, 1, 6, 10, 14},
        {0x09, -1, 5, 1, 6, 10, 15}, {0x10, -1, 5, 2, 7, 11, 15}, {0x11, -1, 5, 2, 7, 11, 16},
        {0x48, 5, 7, 1, 8, 12, 16},  {0x49, 5, 7, 1, 8, 12, 17},  {0x50, 5, 7, 2, 9, 13, 17},
        {0x51, 5, 7, 2, 9, 13, 18},
    };
    return table;
}

const KnownLayout* FindKnownLayout(std::uint8_t t) {
    for (const auto& k : KnownLayouts())
        if (k.lengthTypeFlags == t) return &k;
    return nullptr;
}

}  // namespace mendery
