// clipwright: its arguments, its packet rebuilding, and the tool itself on built and real files,
// judged by independent readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "clipwright/ClipArgs.h"
#include "clipwright/ClipJob.h"
#include "launch/ClipwrightCommandLines.h"
#include "asf/ParameterText.h"
#include "clipwright/SimpleIndexBuilder.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/ByteCursor.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

const std::string kClipwright = std::string(MENDERY_BIN_DIR) + "/clipwright";

int Clipwright(const std::string& args, std::string* output = nullptr) {
    return RunCommand(Quote(kClipwright) + " " + args, output);
}

// What a reader finds in an output of clipwright.
struct Layout {
    HeaderWalk walk;
    FileProperties props;
    std::uint64_t headerSize = 0, dataSize = 0, dataPackets = 0;
    bool hasIndex = false;
    std::uint32_t indexEntries = 0;
    std::vector<std::uint32_t> indexPackets;
};

Layout Inspect(const Bytes& f) {
    Layout l;
    l.headerSize = HeaderSizeOf(f);
    l.walk = WalkHeader(std::span(f).first(l.headerSize));
    const SubObject* fpo = l.walk.Find(guids::FileProperties);
    if (fpo) l.props = FileProperties::Read(ByteCursor(std::span(f).subspan(fpo->offset)));
    l.dataSize = GetU64(f, l.headerSize + 16);
    l.dataPackets = GetU64(f, l.headerSize + 40);
    const std::uint64_t idx = l.headerSize + l.dataSize;
    if (idx + 56 <= f.size() && Guid::FromBytes(std::span(f).subspan(idx, 16)) == guids::SimpleIndex) {
        l.hasIndex = true;
        l.indexEntries = GetU32(f, idx + 52);
        for (std::uint32_t i = 0; i < l.indexEntries; ++i) l.indexPackets.push_back(GetU32(f, idx + 56 + i * 6));
    }
    return l;
}

// The header agrees with the file: sizes, counts, seekable, no codec list, an index at the end.
void ExpectConsistent(const Bytes& f, std::uint64_t packets) {
    Layout l = Inspect(f);
    EXPECT_EQ(l.walk.end, WalkEnd::Complete);
    EXPECT_EQ(l.walk.declaredCount, l.walk.objects.size());
    EXPECT_EQ(l.walk.Find(guids::CodecList), nullptr);
    EXPECT_EQ(l.props.fileSize, f.size());
    EXPECT_EQ(l.props.dataPacketsCount, packets);
    EXPECT_EQ(l.dataPackets, packets);
    EXPECT_EQ(l.dataSize, 50 + packets * l.props.minPacketSize);
    EXPECT_EQ(l.props.flags & 3, fp::FlagSeekable);
    EXPECT_TRUE(l.hasIndex);
    EXPECT_GT(l.props.playDuration, l.props.preroll * 10000);
    // Every index entry names a packet in which a video object begins.
    for (auto p : l.indexPackets) {
        ASSERT_LT(p, packets);
        const std::uint32_t size = l.props.minPacketSize;
        const ParsedPacket pp = ParsePacket(std::span(f).subspan(l.headerSize + 50 + std::uint64_t(p) * size, size), size);
        ASSERT_TRUE(pp.ok) << pp.error;
        EXPECT_TRUE(std::any_of(pp.payloads.begin(), pp.payloads.end(), [](const PacketPayload& pl) {
            return pl.streamNumber == 1 && pl.offsetIntoMediaObject == 0;
        })) << "index entry for packet " << p;
    }
}

double ProbeDuration(const std::string& path) {
    std::string out;
    RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(path) + " 2>/dev/null", &out);
    return std::atof(out.c_str());
}

std::string FrameMd5(const std::string& path, const std::string& extra = "") {
    std::string out;
    RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0 -c copy " + extra +
                   " -f framemd5 - 2>/dev/null | grep -v '^#' | awk -F, '{print $1 \",\" $6}'",
               &out);
    return out;
}

// A video-only file of n packets, 40 ms apart, key frames every 10.
AsfBuilder VideoFile(int n, std::uint32_t packetSize = 1024) {
    AsfBuilder b;
    b.PacketSize(packetSize).Preroll(1000).VideoStream(1).CodecList().SimplePackets(n, 0x08, 10).Index();
    return b;
}

}  // namespace

