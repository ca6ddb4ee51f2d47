#include "recovery/HeaderRebuild.h"

#include <algorithm>
#include <set>
#include <vector>

#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/BufferedOutput.h"
#include "asf/HeaderSalvage.h"
#include "asf/PacketGrid.h"
#include "asf/StagedOutput.h"
#include "recovery/GridPackets.h"
#include "recovery/HeaderBytes.h"
#include "recovery/PassStop.h"

namespace mendery {
namespace {

// A refusal: the inputs cannot make a file together; the text says why.
struct Refusal {
    std::string text;
};

std::string JoinNumbers(const std::set<int>& numbers) {
    std::string text;
    for (const int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text.empty() ? "无" : text;
}

// Lines about the reference, told apart from those about the damaged file.
struct PrefixedLog : ILogSink {
    PrefixedLog(ILogSink& sink, std::string prefix) : sink_(sink), prefix_(std::move(prefix)) {}
    void Log(std::string_view line) override { sink_.Log(prefix_ + std::string(line)); }
    void ClearLog() override {}

private:
    ILogSink& sink_;
    std::string prefix_;
};

// What the good file gives: its header (sub-objects walking cleanly), data object head,
// packet size and layout, and its streams.
struct Reference {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> dataHead;
    HeaderWalk walk;
    std::uint64_t filePropsAt = 0;
    std::uint32_t packetSize = 0;
    PacketLayout layout;
    std::set<int> streams;
};

Reference ReadReference(const std::string& path, IHost& host) {
    BinaryFile file(path, BinaryFile::Mode::Read);
    std::vector<std::uint8_t> window = ReadWindow(file, 0, kFirstWindowBytes);
    if (!StartsWithHeaderObject(window)) throw Refusal{"参考文件开头不是文件头对象, 不能用作参考."};
    const auto dataAt = LocateDataObject(window);
    if (!dataAt) throw Refusal{"参考文件中找不到数据对象, 不能用作参考."};
    if (*dataAt + kDataObjectHeadSize + kGridWindowBytes > window.size() && window.size() < std::uint64_t(file.Size()))
        window = ReadWindow(file, 0, *dataAt + kDataObjectHeadSize + kGridWindowBytes);
    if (window.size() < *dataAt + kDataObjectHeadSize) throw Refusal{"参考文件的数据对象不完整, 不能用作参考."};
    Reference ref;
    ref.header.assign(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(*dataAt));
    BytePatcher(ref.header).U64At(16, ref.header.size());
    PrefixedLog referenceLog(host, "参考文件: ");
    WalkAndMendHeader(ref.header, &referenceLog);
    ref.walk = WalkHeader(ref.header);
    if (ref.walk.end != WalkEnd::Complete) throw Refusal{"参考文件的文件头无法完整遍历, 不能用作参考."};
    BytePatcher(ref.header).U32At(24, static_cast<std::uint32_t>(ref.walk.objects.size()));
    const SubObject* props = ref.walk.Find(guids::FileProperties);
    if (!props || props->size < kFilePropertiesSize) throw Refusal{"参考文件的文件头中没有文件属性对象, 不能用作参考."};
    ref.filePropsAt = props->offset;
    ref.packetSize = ReadU32At(ref.header, props->offset + fp::MinPacketSize);
    ref.dataHead.assign(window.begin() + static_cast<std::ptrdiff_t>(*dataAt),
                        window.begin() + static_cast<std::ptrdiff_t>(*dataAt + kDataObjectHeadSize));
    GridSearch search;
    search.sizes = {ref.packetSize};
    search.firstFrom = search.firstTo = *dataAt + kDataObjectHeadSize;
    const auto grid = FindPacketGrid(window, search);
    if (!grid) throw Refusal{"参考文件的数据包无法按其数据包大小 (" + std::to_string(ref.packetSize) + " 字节) 连续解析, 不能用作参考."};
    ref.layout = grid->layout;
    for (const SubObject* s : ref.walk.FindAll(guids::StreamProperties))
        if (s->size >= 74) ref.streams.insert(ReadU16At(ref.header, s->offset + 72) & 0x7F);
    return ref;
}

// What the damaged file's packets say, from a pass over all of them.
struct DamagedPackets {
    PacketGrid grid;
    std::uint64_t whole = 0, unparsed = 0;
    std::set<int> streams;
    std::uint64_t endMs = 0;  // latest send time + duration
    bool padLast = false;     // a short final packet whose payloads are whole: padded with zeros
    std::vector<std::uint8_t> last;
    std::uint64_t shortLast = 0;    // bytes of that packet in the file
    std::uint64_t droppedTail = 0;  // bytes after the last whole packet that were not kept
};

// Counts a packet of the grid; a damaged block (zeros, garbage) says nothing about streams or times.
void Account(std::span<const std::uint8_t> block, DamagedPackets& found) {
    const auto packet = PacketOfGrid(block, found.grid);
    if (!packet) {
        ++found.unparsed;
        return;
    }
    for (const auto& payload : packet->payloads) found.streams.insert(payload.streamNumber);
    found.endMs = std::max<std::uint64_t>(found.endMs, std::uint64_t(packet->sendTime) + packet->duration);
}

// The first place in the file where packets of the reference's size and layout follow one
// another, searched window by window (a recording may have lost more than its first megabytes).
std::optional<PacketGrid> FindGridInFile(BinaryFile& file, const Reference& ref, IHost& host,
                                         const std::function<bool()>& stopRequested) {
    PassStop stop(host, stopRequested, 1);
    const auto size = static_cast<std::uint64_t>(file.Size());
    for (std::uint64_t from = 0; from < size; from += kFirstWindowBytes) {
        const std::vector<std::uint8_t> window = ReadWindow(file, from, kFirstWindowBytes + kGridWindowBytes);
        GridSearch search;
        search.sizes = {ref.packetSize};
        search.firstFrom = 0;
        search.firstTo = kFirstWindowBytes - 1;
        search.layout = ref.layout;
        if (auto grid = FindPacketGrid(window, search)) {
            grid->start += from;
            return grid;
        }
        stop.Step(static_cast<std::int64_t>(from / kFirstWindowBytes));
    }
    return std::nullopt;
}

DamagedPackets SurveyDamaged(BinaryFile& file, const Reference& ref, IHost& host, const std::function<bool()>& stopRequested) {
    const auto grid = FindGridInFile(file, ref, host, stopRequested);
    if (!grid)
        throw Refusal{"损坏文件中找不到按参考文件的数据包大小 (" + std::to_string(ref.packetSize) +
                      " 字节) 和数据包布局连续排列的数据包: 两个文件不是以相同设置录制的, 无法重建文件头."};
    PassStop stop(host, stopRequested, 256);
    DamagedPackets found;
    found.grid = *grid;
    std::int64_t seen = 0;
    stop.Range((file.Size() - static_cast<std::int64_t>(grid->start)) / ref.packetSize);
    const GridPass pass = WalkGridPackets(file, grid->start, ref.packetSize, [&](std::span<const std::uint8_t> block) {
        Account(block, found);
        stop.Step(++seen);
        return true;
    });
    found.whole = pass.wholePackets;
    if (!pass.trailing.empty()) {
        // A cut last packet is kept only when its payloads are whole: the bytes missing are its
        // padding, which is zero.
        std::vector<std::uint8_t> padded = pass.trailing;
        padded.resize(ref.packetSize, 0);
        if (ParsePacket(pass.trailing, ref.packetSize).ok && PacketOfGrid(padded, found.grid)) {
            found.padLast = true;
            found.shortLast = pass.trailing.size();
            found.last = std::move(padded);
            Account(found.last, found);
        } else {
            found.droppedTail = pass.trailing.size();
        }
    }
    std::set<int> foreign;
    for (const int n : found.streams)
        if (!ref.streams.count(n)) foreign.insert(n);
    if (!foreign.empty())
        throw Refusal{"损坏文件的数据包含有参考文件中没有的流编号 (" + JoinNumbers(foreign) + "; 参考文件的流: " +
                      JoinNumbers(ref.streams) + "): 两个文件不是以相同设置录制的, 无法重建文件头."};
    return found;
}

// A file ID of its own for the rebuilt file, the same on every run over the same inputs.
void DeriveFileId(std::span<std::uint8_t> id, std::uint64_t packets, std::span<const std::uint8_t> firstPacket) {
    std::uint64_t h1 = 1469598103934665603ull, h2 = 1099511628211ull ^ packets;
    for (const std::uint8_t b : id) h1 = (h1 ^ b) * 1099511628211ull;
    for (const std::uint8_t b : firstPacket) h2 = (h2 ^ b) * 1469598103934665603ull;
    h1 ^= packets;
    for (int i = 0; i < 8; ++i) {
        id[i] = static_cast<std::uint8_t>(h1 >> (8 * i));
        id[8 + i] = static_cast<std::uint8_t>(h2 >> (8 * i));
    }
    id[7] = static_cast<std::uint8_t>((id[7] & 0x0F) | 0x40);  // a version 4 (random) GUID
    id[8] = static_cast<std::uint8_t>((id[8] & 0x3F) | 0x80);
}

std::vector<std::uint8_t> BuildHead(const Reference& ref, const DamagedPackets& found,
                                    std::span<const std::uint8_t> firstPacket, IHost& host) {
    const std::uint64_t packets = found.whole + (found.padLast ? 1 : 0);
    const std::uint64_t dataSize = kDataObjectHeadSize + packets * ref.packetSize;
    std::vector<std::uint8_t> head = ref.header;
    BytePatcher patch(head);
    const std::uint64_t at = ref.filePropsAt;
    DeriveFileId(std::span(head).subspan(at + fp::FileId, 16), packets, firstPacket);
    const std::uint64_t preroll = ReadU64At(head, at + fp::Preroll);
    patch.U64At(at + fp::FileSize, head.size() + dataSize);
    patch.U64At(at + fp::DataPacketsCount, packets);
    patch.U64At(at + fp::SendDuration, found.endMs * 10000);
    patch.U64At(at + fp::PlayDuration, (found.endMs + preroll) * 10000);
    // Sizes and durations are known now: not a broadcast, and seekable by its packets.
    const std::uint32_t flags = ReadU32At(head, at + fp::Flags);
    patch.U32At(at + fp::Flags, (flags & ~fp::FlagBroadcast) | fp::FlagSeekable);
    std::vector<std::uint8_t> dataHead = ref.dataHead;
    std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(at + fp::FileId), 16, dataHead.begin() + dobj::FileId);
    BytePatcher data(dataHead);
    data.U64At(dobj::Size, dataSize);
    data.U64At(dobj::TotalPackets, packets);
    head.insert(head.end(), dataHead.begin(), dataHead.end());
    host.Log("新文件头取自参考文件 (流属性、编解码器列表等对象原样保留, 不复制索引对象): 数据包 " + std::to_string(packets) +
             " 个, 文件大小 " + std::to_string(head.size() + packets * ref.packetSize) + " 字节, 发送时长 " +
             std::to_string(found.endMs) + " 毫秒, 预卷 " + std::to_string(preroll) + " 毫秒 (取自参考文件).");
    return head;
}

void WriteRebuilt(BinaryFile& in, const Reference& ref, const DamagedPackets& found, const std::string& output, IHost& host,
                  PassStop& stop) {
    std::vector<std::uint8_t> firstPacket(ref.packetSize);
    in.Seek(static_cast<std::int64_t>(found.grid.start));
    in.ReadExact(firstPacket);
    const std::vector<std::uint8_t> head = BuildHead(ref, found, firstPacket, host);
    StagedOutput staged(output);
    // Packets are a few kilobytes each: written one by one, they cost a system call apiece.
    BufferedOutput out;
    out.Create(staged.TempPath());
    out.Reserve(in.Size());
    out.Write(head);
    stop.Range(static_cast<std::int64_t>(found.whole));
    std::int64_t written = 0;
    WalkGridPackets(in, found.grid.start, ref.packetSize, [&](std::span<const std::uint8_t> block) {
        out.Write(block);
        stop.Step(++written);
        return true;
    });
    // The header counts the packets of the first pass: a file that changed in between is not
    // put in place with counts that do not match it.
    if (static_cast<std::uint64_t>(written) != found.whole) throw IoError("损坏文件在处理过程中被改变");
    if (found.padLast) out.Write(found.last);
    out.Close();
    staged.Commit();
}

void LogSurvey(const Reference& ref, const DamagedPackets& found, IHost& host) {
    host.Log("参考文件: 数据包大小 " + std::to_string(ref.packetSize) + " 字节, " +
             (ref.layout.errorCorrection ? "带纠错数据" : "不带纠错数据") + ", 流编号 " + JoinNumbers(ref.streams) + ".");
    const std::string skipped =
        found.grid.start > 0 ? "; 之前的 " + std::to_string(found.grid.start) + " 字节无法使用, 已跳过." : ".";
    host.Log("损坏文件的数据包从第 " + std::to_string(found.grid.start) + " 字节开始 (已连续核对 " +
             std::to_string(found.grid.confirmed) + " 个)" + skipped);
    host.Log("找到 " + std::to_string(found.whole) + " 个完整的数据包" +
             (found.unparsed ? ", 其中 " + std::to_string(found.unparsed) + " 个无法解析, 原样保留 (可再用修复工具处理)" : "") +
             "; 数据包中的流编号: " + JoinNumbers(found.streams) + ".");
    std::set<int> absent;
    for (const int n : ref.streams)
        if (!found.streams.count(n)) absent.insert(n);
    if (!absent.empty()) host.Log("参考文件中的流 " + JoinNumbers(absent) + " 在损坏文件的数据包中没有出现.");
    if (found.padLast)
        host.Log("末尾不完整的数据包 (" + std::to_string(found.shortLast) + " 字节) 的负载完整, 已补零成完整的数据包.");
    if (found.droppedTail) host.Log("末尾 " + std::to_string(found.droppedTail) + " 字节不是完整的数据包, 已丢弃.");
}

}  // namespace

Outcome RebuildHeaderFromReference(const std::string& damaged, const std::string& reference, const std::string& output,
                                   IHost& host, const std::function<bool()>& stopRequested) {
    try {
        const Reference ref = ReadReference(reference, host);
        BinaryFile in(damaged, BinaryFile::Mode::Read);
        const DamagedPackets found = SurveyDamaged(in, ref, host, stopRequested);
        LogSurvey(ref, found, host);
        if (found.whole == 0 && !found.padLast) {
            host.Log("损坏文件中没有完整的数据包, 未创建输出文件.");
            return Outcome::NothingUsable;
        }
        PassStop stop(host, stopRequested, 256);
        WriteRebuilt(in, ref, found, output, host, stop);
        host.Log("文件头已重建.");
        return Outcome::Done;
    } catch (const PassStopped&) {
        host.Log("已停止: 未保留输出文件.");
        return Outcome::Aborted;
    } catch (const Refusal& r) {
        host.Log(r.text);
        return Outcome::Refused;
    } catch (const IoError& e) {
        host.Log(std::string("访问文件出错: ") + e.what());
        return Outcome::Failed;
    } catch (const TruncatedData&) {
        host.Log("参考文件的文件头不完整, 不能用作参考.");
        return Outcome::Refused;
    }
}

}  // namespace mendery
