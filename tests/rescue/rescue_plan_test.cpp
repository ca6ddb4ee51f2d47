// The rescue's diagnosis and plan on built files: which damage is found, which tools it calls
// for, and how two decodes are ranked.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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
                                     RescueStepKind::RebuildTimesAndIndex, RescueStepKind::TransplantCodecList}));
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

TEST(RescueDiagnosis, DamagedPacketsWithoutErrorCorrectionDataAreDeletedToo) {
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
    EXPECT_TRUE(ChooseRepairOptions(f).deleteBadChunks);
}

// A GStreamer file (no error correction data) whose two-byte packet length field has a bit
// flipped in every seventh packet, the first one among them, and one more packet overwritten.
// The packets after each stay on the grid: held to the layout of the first packet, which does
// not parse, any bytes inside it passed for a shifted packet and sent the file to the
// lost-chunk recovery. The packets whose length field is their only fault are kept (the field
// taken out), the overwritten one deleted.
TEST(RescueDiagnosis, DamagedPacketLengthFieldsWithoutErrorCorrectionData) {
    TempDir dir;
    Bytes file = test::ReadFileBytes(test::SampleFile("k_gst_asfmux_wmv2_wmav2.wmv"));
    constexpr std::uint32_t kGstPacket = 4800;
    const std::uint64_t packets = (file.size() - test::PacketOffset(file, kGstPacket, 0)) / kGstPacket;
    std::vector<std::int64_t> flipped;
    for (std::uint64_t k = 0; k < packets; k += 7) {
        file[test::PacketOffset(file, kGstPacket, k) + 3] ^= (k % 2 ? 0x20 : 0x10);  // too long, too short
        flipped.push_back(static_cast<std::int64_t>(k));
    }
    test::DamagePackets(file, kGstPacket, 10, 1);
    const auto f = Diagnose(dir, file);
    EXPECT_FALSE(f.packetsSigned);
    EXPECT_EQ(f.damagedPackets, static_cast<std::int64_t>(flipped.size() + 1)) << ::testing::PrintToString(f.lines);
    EXPECT_FALSE(f.gridBroken) << ::testing::PrintToString(f.lines);
    EXPECT_EQ(f.lengthFieldPackets, flipped);
    const auto kinds = Kinds(f);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), RescueStepKind::RepairPackets), 1);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), RescueStepKind::RecoverLostChunks), 0);
    const RepairChoice choice = ChooseRepairOptions(f);
    EXPECT_TRUE(choice.deleteBadChunks);
    EXPECT_TRUE(choice.removeLengthFields);
    // Packets overwritten alone: nothing to take out, every damaged packet goes.
    Bytes overwritten = test::ReadFileBytes(test::SampleFile("k_gst_asfmux_wmv2_wmav2.wmv"));
    test::DamagePackets(overwritten, kGstPacket, 30, 3);
    const auto g = Diagnose(dir, overwritten);
    EXPECT_TRUE(g.lengthFieldPackets.empty());
    EXPECT_FALSE(ChooseRepairOptions(g).removeLengthFields);
}

// Packets copied twice into the middle of a file whose data object size was not grown: every
// tool that trusts the size leaves the last packets out; the repair pass counts them.
TEST(RescueDiagnosis, PacketsPastTheDataObjectsEndPlanTheRepairPass) {
    TempDir dir;
    const Bytes healthy = AsfBuilder().PacketSize(kPacketSize).Flags(2).VideoStream(1).SimplePackets(40).Build();
    Bytes file = healthy;
    const auto at = static_cast<std::ptrdiff_t>(test::PacketOffset(file, kPacketSize, 20));
    file.insert(file.begin() + at, healthy.begin() + at, healthy.begin() + at + 3 * kPacketSize);
    const auto f = Diagnose(dir, file);
    EXPECT_TRUE(f.packetsPastDataEnd) << ::testing::PrintToString(f.lines);
    EXPECT_FALSE(f.truncated);
    EXPECT_EQ(Kinds(f).front(), RescueStepKind::RepairPackets);
    EXPECT_TRUE(ChooseRepairOptions(f).fixSizesAndDurations);
    // Not so when an index or nothing follows the data object, or what follows is no packet.
    Bytes garbage = healthy;
    garbage.insert(garbage.end(), 3 * kPacketSize, 0x5A);
    for (const Bytes* other : std::initializer_list<const Bytes*>{&healthy, &garbage}) {
        const auto g = Diagnose(dir, *other);
        EXPECT_FALSE(g.packetsPastDataEnd) << ::testing::PrintToString(g.lines);
    }
    EXPECT_FALSE(Diagnose(dir, Healthy().Build()).packetsPastDataEnd);
}