TEST(ClipArgs, ReadsEveryCommandLineTheProgramBuilds) {
    std::string error;
    auto cut = ParseClipArgs({CutExceptParameters("/v/a b.wmv", "/v/a b.cut.wmv", 10, 20)}, error);
    ASSERT_TRUE(cut) << error;
    EXPECT_EQ(cut->inputs, std::vector<std::string>{"/v/a b.wmv"});
    EXPECT_EQ(cut->output, "/v/a b.cut.wmv");
    EXPECT_TRUE(cut->overwrite);
    ASSERT_EQ(cut->pieces.size(), 2u);
    EXPECT_EQ(cut->pieces[0].start, 0);
    EXPECT_EQ(*cut->pieces[0].duration, 10);
    EXPECT_EQ(cut->pieces[1].start, 20);
    EXPECT_FALSE(cut->pieces[1].duration);  // to the end of the file
    EXPECT_EQ(cut->GetMode(), ClipArgs::Mode::Cut);

    auto join = ParseClipArgs(SplitParameterText(JoinParameters({"/v/1.wmv", "/v/2.wmv", "/v/3.wmv"}, "/v/1-3.wmv", false)), error);
    ASSERT_TRUE(join) << error;
    EXPECT_EQ(join->inputs.size(), 3u);
    EXPECT_TRUE(join->sameBitrate);
    EXPECT_EQ(join->GetMode(), ClipArgs::Mode::Join);

    auto repair = ParseClipArgs(SplitParameterText(BasicRepairReplaceParameters("/v/a.wmv", {true, true})), error);
    ASSERT_TRUE(repair) << error;
    EXPECT_EQ(repair->output, "/v/a.wmv.tmp");
    EXPECT_TRUE(repair->resync && repair->istart);
    EXPECT_EQ(repair->GetMode(), ClipArgs::Mode::Repair);
}

TEST(ClipArgs, RefusesUnusableArguments) {
    std::string error;
    EXPECT_FALSE(ParseClipArgs({"-i", "a.wmv"}, error));
    EXPECT_NE(error.find("-o"), std::string::npos);
    EXPECT_FALSE(ParseClipArgs({"-i", "a.wmv", "-o", "b.wmv", "-dur", "5"}, error));
    EXPECT_FALSE(ParseClipArgs({"-i", "a.wmv", "-o", "b.wmv", "-start", "x"}, error));
    EXPECT_FALSE(ParseClipArgs({"-i", "a.wmv", "-o", "b.wmv", "-start", "1", "-dur", "-1"}, error));
    EXPECT_FALSE(ParseClipArgs({"-i", "a.wmv", "-i", "b.wmv", "-o", "c.wmv", "-start", "1"}, error));
    EXPECT_FALSE(ParseClipArgs({"-i", "a.wmv", "-o", "b.wmv", "-x"}, error));
    EXPECT_FALSE(ParseClipArgs({"-i"}, error));
}

TEST(ClipArgs, AZeroLengthPieceIsNoPiece) {
    // Everything except 0..5: the first piece is empty, the rest of the file is kept.
    std::string error;
    auto except = ParseClipArgs({CutExceptParameters("/v/a.wmv", "/v/a.cut.wmv", 0, 5)}, error);
    ASSERT_TRUE(except) << error;
    ASSERT_EQ(except->pieces.size(), 1u);
    EXPECT_EQ(except->pieces[0].start, 5);
    EXPECT_FALSE(except->pieces[0].duration);
    // Only empty pieces: still a cut (of nothing), never taken for a repair.
    auto empty = ParseClipArgs({"-i", "a.wmv", "-o", "b.wmv", "-start", "3", "-dur", "0"}, error);
    ASSERT_TRUE(empty) << error;
    EXPECT_TRUE(empty->pieces.empty());
    EXPECT_EQ(empty->GetMode(), ClipArgs::Mode::Cut);
}

TEST(ParameterText, SplitsAsAShellWould) {
    EXPECT_EQ(SplitParameterText(" -i \"/v/my clip.wmv\" -o \"/v/o.wmv\" -y"),
              (std::vector<std::string>{"-i", "/v/my clip.wmv", "-o", "/v/o.wmv", "-y"}));
    EXPECT_EQ(SplitParameterText("a  \"\"  b\\\"c"), (std::vector<std::string>{"a", "", "b\"c"}));
    EXPECT_TRUE(SplitParameterText("   ").empty());
    for (const std::string path : {"/v/plain.wmv", "/v/say \"hi\".wmv", "/v/back\\slash.wmv", "/v/ends\\", "/v/\\\"mix\\\\"}) {
        EXPECT_EQ(SplitParameterText("-i " + QuotedPath(path) + " -y"), (std::vector<std::string>{"-i", path, "-y"})) << path;
    }
    EXPECT_EQ(QuotedPath("/v/a b.wmv"), "\"/v/a b.wmv\"");
}

TEST(RebuildPacket, KeepsTheChosenPayloadsWhole) {
    PacketSpec desc;
    desc.lengthTypeFlags = 0x11;
    desc.sendTime = 500;
    desc.payloads = {PayloadSpec{1, true, 7, 0, 0, 1500, Bytes(80, 0x11)}, PayloadSpec{2, false, 3, 0, 0, 1510, Bytes(60, 0x22)},
                     PayloadSpec{1, false, 8, 0, 0, 1540, Bytes(70, 0x33)}};
    const Bytes packet = AsfBuilder::BuildPacket(desc, 1024);
    const ParsedPacket p = ParsePacket(packet, 1024);
    ASSERT_TRUE(p.ok) << p.error;
    const Bytes out = RebuildPacket(packet, p, {true, false, true}, 1024);
    ASSERT_EQ(out.size(), 1024u);
    const ParsedPacket q = ParsePacket(out, 1024);
    ASSERT_TRUE(q.ok) << q.error;
    ASSERT_EQ(q.payloads.size(), 2u);
    EXPECT_EQ(q.sendTime, 500u);
    EXPECT_EQ(q.payloads[0].presentationTime, 1500u);
    EXPECT_TRUE(q.payloads[0].keyFrame);
    EXPECT_EQ(q.payloads[1].mediaObjectNumber, 8u);
    EXPECT_TRUE(std::equal(out.begin() + q.payloads[1].dataAt, out.begin() + q.payloads[1].dataAt + 70,
                           packet.begin() + p.payloads[2].dataAt));
    EXPECT_EQ(q.paddingLength, 1024 - q.usedEnd);
    EXPECT_TRUE(RebuildPacket(packet, p, {false, false, false}, 1024).empty());
}

