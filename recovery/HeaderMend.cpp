#include "recovery/HeaderMend.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "asf/AsfInfo.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/HeaderSalvage.h"
#include "asf/PacketGrid.h"
#include "asf/PageCopy.h"
#include "asf/StagedOutput.h"
#include "recovery/HeaderBytes.h"
#include "recovery/PassStop.h"
#include "recovery/GridPackets.h"

namespace mendery {
namespace {

// Collects the log lines of the mends, so that nothing is logged as changed when nothing is.
struct LineSink : ILogSink {
    std::vector<std::string> lines;
    void Log(std::string_view line) override { lines.emplace_back(line); }
    void ClearLog() override {}
};

void MendHeaderSize(std::vector<std::uint8_t>& header, std::vector<std::string>& notes) {
    const std::uint64_t declared = ReadU64At(header, 16);
    if (declared == header.size()) return;
    BytePatcher(header).U64At(16, header.size());
    notes.push_back("文件头对象的大小字段为 " + std::to_string(declared) + ", 数据对象实际从第 " +
                    std::to_string(header.size()) + " 字节开始; 已修正为 " + std::to_string(header.size()) + ".");
}

int DifferingBits(const Guid& a, const Guid& b) {
    int bits = 0;
    for (std::size_t i = 0; i < a.bytes.size(); ++i) bits += __builtin_popcount(static_cast<unsigned>(a.bytes[i] ^ b.bytes[i]));
    return bits;
}

bool IsKnownGuid(const Guid& g) {
    for (const auto& known : KnownGuids())
        if (known.guid == g) return true;
    return false;
}

// The objects every reader looks up by GUID, with the least size their own fields take. A GUID
// that differs from one of them in a few bits (a flipped bit on the disk, not another object:
// GUIDs of different objects differ in dozens of bits) is that object, when the header has no
// other of it (stream properties: there may be several).
struct RequiredObject {
    const Guid* guid;
    const char* name;
    std::uint64_t leastSize;
    bool single;
};
constexpr int kMostFlippedBits = 4;

void MendDamagedGuids(std::vector<std::uint8_t>& header, const HeaderWalk& walk, std::vector<std::string>& notes) {
    static const RequiredObject required[] = {
        {&guids::FileProperties, "文件属性对象", 104, true},
        {&guids::StreamProperties, "流属性对象", 78, false},
        {&guids::HeaderExtension, "文件头扩展对象", 46, true},
        {&guids::CodecList, "编解码器列表对象", 44, true},
    };
    for (const auto& object : walk.objects) {
        if (IsKnownGuid(object.guid)) continue;
        for (const auto& r : required) {
            if (object.size < r.leastSize || DifferingBits(object.guid, *r.guid) > kMostFlippedBits) continue;
            if (r.single && walk.Find(*r.guid)) continue;
            std::copy(r.guid->bytes.begin(), r.guid->bytes.end(), header.begin() + static_cast<std::ptrdiff_t>(object.offset));
            notes.push_back(std::string("第 ") + std::to_string(object.offset) + " 字节处的对象的 GUID 有 " +
                            std::to_string(DifferingBits(object.guid, *r.guid)) + " 位损坏; 已恢复为" + r.name + "的 GUID.");
            break;
        }
    }
}

// Sizes of sub-objects (HeaderSalvage), then the count when the children walk cleanly.
HeaderWalk MendChildren(std::vector<std::uint8_t>& header, std::vector<std::string>& notes) {
    LineSink salvageNote;
    WalkAndMendHeader(header, &salvageNote);
    notes.insert(notes.end(), salvageNote.lines.begin(), salvageNote.lines.end());
    HeaderWalk walk = WalkHeader(header);
    MendDamagedGuids(header, walk, notes);
    walk = WalkHeader(header);
    if (walk.end != WalkEnd::Complete) {
        notes.push_back(std::string("文件头的子对象无法完整遍历 (") + DescribeWalkEnd(walk.end) + "), 子对象数目未修改.");
        return walk;
    }
    // GStreamer leaves its padding object out of the count; players take the header either way.
    const auto padding = static_cast<std::uint32_t>(walk.FindAll(guids::Padding).size());
    if (padding > 0 && walk.declaredCount + padding == walk.objects.size()) return walk;
    if (walk.declaredCount != walk.objects.size()) {
        BytePatcher(header).U32At(24, static_cast<std::uint32_t>(walk.objects.size()));
        notes.push_back("文件头对象的子对象数目字段为 " + std::to_string(walk.declaredCount) + ", 实际有 " +
                        std::to_string(walk.objects.size()) + " 个; 已修正.");
        walk.declaredCount = static_cast<std::uint32_t>(walk.objects.size());
    }
    return walk;
}

// The sizes tried for the packet grid: the declared ones, the data object's own, then the
// usual damage to a declared value (off by one, halved, doubled).
std::vector<std::uint32_t> CandidateSizes(std::uint32_t minSize, std::uint32_t maxSize,
                                          std::span<const std::uint8_t> dataHead) {
    std::vector<std::uint64_t> sizes = {minSize, maxSize};
    const DataObjectHead head = DataObjectHead::Read(ByteCursor(dataHead));
    if (head.totalPackets > 0 && head.size > kDataObjectHeadSize && (head.size - kDataObjectHeadSize) % head.totalPackets == 0)
        sizes.push_back((head.size - kDataObjectHeadSize) / head.totalPackets);
    for (const std::uint64_t declared : {std::uint64_t(minSize), std::uint64_t(maxSize)})
        for (const std::uint64_t s : {declared - 1, declared + 1, declared * 2, declared / 2}) sizes.push_back(s);
    std::vector<std::uint32_t> out;
    for (const std::uint64_t s : sizes)
        if (s > 0 && s <= 65535 && std::find(out.begin(), out.end(), s) == out.end()) out.push_back(static_cast<std::uint32_t>(s));
    return out;
}

std::optional<PacketGrid> MendPacketSize(std::vector<std::uint8_t>& header, const HeaderWalk& walk,
                                         std::span<const std::uint8_t> window, std::vector<std::string>& notes) {
    const SubObject* props = walk.Find(guids::FileProperties);
    const std::uint64_t dataAt = header.size();
    if (!props || props->size < kFilePropertiesSize || window.size() < dataAt + kDataObjectHeadSize) return std::nullopt;
    const std::uint32_t minSize = ReadU32At(header, props->offset + fp::MinPacketSize);
    const std::uint32_t maxSize = ReadU32At(header, props->offset + fp::MaxPacketSize);
    GridSearch search;
    search.sizes = CandidateSizes(minSize, maxSize, window.subspan(dataAt, kDataObjectHeadSize));
    search.scanAllSizes = true;
    search.firstFrom = search.firstTo = dataAt + kDataObjectHeadSize;
    const auto grid = FindPacketGrid(window, search);
    if (!grid) {
        notes.push_back("无法从数据包确定数据块大小 (数据对象开头的数据包无法连续解析), 最小/最大数据包大小未修改.");
        return std::nullopt;
    }
    if (grid->packetSize != minSize || grid->packetSize != maxSize) {
        BytePatcher patch(header);
        patch.U32At(props->offset + fp::MinPacketSize, grid->packetSize);
        patch.U32At(props->offset + fp::MaxPacketSize, grid->packetSize);
        notes.push_back("文件属性中的数据包大小 (最小 " + std::to_string(minSize) + ", 最大 " + std::to_string(maxSize) +
                        ") 与数据包不符: 数据包每 " + std::to_string(grid->packetSize) + " 字节一个 (已连续核对 " +
                        std::to_string(grid->confirmed) + " 个); 已修正为 " + std::to_string(grid->packetSize) + ".");
    }
    return grid;
}

void MendStreamNumbers(std::vector<std::uint8_t>& header, const HeaderWalk& walk, BinaryFile& file,
                       const PacketGrid& grid, std::span<const std::uint8_t> window, std::vector<std::string>& notes,
                       PassStop& stop) {
    std::vector<const SubObject*> streams;
    for (const SubObject* s : walk.FindAll(guids::StreamProperties))
        if (s->size >= 74) streams.push_back(s);
    if (streams.empty()) return;
    std::map<int, int> inHeader;  // stream number -> objects that declare it
    for (const SubObject* s : streams) ++inHeader[ReadU16At(header, s->offset + 72) & 0x7F];
    std::set<int> inPackets = StreamNumbersInPackets(window, grid);
    const auto agrees = [&] {
        if (inHeader.size() != streams.size() || inHeader.count(0)) return false;
        return std::all_of(inPackets.begin(), inPackets.end(), [&](int n) { return inHeader.count(n) > 0; });
    };
    if (agrees()) return;
    // The window may not reach a stream that starts late: look at every packet before deciding.
    stop.Range((file.Size() - static_cast<std::int64_t>(grid.start)) / grid.packetSize);
    inPackets = StreamNumbersInFile(file, grid, &stop);
    if (agrees()) return;
    std::vector<int> missing;
    for (const int n : inPackets)
        if (!inHeader.count(n)) missing.push_back(n);
    std::vector<const SubObject*> broken;
    for (const SubObject* s : streams) {
        const int n = ReadU16At(header, s->offset + 72) & 0x7F;
        if (n == 0 || inHeader[n] > 1 || !inPackets.count(n)) broken.push_back(s);
    }
    if (missing.size() != 1 || broken.size() != 1) {
        if (!missing.empty())
            notes.push_back("数据包中的流编号与文件头中的流属性对象不符, 无法唯一确定应修正哪一个, 流编号未修改.");
        return;
    }
    const SubObject* s = broken.front();
    const std::uint16_t flags = ReadU16At(header, s->offset + 72);
    BytePatcher(header).U16At(s->offset + 72, static_cast<std::uint16_t>((flags & ~0x7F) | missing.front()));
    notes.push_back("第 " + std::to_string(s->offset) + " 字节处的流属性对象的流编号为 " + std::to_string(flags & 0x7F) +
                    ", 数据包中没有该编号; 数据包中出现而文件头缺少的编号是 " + std::to_string(missing.front()) + "; 已修正.");
}

void WriteMendedCopy(BinaryFile& in, const std::vector<std::uint8_t>& header, const std::string& output, IHost& host,
                     const std::function<bool()>& stopRequested) {
    PassStop stop(host, stopRequested, 1);
    StagedOutput staged(output);
    BinaryFile out(staged.TempPath(), BinaryFile::Mode::Create);
    out.Reserve(in.Size());
    out.Write(header);
    // A megabyte at a time, and no more than the file holds (small files are common in tests).
    const std::int64_t rest = in.Size() - static_cast<std::int64_t>(header.size());
    const auto blockSize = static_cast<std::size_t>(std::clamp<std::int64_t>(rest, 1, 1 << 20));
    BlockBuffer block(blockSize);
    in.Seek(static_cast<std::int64_t>(header.size()));
    stop.Range(in.Size());
    for (;;) {
        const auto room = block.Place(in.Tell(), blockSize, out.Tell());
        const std::size_t n = in.Read(room);
        if (n == 0) break;
        out.Write(room.first(n));
        stop.Step(in.Tell());
    }
    out.Close();
    staged.Commit();
}

}  // namespace

Outcome MendHeaderFields(const std::string& source, const std::string& output, IHost& host, bool* changedAnything,
                         const std::function<bool()>& stopRequested) {
    if (changedAnything) *changedAnything = false;
    try {
        BinaryFile file(source, BinaryFile::Mode::Read);
        std::vector<std::uint8_t> window = ReadWindow(file, 0, kFirstWindowBytes);
        if (!StartsWithHeaderObject(window)) {
            host.Log("文件开头不是文件头对象, 无法按文件内容修正文件头字段 (可用参考文件重建文件头).");
            return Outcome::Refused;
        }
        const auto dataAt = LocateDataObject(window);
        if (!dataAt) {
            host.Log("找不到数据对象, 无法按文件内容修正文件头字段.");
            return Outcome::Refused;
        }
        if (*dataAt + kDataObjectHeadSize + kGridWindowBytes > window.size() && window.size() < std::uint64_t(file.Size()))
            window = ReadWindow(file, 0, *dataAt + kDataObjectHeadSize + kGridWindowBytes);
        std::vector<std::uint8_t> header(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(*dataAt));
        const std::vector<std::uint8_t> original = header;
        std::vector<std::string> notes;
        MendHeaderSize(header, notes);
        const HeaderWalk walk = MendChildren(header, notes);
        PassStop stop(host, stopRequested, 256);
        if (const auto grid = MendPacketSize(header, walk, window, notes))
            MendStreamNumbers(header, walk, file, *grid, window, notes, stop);
        for (const auto& line : notes) host.Log(line);
        if (header == original) {
            host.Log(notes.empty() ? "文件头字段与文件内容一致, 无需修正; 未创建输出文件."
                                   : "文件头字段未作修改; 未创建输出文件.");
            return Outcome::NotRun;
        }
        WriteMendedCopy(file, header, output, host, stopRequested);
        if (changedAnything) *changedAnything = true;
        host.Log("已写入修正文件头后的副本, 文件头之后的字节原样复制.");
        return Outcome::Done;
    } catch (const PassStopped&) {
        host.Log("已停止: 未保留输出文件.");
        return Outcome::Aborted;
    } catch (const IoError& e) {
        host.Log(std::string("访问文件出错: ") + e.what());
        return Outcome::Failed;
    } catch (const TruncatedData&) {
        host.Log("文件头不完整, 无法按文件内容修正文件头字段.");
        return Outcome::Refused;
    }
}

}  // namespace mendery
