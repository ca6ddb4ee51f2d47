// The repair engine on files whose packets carry no error correction data: every bad-chunk
// decision keeps the packets that parse, judges damage by the packets' structure, and what it
// writes in place of a bad chunk follows the file's layout. Outputs are read by ffprobe and
// GStreamer.
#include <gtest/gtest.h>

#include <filesystem>

#include "asf/AsfObjects.h"
#include "asf/PacketLayout.h"
#include "repair/AsfFile.h"
#include "repair/RepairPresets.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

struct LayoutRepair {
    RecordingHost host;
    TAsfFile engine;
    TempDir dir;
    std::string source, output;

    LayoutRepair(const Bytes& file, BadChunkAction action) {
        source = (dir / "in.wmv").string();
        output = (dir / "out.wmv").string();
        WriteFileBytes(source, file);
        ApplyPreset(engine, RepairPreset::RepairBadChunks);
        engine.FixForBadChunk = action;
        engine.AttachHost(host);
        engine.FileName = source;
        engine.OutFileName = output;
    }
    Outcome Go() { return engine.Run(); }
    std::span<const std::uint8_t> Block(const Bytes& out, int i) const {
        return std::span<const std::uint8_t>(out).subspan(PacketOffset(out, kGstPacketSize, i), kGstPacketSize);
    }
};

int Total(const std::vector<int>& counts) {
    int n = 0;
    for (int c : counts) n += c;
    return n;
}

void ExpectPlayable(const std::string& path, int atLeastPackets) {
    if (!HaveProgram("ffprobe")) return;
    const auto counts = ProbePacketCounts(path);
    ASSERT_EQ(counts.size(), 2u) << path;
    EXPECT_GE(Total(counts), atLeastPackets);
    EXPECT_GT(counts[0], 0);
    EXPECT_GT(counts[1], 0);
    if (HaveProgram("gst-discoverer-1.0")) {
        std::string report;
        EXPECT_TRUE(DiscovererAccepts(path, &report)) << report;
    }
}

const BadChunkAction kEveryAction[] = {BadChunkAction::DoNothing, BadChunkAction::Delete, BadChunkAction::FillWithZero,
                                       BadChunkAction::CopyLastGood, BadChunkAction::DeletePlusLastGood};

}  // namespace

TEST(AsfFileLayout, EveryDecisionKeepsEveryPacketOfAnIntactFile) {
    const int sourcePackets = HaveProgram("ffprobe") ? Total(ProbePacketCounts(SampleFile("k_gst_asfmux_wmv2_wmav2.wmv"))) : 0;
    for (const BadChunkAction action : kEveryAction) {
        SCOPED_TRACE(static_cast<int>(action));
        LayoutRepair run(GstSample(GstDamage::None), action);
        ASSERT_EQ(run.Go(), Outcome::Done) << run.host.AllLines();
        const auto& s = run.engine.LastSummary();
        EXPECT_EQ(s.goodChunks, kGstPackets);
        EXPECT_EQ(s.badChunks, 0);
        EXPECT_EQ(s.chunkCount, kGstPackets);
        EXPECT_TRUE(run.host.HasLine(kNoErrorCorrectionLine));
        ExpectPlayable(run.output, sourcePackets);
    }
    // The unfinalised recording: its packets are kept (its header, marked live and counting
    // nothing, is the partial-file fixes' work).
    LayoutRepair killed(ReadFileBytes(SampleFile("l_gst_killed_unfinalized.wmv")), BadChunkAction::Delete);
    ASSERT_EQ(killed.Go(), Outcome::Done) << killed.host.AllLines();
    EXPECT_EQ(killed.engine.LastSummary().chunkCount, 56);
    EXPECT_EQ(killed.engine.LastSummary().badChunks, 0);
    if (HaveProgram("ffprobe")) EXPECT_GE(Total(ProbePacketCounts(killed.output)), 220);
}

TEST(AsfFileLayout, TimesOfPacketsWithoutDurationsFollowTheirSendTimes) {
    // GStreamer leaves every packet's duration 0. The partial-file fixes give the unfinalised
    // recording the length its send times span, not the preroll alone.
    LayoutRepair run(ReadFileBytes(SampleFile("l_gst_killed_unfinalized.wmv")), BadChunkAction::DoNothing);
    ApplyPreset(run.engine, RepairPreset::RepairPartialFile);
    run.engine.FixTimeCodes = true;
    run.engine.LiveFlag = LiveFlagChange::Reset;  // readers take no duration from a live file
    run.engine.FileSeekableFlag = SeekableFlagChange::Enable;
    ASSERT_EQ(run.Go(), Outcome::Done) << run.host.AllLines();
    EXPECT_EQ(run.engine.LastSummary().sendDurationMs, 4804);
    const Bytes out = ReadFileBytes(run.output);
    EXPECT_EQ(GetU64(out, 30 + fp::SendDuration), 4804u * 10000);
    EXPECT_EQ(GetU64(out, 30 + fp::PlayDuration), (4804u + 5000) * 10000);
    EXPECT_EQ(GetU64(out, 30 + fp::DataPacketsCount), 56u);
    if (HaveProgram("ffprobe")) EXPECT_NEAR(ProbeDurationSeconds(run.output), 4.8, 0.2);
    if (HaveProgram("gst-discoverer-1.0")) {
        std::string report;
        EXPECT_TRUE(DiscovererAccepts(run.output, &report)) << report;
    }
    // Rewritten send times keep the source's (they already rise as the clock does).
    const Bytes in = ReadFileBytes(run.source);
    for (int i : {1, 20, 55}) EXPECT_EQ(GetU32(out, PacketOffset(out, kGstPacketSize, i) + 6), GetU32(in, PacketOffset(in, kGstPacketSize, i) + 6));
}

