// The rescue's diagnosis and plan on built files: which damage is found, which tools it calls
// for, and how two decodes are ranked.
#include <gtest/gtest.h>

#include "asf/AsfGuid.h"
#include "rescue/RescueDecode.h"
#include "rescue/RescueDiagnosis.h"
#include "rescue/RescueSteps.h"
#include "rescue/RescueText.h"
#include "support/AsfBuilder.h"

namespace mendery {
namespace {

using test::AsfBuilder;
using test::Bytes;
using test::TempDir;

constexpr std::uint32_t kPacketSize = 512;

AsfBuilder Healthy() {
    return AsfBuilder().PacketSize(kPacketSize).Flags(2).VideoStream(1).CodecList().SimplePackets(40).Index();
}

std::vector<RescueStepKind> Kinds(const RescueFindings& findings) {
    RescueContext context;
    context.findings = findings;
    std::vector<RescueStepKind> kinds;
    for (const auto& step : PlanSteps(context)) {
        EXPECT_FALSE(step.title.empty());
        EXPECT_FALSE(step.reason.empty());
        kinds.push_back(step.kind);
    }
    return kinds;
}

RescueFindings Diagnose(const TempDir& dir, const Bytes& file) {
    const auto path = (dir / "in.wmv").string();
    test::WriteFileBytes(path, file);
    return DiagnoseAsf(path);
}

TEST(RescueDiagnosis, HealthyFileNeedsNothing) {
    TempDir dir;
    const auto f = Diagnose(dir, Healthy().Build());
    EXPECT_FALSE(f.AnyDamage());
    EXPECT_TRUE(f.indexPresent);
    EXPECT_TRUE(f.hasCodecList);
    ASSERT_EQ(f.lines.size(), 1u);
    EXPECT_TRUE(Kinds(f).empty());
}

TEST(RescueDiagnosis, OverwrittenPacketsOnAnIntactGridGoToTheRepairEngine) {
    TempDir dir;
    Bytes file = Healthy().Build();
    test::DamagePackets(file, kPacketSize, 10, 3);
    const auto f = Diagnose(dir, file);
    EXPECT_EQ(f.damagedPackets, 3);
    EXPECT_FALSE(f.gridBroken);
    EXPECT_EQ(Kinds(f), (std::vector{RescueStepKind::RepairPackets, RescueStepKind::RebuildTimesAndIndex,
                                     RescueStepKind::TransplantCodecList}));
    const RepairChoice choice = ChooseRepairOptions(f);
    EXPECT_TRUE(choice.deleteBadChunks);
}

TEST(RescueDiagnosis, BytesInsertedInsideAPacketBreakTheGrid) {
    TempDir dir;
    Bytes file = Healthy().Build();
    const auto at = test::PacketOffset(file, kPacketSize, 20) + 100;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), 37, 0xEE);
    const auto f = Diagnose(dir, file);
    EXPECT_TRUE(f.gridBroken);
    // The first packet that starts off the grid: packet 21, pushed on by the inserted bytes.
    EXPECT_EQ(f.shiftedPacketAt, static_cast<std::int64_t>(test::PacketOffset(file, kPacketSize, 21) + 37))
        << ::testing::PrintToString(f.lines);
    const auto kinds = Kinds(f);
    ASSERT_FALSE(kinds.empty());
    EXPECT_EQ(kinds.front(), RescueStepKind::RecoverLostChunks);
    // The repair pass reads on the grid: it would take every shifted packet for a bad one.
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), RescueStepKind::RepairPackets), 0);
    EXPECT_FALSE(f.durationsWrong) << "send times read off a broken grid are no measure";
}

TEST(RescueDiagnosis, ZeroedPacketsThatStillParseCountAsDamaged) {
    TempDir dir;
    Bytes file = Healthy().Build();
    const auto at = test::PacketOffset(file, kPacketSize, 12);
    std::fill(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + 2 * kPacketSize), 0);
    const auto f = Diagnose(dir, file);
    EXPECT_EQ(f.damagedPackets, 2);
    EXPECT_FALSE(f.gridBroken);
    EXPECT_EQ(Kinds(f).front(), RescueStepKind::RepairPackets);
}

TEST(RescueDiagnosis, PacketsWithoutSignatureAreNeverDeletedByTheRepairPass) {
    TempDir dir;
    AsfBuilder b = AsfBuilder().PacketSize(kPacketSize).Flags(2).VideoStream(1);
    for (int i = 0; i < 30; ++i) {
        test::PacketSpec p;
        p.noErrorCorrection = true;
        p.sendTime = static_cast<std::uint32_t>(i * 40);
        p.payloads[0].object = static_cast<std::uint32_t>(i);
        p.payloads[0].pts = p.sendTime;
        p.payloads[0].data = Bytes(kPacketSize - 40, static_cast<std::uint8_t>(0x20 + i));
        b.Packet(p);
    }
    Bytes file = b.Index().Build();
    test::Truncate(file, file.size() - kPacketSize / 2 - 100);  // the last packet cut short
    const auto f = Diagnose(dir, file);
    EXPECT_FALSE(f.packetsSigned);
    EXPECT_GT(f.damagedPackets, 0);
    EXPECT_FALSE(f.gridBroken) << "a cut-short last packet is no shift";
    EXPECT_FALSE(ChooseRepairOptions(f).deleteBadChunks);
}

