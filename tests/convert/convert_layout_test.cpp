// The AVI and WAV converters on files whose packets carry no error correction data: the
// GStreamer samples as they are and damaged, through mendery-cli, judged by ffprobe, ffmpeg and
// GStreamer.
#include <gtest/gtest.h>

#include <filesystem>

#include "asf/PacketLayout.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

// Frames ffmpeg decodes from one stream; -1 when it cannot read the file.
int DecodedFrames(const std::string& path, const std::string& stream) {
    std::string out;
    if (RunCommand("ffprobe -v error -count_frames -select_streams " + stream +
                       " -show_entries stream=nb_read_frames -of csv=p=0 " + Quote(path) + " 2>/dev/null",
                   &out) != 0 || out.empty())
        return -1;
    return std::atoi(out.c_str());
}

struct Conversion {
    int exit = -1;
    std::string log, output;
};

Conversion Convert(const TempDir& dir, const std::string& name, const Bytes& file, const std::string& command,
                   const std::string& extension) {
    const std::string source = (dir / (name + ".wmv")).string();
    WriteFileBytes(source, file);
    Conversion c;
    c.output = (dir / (name + extension)).string();
    c.exit = RunCommand(std::string(MENDERY_CLI) + " " + command + " " + Quote(source) + " -o " + Quote(c.output), &c.log);
    return c;
}

struct Source {
    const char* name;
    Bytes bytes;
};

std::vector<Source> Sources() {
    return {{"whole", GstSample(GstDamage::None)},
            {"garbage", GstSample(GstDamage::Garbage)},
            {"truncated", GstSample(GstDamage::Truncated)},
            {"killed", ReadFileBytes(SampleFile("l_gst_killed_unfinalized.wmv"))}};
}

}  // namespace

TEST(ConvertLayout, WaveHoldsTheAudioOfEveryPacketThatParses) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    TempDir dir;
    for (const Source& s : Sources()) {
        SCOPED_TRACE(s.name);
        const Conversion c = Convert(dir, s.name, s.bytes, "wav", ".wav");
        ASSERT_EQ(c.exit, 0) << c.log;
        EXPECT_NE(c.log.find(kNoErrorCorrectionLine), std::string::npos);
        EXPECT_NE(c.log.find("  数据块已放弃:" + std::string(s.name == std::string("garbage") ? "3" : "0")), std::string::npos)
            << c.log;
        // Every audio frame of the source (the damaged one: of the packets left) decodes.
        const int frames = DecodedFrames(c.output, "a:0");
        const int sourceFrames = DecodedFrames((dir / (std::string(s.name) + ".wmv")).string(), "a:0");
        EXPECT_GT(frames, 0);
        // (ffmpeg reads the source's last packet short of one frame: its packet length leaves
        // out the padding.)
        if (s.name != std::string("garbage")) EXPECT_GE(frames, sourceFrames);
        else EXPECT_GE(frames, sourceFrames * 9 / 10);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(c.output, &errors)) << errors;
        if (HaveProgram("gst-discoverer-1.0")) {
            std::string report;
            EXPECT_TRUE(DiscovererAccepts(c.output, &report)) << report;
        }
    }
}

TEST(ConvertLayout, AviHoldsTheVideoAndAudioOfEveryPacketThatParses) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    TempDir dir;
    for (const Source& s : Sources()) {
        SCOPED_TRACE(s.name);
        const Conversion c = Convert(dir, s.name, s.bytes, "avi --yes", ".avi");
        ASSERT_EQ(c.exit, 0) << c.log;
        EXPECT_NE(c.log.find(kNoErrorCorrectionLine), std::string::npos);
        const std::string source = (dir / (std::string(s.name) + ".wmv")).string();
        const int video = DecodedFrames(c.output, "v:0"), sourceVideo = DecodedFrames(source, "v:0");
        EXPECT_GE(video, sourceVideo * 9 / 10);
        EXPECT_GE(DecodedFrames(c.output, "a:0"), DecodedFrames(source, "a:0") * 9 / 10);
        if (HaveProgram("gst-discoverer-1.0")) {
            std::string report;
            EXPECT_TRUE(DiscovererAccepts(c.output, &report)) << report;
        }
    }
}