// The basic repair straight on the packets the packet step read is planned as a candidate
// after the chain's own basic repair, and only when a packet step and the basic repair are.
TEST(RescueDiagnosis, PacketStepsGetTheBasicRepairAsACandidate) {
    TempDir dir;
    Bytes file = Healthy().Build();
    test::DamagePackets(file, kPacketSize, 10, 3);
    RescueContext context;
    context.findings = Diagnose(dir, file);
    const auto steps = PlanSteps(context);
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps[1].kind, RescueStepKind::RebuildTimesAndIndex);
    EXPECT_FALSE(steps[1].fromPacketsStart);
    EXPECT_EQ(steps[2].kind, RescueStepKind::RebuildTimesAndIndex);
    EXPECT_TRUE(steps[2].fromPacketsStart);
    EXPECT_NE(steps[2].title, steps[1].title);
    // Only the index missing: no packet step, so no second way through the packets.
    Bytes noIndex = AsfBuilder().PacketSize(kPacketSize).Flags(2).VideoStream(1).SimplePackets(40).Build();
    context.findings = Diagnose(dir, noIndex);
    for (const auto& step : PlanSteps(context)) EXPECT_FALSE(step.fromPacketsStart) << step.title;
}

TEST(RescueDiagnosis, RecordingThatWasNotClosed) {
    TempDir dir;
    const auto f = Diagnose(dir, AsfBuilder().PacketSize(kPacketSize).Flags(2).VideoStream(1).SimplePackets(30).Unfinalised().Build());
    EXPECT_TRUE(f.unfinalised);
    EXPECT_FALSE(f.indexPresent);
    // The builder marks an unclosed recording live, not seekable.
    EXPECT_EQ(Kinds(f), (std::vector{RescueStepKind::RepairPackets, RescueStepKind::RebuildTimesAndIndex,
                                     RescueStepKind::RebuildTimesAndIndex, RescueStepKind::FixFlags}));
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

std::uint64_t ObjectAt(const TempDir& dir, const Bytes& file, const Guid& guid) {
    const auto path = (dir / "walk.wmv").string();
    test::WriteFileBytes(path, file);
    for (const auto& o : InspectAsf(path).headerObjects)
        if (o.guid == guid) return o.offset;
    ADD_FAILURE() << "no such object";
    return 0;
}

// Header fields that contradict the file put the header mend first, and each is named.
TEST(RescueDiagnosis, HeaderFieldContradictionsPlanTheMendFirst) {
    TempDir dir;
    const Bytes healthy = AsfBuilder().PacketSize(kPacketSize).Flags(2).VideoStream(1).AudioStream(2).SimplePackets(40).Index().Build();
    const std::uint64_t props = ObjectAt(dir, healthy, guids::FileProperties);
    const std::uint64_t stream = ObjectAt(dir, healthy, guids::StreamProperties);
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        bool RescueFindings::*flag;
    };
    const Case cases[] = {
        {"header size 0", [](Bytes& b) { test::PutU64(b, 16, 0); }, &RescueFindings::headerSizeDamaged},
        {"object count", [](Bytes& b) { test::PutU32(b, 24, 40); }, &RescueFindings::objectCountWrong},
        {"packet size 0", [&](Bytes& b) { test::PutU32(b, props + fp::MinPacketSize, 0); }, &RescueFindings::packetSizeSuspect},
        {"packet size + 1",
         [&](Bytes& b) {
             test::PutU32(b, props + fp::MinPacketSize, kPacketSize + 1);
             test::PutU32(b, props + fp::MaxPacketSize, kPacketSize + 1);
         },
         &RescueFindings::packetSizeSuspect},
        {"stream number", [&](Bytes& b) { test::PutU16(b, stream + 72, 5); }, &RescueFindings::streamNumbersWrong},
    };
    for (const Case& c : cases) {
        Bytes file = healthy;
        c.damage(file);
        const auto f = Diagnose(dir, file);
        EXPECT_TRUE(f.headerPresent) << c.name;
        EXPECT_TRUE(f.*(c.flag)) << c.name << ": " << ::testing::PrintToString(f.lines);
        EXPECT_TRUE(f.HeaderFieldsContradict()) << c.name;
        const auto kinds = Kinds(f);
        ASSERT_FALSE(kinds.empty()) << c.name;
        EXPECT_EQ(kinds.front(), RescueStepKind::MendHeader) << c.name;
        if (c.flag == &RescueFindings::headerSizeDamaged) {
            EXPECT_FALSE(ChooseRepairOptions(f).fixSizesAndDurations) << "the mend, not the repair pass, rewrites the header";
        }
    }
    // A healthy file (also one whose packets are damaged in the middle) has nothing to mend.
    Bytes damagedInside = healthy;
    test::DamagePackets(damagedInside, kPacketSize, 20, 2);
    for (const Bytes* file : std::initializer_list<const Bytes*>{&healthy, &damagedInside}) {
        const auto f = Diagnose(dir, *file);
        EXPECT_FALSE(f.HeaderFieldsContradict()) << ::testing::PrintToString(f.lines);
        const auto kinds = Kinds(f);
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), RescueStepKind::MendHeader), 0);
    }
}

