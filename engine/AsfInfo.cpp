#include "engine/AsfInfo.h"

#include <algorithm>
#include <cstdio>

#include "engine/AsfPacket.h"
#include "engine/BinaryFile.h"

namespace mendery {

namespace {

constexpr std::uint64_t kMaxHeader = 16 * 1024 * 1024;

StreamInfo DescribeStream(const StreamProperties& s) {
    StreamInfo info;
    info.number = s.StreamNumber();
    info.encrypted = s.Encrypted();
    ByteCursor c(s.typeSpecific);
    char text[64];
    try {
        if (s.IsAudio()) {
            info.kind = "audio";
            std::uint16_t tag = c.U16(), channels = c.U16();
            std::uint32_t rate = c.U32();
            std::snprintf(text, sizeof text, "0x%04X", tag);
            info.codec = text;
            info.detail = std::to_string(rate) + " Hz " + std::to_string(channels) + " ch";
        } else if (s.IsVideo()) {
            info.kind = "video";
            std::uint32_t w = c.U32(), h = c.U32();
            c.Skip(1 + 2 + 4 + 4 + 4 + 2 + 2);  // reserved, format data size, BITMAPINFOHEADER size, width, height, planes, bpp
            auto fourcc = c.Bytes(4);
            info.codec.assign(fourcc.begin(), fourcc.end());
            info.detail = std::to_string(w) + "x" + std::to_string(h);
        } else {
            info.kind = GuidName(s.streamType);
        }
    } catch (const TruncatedData&) {
        info.detail = "(type-specific data cut short)";
    }
    return info;
}

void ReadHeader(BinaryFile& f, AsfInfo& info, std::vector<std::uint8_t>& header) {
    header.resize(30);
    if (f.Read(header) < 30) throw TruncatedData("file shorter than a header object");
    ByteCursor c(header);
    auto oh = ObjectHeader::Read(c);
    if (oh.guid != guids::HeaderObject) throw TruncatedData("no ASF header object at offset 0");
    info.headerSize = oh.size;
    if (oh.size > kMaxHeader) throw TruncatedData("header object size implausibly large");
    if (oh.size < kHeaderObjectFixedSize) throw TruncatedData("header object size below 30");
    // Never hold more than the file has, whatever the size field claims.
    header.resize(static_cast<std::size_t>(std::min<std::uint64_t>(oh.size, static_cast<std::uint64_t>(info.fileSize))));
    std::size_t got = 30 + f.Read(std::span(header).subspan(30));
    header.resize(got);
}

void Survey(BinaryFile& f, AsfInfo& info, std::uint32_t packetSize, std::int64_t start, std::int64_t end) {
    // The packet size field is not trusted for an allocation: no block is longer than the data.
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::int64_t>(packetSize, std::max<std::int64_t>(0, end - start))));
    f.Seek(start);
    bool first = true;
    for (std::int64_t pos = start; pos < end; pos += packetSize) {
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(packetSize, end - pos));
        std::size_t got = f.Read(std::span(block).first(want));
        if (got == 0) break;
        auto bytes = std::span<const std::uint8_t>(block).first(got);
        if (ClassifyBlock(bytes) == BlockKind::Index) {
            info.indexOffset = pos;
            break;
        }
        const std::int64_t index = info.packets++;
        if (got < packetSize) ++info.shortLast;
        const bool signature = ClassifyBlock(bytes) == BlockKind::Good;
        auto parsed = ParsePacket(bytes, packetSize);
        if (signature) ++info.signatureGood;
        if (!parsed.ok) {
            ++info.damaged;
            info.damage.push_back({index, pos, signature ? "does not parse: " + parsed.error : "bad signature, does not parse: " + parsed.error});
            continue;
        }
        if (!signature) ++info.parsedWithoutSignature;
        if (first) info.firstSendTime = parsed.sendTime;
        first = false;
        info.lastSendTime = parsed.sendTime;
        for (const auto& p : parsed.payloads) {
            ++info.payloadsPerStream[p.streamNumber];
            if (p.keyFrame && p.offsetIntoMediaObject == 0) ++info.keyFrames;
        }
    }
}

}  // namespace

AsfInfo InspectAsf(const std::string& path) {
    AsfInfo info;
    info.path = path;
    try {
        BinaryFile f(path, BinaryFile::Mode::Read);
        info.fileSize = f.Size();
        std::vector<std::uint8_t> header;
        ReadHeader(f, info, header);
        auto walk = WalkHeader(header);
        info.declaredObjectCount = walk.declaredCount;
        info.headerWalkEnd = walk.end;
        info.headerObjects = walk.objects;
        for (const auto& o : walk.objects) {
            ByteCursor c(std::span<const std::uint8_t>(header).subspan(o.offset, o.size));
            try {
                if (o.guid == guids::FileProperties) info.fileProperties = FileProperties::Read(c);
                if (o.guid == guids::StreamProperties) info.streams.push_back(DescribeStream(StreamProperties::Read(c)));
            } catch (const TruncatedData&) {
                // A cut-short object is shown in the object list; its fields are not.
            }
        }
        if (header.size() < info.headerSize) {
            info.problem = "the file ends inside the header object";
            return info;
        }
        info.dataOffset = static_cast<std::int64_t>(info.headerSize);
        std::vector<std::uint8_t> head(kDataObjectHeadSize);
        f.Seek(info.dataOffset);
        if (f.Read(head) < kDataObjectHeadSize) {
            info.problem = "the file ends before the data object head";
            return info;
        }
        ByteCursor hc(head);
        if (ObjectHeader::Read(hc).guid != guids::DataObject) {
            info.problem = "no data object right after the header object";
            return info;
        }
        info.dataHead = DataObjectHead::Read(ByteCursor(head));
        if (!info.fileProperties) {
            info.problem = "no file properties object: the packet size is unknown";
            return info;
        }
        const std::uint32_t packetSize = info.fileProperties->minPacketSize;
        if (packetSize == 0 || packetSize != info.fileProperties->maxPacketSize) {
            info.problem = "packet size is 0 or minimum and maximum differ";
            return info;
        }
        const std::int64_t start = info.dataOffset + kDataObjectHeadSize;
        std::int64_t end = info.fileSize;
        // A finalised data object bounds the packets; an unfinalised one (size 50 or 0) does not.
        if (info.dataHead->size > kDataObjectHeadSize &&
            static_cast<std::int64_t>(info.dataHead->size) <= info.fileSize - info.dataOffset)
            end = info.dataOffset + static_cast<std::int64_t>(info.dataHead->size);
        Survey(f, info, packetSize, start, end);
        if (info.indexOffset < 0 && end + kObjectHeaderSize <= info.fileSize) {
            std::vector<std::uint8_t> next(kObjectHeaderSize);
            f.Seek(end);
            f.ReadExact(next);
            ByteCursor nc(next);
            const auto oh = ObjectHeader::Read(nc);
            if (oh.guid == guids::SimpleIndex || oh.guid == guids::Index) info.indexOffset = end;
        }
    } catch (const IoError& e) {
        info.problem = e.what();
    } catch (const TruncatedData& e) {
        info.problem = e.what();
    }
    return info;
}

}  // namespace mendery
