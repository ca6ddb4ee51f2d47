#include "asf/AsfInfo.h"

#include <algorithm>
#include <cstdio>

#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/PacketLayout.h"
#include "asf/PageCopy.h"

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
        info.detail = "(类型数据不完整)";
    }
    return info;
}

bool DataObjectAtOffset(BinaryFile& f, std::uint64_t offset) {
    std::vector<std::uint8_t> guid(16);
    if (offset > static_cast<std::uint64_t>(f.Size()) - guid.size()) return false;
    f.Seek(static_cast<std::int64_t>(offset));
    return f.Read(guid) == guid.size() && DataObjectAt(guid, 0);
}

// Where the header object ends: its size field, or, when that does not lead to the data object,
// the size its sub-objects walk to (when they lead there exactly).
std::uint64_t HeaderObjectSize(BinaryFile& f, AsfInfo& info, std::uint64_t declared) {
    if (DataObjectAtOffset(f, declared)) return declared;
    std::vector<std::uint8_t> start(static_cast<std::size_t>(std::min<std::int64_t>(info.fileSize, kMaxHeader + 16)));
    f.Seek(0);
    start.resize(f.Read(start));
    const auto walked = HeaderSizeFromChildren(start);
    if (!walked) return declared;
    info.headerSizeFromChildren = true;
    return *walked;
}

void ReadHeader(BinaryFile& f, AsfInfo& info, std::vector<std::uint8_t>& header) {
    header.resize(30);
    if (f.Read(header) < 30) throw TruncatedData("文件比文件头对象还短");
    ByteCursor c(header);
    auto oh = ObjectHeader::Read(c);
    if (oh.guid != guids::HeaderObject) throw TruncatedData("文件开始处没有ASF文件头对象");
    info.headerSizeField = oh.size;
    info.headerSize = HeaderObjectSize(f, info, oh.size);
    if (info.headerSize > kMaxHeader) throw TruncatedData("文件头对象大小不合理 (超过16MB)");
    if (info.headerSize < kHeaderObjectFixedSize) throw TruncatedData("文件头对象大小小于30字节");
    // Never hold more than the file has, whatever the size field claims.
    header.resize(static_cast<std::size_t>(std::min<std::uint64_t>(info.headerSize, static_cast<std::uint64_t>(info.fileSize))));
    f.Seek(30);
    std::size_t got = 30 + f.Read(std::span(header).subspan(30));
    header.resize(got);
    // The walk below bounds itself by the size field: give it the size found.
    if (info.headerSizeFromChildren) BytePatcher(header).U64At(16, info.headerSize);
}

// The packets' findings, one packet at a time; false when the survey ends at this one.
bool SurveyPacket(std::span<const std::uint8_t> bytes, std::int64_t pos, std::uint32_t packetSize,
                  const PacketLayout& layout, AsfInfo& info, ParsedPacket& parsed, bool& first,
                  const std::function<bool()>& stopRequested) {
    if (stopRequested && info.packets % kInspectStopCheckPackets == 0 && stopRequested()) {
        info.stopped = true;
        return false;
    }
    if (ClassifyBlock(bytes) == BlockKind::Index) {
        info.indexOffset = pos;
        return false;
    }
    const std::int64_t index = info.packets++;
    if (bytes.size() < packetSize) ++info.shortLast;
    const bool signature = ClassifyBlock(bytes) == BlockKind::Good;
    ParsePacket(bytes, packetSize, parsed);
    if (signature) ++info.signatureGood;
    if (!parsed.ok) {
        ++info.damaged;
        info.damage.push_back({index, pos, signature ? "不能解析: " + parsed.error : "数据块标识无效, 不能解析: " + parsed.error});
        return true;
    }
    if (!layout.errorCorrection && ClassifyPacket(bytes, packetSize, layout) != BlockKind::Good) {
        ++info.damaged;
        info.damage.push_back({index, pos, "数据包的流号或属性标志与文件不符 (例如整块为零)"});
        return true;
    }
    if (!signature) ++info.parsedWithoutSignature;
    if (first) info.firstSendTime = parsed.sendTime;
    first = false;
    info.lastSendTime = parsed.sendTime;
    for (const auto& p : parsed.payloads) {
        ++info.payloadsPerStream[p.streamNumber];
        if (p.keyFrame && p.offsetIntoMediaObject == 0) ++info.keyFrames;
    }
    return true;
}