TEST(RescueDiagnosis, RecordingThatWasNotClosed) {
    TempDir dir;
    const auto f = Diagnose(dir, AsfBuilder().PacketSize(kPacketSize).Flags(2).VideoStream(1).SimplePackets(30).Unfinalised().Build());
    EXPECT_TRUE(f.unfinalised);
    EXPECT_FALSE(f.indexPresent);
    // The builder marks an unclosed recording live, not seekable.
    EXPECT_EQ(Kinds(f), (std::vector{RescueStepKind::RepairPackets, RescueStepKind::RebuildTimesAndIndex,
                                     RescueStepKind::FixFlags}));
    EXPECT_TRUE(ChooseRepairOptions(f).fixSizesAndDurations);
    EXPECT_FALSE(ChooseRepairOptions(f).deleteBadChunks);
}

TEST(RescueDiagnosis, CutShortFileAndItsFlags) {
    TempDir dir;
    Bytes file = AsfBuilder().PacketSize(kPacketSize).Flags(0).VideoStream(1).SimplePackets(40).Build();
    test::Truncate(file, file.size() - 5 * kPacketSize - 100);
    const auto f = Diagnose(dir, file);
    EXPECT_TRUE(f.truncated);
    EXPECT_FALSE(f.seekableFlag);
    const auto kinds = Kinds(f);
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), RescueStepKind::FixFlags), kinds.end());
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), RescueStepKind::RepairPackets), kinds.end());
}

TEST(RescueDiagnosis, DurationFieldsAgainstTheSendTimes) {
    TempDir dir;
    Bytes file = Healthy().Build();
    const auto path = (dir / "in.wmv").string();
    test::WriteFileBytes(path, file);
    std::uint64_t fpAt = 0;
    for (const auto& o : InspectAsf(path).headerObjects)
        if (o.guid == guids::FileProperties) fpAt = o.offset;
    ASSERT_GT(fpAt, 0u);
    // 40 packets of 40 ms: 1.6 s of send times; the fields claim an hour.
    test::PutU64(file, fpAt + 64, 36'000'000'000ULL);
    test::PutU64(file, fpAt + 72, 36'000'000'000ULL);
    const auto f = Diagnose(dir, file);
    EXPECT_TRUE(f.durationsWrong);
    EXPECT_EQ(Kinds(f).front(), RescueStepKind::RepairPackets);
}

TEST(RescueDiagnosis, UnreadableHeaderPlansNothing) {
    TempDir dir;
    const auto f = Diagnose(dir, Bytes(4096, 0x41));
    EXPECT_TRUE(f.headerUnreadable);
    ASSERT_EQ(f.lines.size(), 1u);
    EXPECT_TRUE(Kinds(f).empty());
}

TEST(RescueDiagnosis, HeaderKindsAreNotPlannedYet) {
    RescueFindings worst;
    worst.headerSizeDamaged = true;
    worst.damagedPackets = 1;
    worst.gridBroken = worst.truncated = worst.unfinalised = worst.durationsWrong = true;
    worst.hasCodecList = true;
    for (auto kind : Kinds(worst)) {
        EXPECT_NE(kind, RescueStepKind::RebuildHeader);
        EXPECT_NE(kind, RescueStepKind::MendHeader);
    }
}

DecodeCheck Check(std::int64_t frames, double seconds, std::int64_t errors = 0, bool seekable = true) {
    DecodeCheck c;
    c.opened = true;
    c.streams = {{1, "视频", frames}};
    c.playableSeconds = seconds;
    c.decodeErrors = errors;
    c.seekable = seekable;
    return c;
}

TEST(RescueCompare, RanksOpenedThenCleanFramesThenSecondsThenSeek) {
    DecodeCheck closed;
    EXPECT_GT(CompareDecodes(Check(1, 0.1), closed), 0);
    EXPECT_LT(CompareDecodes(closed, Check(1, 0.1)), 0);
    EXPECT_EQ(CompareDecodes(closed, closed), 0);
    EXPECT_LT(CompareDecodes(Check(99, 10), Check(100, 10)), 0);
    // A frame decoded from damaged bytes is no gain over a clean file without it.
    EXPECT_GT(CompareDecodes(Check(99, 10, 0), Check(100, 10, 2)), 0);
    EXPECT_EQ(CompareDecodes(Check(100, 10.0), Check(100, 10.3)), 0);
    EXPECT_LT(CompareDecodes(Check(100, 9.0), Check(100, 10.0)), 0);
    EXPECT_GT(CompareDecodes(Check(100, 10, 0, true), Check(100, 10, 0, false)), 0);
}

TEST(RescueText, TableAlignsChineseColumnsAndListsSteps) {
    RescueReport r;
    r.before = Check(10, 2.0, 3, false);
    r.after = Check(12, 2.5, 0, true);
    r.after->streams.push_back({2, "音频", 7});
    RescueStep step;
    step.title = "高级修复";
    step.outcome = Outcome::Done;
    step.note = "结果比上一步差";
    r.steps.push_back(step);
    const auto lines = RescueTable(r);
    ASSERT_EQ(lines.size(), 7u);  // header, seconds, two streams, errors, seekable, one step
    const auto columnOf = [](const std::string& line, const char* text) { return DisplayWidth(line.substr(0, line.find(text))); };
    EXPECT_EQ(columnOf(lines[1], "2.0"), columnOf(lines[0], "修复前"));
    EXPECT_EQ(columnOf(lines[1], "2.5"), columnOf(lines[0], "修复后"));
    EXPECT_EQ(columnOf(lines[4], "3"), columnOf(lines[0], "修复前"));
    EXPECT_NE(lines[3].find("音频流 2"), std::string::npos);
    EXPECT_NE(lines[3].find("0"), std::string::npos) << "a stream only the result has: 0 before";
    EXPECT_NE(lines[5].find("否"), std::string::npos);
    EXPECT_NE(lines[5].find("是"), std::string::npos);
    EXPECT_EQ(lines[6], "步骤 1: 高级修复 - 完成 (结果比上一步差)");
}

}  // namespace
}  // namespace mendery