TEST(RescueDiagnosis, LostHeaderIsRebuiltOnlyFromAReference) {
    TempDir dir;
    Bytes file = Healthy().Build();
    std::fill_n(file.begin(), 2048, 0);
    RescueContext context;
    context.findings = Diagnose(dir, file);
    EXPECT_TRUE(context.findings.headerUnreadable);
    EXPECT_FALSE(context.findings.headerPresent);
    EXPECT_TRUE(PlanSteps(context).empty());
    context.reference = "good.wmv";
    const auto steps = PlanSteps(context);
    ASSERT_EQ(steps.size(), 1u) << "the packet steps are planned once the header is back";
    EXPECT_EQ(steps[0].kind, RescueStepKind::RebuildHeader);
}

// Without a cutting tool that runs, the basic repair (and the codec list that follows it) is
// not planned, and the diagnosis says why.
TEST(RescueDiagnosis, BasicRepairNeedsARunnableCuttingTool) {
    TempDir dir;
    Bytes file = Healthy().Build();
    test::DamagePackets(file, kPacketSize, 10, 3);
    RescueContext context;
    context.findings = Diagnose(dir, file);

    const std::string script = (dir / "not-executable").string();
    test::WriteFileBytes(script, Bytes{'#', '!'});
    EXPECT_EQ(ClipwrightProblem(std::string(MENDERY_BIN_DIR) + "/clipwright"), "");
    for (const std::string& path : {std::string(), (dir / "missing").string(), dir.path().string(), script}) {
        context.clipwrightProblem = ClipwrightProblem(path);
        EXPECT_FALSE(context.clipwrightProblem.empty()) << path;
        std::vector<std::string> skipped;
        const auto steps = PlanSteps(context, &skipped);
        ASSERT_EQ(steps.size(), 1u) << path;
        EXPECT_EQ(steps[0].kind, RescueStepKind::RepairPackets);
        ASSERT_EQ(skipped.size(), 1u);
        EXPECT_NE(skipped[0].find("跳过基础修复"), std::string::npos) << skipped[0];
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