TEST(Clipwright, RepairDropsDamagedPacketsAndRebuildsHeaderAndIndex) {
    TempDir dir;
    Bytes file = VideoFile(60).Build();
    DamagePackets(file, 1024, 20, 3);
    const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
    WriteFileBytes(in, file);
    std::string log;
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 0) << log;
    const Bytes o = ReadFileBytes(out);
    // The three damaged packets go, and the object after them lost nothing: packets are whole objects here.
    ExpectConsistent(o, 57);
    Layout l = Inspect(o);
    EXPECT_EQ(l.indexEntries, 60 * 40 / 1000 + 1u);
    // Good packets are copied byte for byte except the send time.
    const std::uint64_t firstOut = l.headerSize + 50, firstIn = HeaderSizeOf(file) + 50;
    EXPECT_TRUE(std::equal(o.begin() + firstOut + 10, o.begin() + firstOut + 1024, file.begin() + firstIn + 10));
}

TEST(Clipwright, ResyncFindsThePacketGridAgainAfterInsertedBytes) {
    TempDir dir;
    Bytes file = VideoFile(40).Build();
    // Junk between packets 15 and 16 moves every later packet off the grid.
    const std::uint64_t at = PacketOffset(file, 1024, 16);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), 333, 0x13);
    const auto in = (dir / "in.wmv").string(), plain = (dir / "plain.wmv").string(), resync = (dir / "resync.wmv").string();
    WriteFileBytes(in, file);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(plain) + " -y"), 0);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(resync) + " -y -resync"), 0);
    // On the grid everything after the shift fails; the search recovers every packet.
    EXPECT_EQ(Inspect(ReadFileBytes(plain)).dataPackets, 16u);
    ExpectConsistent(ReadFileBytes(resync), 40);
}

// Bytes in front of the first packet shift every packet off the grid: a plain read would find
// only blocks that happen to parse. It is refused with the way out; -resync reads it whole. A
// start damaged on the grid is not a shift: the plain read drops the damaged packets as before.
TEST(Clipwright, PacketsShiftedFromTheStartNeedResync) {
    TempDir dir;
    const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
    for (std::size_t inserted : {17u, 1u, 5000u}) {
        SCOPED_TRACE(inserted);
        Bytes file = VideoFile(40).Build();
        const std::uint64_t at = PacketOffset(file, 1024, 0);
        file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), inserted, 0);
        WriteFileBytes(in, file);
        std::string log;
        EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 1) << inserted << log;
        EXPECT_NE(log.find("的数据包没有对齐数据包网格: 第一批数据包从数据区开头之后 " + std::to_string(inserted) +
                           " 字节处开始 (数据包大小 1024)"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("请使用 -resync"), std::string::npos) << log;
        EXPECT_FALSE(std::filesystem::exists(out));
        // Cutting reads the same way.
        EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y -start 0 -dur 1"), 1);
        EXPECT_FALSE(std::filesystem::exists(out));
        ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y -resync", &log), 0) << log;
        // The data object's size still counts from the grid: the packets that now lie past its
        // end (four of 1024 bytes after 5000 inserted) stay out.
        ExpectConsistent(ReadFileBytes(out), inserted < 1024 ? 40 : 36);
        std::filesystem::remove(out);
    }

    Bytes damaged = VideoFile(40).Build();
    DamagePackets(damaged, 1024, 0, 3);
    WriteFileBytes(in, damaged);
    std::string log;
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 0) << log;
    EXPECT_EQ(Inspect(ReadFileBytes(out)).dataPackets, 37u);
}

TEST(Clipwright, WaitsForTheFirstKeyFrameUnlessIstart) {
    TempDir dir;
    // A codec whose picture header clipwright does not read: the key flags decide.
    auto build = [](const char* fourcc, auto keyFlag, auto firstByte) {
        AsfBuilder b;
        b.PacketSize(512).VideoStream(1, fourcc);
        for (int i = 0; i < 12; ++i) {
            PacketSpec p;
            p.lengthTypeFlags = 0x10;
            p.sendTime = i * 40;
            p.payloads = {PayloadSpec{1, keyFlag(i), static_cast<std::uint32_t>(i), 0, 0, static_cast<std::uint32_t>(i * 40),
                                      Bytes(50, firstByte(i))}};
            b.Packet(p);
        }
        return b;
    };
    auto run = [&](const AsfBuilder& b, const std::string& extra) {
        const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
        b.WriteTo(in);
        EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y" + extra), 0);
        return Inspect(ReadFileBytes(out)).dataPackets;
    };
    const auto flagged = build("WVC1", [](int i) { return i == 4; }, [](int) { return 0x55; });
    EXPECT_EQ(run(flagged, ""), 8u);
    EXPECT_EQ(run(flagged, " -istart"), 12u);
    // A writer that never marks key frames: waiting for one would drop every picture.
    EXPECT_EQ(run(build("WVC1", [](int) { return false; }, [](int) { return 0x55; }), ""), 12u);
    // WMV2 marked key throughout (as VLC writes it): the picture header's first bit tells the
    // intra picture (0) from the others.
    EXPECT_EQ(run(build("WMV2", [](int) { return true; }, [](int i) { return i == 6 ? 0x12 : 0x92; }), ""), 6u);
}

