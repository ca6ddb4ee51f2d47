// A header rebuilt from a good file recorded with the same settings: files whose header was cut
// off, zeroed or overwritten play again with every packet that survived whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "recovery/HeaderRebuild.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

constexpr std::uint32_t kPacketSize = 3200;

std::uint64_t FirstPacketOf(const Bytes& file) { return HeaderSizeOf(file) + kDataObjectHeadSize; }
std::uint64_t PacketCountOf(const Bytes& file) {
    const std::uint64_t data = HeaderSizeOf(file);
    return GetU64(file, data + dobj::TotalPackets);
}

// What ffprobe reads per stream from the packets of `file` from packet `from` on: the media
// objects whose first fragment is among them.
std::vector<int> MediaObjectsFrom(const Bytes& file, std::uint64_t from) {
    std::map<int, int> perStream;
    const std::uint64_t first = FirstPacketOf(file);
    for (std::uint64_t i = 0; i < PacketCountOf(file); ++i) {
        const ParsedPacket p = ParsePacket(std::span(file).subspan(first + i * kPacketSize, kPacketSize), kPacketSize);
        for (const auto& payload : p.payloads)
            if (i >= from && payload.offsetIntoMediaObject == 0) ++perStream[payload.streamNumber];
            else perStream.try_emplace(payload.streamNumber, 0);
    }
    std::vector<int> counts;
    for (const auto& [stream, count] : perStream) counts.push_back(count);
    return counts;
}

// The send clock at the end of the packets from `from` on: the latest send time + duration.
std::uint64_t SendEndMs(const Bytes& file, std::uint64_t from) {
    std::uint64_t end = 0;
    const std::uint64_t first = FirstPacketOf(file);
    for (std::uint64_t i = from; i < PacketCountOf(file); ++i) {
        const ParsedPacket p = ParsePacket(std::span(file).subspan(first + i * kPacketSize, kPacketSize), kPacketSize);
        end = std::max<std::uint64_t>(end, std::uint64_t(p.sendTime) + p.duration);
    }
    return end;
}

struct Damage {
    std::string name;
    std::uint64_t cut = 0;        // bytes removed from the start
    std::uint64_t destroyed = 0;  // bytes then overwritten from the start
    bool zeros = true;            // with zeros, else with bytes that are no packets
};

// Packet index of the first packet that survives `damage` whole.
std::uint64_t FirstSurvivor(const Bytes& file, const Damage& damage) {
    const std::uint64_t lost = damage.cut + damage.destroyed, first = FirstPacketOf(file);
    return lost <= first ? 0 : (lost - first + kPacketSize - 1) / kPacketSize;
}

Bytes Apply(const Bytes& file, const Damage& damage) {
    Bytes out(file.begin() + static_cast<std::ptrdiff_t>(damage.cut), file.end());
    for (std::uint64_t i = 0; i < damage.destroyed && i < out.size(); ++i)
        out[i] = damage.zeros ? 0 : static_cast<std::uint8_t>(0x91 + i * 7);
    return out;
}

std::vector<Damage> Damages(const Bytes& file) {
    const std::uint64_t first = FirstPacketOf(file);
    return {{"header cut off", first, 0},
            {"cut inside the first packet", first + 1000, 0},
            {"first 1 KB zeroed", 0, 1024},
            {"first 5 KB zeroed", 0, 5 * 1024},
            {"header and 3 packets overwritten", 0, first + 3 * kPacketSize, false},
            {"first 5 KB overwritten", 0, 5 * 1024, false}};
}

}  // namespace

