// mendery-cli recover, shrink, flags and sample on real files, judged by independent readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <sstream>

#include "asf/AsfObjects.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

std::string Cli(const std::string& args) { return std::string(MENDERY_CLI) + " " + args; }

std::string CopySample(const TempDir& dir, const std::string& name) {
    const auto path = (dir / name).string();
    fs::copy_file(SampleFile(name), path);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    return path;
}

// ffmpeg's error output without the timestamp complaints that a re-based timeline causes by
// design after a re-synchronisation.
std::string DecodeErrors(const std::string& path) {
    std::string errors;
    DecodesCleanly(path, &errors);
    std::istringstream in(errors);
    std::string line, rest;
    while (std::getline(in, line))
        if (line.find("non monotonically increasing dts") == std::string::npos) rest += line + "\n";
    return rest;
}

std::string FrameHashes(const std::string& path) {
    std::string out;
    RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0 -c copy -f framemd5 - | grep -v '^#'", &out);
    return out;
}

}  // namespace

TEST(CliRecover, UndamagedSampleKeepsEveryPacketAndIsMarkedSeekable) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    const auto src = CopySample(dir, "a_wmv2_wmav2.wmv");
    std::string log;
    ASSERT_EQ(RunCommand(Cli("recover " + Quote(src)), &log), 0) << log;
    const auto out = (dir / "a_wmv2_wmav2.lch.wmv").string();
    EXPECT_NE(log.find("找到303 数据块"), std::string::npos) << log;
    EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(src));
    EXPECT_TRUE(DecodesCleanly(out));
    const Bytes o = ReadFileBytes(out);
    EXPECT_EQ(GetU32(o, 30 + fp::Flags) & 3, 2u);
    EXPECT_EQ(GetU64(o, 30 + fp::DataPacketsCount), 303u);
    EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv")));
}

TEST(CliRecover, DeletedBytesAreSkippedAndTheRestDecodes) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    Bytes file = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    file.erase(file.begin() + 400000, file.begin() + 410000);  // about three packets
    const auto src = (dir / "cut.wmv").string();
    WriteFileBytes(src, file);
    std::string log;
    ASSERT_EQ(RunCommand(Cli("recover " + Quote(src)), &log), 0) << log;
    EXPECT_NE(log.find(" 已找到部分丢失的数据块. 正在覆盖..."), std::string::npos) << log;
    const auto out = (dir / "cut.lch.wmv").string();
    const auto before = ProbePacketCounts(SampleFile("a_wmv2_wmav2.wmv"));
    const auto after = ProbePacketCounts(out);
    ASSERT_EQ(after.size(), before.size());
    // Five packets go (three deleted, one cut short, one dropped): a few dozen frames at most.
    for (std::size_t s = 0; s < before.size(); ++s) {
        EXPECT_LT(after[s], before[s]) << "stream " << s;
        EXPECT_GE(after[s], before[s] - 30) << "stream " << s;
    }
    EXPECT_EQ(DecodeErrors(out), "");
}

TEST(CliRecover, ChunkSignaturesInsidePayloadsDoNotStretchTheTimeline) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    struct Case {
        const char* sample;
        std::function<void(Bytes&, std::uint64_t first, std::uint32_t size, std::uint64_t packets)> damage;
    };
    const std::vector<Case> cases = {
        {"h_wmv1_wmav1_meta.wmv",
         [](Bytes& f, std::uint64_t first, std::uint32_t size, std::uint64_t packets) {
             // 777 stray bytes inside a packet in the middle.
             std::mt19937 rng(7);
             Bytes stray(777);
             for (auto& b : stray) b = static_cast<std::uint8_t>(rng());
             const auto at = static_cast<std::ptrdiff_t>(first + packets / 2 * size + size / 3);
             f.insert(f.begin() + at, stray.begin(), stray.end());
         }},
        {"a_wmv2_wmav2.wmv",
         [](Bytes& f, std::uint64_t first, std::uint32_t size, std::uint64_t packets) {
             // Random bytes over the first 24 bytes of every seventh packet.
             std::mt19937 rng(5);
             for (std::uint64_t k = 5; k + 5 < packets; k += 7)
                 for (std::uint64_t i = 0; i < 24; ++i) f[first + k * size + i] = static_cast<std::uint8_t>(rng());
         }},
    };
    for (const auto& c : cases) {
        Bytes file = ReadFileBytes(SampleFile(c.sample));
        const std::uint64_t first = HeaderSizeOf(file) + 50;
        const std::uint32_t size = GetU32(file, 30 + fp::MinPacketSize);
        c.damage(file, first, size, (file.size() - first) / size);
        const auto src = (dir / (std::string("damaged_") + c.sample)).string();
        WriteFileBytes(src, file);
        std::string log;
        ASSERT_EQ(RunCommand(Cli("recover " + Quote(src)), &log), 0) << log;
        const auto out = (dir / ("damaged_" + std::string(c.sample).insert(std::string(c.sample).size() - 4, ".lch"))).string();
        const double before = ProbeDurationSeconds(SampleFile(c.sample)), after = ProbeDurationSeconds(out);
        // The damaged packets and the ones before them are lost (a quarter of them in the second
        // case); the timeline must not grow.
        EXPECT_LE(after, before + 0.5) << c.sample << "\n" << log;
        EXPECT_GE(after, before * 0.7) << c.sample;
        EXPECT_EQ(DecodeErrors(out), "") << c.sample;
    }
}