TEST(Clipwright, UnfinalisedFileComesOutWholeAndSeekable) {
    TempDir dir;
    const auto in = (dir / "live.wmv").string(), out = (dir / "out.wmv").string();
    VideoFile(30).Flags(fp::FlagBroadcast).Unfinalised().Index(false).WriteTo(in);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out)), 0);
    ExpectConsistent(ReadFileBytes(out), 30);
}

TEST(Clipwright, RefusesWhatItCannotDoAndLeavesNoOutput) {
    TempDir dir;
    const auto a = (dir / "a.wmv").string(), b = (dir / "b.wmv").string(), out = (dir / "out.wmv").string();
    VideoFile(10, 1024).WriteTo(a);
    VideoFile(10, 2048).WriteTo(b);
    std::string log;
    EXPECT_EQ(Clipwright("-i " + Quote(a) + " -i " + Quote(b) + " -o " + Quote(out) + " -y", &log), 1);
    EXPECT_NE(log.find("数据包大小不同"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(out));

    // Same layout, different bitrate: joined without -b, refused with it.
    Bytes c = VideoFile(10).Build();
    PutU32(c, 30 + fp::MaxBitrate, 12345);
    const auto cp = (dir / "c.wmv").string();
    WriteFileBytes(cp, c);
    EXPECT_EQ(Clipwright("-i " + Quote(a) + " -i " + Quote(cp) + " -o " + Quote(out) + " -y -b", &log), 1);
    EXPECT_NE(log.find("比特率不同"), std::string::npos) << log;
    EXPECT_EQ(Clipwright("-i " + Quote(a) + " -i " + Quote(cp) + " -o " + Quote(out) + " -y"), 0);

    // No overwrite without -y; the existing output stays as it was.
    const auto before = ReadFileBytes(out);
    EXPECT_EQ(Clipwright("-i " + Quote(a) + " -o " + Quote(out), &log), 1);
    EXPECT_NE(log.find("-y"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(out), before);

    // Not ASF, the source as its own output, a missing input.
    WriteFileBytes(dir / "text.wmv", Bytes(500, 'x'));
    EXPECT_EQ(Clipwright("-i " + Quote((dir / "text.wmv").string()) + " -o " + Quote((dir / "t.wmv").string())), 1);
    EXPECT_EQ(Clipwright("-i " + Quote(a) + " -o " + Quote(a) + " -y"), 1);
    EXPECT_EQ(Clipwright("-i " + Quote((dir / "none.wmv").string()) + " -o " + Quote((dir / "n.wmv").string()), &log), 3);
    EXPECT_NE(log.find("文件或文件夹不存在"), std::string::npos) << log;
    // An output folder that is not there cannot be written.
    EXPECT_EQ(Clipwright("-i " + Quote(a) + " -o " + Quote((dir / "no" / "o.wmv").string()), &log), 3);
    EXPECT_NE(log.find("文件或文件夹不存在"), std::string::npos) << log;
    EXPECT_EQ(Clipwright("-i " + Quote(a)), 2);
}

// Real files, checked by ffmpeg/ffprobe (and GStreamer when installed).
class ClipwrightRealFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("ffprobe") || !HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    }
    TempDir dir;
    const std::string a = SampleFile("a_wmv2_wmav2.wmv");
};

TEST_F(ClipwrightRealFiles, CutFiveSecondsStartsAtAKeyFrameAndDecodes) {
    const auto out = (dir / "cut.wmv").string();
    std::string log;
    ASSERT_EQ(Clipwright("-i " + Quote(a) + " -o " + Quote(out) + " -start 5 -dur 5 -y", &log), 0) << log;
    const double d = ProbeDuration(out);
    // From the key frame at or before 5 s: at most one key-frame interval (0.5 s here) longer.
    EXPECT_GE(d, 4.95);
    EXPECT_LE(d, 5.7);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    ExpectConsistent(ReadFileBytes(out), Inspect(ReadFileBytes(out)).dataPackets);
    // The first video frame is a key frame and seeking into the middle decodes without errors.
    std::string first;
    RunCommand("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 " + Quote(out) + " | head -1", &first);
    EXPECT_EQ(first.substr(0, 1), "K");
    std::string seek;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -ss 2.5 -i " + Quote(out) + " -frames:v 5 -f null - 2>&1", &seek), 0);
    EXPECT_EQ(seek, "");
    std::string report;
    if (HaveProgram("gst-discoverer-1.0")) {
        EXPECT_TRUE(DiscovererAccepts(out, &report)) << report;
    }
}