TEST(HeaderRebuild, DamagedStartsPlayWithEveryPacketLeft) {
    const bool probe = HaveProgram("ffprobe");
    TempDir dir;
    for (const char* sample : {"a_wmv2_wmav2.wmv", "b_msmpeg4v3_wmav2.asf", "d_wmv2_2audio.wmv"}) {
        const std::string reference = SampleFile(sample);
        const Bytes original = ReadFileBytes(reference);
        const std::uint64_t packets = PacketCountOf(original);
        if (probe) {
            ASSERT_EQ(ProbePacketCounts(reference), MediaObjectsFrom(original, 0)) << sample;
        }
        for (const Damage& damage : Damages(original)) {
            const std::string source = (dir / "damaged.wmv").string(), output = (dir / "rebuilt.wmv").string();
            WriteFileBytes(source, Apply(original, damage));
            RecordingHost host;
            ASSERT_EQ(RebuildHeaderFromReference(source, reference, output, host), Outcome::Done)
                << sample << ": " << damage.name << "\n" << host.AllLines();
            const Bytes rebuilt = ReadFileBytes(output);
            const std::uint64_t survivor = FirstSurvivor(original, damage);
            // The reference's header, its counts and sizes those of the packets kept; the
            // packets byte for byte those of the source; no index.
            ASSERT_EQ(HeaderSizeOf(rebuilt), HeaderSizeOf(original));
            EXPECT_EQ(PacketCountOf(rebuilt), packets - survivor) << sample << ": " << damage.name;
            const std::uint64_t props = WalkHeader(std::span(rebuilt).first(HeaderSizeOf(rebuilt))).Find(guids::FileProperties)->offset;
            EXPECT_EQ(GetU64(rebuilt, props + fp::FileSize), rebuilt.size());
            EXPECT_EQ(GetU64(rebuilt, props + fp::DataPacketsCount), packets - survivor);
            const std::uint64_t sendEnd = SendEndMs(original, survivor);
            EXPECT_EQ(GetU64(rebuilt, props + fp::SendDuration), sendEnd * 10000) << sample;
            EXPECT_EQ(GetU64(rebuilt, props + fp::PlayDuration), (sendEnd + GetU64(original, props + fp::Preroll)) * 10000);
            EXPECT_EQ(GetU32(rebuilt, props + fp::Flags), fp::FlagSeekable);
            EXPECT_EQ(rebuilt.size(), FirstPacketOf(original) + (packets - survivor) * kPacketSize);
            EXPECT_TRUE(std::equal(rebuilt.begin() + static_cast<std::ptrdiff_t>(FirstPacketOf(rebuilt)), rebuilt.end(),
                                   original.begin() + static_cast<std::ptrdiff_t>(FirstPacketOf(original) + survivor * kPacketSize)));
            if (probe) {
                EXPECT_EQ(ProbePacketCounts(output), MediaObjectsFrom(original, survivor)) << sample << ": " << damage.name;
            }
        }
    }
}

// The end of a cut file: a last packet whose payloads are whole is padded (its padding is what
// was cut), one cut inside its payloads is dropped.
TEST(HeaderRebuild, PadsALastPacketMissingOnlyPaddingAndDropsACutOne) {
    TempDir dir;
    const std::string reference = SampleFile("a_wmv2_wmav2.wmv");
    const Bytes original = ReadFileBytes(reference);
    const std::uint64_t first = FirstPacketOf(original);
    // Packet 6 of this file ends with 700 bytes of padding, packet 7 with 735.
    const auto packet = [&](std::uint64_t i) { return std::span(original).subspan(first + i * kPacketSize, kPacketSize); };
    ASSERT_EQ(ParsePacket(packet(6), kPacketSize).paddingLength, 700u);
    ASSERT_EQ(ParsePacket(packet(7), kPacketSize).paddingLength, 735u);
    const std::string source = (dir / "damaged.wmv").string(), output = (dir / "rebuilt.wmv").string();
    const auto packetsUpTo = [&](std::uint64_t end) {
        return Bytes(original.begin() + static_cast<std::ptrdiff_t>(first), original.begin() + static_cast<std::ptrdiff_t>(end));
    };

    WriteFileBytes(source, packetsUpTo(first + 7 * kPacketSize - 300));
    RecordingHost padded;
    ASSERT_EQ(RebuildHeaderFromReference(source, reference, output, padded), Outcome::Done) << padded.AllLines();
    Bytes rebuilt = ReadFileBytes(output);
    EXPECT_EQ(PacketCountOf(rebuilt), 7u);
    EXPECT_TRUE(std::equal(rebuilt.begin() + static_cast<std::ptrdiff_t>(FirstPacketOf(rebuilt)), rebuilt.end(),
                           original.begin() + static_cast<std::ptrdiff_t>(first),
                           original.begin() + static_cast<std::ptrdiff_t>(first + 7 * kPacketSize)));
    EXPECT_TRUE(padded.HasLine("末尾不完整的数据包 (2900 字节) 的负载完整, 已补零成完整的数据包.")) << padded.AllLines();

    WriteFileBytes(source, packetsUpTo(first + 8 * kPacketSize - 1000));
    RecordingHost dropped;
    ASSERT_EQ(RebuildHeaderFromReference(source, reference, output, dropped), Outcome::Done) << dropped.AllLines();
    rebuilt = ReadFileBytes(output);
    EXPECT_EQ(PacketCountOf(rebuilt), 7u);
    EXPECT_TRUE(dropped.HasLine("末尾 2200 字节不是完整的数据包, 已丢弃.")) << dropped.AllLines();
}

