#include "rescue/RescueDiagnosis.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>

#include "asf/AsfGuid.h"
#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/Format.h"
#include "asf/PacketGrid.h"

namespace mendery {

namespace {

constexpr std::size_t kMaxProbedRuns = 64;
// Blocks at the packet grid searched for two good packets that give the file's packet layout.
constexpr int kLayoutProbePackets = 64;

bool PacketAt(std::span<const std::uint8_t> window, std::size_t at, std::uint32_t packetSize, bool wantSignature,
              const std::optional<PacketLayout>& layout) {
    if (at + packetSize > window.size()) return false;
    auto bytes = window.subspan(at, packetSize);
    if (wantSignature && ClassifyBlock(bytes) != BlockKind::Good) return false;
    if (!ParsePacket(bytes, packetSize).ok) return false;
    // Without the signature random bytes parse easily; a packet of the file also has the
    // layout of the file's packets and fills the packet size exactly.
    return wantSignature || !layout || PacketLayoutAt(window, at, packetSize) == layout;
}

// The layout of the file's packets: that of the first two packets on the grid that parse one
// after the other with the same layout. The first packet itself may be one of the damaged
// ones; without a layout to hold them to, the bytes inside it pass for a shifted packet.
std::optional<PacketLayout> FirstPacketLayout(BinaryFile& file, std::int64_t firstPacket, std::uint32_t packetSize,
                                              std::int64_t fileSize) {
    std::vector<std::uint8_t> pair;
    for (int block = 0; block < kLayoutProbePackets; ++block) {
        const std::int64_t at = firstPacket + static_cast<std::int64_t>(block) * packetSize;
        const std::int64_t size = std::min<std::int64_t>(2LL * packetSize, fileSize - at);
        if (size < packetSize) break;
        pair.resize(static_cast<std::size_t>(size));
        file.Seek(at);
        pair.resize(file.Read(pair));
        const std::uint32_t whole = static_cast<std::uint32_t>(pair.size() / packetSize);
        if (whole > 0 && ConfirmGrid(pair, 0, packetSize, whole).packets == whole) return PacketLayoutAt(pair, 0, packetSize);
    }
    return std::nullopt;
}

// Offsets of the first packet of each run of damaged packets. The short block of a file cut
// inside its last packet is no run: it ends the file, it does not shift what follows.
std::vector<std::int64_t> DamageRunStarts(const AsfInfo& info) {
    std::vector<std::int64_t> starts;
    std::int64_t previous = -2;
    for (const auto& d : info.damage) {
        if (info.shortLast > 0 && d.index == info.packets - 1) break;
        if (d.index != previous + 1) starts.push_back(d.offset);
        previous = d.index;
        if (starts.size() >= kMaxProbedRuns) break;
    }
    return starts;
}

void Add(RescueFindings& f, std::string line) { f.lines.push_back(std::move(line)); }

void ReadDurations(const AsfInfo& info, RescueFindings& f) {
    if (!info.fileProperties || info.packets == info.damaged) return;
    const auto& fp = *info.fileProperties;
    const std::int64_t sendSpanMs = static_cast<std::int64_t>(info.lastSendTime) - info.firstSendTime;
    const std::int64_t playMs = static_cast<std::int64_t>(fp.playDuration / 10000) - static_cast<std::int64_t>(fp.preroll);
    const std::int64_t sendMs = static_cast<std::int64_t>(fp.sendDuration / 10000);
    const std::int64_t slack = std::max<std::int64_t>(kDurationSlackMs, sendSpanMs / 10);
    if (std::llabs(playMs - sendSpanMs) > slack || std::llabs(sendMs - sendSpanMs) > slack) {
        f.durationsWrong = true;
        Add(f, "时长字段与数据块的发送时间不符: 播放时长 " + std::to_string(std::max<std::int64_t>(playMs, 0) / 1000) +
                   " 秒, 发送时长 " + std::to_string(sendMs / 1000) + " 秒, 数据块跨度 " +
                   std::to_string(sendSpanMs / 1000) + " 秒");
    }
}

// The header's own fields against its sub-objects: the size and the sub-object count.
void ReadHeaderCounts(const AsfInfo& info, RescueFindings& f) {
    if (info.headerSizeFromChildren) {
        f.headerSizeDamaged = true;
        Add(f, "文件头对象的大小字段已损坏: 字段为 " + std::to_string(info.headerSizeField) + ", 子对象到 " +
                   std::to_string(info.headerSize) + " 结束");
    }
    if (info.headerWalkEnd != WalkEnd::Complete) return;
    const auto objects = static_cast<std::uint32_t>(info.headerObjects.size());
    // GStreamer leaves its padding object out of the count; players take the header either way.
    const auto padding = static_cast<std::uint32_t>(std::count_if(info.headerObjects.begin(), info.headerObjects.end(),
                                                                  [](const SubObject& o) { return o.guid == guids::Padding; }));
    if (info.declaredObjectCount == objects || (padding > 0 && info.declaredObjectCount + padding == objects)) return;
    f.objectCountWrong = true;
    Add(f, "文件头的子对象数目字段为 " + std::to_string(info.declaredObjectCount) + ", 实际有 " + std::to_string(objects) + " 个");
}

// Whether the first two packets parse one after the other at the header's packet size, as
// packets of a grid do. A wrong size (off by one, halved, doubled) fails there; damage further
// on does not count (damage to the first two does: the mend then finds the size right and
// changes nothing).
bool FirstPacketsFitTheGrid(const AsfInfo& info, std::uint32_t packetSize) {
    const std::int64_t first = info.dataOffset + kDataObjectHeadSize;
    const std::int64_t whole = std::min<std::int64_t>(2, (info.fileSize - first) / packetSize);
    if (whole < 1) return true;  // too little to tell
    try {
        BinaryFile file(info.path, BinaryFile::Mode::Read);
        std::vector<std::uint8_t> window(static_cast<std::size_t>(whole * packetSize));
        file.Seek(first);
        window.resize(file.Read(window));
        return static_cast<std::int64_t>(ConfirmGrid(window, 0, packetSize, static_cast<std::uint32_t>(whole)).packets) == whole;
    } catch (const IoError&) {
        return true;  // the survey read this file a moment ago; a read failing now decides nothing
    }
}

void ReadPacketSize(const AsfInfo& info, RescueFindings& f) {
    if (!info.fileProperties || !info.dataHead) return;
    const auto& fp = *info.fileProperties;
    const bool unusable = fp.minPacketSize == 0 || fp.minPacketSize != fp.maxPacketSize;
    if (!unusable && FirstPacketsFitTheGrid(info, fp.minPacketSize)) return;
    f.packetSizeSuspect = true;
    Add(f, "文件属性中的数据块大小 (最小 " + std::to_string(fp.minPacketSize) + ", 最大 " +
               std::to_string(fp.maxPacketSize) + ") 与开头的数据块不符");
}

void ReadStreamNumbers(const AsfInfo& info, RescueFindings& f) {
    std::set<int> declared;
    bool twice = false;
    for (const auto& s : info.streams) twice |= !declared.insert(s.number).second;
    // A few payloads read from damaged packets carry any number; a stream that lost its number
    // in the header carries a share of the payloads. Stream number 0 is no stream.
    std::int64_t all = 0;
    for (const auto& [number, payloads] : info.payloadsPerStream) all += payloads;
    std::vector<int> missing;
    for (const auto& [number, payloads] : info.payloadsPerStream)
        if (number != 0 && !declared.count(number) && payloads >= std::max<std::int64_t>(2, all / 50)) missing.push_back(number);
    if (missing.empty() && !twice) return;
    f.streamNumbersWrong = true;
    std::string numbers;
    for (const int n : missing) numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
    Add(f, missing.empty() ? std::string("文件头中有两个流属性对象使用同一个流编号")
                           : "数据块中有文件头没有的流编号: " + numbers);
}

}  // namespace

std::int64_t FindShiftedPacket(const AsfInfo& info) {
    if (!info.fileProperties || info.damage.empty()) return -1;
    const std::uint32_t packetSize = info.fileProperties->minPacketSize;
    if (packetSize == 0) return -1;
    // Files whose packets carry the signature show it on every good packet; an off-grid find
    // must too, or random bytes could pass for a packet.
    const bool wantSignature = info.signatureGood > 0;
    try {
        BinaryFile file(info.path, BinaryFile::Mode::Read);
        std::vector<std::uint8_t> window;
        const std::int64_t firstPacket = info.dataOffset + kDataObjectHeadSize;
        const std::optional<PacketLayout> layout = FirstPacketLayout(file, firstPacket, packetSize, info.fileSize);
        for (std::int64_t runStart : DamageRunStarts(info)) {
            // A packet shifted by bytes inserted or lost starts within one packet of the grid
            // point; the packet before the damaged one may hold the shift's start too (bytes
            // that still parse). The window holds those, and the packet after a find.
            const std::int64_t from = std::max(firstPacket, runStart - static_cast<std::int64_t>(packetSize));
            const std::int64_t size = std::min<std::int64_t>(4LL * packetSize, info.fileSize - from);
            if (size <= 0) continue;
            window.resize(static_cast<std::size_t>(size));
            file.Seek(from);
            window.resize(file.Read(window));
            const std::int64_t end = runStart + packetSize;
            for (std::int64_t at = from + 1; at < end; ++at) {
                if ((at - firstPacket) % packetSize == 0) continue;  // on the grid
                const auto shift = static_cast<std::size_t>(at - from);
                if (!PacketAt(window, shift, packetSize, wantSignature, layout)) continue;
                // At the end of the file one packet must do; without signatures, which random
                // bytes pass easily, the packet after it must parse too.
                const bool nextFits = shift + 2ULL * packetSize <= window.size();
                if (nextFits ? PacketAt(window, shift + packetSize, packetSize, wantSignature, layout) : wantSignature)
                    return at;
            }
        }
    } catch (const IoError&) {
        // The survey read this file a moment ago; a read failing now only ends the probe.
    }
    return -1;
}

namespace {

// The damaged packet in `block` with its two-byte packet length field taken out and the length
// type bits cleared, the bytes after it moved forward (the packet keeps its size). A flipped bit
// in that field makes it larger than the packet size, or too small for the payloads.
std::optional<std::vector<std::uint8_t>> WithoutLengthField(std::span<const std::uint8_t> block, std::uint32_t packetSize) {
    const ParsedPacket parsed = ParsePacket(block, packetSize);
    if (parsed.ok || !parsed.parsingInfoRead || parsed.packetLengthWidth != 2) return std::nullopt;
    std::vector<std::uint8_t> mended(block.begin(), block.end());
    const auto at = static_cast<std::ptrdiff_t>(parsed.packetLengthAt);
    mended.erase(mended.begin() + at, mended.begin() + at + 2);
    mended.insert(mended.end(), 2, 0);
    mended[parsed.lengthTypeFlagsAt] = static_cast<std::uint8_t>(parsed.lengthTypeFlags - 0x40);
    return mended;
}

}  // namespace

std::vector<std::int64_t> FindLengthFieldPackets(const AsfInfo& info, std::size_t limit) {
    std::vector<std::int64_t> found;
    if (!info.fileProperties || info.damage.empty()) return found;
    const std::uint32_t packetSize = info.fileProperties->minPacketSize;
    // A packet size field larger than the file is no size to read blocks of.
    if (packetSize == 0 || packetSize > info.fileSize) return found;
    const bool signedPackets = info.signatureGood > 0;
    try {
        BinaryFile file(info.path, BinaryFile::Mode::Read);
        const std::optional<PacketLayout> layout =
            signedPackets ? std::nullopt
                          : FirstPacketLayout(file, info.dataOffset + kDataObjectHeadSize, packetSize, info.fileSize);
        std::vector<std::uint8_t> block;
        for (std::size_t i = 0; i < info.damage.size() && i < limit; ++i) {
            block.resize(packetSize);
            file.Seek(info.damage[i].offset);
            if (file.Read(block) < packetSize) break;  // a cut last packet has more than its length field wrong
            const auto mended = WithoutLengthField(block, packetSize);
            if (!mended) continue;
            const ParsedPacket parsed = ParsePacket(*mended, packetSize);
            if (!parsed.ok) continue;
            // Without the signature, the mended packet must also carry the file's property
            // flags. (Its payloads end two bytes before the padding the field gives: those
            // are the zeros that moved up.)
            if (!signedPackets && (!layout || layout->errorCorrection || parsed.propertyFlags != layout->propertyFlags))
                continue;
            found.push_back(info.damage[i].index);
        }
    } catch (const IoError&) {
        // The survey read this file a moment ago; a read failing now only ends the search.
    }
    return found;
}

bool PacketsPastDataEnd(const AsfInfo& info) {
    if (!info.fileProperties || !info.dataHead || info.dataHead->size <= kDataObjectHeadSize) return false;
    const std::uint32_t packetSize = info.fileProperties->minPacketSize;
    const std::int64_t end = info.dataOffset + static_cast<std::int64_t>(std::min<std::uint64_t>(info.dataHead->size, INT64_MAX));
    if (packetSize == 0 || info.indexOffset >= 0 || end > info.fileSize - packetSize) return false;
    try {
        BinaryFile file(info.path, BinaryFile::Mode::Read);
        const std::int64_t firstPacket = info.dataOffset + kDataObjectHeadSize;
        const std::optional<PacketLayout> layout = FirstPacketLayout(file, firstPacket, packetSize, info.fileSize);
        std::vector<std::uint8_t> block(packetSize);
        file.Seek(end);
        block.resize(file.Read(block));
        return PacketAt(block, 0, packetSize, info.signatureGood > 0, layout);
    } catch (const IoError&) {
        return false;  // the survey read this file a moment ago; a read failing now decides nothing
    }
}

RescueFindings ReadFindings(const AsfInfo& info) {
    RescueFindings f;
    f.stopped = info.stopped;
    // A header object followed by a data object: whatever else is wrong, its fields can be
    // mended from the file.
    f.headerPresent = info.dataHead.has_value();
    if (!info.problem.empty()) {
        f.headerUnreadable = true;
        Add(f, "文件头无法读取: " + info.problem);
        if (f.headerPresent) {
            ReadHeaderCounts(info, f);
            ReadPacketSize(info, f);
        }
        return f;
    }
    ReadHeaderCounts(info, f);
    for (const auto& o : info.headerObjects)
        if (o.guid == guids::CodecList) f.hasCodecList = true;
    const auto& fp = *info.fileProperties;
    if (info.dataHead->totalPackets == 0 || fp.dataPacketsCount == 0 || info.dataHead->size == 0 ||
        info.dataHead->size == kDataObjectHeadSize) {
        f.unfinalised = true;
        Add(f, "录制没有正常结束: 数据对象的大小或数据块数为0");
    }
    const auto declaredData = static_cast<std::int64_t>(std::min<std::uint64_t>(info.dataHead->size, INT64_MAX));
    if (static_cast<std::int64_t>(std::min<std::uint64_t>(fp.fileSize, INT64_MAX)) > info.fileSize ||
        (!f.unfinalised && info.dataOffset + declaredData > info.fileSize)) {
        f.truncated = true;
        Add(f, "文件比文件头所说的短: 实际 " + FormatSize(info.fileSize) + ", 文件头 " +
                   FormatSize(static_cast<std::int64_t>(std::min<std::uint64_t>(fp.fileSize, INT64_MAX))));
    }
    if (!f.unfinalised && !f.truncated && PacketsPastDataEnd(info)) {
        f.packetsPastDataEnd = true;
        Add(f, "数据对象的大小字段比实际的数据短: 在它所说的结尾 (偏移 " +
                   std::to_string(info.dataOffset + static_cast<std::int64_t>(info.dataHead->size)) + ") 之后还有数据块");
    }
    // In a file whose packets carry the signature, a packet without it that still parses is
    // damaged too (zeroed bytes parse as an empty packet).
    f.packetsSigned = info.signatureGood > 0;
    const std::int64_t unsigned_ = f.packetsSigned ? info.parsedWithoutSignature : 0;
    f.damagedPackets = info.damaged + unsigned_;
    if (unsigned_ > 0) Add(f, "数据块标识无效但仍能解析的数据块: " + std::to_string(unsigned_));
    if (info.damaged > 0) {
        f.shiftedPacketAt = FindShiftedPacket(info);
        f.gridBroken = f.shiftedPacketAt >= 0;
        const auto& first = info.damage.front();
        Add(f, "损坏的数据块: " + std::to_string(info.damaged) + " / " + std::to_string(info.packets) +
                   ", 第一个在第 " + std::to_string(first.index) + " 块 (偏移 " + std::to_string(first.offset) +
                   "): " + first.reason);
        if (f.gridBroken)
            Add(f, "数据块网格已断开: 在偏移 " + std::to_string(f.shiftedPacketAt) + " 处找到错位的数据块");
        else
            Add(f, "数据块网格完整: 损坏的数据块之后的数据块仍在原位");
        if (!f.gridBroken) f.lengthFieldPackets = FindLengthFieldPackets(info);
        if (!f.lengthFieldPackets.empty())
            Add(f, "其中 " + std::to_string(f.lengthFieldPackets.size()) +
                       " 个数据块只是数据包长度字段损坏: 去掉这个字段后可以读取");
    }
    ReadPacketSize(info, f);
    // Payloads read off a broken grid are bytes of other packets: their numbers say nothing.
    if (!f.gridBroken) ReadStreamNumbers(info, f);
    f.indexPresent = info.indexOffset >= 0;
    if (!f.indexPresent) Add(f, "没有索引对象");
    f.seekableFlag = (fp.flags & fp::FlagSeekable) != 0;
    if (!f.seekableFlag) Add(f, "文件属性中的可定位标志未设置");
    // Send times read off a broken grid are not send times.
    if (!f.gridBroken) ReadDurations(info, f);
    if (!f.AnyDamage()) Add(f, "没有发现损坏");
    return f;
}

RescueFindings DiagnoseAsf(const std::string& path, const std::function<bool()>& stopRequested) {
    return ReadFindings(InspectAsf(path, stopRequested));
}

}  // namespace mendery