TEST_F(ClipwrightRealFiles, CutEverythingExceptAPiecePlaysBackToBack) {
    const auto out = (dir / "except.wmv").string();
    ASSERT_EQ(Clipwright(CutExceptParameters(a, out, 4, 10)), 0);
    const double d = ProbeDuration(out);
    // 4 s + the 5 s from the key frame at or before 10 s to the end.
    EXPECT_GE(d, 9.0);
    EXPECT_LE(d, 9.7);
    EXPECT_TRUE(DecodesCleanly(out));
    // With -istart the piece starts exactly at its mark.
    const auto exact = (dir / "exact.wmv").string();
    ASSERT_EQ(Clipwright("-i " + Quote(a) + " -o " + Quote(exact) + " -start 5 -dur 5 -istart"), 0);
    EXPECT_NEAR(ProbeDuration(exact), 5.0, 0.1);
}

// Pieces that share packets: the first piece changes the times of the packets it writes where
// they were read, and the second must read them as the file has them. Each piece starts at the
// key frame at or before its mark (0.5 s apart here).
TEST_F(ClipwrightRealFiles, OverlappingPiecesReadTheSharedPacketsAsTheFileHasThem) {
    const auto out = (dir / "overlap.wmv").string();
    std::string log;
    ASSERT_EQ(Clipwright("-i " + Quote(a) + " -o " + Quote(out) + " -start 2 -dur 2 -start 3 -dur 3 -y", &log), 0) << log;
    const double d = ProbeDuration(out);
    EXPECT_GE(d, 4.95);
    EXPECT_LE(d, 5.7);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

TEST_F(ClipwrightRealFiles, CutEverythingExceptTheFirstSeconds) {
    const auto out = (dir / "tail.wmv").string();
    std::string log;
    ASSERT_EQ(Clipwright(CutExceptParameters(a, out, 0, 5), &log), 0) << log;
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    // The source less its first 5 s, from the key frame at or before 5 s.
    const double d = ProbeDuration(out), full = ProbeDuration(a);
    EXPECT_GE(d, full - 5.05);
    EXPECT_LE(d, full - 4.4);
}

TEST_F(ClipwrightRealFiles, ADamagedHeaderSizeKeepsEveryStream) {
    // One byte of the header extension's size: the walk over the header objects breaks before
    // the stream properties. The objects are found again by their GUIDs.
    Bytes file = ReadFileBytes(a);
    file[134 + 16 + 1] ^= 0xFF;
    const auto in = (dir / "hdr.wmv").string(), out = (dir / "hdr.out.wmv").string();
    WriteFileBytes(in, file);
    std::string log;
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -resync", &log), 0) << log;
    EXPECT_NE(log.find("文件头在第"), std::string::npos) << log;
    EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(a));
    EXPECT_TRUE(DecodesCleanly(out));
    // A stream properties object whose size runs past the next object: set to what lies between.
    file = ReadFileBytes(a);
    file[390 + 16 + 7] = 0x40;
    WriteFileBytes(in, file);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 0) << log;
    EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(a));
}

TEST_F(ClipwrightRealFiles, JoiningAFileWithItselfDoublesItFrameForFrame) {
    const auto out = (dir / "twice.wmv").string();
    std::string log;
    ASSERT_EQ(Clipwright(JoinParameters({a, a}, out, false), &log), 0) << log;
    EXPECT_NEAR(ProbeDuration(out), 2 * ProbeDuration(a), 0.05);
    EXPECT_TRUE(DecodesCleanly(out));
    auto counts = ProbePacketCounts(out), single = ProbePacketCounts(a);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], 2 * single[0]);
    EXPECT_EQ(counts[1], 2 * single[1]);
    // Both halves carry the source's frames: the same per-stream sequence of frame checksums.
    const std::string src = FrameMd5(a), both = FrameMd5(out);
    EXPECT_EQ(both, src + src);
    const Bytes o = ReadFileBytes(out);
    ExpectConsistent(o, 2 * 303);
    // Media object numbers run on across the seam as they do inside each file.
    const Layout l = Inspect(o);
    std::map<int, std::uint32_t> last;
    int steps = 0;
    for (std::uint64_t i = 0; i < l.dataPackets; ++i) {
        const ParsedPacket p = ParsePacket(std::span(o).subspan(l.headerSize + 50 + i * 3200, 3200), 3200);
        ASSERT_TRUE(p.ok);
        for (const auto& pl : p.payloads) {
            if (pl.offsetIntoMediaObject != 0) continue;
            if (last.count(pl.streamNumber)) {
                EXPECT_EQ(pl.mediaObjectNumber, (last[pl.streamNumber] + 1) & 0xFF) << "packet " << i;
                ++steps;
            }
            last[pl.streamNumber] = pl.mediaObjectNumber;
        }
    }
    EXPECT_GT(steps, 1000);
    std::string report;
    if (HaveProgram("gst-discoverer-1.0")) {
        EXPECT_TRUE(DiscovererAccepts(out, &report)) << report;
    }
}