void Survey(BinaryFile& f, AsfInfo& info, std::uint32_t packetSize, std::int64_t start, std::int64_t end,
            const std::function<bool()>& stopRequested) {
    // Packets without error correction data have no signature to tell them from zeros or
    // garbage that happen to parse: for such a file, what the tools take for damage is damage.
    const PacketLayout layout = DetectPacketLayout(f, start, packetSize);
    // Whole packets about a megabyte at a time: one read call per block, not per packet. The
    // packet size field is not trusted for an allocation: no block is longer than the data.
    const std::int64_t blockSize = std::min<std::int64_t>(
        std::max<std::int64_t>(0, end - start), std::max<std::int64_t>(1, (1 << 20) / packetSize) * packetSize);
    BlockBuffer buffer(static_cast<std::size_t>(blockSize));
    ParsedPacket parsed;
    f.Seek(start);
    bool first = true;
    for (std::int64_t blockStart = start; blockStart < end;) {
        const auto want = static_cast<std::size_t>(std::min(blockSize, end - blockStart));
        const auto block = buffer.Place(blockStart, want);
        const std::size_t got = f.Read(block);
        for (std::size_t at = 0; at < got; at += packetSize) {
            const auto bytes = block.subspan(at, std::min<std::size_t>(packetSize, got - at));
            if (!SurveyPacket(bytes, blockStart + static_cast<std::int64_t>(at), packetSize, layout, info, parsed, first,
                              stopRequested))
                return;
        }
        if (got < want) return;  // the end of the file
        blockStart += static_cast<std::int64_t>(got);
    }
}

}  // namespace

const char* DescribeWalkEnd(WalkEnd end) {
    switch (end) {
        case WalkEnd::Complete: return "完整";
        case WalkEnd::SizeTooSmall: return "停在一个小于24字节的对象";
        case WalkEnd::RunsPastEnd: return "停在一个超出文件头的对象";
        case WalkEnd::BytesMissing: return "文件在文件头中结束";
        case WalkEnd::TrailingBytes: return "最后一个对象后有多余的字节";
    }
    return "";
}

AsfInfo InspectAsf(const std::string& path, const std::function<bool()>& stopRequested) {
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
            info.problem = "文件在文件头对象中结束";
            return info;
        }
        info.dataOffset = static_cast<std::int64_t>(info.headerSize);
        std::vector<std::uint8_t> head(kDataObjectHeadSize);
        f.Seek(info.dataOffset);
        if (f.Read(head) < kDataObjectHeadSize) {
            info.problem = "文件在数据对象头之前结束";
            return info;
        }
        ByteCursor hc(head);
        if (ObjectHeader::Read(hc).guid != guids::DataObject) {
            info.problem = "文件头对象后面没有数据对象";
            return info;
        }
        info.dataHead = DataObjectHead::Read(ByteCursor(head));
        if (!info.fileProperties) {
            info.problem = "没有文件属性对象: 数据块大小未知";
            return info;
        }
        const std::uint32_t packetSize = info.fileProperties->minPacketSize;
        if (packetSize == 0 || packetSize != info.fileProperties->maxPacketSize) {
            info.problem = "数据块大小为0, 或最小和最大数据块大小不同";
            return info;
        }
        const std::int64_t start = info.dataOffset + kDataObjectHeadSize;
        std::int64_t end = info.fileSize;
        // A finalised data object bounds the packets; an unfinalised one (size 50 or 0) does not.
        if (info.dataHead->size > kDataObjectHeadSize &&
            static_cast<std::int64_t>(info.dataHead->size) <= info.fileSize - info.dataOffset)
            end = info.dataOffset + static_cast<std::int64_t>(info.dataHead->size);
        Survey(f, info, packetSize, start, end, stopRequested);
        if (info.stopped) return info;
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