// A reference recorded otherwise is refused and nothing is written: another packet size,
// another set of streams, a reference that is no ASF file.
TEST(HeaderRebuild, RefusesAReferenceRecordedOtherwise) {
    TempDir dir;
    struct Case {
        const char* damaged;
        std::string reference;
        const char* why;
    };
    const std::string notAsf = (dir / "notasf.wmv").string();
    WriteFileBytes(notAsf, Bytes(5000, 0x82));
    const Case cases[] = {{"g_wmv2_wmav2_pkt16000.wmv", SampleFile("g2_wmv2_wmav2_pkt512.wmv"), "找不到按参考文件的数据包大小"},
                          {"g2_wmv2_wmav2_pkt512.wmv", SampleFile("g_wmv2_wmav2_pkt16000.wmv"), "找不到按参考文件的数据包大小"},
                          {"a_wmv2_wmav2.wmv", SampleFile("c_wmav2.wma"), "参考文件中没有的流编号 (2;"},
                          {"d_wmv2_2audio.wmv", SampleFile("a_wmv2_wmav2.wmv"), "参考文件中没有的流编号 (3;"},
                          {"a_wmv2_wmav2.wmv", SampleFile("k_gst_asfmux_wmv2_wmav2.wmv"), "找不到按参考文件的数据包大小"},
                          {"a_wmv2_wmav2.wmv", notAsf, "参考文件开头不是文件头对象"}};
    for (const Case& c : cases) {
        const Bytes original = ReadFileBytes(SampleFile(c.damaged));
        const std::string source = (dir / "damaged.wmv").string(), output = (dir / "rebuilt.wmv").string();
        WriteFileBytes(source, Bytes(original.begin() + static_cast<std::ptrdiff_t>(FirstPacketOf(original)), original.end()));
        std::filesystem::remove(output);
        RecordingHost host;
        EXPECT_EQ(RebuildHeaderFromReference(source, c.reference, output, host), Outcome::Refused) << c.damaged << host.AllLines();
        EXPECT_NE(host.AllLines().find(c.why), std::string::npos) << c.damaged << "\n" << host.AllLines();
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

// A stop during the run ends it, and no part of a file is left behind.
TEST(HeaderRebuild, AStopEndsTheRunWithoutAnOutput) {
    TempDir dir;
    const Bytes original = ReadFileBytes(SampleFile("d_wmv2_2audio.wmv"));
    const std::string source = (dir / "damaged.wmv").string(), output = (dir / "rebuilt.wmv").string();
    WriteFileBytes(source, Bytes(original.begin() + static_cast<std::ptrdiff_t>(FirstPacketOf(original)), original.end()));
    RecordingHost host;
    bool stop = false;
    host.onProcessMessages = [&] { stop = true; };
    EXPECT_EQ(RebuildHeaderFromReference(source, SampleFile("d_wmv2_2audio.wmv"), output, host, [&] { return stop; }),
              Outcome::Aborted);
    EXPECT_GT(host.processCalls, 0);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

// Damage inside the file does not count as packets: zeroed packets (which parse as stream 0
// without error correction data) are kept as they are for the repair tools, and neither their
// stream number nor their times reach the header. A start lost over more than the first
// megabytes is found further on.
TEST(HeaderRebuild, DamageInsideAndALongLostStartAreNoPackets) {
    TempDir dir;
    const std::string reference = SampleFile("a_wmv2_wmav2.wmv");
    const Bytes original = ReadFileBytes(reference);
    const std::uint64_t first = FirstPacketOf(original), packets = PacketCountOf(original);
    Bytes damaged(original.begin() + static_cast<std::ptrdiff_t>(first),
                  original.begin() + static_cast<std::ptrdiff_t>(first + packets * kPacketSize));
    std::fill_n(damaged.begin() + 40 * kPacketSize, 5 * kPacketSize, 0);
    std::fill_n(damaged.end() - kPacketSize, kPacketSize, 0);  // the last one too: its time is lost
    const std::string source = (dir / "damaged.wmv").string(), output = (dir / "rebuilt.wmv").string();
    for (const std::uint64_t lost : {std::uint64_t(0), std::uint64_t(9) << 20}) {
        Bytes file(lost, 0x00);
        file.insert(file.end(), damaged.begin(), damaged.end());
        WriteFileBytes(source, file);
        RecordingHost host;
        ASSERT_EQ(RebuildHeaderFromReference(source, reference, output, host), Outcome::Done) << host.AllLines();
        const Bytes rebuilt = ReadFileBytes(output);
        EXPECT_EQ(PacketCountOf(rebuilt), packets);
        EXPECT_TRUE(std::equal(rebuilt.begin() + static_cast<std::ptrdiff_t>(FirstPacketOf(rebuilt)), rebuilt.end(),
                               damaged.begin(), damaged.end()));
        const std::uint64_t props = WalkHeader(std::span(rebuilt).first(HeaderSizeOf(rebuilt))).Find(guids::FileProperties)->offset;
        const ParsedPacket beforeLast = ParsePacket(std::span(original).subspan(first + (packets - 2) * kPacketSize, kPacketSize), kPacketSize);
        EXPECT_EQ(GetU64(rebuilt, props + fp::SendDuration), (beforeLast.sendTime + beforeLast.duration) * 10000ull);
        EXPECT_TRUE(host.HasLine("找到 " + std::to_string(packets) + " 个完整的数据包, 其中 6 个无法解析, 原样保留 (可再用修复工具处理); 数据包中的流编号: 1, 2."))
            << host.AllLines();
    }
}