TEST_F(ClipwrightRealFiles, RepairOfADamagedCopyWithAndWithoutResync) {
    Bytes file = ReadFileBytes(a);
    DamagePackets(file, 3200, 60);
    const std::uint64_t at = PacketOffset(file, 3200, 150) + 1000;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), 777, 0x55);
    const auto in = (dir / "damaged.wmv").string(), plain = (dir / "plain.wmv").string(), resync = (dir / "resync.wmv").string();
    WriteFileBytes(in, file);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(plain)), 0);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(resync) + " -resync"), 0);
    EXPECT_TRUE(DecodesCleanly(plain));
    EXPECT_TRUE(DecodesCleanly(resync));
    // Packet 150 keeps the payloads before the inserted bytes; without resync the grid is lost
    // after it, with resync only packet 60 is lost.
    EXPECT_EQ(Inspect(ReadFileBytes(plain)).dataPackets, 150u);
    EXPECT_EQ(Inspect(ReadFileBytes(resync)).dataPackets, 302u);
    EXPECT_NEAR(ProbeDuration(resync), ProbeDuration(a), 0.1);
}

TEST_F(ClipwrightRealFiles, AFileCutInsideAPacketKeepsTheFramesBeforeTheCut) {
    // Cut a third of the way into packet 151: its first payload, a whole video frame, lies
    // before the cut; the audio payload after it runs into the cut.
    Bytes file = ReadFileBytes(a);
    file.resize(PacketOffset(file, 3200, 151) + 3200 / 3);
    const auto in = (dir / "cut.wmv").string(), out = (dir / "rep.wmv").string();
    WriteFileBytes(in, file);
    std::string log;
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out), &log), 0) << log;
    EXPECT_NE(log.find("重建 1"), std::string::npos) << log;
    const Bytes o = ReadFileBytes(out);
    ExpectConsistent(o, 152);
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    // ffprobe reads the same video frames from the cut file; the audio frame it reads there
    // is cut short and is not carried over.
    const auto src = ProbePacketCounts(in), got = ProbePacketCounts(out);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], src[0]);
    EXPECT_EQ(got[1], src[1] - 1);
}

// How many media objects of `path`, as ffprobe reads them, are byte for byte objects of the
// undamaged `original` (each of the original's counted once).
int IntactObjects(const std::string& path, const std::string& original) {
    auto hashes = [](const std::string& p) {
        std::string out;
        RunCommand("ffprobe -v quiet -show_data_hash md5 -show_entries packet=data_hash -of csv=p=0 " + Quote(p), &out);
        std::multiset<std::string> set;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) set.insert(line);
        return set;
    };
    auto have = hashes(path), want = hashes(original);
    int n = 0;
    for (const auto& h : have) {
        auto it = want.find(h);
        if (it == want.end()) continue;
        want.erase(it);
        ++n;
    }
    return n;
}

TEST_F(ClipwrightRealFiles, ADamagedPacketKeepsThePayloadsBeforeItsDamage) {
    // 8 KB zeroed from 500 bytes into packet 131: its first video payload is whole, the audio
    // payload after it runs into the zeros; 132 is all zeros, 133 has its start zeroed.
    const std::string b = SampleFile("b_msmpeg4v3_wmav2.asf");
    Bytes file = ReadFileBytes(b);
    const auto at = static_cast<std::ptrdiff_t>(PacketOffset(file, 3200, 131) + 500);
    std::fill(file.begin() + at, file.begin() + at + 8192, 0);
    const auto in = (dir / "zeroed.asf").string();
    WriteFileBytes(in, file);
    const int intactInSource = IntactObjects(in, b);
    for (const char* extra : {"", " -resync"}) {
        SCOPED_TRACE(extra);
        const auto out = (dir / "rep.asf").string();
        std::string log;
        ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y" + extra, &log), 0) << log;
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
        // Every object the damage left whole is kept, and nothing it touched.
        EXPECT_EQ(IntactObjects(out, b), intactInSource);
        const auto counts = ProbePacketCounts(out);
        ASSERT_EQ(counts.size(), 2u);
        EXPECT_EQ(counts[0] + counts[1], intactInSource);
        const Bytes o = ReadFileBytes(out);
        ExpectConsistent(o, Inspect(o).dataPackets);
    }
}

TEST_F(ClipwrightRealFiles, GStreamerAndUnfinalisedRecordingsComeOutWholeAndSeekable) {
    for (const char* name : {"k_gst_asfmux_wmv2_wmav2.wmv", "l_gst_killed_unfinalized.wmv", "m_ffmpeg_killed_unfinalized.wmv"}) {
        SCOPED_TRACE(name);
        const auto out = (dir / (std::string("rep_") + name)).string();
        ASSERT_EQ(Clipwright("-i " + Quote(SampleFile(name)) + " -o " + Quote(out)), 0);
        const Bytes o = ReadFileBytes(out);
        ExpectConsistent(o, Inspect(o).dataPackets);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
        // Every frame the source holds whole is still there.
        auto src = ProbePacketCounts(SampleFile(name)), got = ProbePacketCounts(out);
        ASSERT_EQ(got.size(), src.size());
        for (std::size_t i = 0; i < src.size(); ++i) EXPECT_GE(got[i], src[i]);
        EXPECT_GT(ProbeDuration(out), 3.0);
        std::string report;
        if (HaveProgram("gst-discoverer-1.0")) {
        EXPECT_TRUE(DiscovererAccepts(out, &report)) << report;
    }
    }
}

