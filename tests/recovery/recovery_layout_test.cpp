// Lost-chunk recovery and the shrinker on files whose packets carry no error correction data:
// real GStreamer files as they are and damaged, and a built file with padding to cut.
#include <gtest/gtest.h>

#include <filesystem>

#include "asf/AsfObjects.h"
#include "asf/PacketLayout.h"
#include "recovery/LostChunk.h"
#include "recovery/Shrinker.h"
#include "support/AsfBuilder.h"
#include "LostChunkRun.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

// A run that has ended.
struct Recovery : LostChunkRun {
    explicit Recovery(const Bytes& file) : LostChunkRun(file) { tool.Recover(); }
};

int Total(const std::vector<int>& counts) {
    int n = 0;
    for (int c : counts) n += c;
    return n;
}

// ffprobe reads both streams of the output, with at least `packets` packets in all; GStreamer
// reads it too.
void ExpectPlayable(const std::string& path, int packets) {
    if (!HaveProgram("ffprobe")) return;
    const auto counts = ProbePacketCounts(path);
    ASSERT_EQ(counts.size(), 2u) << path;
    EXPECT_GE(Total(counts), packets);
    EXPECT_GT(counts[1], 0);
    if (HaveProgram("gst-discoverer-1.0")) {
        std::string report;
        EXPECT_TRUE(DiscovererAccepts(path, &report)) << report;
    }
}

}  // namespace

TEST(LostChunkLayout, IntactAndUnfinalisedRecordingsAreCopiedWhole) {
    Recovery whole(GstSample(GstDamage::None));
    ASSERT_EQ(whole.tool.LastOutcome(), Outcome::Done) << whole.host.AllLines();
    EXPECT_EQ(whole.tool.LastSummary().chunksWritten, kGstPackets);
    EXPECT_EQ(whole.tool.LastSummary().resyncs, 0);
    EXPECT_TRUE(whole.host.HasLine(kNoErrorCorrectionLine));
    ExpectPlayable(whole.output, 690);
    // Every packet's duration is 0: the send clock follows the packets' own send times, so the
    // header holds the recording's length and the send times keep rising.
    const Bytes copy = ReadFileBytes(whole.output);
    EXPECT_EQ(GetU64(copy, 30 + fp::SendDuration), 14953u * 10000);
    EXPECT_EQ(GetU64(copy, 30 + fp::PlayDuration), (14953u + 5000) * 10000);
    EXPECT_EQ(GetU32(copy, PacketOffset(copy, kGstPacketSize, 100) + 6), 9000u);

    Recovery killed(ReadFileBytes(SampleFile("l_gst_killed_unfinalized.wmv")));
    ASSERT_EQ(killed.tool.LastOutcome(), Outcome::Done) << killed.host.AllLines();
    EXPECT_EQ(killed.tool.LastSummary().chunksWritten, 56);
    const Bytes out = ReadFileBytes(killed.output);
    EXPECT_EQ(GetU64(out, 30 + fp::DataPacketsCount), 56u);
    EXPECT_EQ(GetU64(out, 30 + fp::FileSize), out.size());
    ExpectPlayable(killed.output, 220);
}

TEST(LostChunkLayout, SearchFindsPacketsWithoutCorrectionDataAfterDamage) {
    struct Case {
        GstDamage damage;
        std::int64_t chunks, resyncs;
        int packets;
    };
    // Garbage over 40 to 42: the packet before them is dropped, as after any damage, and the
    // search lands on 43. Bytes inside packet 20: it and the one before are lost, the search
    // finds 21 off the grid. A cut: the packets before it and the cut one are kept.
    const Case cases[] = {{GstDamage::Garbage, 161, 1, 600},
                          {GstDamage::Inserted, 163, 1, 640},
                          {GstDamage::Truncated, 116, 0, 350}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.damage));
        Recovery run(GstSample(c.damage));
        ASSERT_EQ(run.tool.LastOutcome(), Outcome::Done) << run.host.AllLines();
        EXPECT_EQ(run.tool.LastSummary().chunksWritten, c.chunks);
        EXPECT_EQ(run.tool.LastSummary().resyncs, c.resyncs);
        ExpectPlayable(run.output, c.packets);
    }
}

TEST(LostChunkLayout, SearchTriesEveryByteWhenThePacketsFlagsDiffer) {
    // Single-payload packets; the second one's property flags differ (a byte offset field in
    // place of a dword still parses), so no flags byte can guide the search.
    AsfBuilder b;
    b.PacketSize(512).Preroll(1000).VideoStream(1);
    for (int i = 0; i < 12; ++i) {
        PacketSpec p;
        p.lengthTypeFlags = 0x10;
        p.sendTime = 40 * i;
        p.payloads[0].pts = 1000 + 40 * i;
        p.noErrorCorrection = true;
        b.Packet(p);
    }
    Bytes file = b.Build();
    PutU8(file, PacketOffset(file, 512, 1) + 1, 0x55);
    DamagePackets(file, 512, 6);
    const std::uint64_t at = PacketOffset(file, 512, 9);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), 33, 0x77);  // packets 9 on off the grid
    Recovery run(file);
    ASSERT_EQ(run.tool.LastOutcome(), Outcome::Done) << run.host.AllLines();
    // Lost: 6 (garbage), 5 and 8 (each written last before damage).
    EXPECT_EQ(run.tool.LastSummary().chunksWritten, 9);
    EXPECT_EQ(run.tool.LastSummary().resyncs, 2);
}

TEST(ShrinkerLayout, PacketsWithoutCorrectionDataAreMeasuredAndCut) {
    // Small payloads in 2000-byte packets: most of every packet is padding.
    AsfBuilder b;
    b.PacketSize(2000).Preroll(1000).VideoStream(1).AudioStream(2);
    for (int i = 0; i < 30; ++i) {
        PacketSpec p = ManyPayloads(2, 2, 200, 1000 + 40 * i);
        p.lengthTypeFlags = 0x51;  // packet length and padding words, as GStreamer writes them
        p.sendTime = 40 * i;
        p.noErrorCorrection = true;
        b.Packet(p);
    }
    TempDir dir;
    const std::string source = b.WriteTo(dir / "in.wmv"), output = (dir / "in.shr.wmv").string();
    RecordingHost host;
    TShrinker tool;
    tool.AttachHost(host);
    tool.FileName = source;
    tool.OutFileName = output;
    tool.ExtraCompression = false;
    tool.Shrink();
    ASSERT_EQ(tool.LastOutcome(), Outcome::Done) << host.AllLines();
    EXPECT_TRUE(host.HasLine(kNoErrorCorrectionLine));
    EXPECT_EQ(tool.LastSummary().chunksWritten, 30);
    EXPECT_EQ(tool.LastSummary().streams, (std::vector<int>{1, 2}));
    const std::uint32_t used = tool.LastSummary().usedLength;
    EXPECT_LT(used, 500u);
    // Every cut packet still parses as one of the new size, its padding shortened.
    const Bytes out = ReadFileBytes(output);
    PacketLayout layout;
    layout.errorCorrection = false;
    for (int i = 0; i < 30; ++i) {
        const auto block = std::span<const std::uint8_t>(out).subspan(PacketOffset(out, used, i), used);
        EXPECT_EQ(ClassifyPacket(block, used, layout), BlockKind::Good) << i;
    }
    if (HaveProgram("ffprobe")) EXPECT_EQ(ProbePacketCounts(output), ProbePacketCounts(source));
}