TEST(CliRecover, BroadcastAndUnfinalisedSamples) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    for (const std::string& name : std::vector<std::string>{"e2_broadcast_unframed.wmv", "m_ffmpeg_killed_unfinalized.wmv"}) {
        const auto src = CopySample(dir, name);
        std::string log;
        ASSERT_EQ(RunCommand(Cli("recover " + Quote(src)), &log), 0) << log;
        const auto out = (dir / (name.substr(0, name.size() - 4) + ".lch.wmv")).string();
        EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(src)) << name;
        EXPECT_EQ(DecodeErrors(out), "") << name;
        const Bytes o = ReadFileBytes(out);
        const std::uint64_t h = HeaderSizeOf(o);
        const std::uint64_t chunks = GetU64(o, h + 40);
        EXPECT_GT(chunks, 0u) << name;
        EXPECT_EQ(GetU64(o, h + 16), 50 + chunks * GetU32(o, 30 + fp::MinPacketSize)) << name;
        EXPECT_EQ(GetU32(o, 30 + fp::Flags) & 3, 2u) << name;  // broadcast cleared, seekable
        EXPECT_GT(GetU64(o, 30 + fp::SendDuration), 0u) << name;
    }
    // GStreamer writes chunks without error-correction bytes: they are found by their structure.
    const auto gst = CopySample(dir, "l_gst_killed_unfinalized.wmv");
    std::string log;
    EXPECT_EQ(RunCommand(Cli("recover " + Quote(gst)), &log), 0) << log;
    EXPECT_NE(log.find("找到56 数据块"), std::string::npos) << log;
    const auto out = (dir / "l_gst_killed_unfinalized.lch.wmv").string();
    EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(gst));
    EXPECT_EQ(GetU64(ReadFileBytes(out), 30 + fp::DataPacketsCount), 56u);
}

TEST(CliRecover, OutputEqualToTheSourceIsRefused) {
    TempDir dir;
    const auto src = CopySample(dir, "c_wmav2.wma");
    fs::create_hard_link(src, dir / "hard.wma");
    for (const std::string& out : {src, (dir / "hard.wma").string()}) {
        EXPECT_EQ(RunCommand(Cli("recover -q " + Quote(src) + " -o " + Quote(out))), 1);
        EXPECT_EQ(RunCommand(Cli("shrink -q " + Quote(src) + " -o " + Quote(out))), 1);
    }
    EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(SampleFile("c_wmav2.wma")));
}

TEST(CliShrink, FilesWithFullChunksHaveNothingToRemove) {
    TempDir dir;
    for (const std::string& name : std::vector<std::string>{"g_wmv2_wmav2_pkt16000.wmv", "g2_wmv2_wmav2_pkt512.wmv"}) {
        const auto src = CopySample(dir, name);
        std::string log;
        EXPECT_EQ(RunCommand(Cli("shrink --no-extra " + Quote(src)), &log), 1) << log;
        EXPECT_NE(log.find("  此文件没有待移除的垃圾数据."), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(dir / (name.substr(0, name.size() - 4) + ".shr.wmv")));
        EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(SampleFile(name)));
    }
}

TEST(CliShrink, ShrunkAudioFilePlaysWholeInBothReaders) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    const auto src = CopySample(dir, "c_wmav2.wma");
    std::string log;
    ASSERT_EQ(RunCommand(Cli("shrink --no-extra " + Quote(src)), &log), 0) << log;
    const auto out = (dir / "c_wmav2.shr.wma").string();
    EXPECT_LT(fs::file_size(out), fs::file_size(src));
    EXPECT_NE(log.find("  文件中的流: #1"), std::string::npos);
    EXPECT_EQ(FrameHashes(out), FrameHashes(src));
    EXPECT_TRUE(DecodesCleanly(out));
    if (HaveProgram("gst-launch-1.0")) {
        std::string gst;
        RunCommand("GST_DEBUG=2 gst-launch-1.0 -q playbin uri=file://" + Quote(out) +
                       " video-sink=fakesink audio-sink=fakesink 2>&1",
                   &gst);
        EXPECT_EQ(gst.find("Short packet"), std::string::npos) << gst;
        EXPECT_EQ(gst.find("Failed to parse payload"), std::string::npos) << gst;
    }
}

TEST(CliFlags, YesAndNoAnswerTheLiveQuestion) {
    TempDir dir;
    const auto src = CopySample(dir, "c_wmav2.wma");  // seekable only
    std::string log;
    EXPECT_EQ(RunCommand(Cli("flags --no " + Quote(src)), &log), 0) << log;
    EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(SampleFile("c_wmav2.wma")));
    EXPECT_EQ(RunCommand(Cli("flags --yes " + Quote(src)), &log), 0) << log;
    EXPECT_NE(log.find("标记设置为 \"直播\"."), std::string::npos) << log;
    EXPECT_EQ(GetU32(ReadFileBytes(src), 30 + fp::Flags), 1u);
    EXPECT_EQ(RunCommand(Cli("flags " + Quote(src) + " </dev/null"), &log), 0) << log;
    EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(SampleFile("c_wmav2.wma")));
}

TEST(CliSample, WritesTheFirst512KiB) {
    TempDir dir;
    const auto src = CopySample(dir, "a_wmv2_wmav2.wmv");
    std::string log;
    ASSERT_EQ(RunCommand(Cli("sample " + Quote(src)), &log), 0) << log;
    EXPECT_NE(log.find("样本文件是 \"" + src + ".sam\""), std::string::npos) << log;
    const Bytes whole = ReadFileBytes(src);
    EXPECT_EQ(ReadFileBytes(src + ".sam"), Bytes(whole.begin(), whole.begin() + 524288));
}