TEST(Clipwright, AnOutputWithoutMediaIsRefusedAndNotLeft) {
    TempDir dir;
    const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
    VideoFile(30).WriteTo(in);
    WriteFileBytes(out, Bytes(100, 5));
    std::string log;
    // A range after the end of the file, and one of zero length.
    EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -start 100 -dur 5 -y", &log), 1);
    EXPECT_NE(log.find("所选范围内没有媒体数据包"), std::string::npos) << log;
    EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -start 0 -dur 0 -y", &log), 1);
    // A repair that keeps nothing.
    Bytes damaged = VideoFile(30).Build();
    DamagePackets(damaged, 1024, 0, 30);
    WriteFileBytes(in, damaged);
    EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 1);
    EXPECT_NE(log.find("没有可以解析的媒体数据包"), std::string::npos) << log;
    // A header without any usable stream properties object is not carried over.
    AsfBuilder none;
    none.PacketSize(1024).SimplePackets(5, 0x08, 10);
    none.WriteTo(in);
    EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 1);
    EXPECT_NE(log.find("流属性对象"), std::string::npos) << log;
    // The output the user had stays as it was, and nothing else is left in the folder.
    EXPECT_EQ(ReadFileBytes(out), Bytes(100, 5));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(Clipwright, FindsTheHeaderBehindLeadingGarbage) {
    TempDir dir;
    Bytes file = VideoFile(20).Build();
    file.insert(file.begin(), 777, 0x13);
    const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
    WriteFileBytes(in, file);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out)), 0);
    ExpectConsistent(ReadFileBytes(out), 20);
}

TEST(Clipwright, ADamagedTimeStampDoesNotStretchTheFile) {
    TempDir dir;
    Bytes file = VideoFile(50).Build();
    const std::uint32_t size = 1024;
    // Packet 20: a send time of days; packet 30: a presentation time of days.
    for (int i : {20, 30}) {
        const std::uint64_t at = PacketOffset(file, size, i);
        const ParsedPacket p = ParsePacket(std::span(file).subspan(at, size), size);
        ASSERT_TRUE(p.ok);
        if (i == 20) PutU32(file, at + p.sendTimeAt, 400000000);
        else PutU32(file, at + p.payloads[0].presentationTimeAt, 400000000);
    }
    const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
    WriteFileBytes(in, file);
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out)), 0);
    const Bytes o = ReadFileBytes(out);
    ExpectConsistent(o, 50);
    const Layout l = Inspect(o);
    EXPECT_LT(l.props.playDuration / 10000, 1000 + 50 * 40 + 100u);
    EXPECT_LE(l.indexEntries, 3u);
}

TEST(SimpleIndexBuilder, OneEntryPerSecondNamingTheLatestKeyFrame) {
    SimpleIndexBuilder b;
    b.AddKeyFrame(0, 0, 2);
    b.AddKeyFrame(1500, 7, 1);
    b.ExtendLast(3);
    b.AddKeyFrame(2000, 12, 1);
    const Bytes idx = b.Build(Guid{}, 3400);
    ASSERT_EQ(idx.size(), 56u + 4 * 6);
    EXPECT_EQ(GetU64(idx, 40), 10000000u);  // 1 s
    EXPECT_EQ(GetU32(idx, 48), 3u);         // the largest packet count
    EXPECT_EQ(GetU32(idx, 52), 4u);
    const std::uint32_t packets[] = {0, 0, 12, 12};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GetU32(idx, 56 + i * 6), packets[i]) << i;
    EXPECT_EQ(idx[56 + 4], 2);
    // A timeline of years (damage) widens the interval instead of growing the index.
    const Bytes wide = b.Build(Guid{}, 100000000000ull);
    EXPECT_LE(GetU32(wide, 52), SimpleIndexBuilder::kMaxEntries);
    EXPECT_GT(GetU64(wide, 40), 10000000u);
}

namespace {

// The packets of `out` (a clipwright output) and of `in` at the given packet numbers.
Bytes OutputPacket(const Bytes& out, std::uint64_t index, std::uint32_t size) {
    const std::uint64_t at = HeaderSizeOf(out) + 50 + index * size;
    return Bytes(out.begin() + static_cast<std::ptrdiff_t>(at), out.begin() + static_cast<std::ptrdiff_t>(at + size));
}

}  // namespace