TEST(AsfFileLayout, GarbagePacketsAreTheOnlyBadOnesAndEachDecisionWritesTheFilesLayout) {
    const Bytes source = GstSample(GstDamage::Garbage);
    const std::vector<std::int64_t> damaged = {40, 41, 42};
    struct Case {
        BadChunkAction action;
        std::int64_t chunks;
    };
    for (const Case c : {Case{BadChunkAction::Delete, 162}, Case{BadChunkAction::DeletePlusLastGood, 161},
                         Case{BadChunkAction::FillWithZero, 165}, Case{BadChunkAction::CopyLastGood, 165},
                         Case{BadChunkAction::DoNothing, 165}}) {
        SCOPED_TRACE(static_cast<int>(c.action));
        LayoutRepair run(source, c.action);
        ASSERT_EQ(run.Go(), Outcome::Done) << run.host.AllLines();
        EXPECT_EQ(run.engine.LastSummary().badChunkIndexes, damaged);
        EXPECT_EQ(run.engine.LastSummary().chunkCount, c.chunks);
        const Bytes out = ReadFileBytes(run.output);
        EXPECT_EQ(out.size(), HeaderSizeOf(out) + kDataObjectHeadSize + c.chunks * kGstPacketSize + 176);  // + index
        if (c.action == BadChunkAction::FillWithZero) {
            // No error correction byte in a file whose packets have none.
            for (int i : {40, 41, 42}) {
                const auto block = run.Block(out, i);
                EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }));
            }
        }
        if (c.action == BadChunkAction::CopyLastGood) {
            const auto last = run.Block(out, 39), copy = run.Block(out, 41);
            EXPECT_TRUE(std::equal(last.begin() + 10, last.end(), copy.begin() + 10));  // send time rewritten
        }
        if (c.action != BadChunkAction::DoNothing) ExpectPlayable(run.output, 500);
    }
}

TEST(AsfFileLayout, CutAndShiftedFilesKeepThePacketsBeforeTheDamage) {
    // Cut inside packet 115: the packets before it and the cut one, whose payloads before the
    // cut are whole.
    LayoutRepair cut(GstSample(GstDamage::Truncated), BadChunkAction::Delete);
    ASSERT_EQ(cut.Go(), Outcome::Done) << cut.host.AllLines();
    EXPECT_EQ(cut.engine.LastSummary().chunkCount, 116);
    EXPECT_EQ(cut.engine.LastSummary().shortChunks, 1);
    ExpectPlayable(cut.output, 350);

    // 777 bytes inside packet 20 move every later packet off the grid: the grid engine keeps
    // what lies before them (re-synchronising is lost-chunk recovery's work).
    LayoutRepair shifted(GstSample(GstDamage::Inserted), BadChunkAction::Delete);
    ASSERT_EQ(shifted.Go(), Outcome::Done) << shifted.host.AllLines();
    EXPECT_EQ(shifted.engine.LastSummary().chunkCount, 20);
    ExpectPlayable(shifted.output, 50);
}

TEST(AsfFileLayout, FilesWithErrorCorrectionKeepTheSignatureRule) {
    // A packet without error correction data inside a file whose packets have it is damage
    // there, and a filled chunk still starts with 82.
    AsfBuilder b;
    b.PacketSize(512).VideoStream(1).SimplePackets(4, 0x10);
    PacketSpec odd;
    odd.lengthTypeFlags = 0x10;
    odd.noErrorCorrection = true;
    b.Packet(odd);
    LayoutRepair run(b.Build(), BadChunkAction::FillWithZero);
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_EQ(run.engine.LastSummary().badChunkIndexes, std::vector<std::int64_t>{4});
    EXPECT_FALSE(run.host.HasLine(kNoErrorCorrectionLine));
    const Bytes out = ReadFileBytes(run.output);
    EXPECT_EQ(out[PacketOffset(out, 512, 4)], 0x82);
}