// Packets are changed and written out where they were read, a megabyte window at a time. Over
// several windows, with dropped packets in a window and at its end, and with a resync search
// that reads through more than a window of junk while packets of the last window still wait
// to be written: every good packet arrives whole, once and in order. A basic repair changes no
// byte of an intact packet here (its times stay), so each must equal its source packet.
TEST(Clipwright, PacketsWrittenFromTheReadWindowArriveWholeAndInOrder) {
    TempDir dir;
    constexpr std::uint32_t kSize = 1024;
    constexpr int kPackets = 3300;  // three read windows and a bit
    // Unfinalised (a data size of 0): the packets pushed past the original end by the junk are
    // read to the end of the file.
    const Bytes intact = VideoFile(kPackets, kSize).Unfinalised().Build();
    Bytes damaged = intact;
    const std::set<std::uint64_t> dropped = {500, 501, 502, 1087, 1088, 2176};
    for (const auto p : dropped) DamagePackets(damaged, kSize, p, 1);
    Bytes shifted = damaged;
    const std::uint64_t junkAt = PacketOffset(shifted, kSize, 2000);
    shifted.insert(shifted.begin() + static_cast<std::ptrdiff_t>(junkAt), (3u << 19) + 333, 0x13);

    for (const bool resync : {false, true}) {
        SCOPED_TRACE(resync ? "resync over junk" : "on the grid");
        const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
        WriteFileBytes(in, resync ? shifted : damaged);
        std::string log;
        ASSERT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y" + (resync ? " -resync" : ""), &log), 0) << log;
        const Bytes o = ReadFileBytes(out);
        ExpectConsistent(o, kPackets - dropped.size());
        std::uint64_t written = 0;
        for (std::uint64_t p = 0; p < kPackets; ++p) {
            if (dropped.count(p)) continue;
            const Bytes expected(intact.begin() + static_cast<std::ptrdiff_t>(PacketOffset(intact, kSize, p)),
                                 intact.begin() + static_cast<std::ptrdiff_t>(PacketOffset(intact, kSize, p) + kSize));
            ASSERT_EQ(OutputPacket(o, written++, kSize), expected) << "source packet " << p;
        }
    }
}

// Three inputs joined, each read through several windows; the second is closed before the
// third is read, so nothing of it may still wait to be written then. Each part holds its
// source's packets with only their times and object numbers moved on.
TEST(Clipwright, JoinedInputsOfManyWindowsKeepEveryPayload) {
    TempDir dir;
    constexpr std::uint32_t kSize = 1024;
    constexpr int kPackets = 2500;
    Bytes file = VideoFile(kPackets, kSize).Build();
    DamagePackets(file, kSize, 1500, 2);
    const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
    WriteFileBytes(in, file);
    std::string log;
    ASSERT_EQ(Clipwright("-i " + Quote(in) + " -i " + Quote(in) + " -i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 0)
        << log;
    const Bytes o = ReadFileBytes(out);
    constexpr std::uint64_t kKept = kPackets - 2;
    ExpectConsistent(o, 3 * kKept);
    std::uint32_t lastSend = 0;
    for (std::uint64_t i = 0; i < 3 * kKept; ++i) {
        const std::uint64_t k = i % kKept, source = k < 1500 ? k : k + 2;
        const Bytes got = OutputPacket(o, i, kSize);
        const ParsedPacket outPacket = ParsePacket(got, kSize);
        const ParsedPacket inPacket = ParsePacket(std::span(file).subspan(PacketOffset(file, kSize, source), kSize), kSize);
        ASSERT_TRUE(outPacket.ok) << "output packet " << i << ": " << outPacket.error;
        ASSERT_EQ(outPacket.payloads.size(), 1u);
        const auto& pl = outPacket.payloads[0];
        const auto& src = inPacket.payloads[0];
        ASSERT_TRUE(std::equal(got.begin() + pl.dataAt, got.begin() + pl.dataAt + pl.dataLength,
                               file.begin() + PacketOffset(file, kSize, source) + src.dataAt))
            << "output packet " << i;
        EXPECT_GE(outPacket.sendTime, lastSend) << "output packet " << i;
        lastSend = outPacket.sendTime;
    }
}

// A source whose reads fail from a byte on (a failing disk, stood for by a preloaded library):
// the windows are read ahead of the packets being written, and an error in any of them still
// ends the run there, with its reason and no output.
TEST(Clipwright, AReadErrorInAnyWindowEndsTheRunAndLeavesNoOutput) {
    TempDir dir;
    constexpr std::uint32_t kSize = 1024;
    const auto in = (dir / "in.wmv").string(), out = (dir / "out.wmv").string();
    WriteFileBytes(in, VideoFile(3300, kSize).Build());  // three read windows and a bit
    for (const std::uint64_t faultAt : {500000ull, 1500000ull, 3000000ull}) {
        SCOPED_TRACE("reads fail from byte " + std::to_string(faultAt));
        std::string log;
        const std::string faulty = "LD_PRELOAD=" + Quote(MENDERY_READ_FAULT) + " MENDERY_FAULT_FILE=" + Quote(in) +
                                   " MENDERY_FAULT_AT=" + std::to_string(faultAt) + " ";
        EXPECT_NE(RunCommand(faulty + Quote(kClipwright) + " -i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 0) << log;
        EXPECT_NE(log.find("输入/输出错误"), std::string::npos) << log;
        EXPECT_FALSE(std::filesystem::exists(out)) << log;
    }
    std::string log;
    EXPECT_EQ(Clipwright("-i " + Quote(in) + " -o " + Quote(out) + " -y", &log), 0) << log;
}
