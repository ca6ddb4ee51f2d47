// The AVI converter: frame duration from the interval histogram, the header image, header
// edits, the chunk writing rules on built files, and real samples judged by ffprobe/ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>

#include "convert/Asf2Avi.h"
#include "support/AsfBuilder.h"
#include "support/FileSizeLimit.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

PayloadSpec Object(int stream, bool key, std::uint32_t pts, std::size_t size, std::uint8_t fill = 0x5A) {
    PayloadSpec pl;
    pl.stream = stream;
    pl.key = key;
    pl.pts = pts;
    pl.data = Bytes(size, fill);
    return pl;
}

PacketSpec Packet(std::vector<PayloadSpec> payloads) {
    PacketSpec p;
    p.lengthTypeFlags = payloads.size() > 1 ? 0x11 : 0x10;
    p.payloads = std::move(payloads);
    return p;
}

// Video objects every `stepMs`, a key frame every tenth, from 1000 ms on.
void AddVideo(AsfBuilder& b, int count, std::uint32_t stepMs, std::uint32_t& pts) {
    for (int i = 0; i < count; ++i, pts += stepMs) b.Packet(Packet({Object(1, i % 10 == 0, pts, 120)}));
}

struct AviChunk {
    std::string fourcc;
    Bytes data;
};
struct AviFile {
    Bytes bytes;
    std::vector<AviChunk> chunks;
    struct Entry {
        std::string fourcc;
        std::uint32_t flags, offset, length;
    };
    std::vector<Entry> index;
    std::uint32_t U32(std::uint64_t at) const { return GetU32(bytes, at); }
    std::string Text(std::uint64_t at, std::size_t n = 4) const { return std::string(bytes.begin() + at, bytes.begin() + at + n); }
    int Count(const std::string& fourcc, bool empty) const {
        int n = 0;
        for (const auto& c : chunks) n += c.fourcc == fourcc && c.data.empty() == empty;
        return n;
    }
};

AviFile ReadAvi(const std::string& path) {
    AviFile f;
    f.bytes = ReadFileBytes(path);
    const std::uint64_t moviEnd = 2056 + GetU32(f.bytes, 2052);
    for (std::uint64_t at = 2060; at < moviEnd;) {
        const std::uint32_t len = GetU32(f.bytes, at + 4);
        f.chunks.push_back({f.Text(at), Bytes(f.bytes.begin() + at + 8, f.bytes.begin() + at + 8 + len)});
        at += 8 + len + (len & 1);
    }
    if (moviEnd + 8 <= f.bytes.size() && f.Text(moviEnd) == "idx1")
        for (std::uint64_t at = moviEnd + 8; at + 16 <= f.bytes.size(); at += 16)
            f.index.push_back({f.Text(at), GetU32(f.bytes, at + 4), GetU32(f.bytes, at + 8), GetU32(f.bytes, at + 12)});
    return f;
}

struct AviRun {
    RecordingHost host;
    TAsf2Avi tool;
    std::string out;
    AviRun(const std::string& source, const std::string& output) : out(output) {
        tool.AttachHost(host);
        tool.FileName = source;
        tool.OutFileName = output;
    }
};

int StreamValue(const std::string& path, const std::string& stream, const std::string& entry, bool count = false) {
    std::string out;
    RunCommand("ffprobe -v error " + std::string(count ? "-count_frames " : "") + "-select_streams " + stream +
                   " -show_entries stream=" + entry + " -of csv=p=0 " + Quote(path) + " 2>/dev/null",
               &out);
    return out.empty() ? -1 : std::atoi(out.c_str());
}

// Frames ffmpeg delivers at the file's constant rate: empty chunks repeat the previous frame.
int ConstantRateFrames(const std::string& path) {
    std::string out;
    RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0:v -vsync cfr -f framecrc - 2>/dev/null | grep -vc '^#'", &out);
    return std::atoi(out.c_str());
}

}  // namespace

TEST(AviTiming, HistogramExamplesGiveTheExpectedFrameDurations) {
    IntervalHistogram h;
    h[33] = 90;
    h[66] = 10;  // below 90 / 4: left out of the average
    EXPECT_EQ(h.FrameDuration(tmFewestDuplicates), 33000);
    EXPECT_EQ(h.FrameDuration(tmBestSync), 33000);

    h.Clear();
    h[33] = 60;
    h[40] = 40;
    EXPECT_EQ(h.FrameDuration(tmFewestDuplicates), 35800);
    EXPECT_EQ(FramesPerSecondText(35800), "27.93296");
    EXPECT_EQ(h.FrameDuration(tmBestSync), 33000);
    EXPECT_EQ(FramesPerSecondText(33000), "30.30303");

    h.Clear();
    for (int bin = 20; bin < 40; ++bin) h[bin] = 5;  // nothing above a tenth: the first most frequent
    h[30] = 6;
    EXPECT_EQ(h.FrameDuration(tmBestSync), 30000);

    h.Clear();
    EXPECT_EQ(h.FrameDuration(tmFewestDuplicates), 0);  // nothing to average: the caller falls back
    EXPECT_EQ(h.FrameDuration(tmBestSync), 10000);
}

TEST(AviTiming, TimelineCountsIntervalsBetweenConsecutivePresentationTimes) {
    IntervalHistogram h;
    Timeline t;
    t.Note(3100, 100, h);  // the first time only starts the line
    t.Note(3140, 140, h);
    EXPECT_EQ(h[40], 1u);
    EXPECT_EQ(t.syncBalance, 40000);
    t.Note(0, 140, h);  // stands for one millisecond later
    EXPECT_EQ(t.lastTime, 3141u);
    t.Note(3100, 150, h);  // backwards: balance only
    t.Note(4100, 160, h);  // beyond 500 ms: balance only
    EXPECT_EQ(t.syncBalance, 40000 - 41000 + 1000000);
    EXPECT_EQ(h[40], 1u);
}

TEST(AviTiming, TimeJumpsTheSendTimesDoNotShareAreNotCounted) {
    IntervalHistogram h;
    Timeline t;
    t.Note(3100, 100, h);
    t.Note(3100 + 3600000, 140, h);  // a damaged time an hour ahead: passed over
    t.Note(3180, 180, h);             // the real clock goes on from 3100
    EXPECT_EQ(t.syncBalance, 80000);
    EXPECT_EQ(t.lastTime, 3180u);
    t.Note(3220, 6000000, h);  // a damaged send time does not cost an ordinary interval
    EXPECT_EQ(t.syncBalance, 120000);
    t.Note(3260, 260, h);
    t.Note(63260, 60260, h);  // a minute without packets: both clocks moved, the gap counts
    EXPECT_EQ(t.syncBalance, 60160000);
    t.Note(1000, 60300, h);  // a clock that starts again: followed from its second time on,
    t.Note(1040, 60340, h);  // the jump itself not counted
    EXPECT_EQ(t.lastTime, 1040u);
    t.Note(1080, 60380, h);
    EXPECT_EQ(t.syncBalance, 60200000);
    EXPECT_EQ(h[40], 3u);
}

TEST(AviHeader, ImageLayoutWithAndWithoutAnAudioFormat) {
    AviHeaderImage image;
    image.BuildPlaceholder();
    EXPECT_EQ(image.U32(avi::HdrlSize), 298u);
    EXPECT_EQ(image.U32(avi::AudioStrlSize), 98u);
    EXPECT_EQ(image.U32(avi::AudioStrfSize), 22u);
    EXPECT_EQ(image.U32(avi::MicroSecPerFrame), 1000000u);
    EXPECT_EQ(image.U32(avi::VideoScale), 100000u);
    EXPECT_EQ(image.U32(avi::VideoRate), 100000u);

    Bytes video(11 + 40, 0);
    PutU32(video, 0, 320);
    PutU32(video, 4, 240);
    PutU32(video, 11, 40);
    std::copy_n("MP43", 4, video.begin() + 11 + 16);
    Bytes format(28, 0);
    PutU16(format, 0, 0x0161);
    PutU32(format, 8, 16000);
    PutU16(format, 12, 743);
    image.SetVideo(video);
    image.SetAudio(format);
    image.PlaceJunk();
    const auto& d = image.Data();
    const Bytes b(d.begin(), d.end());
    auto text = [&](std::uint64_t at) { return std::string(b.begin() + at, b.begin() + at + 4); };
    EXPECT_EQ(text(0) + text(8) + text(12) + text(20) + text(24), "RIFFAVI LISThdrlavih");
    EXPECT_EQ(GetU32(b, 16), 304u);
    EXPECT_EQ(GetU32(b, 44), 0x110u);
    EXPECT_EQ(GetU32(b, 56), 2u);
    EXPECT_EQ(GetU32(b, 64), 320u);
    EXPECT_EQ(GetU32(b, 68), 240u);
    EXPECT_EQ(text(108) + text(112) + text(188), "vidsMP43MP43");
    EXPECT_EQ(GetU32(b, 144), 32000u);
    EXPECT_EQ(GetU32(b, 148), 0xFFFFFFFFu);
    EXPECT_EQ(GetU32(b, 160), 320u | (240u << 16));  // frame rectangle right and bottom
    EXPECT_EQ(GetU32(b, 216), 104u);
    EXPECT_EQ(text(232), "auds");
    EXPECT_EQ(GetU32(b, 248), 1u);
    EXPECT_EQ(GetU32(b, 252), 743u);
    EXPECT_EQ(GetU32(b, 256), 16000u);
    EXPECT_EQ(GetU32(b, 264), 380u);
    EXPECT_EQ(GetU32(b, 268), 10000u);
    EXPECT_EQ(GetU32(b, 276), 743u);
    EXPECT_EQ(GetU32(b, 292), 28u);
    EXPECT_EQ(b[296] | (b[297] << 8), 0x0161);
    EXPECT_EQ(text(324), "JUNK");
    EXPECT_EQ(GetU32(b, 328), 1716u);
    EXPECT_EQ(std::string(b.begin() + 332, b.begin() + 358), "Converted by Mendery v3.10");
    EXPECT_EQ(b[358], 0);
    EXPECT_EQ(text(2048) + text(2056), "LISTmovi");
    EXPECT_EQ(GetU32(b, 2052), 4u);

    // Without audio the format block is empty: hdrl 276, audio strl 76, strf 0.
    image.SetAudio({});
    image.PlaceJunk();
    EXPECT_EQ(image.U32(avi::HdrlSize), 276u);
    EXPECT_EQ(image.U32(avi::AudioStrlSize), 76u);
    EXPECT_EQ(image.U32(avi::AudioStrfSize), 0u);
    EXPECT_EQ(image.U32(avi::AudioScale), 0u);
    EXPECT_EQ(image.U32(avi::AudioRate), 0u);
    EXPECT_EQ(image.FourCC(296), "JUNK");
    EXPECT_EQ(image.U32(300), 1744u);
    // With no format block there is no tag to show or to change.
    auto fields = ShowHeaderValues(image);
    EXPECT_EQ(fields.audioFormatTag, "0x0000");
    fields.audioFormatTag = "0x0161";
    ApplyHeaderEdits(fields, image);
    EXPECT_EQ(image.FourCC(296), "JUNK");
}

TEST(AviHeader, EditsTakeTheFieldsBackIntoTheImage) {
    AviHeaderImage image;
    image.BuildPlaceholder();
    image.SetFourCC(avi::VideoHandler, "MP43");
    image.SetFourCC(avi::VideoCompression, "MP43");
    image.SetU16(avi::AudioFormat, 0x0161);
    image.SetU32(avi::MicroSecPerFrame, 35800);
    auto f = ShowHeaderValues(image);
    EXPECT_EQ(f.framesPerSecond, "27.93296");
    EXPECT_EQ(f.videoHandler, "MP43");
    EXPECT_EQ(f.audioFormatTag, "0x0161");
    EXPECT_EQ(f.audioToVideo, 100);

    f.audioToVideo = 130;
    ApplyHeaderEdits(f, image);
    EXPECT_EQ(image.U32(avi::AudioStart), 30u);
    EXPECT_EQ(image.U32(avi::VideoStart), 0u);
    EXPECT_EQ(image.U32(avi::MicroSecPerFrame), 35800u);  // the rate text was not changed
    EXPECT_EQ(ShowHeaderValues(image).audioToVideo, 130);
    f.audioToVideo = 80;
    ApplyHeaderEdits(f, image);
    EXPECT_EQ(image.U32(avi::VideoStart), 20u);
    EXPECT_EQ(image.U32(avi::AudioStart), 0u);

    f.framesPerSecond = "25";
    f.videoHandler = "DIV";
    f.audioFormatTag = "353";
    ApplyHeaderEdits(f, image);
    EXPECT_EQ(image.U32(avi::MicroSecPerFrame), 40000u);
    EXPECT_EQ(image.U32(avi::VideoScale), 40000u);
    EXPECT_EQ(image.U32(avi::VideoRate), 1000000u);
    EXPECT_EQ(image.U32(avi::VideoHandler), 0x00564944u);  // "DIV" and a zero byte
    EXPECT_EQ(image.U16(avi::AudioFormat), 353);

    for (const char* bad : {"0", "-5", "abc", "1e-9"}) {
        f.framesPerSecond = bad;
        f.audioFormatTag = "0xZZ";
        ApplyHeaderEdits(f, image);
        EXPECT_EQ(image.U32(avi::MicroSecPerFrame), 40000u) << bad;
        EXPECT_EQ(image.U16(avi::AudioFormat), 353);
    }
    EXPECT_EQ(DivXFourCC("MP42"), "DIV2");
    EXPECT_EQ(DivXFourCC("MP43"), "DIV3");
    EXPECT_EQ(DivXFourCC("WMV2"), "");
}

TEST(AviHeader, PercentHasThreeSignificantDigitsAndOneDecimal) {
    EXPECT_EQ(TAsf2Avi::PercentText(34.66898), "34.7");
    EXPECT_EQ(TAsf2Avi::PercentText(0), "0.0");
    EXPECT_EQ(TAsf2Avi::PercentText(100), "100.0");
    EXPECT_EQ(TAsf2Avi::PercentText(99.96), "100.0");
    EXPECT_EQ(TAsf2Avi::PercentText(1.2345), "1.2");
}

TEST(AsfToAvi, WritesKeyFrameFirstPadsOddChunksAndLabelsExtraStreams) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43").AudioStream(2).AudioStream(3);
    // Before the first key frame: dropped. (Same time as the key frame, so that no empty sync
    // frame is due before it.)
    b.Packet(Packet({Object(1, false, 1040, 80)}));
    b.Packet(Packet({Object(1, true, 1040, 51, 0x11), Object(2, true, 1040, 40, 0x22)}));
    b.Packet(Packet({Object(3, true, 1050, 20, 0x33)}));
    std::uint32_t pts = 1080;
    AddVideo(b, 5, 40, pts);
    AviRun run(b.WriteTo(dir / "s.asf"), (dir / "s.avi").string());
    run.tool.Convert();
    ASSERT_EQ(run.tool.LastOutcome(), Outcome::Done) << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine("已找到并丢弃更多音频流."));
    EXPECT_FALSE(fs::exists(run.out + ".idx"));

    const AviFile avi = ReadAvi(run.out);
    ASSERT_GE(avi.chunks.size(), 3u);
    EXPECT_EQ(avi.chunks[0].fourcc, "00dc");
    EXPECT_EQ(avi.chunks[0].data, Bytes(51, 0x11));
    EXPECT_EQ(avi.chunks[1].fourcc, "01wb");
    EXPECT_EQ(avi.chunks[2].fourcc, "XXXX");
    EXPECT_EQ(avi.bytes[2060 + 8 + 51], 0);  // the pad byte
    ASSERT_EQ(avi.index.size(), avi.chunks.size());
    EXPECT_EQ(avi.index[0].fourcc, "00dc");
    EXPECT_EQ(avi.index[0].flags, 0x10u);
    EXPECT_EQ(avi.index[0].offset, 4u);
    EXPECT_EQ(avi.index[0].length, 51u);
    EXPECT_EQ(avi.index[1].offset, 4u + 8 + 52);
    std::uint32_t movi = 4;
    for (const auto& c : avi.chunks) movi += 8 + static_cast<std::uint32_t>(c.data.size() + (c.data.size() & 1));
    EXPECT_EQ(avi.U32(2052), movi);
    EXPECT_EQ(avi.U32(4), avi.bytes.size() - 8);
    const int videoChunks = avi.Count("00dc", false) + avi.Count("00dc", true);
    EXPECT_EQ(avi.Count("00dc", false), 6);
    EXPECT_EQ(avi.U32(avi::TotalFrames), static_cast<std::uint32_t>(videoChunks));
    EXPECT_EQ(avi.U32(avi::VideoLength), static_cast<std::uint32_t>(videoChunks));
}

TEST(AsfToAvi, InsertsEmptyFramesWhereTheVideoFallsBehind) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43");
    std::uint32_t pts = 1000;
    AddVideo(b, 30, 40, pts);
    pts += 160;  // one interval of 200 ms
    AddVideo(b, 20, 40, pts);
    AviRun run(b.WriteTo(dir / "gap.asf"), (dir / "gap.avi").string());
    run.tool.Convert();
    const AviFile avi = ReadAvi(run.out);
    EXPECT_EQ(run.tool.FrameDuration(), 40000);
    // The 200 ms gap is four frame durations; the frames written cover 1000..3120 ms exactly.
    EXPECT_EQ(run.tool.AddedFrames(), 3u);
    EXPECT_EQ(avi.Count("00dc", true), 3);
    EXPECT_EQ(avi.Count("00dc", false), 50);
    EXPECT_EQ(avi.U32(avi::TotalFrames), 53u);
    for (const auto& e : avi.index) {
        if (e.length == 0) {
            EXPECT_EQ(e.flags, 0u);
        }
    }
    EXPECT_TRUE(run.host.HasLine("  为 A/V 同步添加帧:3,  5.7全部的%:53")) << run.host.AllLines();
}

TEST(AsfToAvi, QuickResyncFillsRealGapsButNotDamagedTimes) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43");
    auto add = [&b](int count, std::uint32_t& pts, std::uint32_t& send) {
        for (int i = 0; i < count; ++i, pts += 40, send += 40) {
            PacketSpec p = Packet({Object(1, i % 10 == 0, pts, 120)});
            p.sendTime = send;
            b.Packet(p);
        }
    };
    std::uint32_t pts = 3100, send = 100;
    add(30, pts, send);
    PacketSpec damaged = Packet({Object(1, true, pts + 3600000, 120)});  // a key frame, its time an hour off
    damaged.sendTime = send;
    b.Packet(damaged);
    pts += 40, send += 40;
    add(30, pts, send);
    pts += 10000, send += 10000;  // ten seconds lost: both clocks jump
    add(30, pts, send);
    AviRun run(b.WriteTo(dir / "jumps.asf"), (dir / "jumps.avi").string());
    run.tool.QuickReSync = true;
    run.tool.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done);
    EXPECT_EQ(run.tool.FrameDuration(), 40000);
    // The ten seconds are filled (249 empty frames, as for the same file with that time intact);
    // the damaged time adds nothing (it once added an hour of empty frames at its key frame).
    EXPECT_EQ(run.tool.AddedFrames(), 249u);
    const AviFile avi = ReadAvi(run.out);
    EXPECT_EQ(avi.Count("00dc", true), static_cast<int>(run.tool.AddedFrames()));
    EXPECT_EQ(avi.Count("00dc", false), 91);
}

TEST(AsfToAvi, NoIntervalToAverageFallsBackToTheDefaultDuration) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43");
    std::uint32_t pts = 1000;
    AddVideo(b, 3, 1000, pts);  // one frame a second: no interval between 10 and 500 ms
    AviRun run(b.WriteTo(dir / "slow.asf"), (dir / "slow.avi").string());
    run.tool.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done);
    EXPECT_EQ(run.tool.FrameDuration(), TAsf2Avi::kDefaultFrameDuration);
    EXPECT_TRUE(run.host.HasLine("  帧率设置:2.00000")) << run.host.AllLines();
}

TEST(AsfToAvi, BadChunkIsLoggedInBothPassesAndCountedOnce) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43");
    std::uint32_t pts = 1000;
    AddVideo(b, 6, 40, pts);
    Bytes file = b.Build();
    DamagePackets(file, b.packetSize(), 3);
    const auto src = (dir / "bad.asf").string();
    WriteFileBytes(src, file);
    AviRun run(src, (dir / "bad.avi").string());
    run.tool.Convert();
    int logged = 0;
    for (const auto& l : run.host.lines) logged += l.rfind("无效的 ID: ", 0) == 0 && l.ends_with(",  Chunk #3");
    EXPECT_EQ(logged, 2);
    EXPECT_TRUE(run.host.HasLine("  数据块已放弃:1"));
    EXPECT_TRUE(run.host.HasLine("  数据块已转换:5"));
}

TEST(AsfToAvi, WmvVideoAsksFirstAndDecliningLeavesNoFile) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "WMV1").AudioStream(2);
    std::uint32_t pts = 1000;
    AddVideo(b, 3, 40, pts);
    const auto src = b.WriteTo(dir / "w.wmv");
    AviRun no(src, (dir / "w.avi").string());
    no.tool.Convert();
    ASSERT_EQ(no.host.questions.size(), 1u);
    EXPECT_EQ(no.host.questions[0], TAsf2Avi::WmvWarning("WMV1"));
    EXPECT_NE(no.host.questions[0].find("此文件已使用 \"WMV1\"视频格式 压缩."), std::string::npos);
    EXPECT_EQ(no.tool.LastOutcome(), Outcome::Declined);
    EXPECT_FALSE(fs::exists(no.out));
    EXPECT_FALSE(fs::exists(no.out + ".idx"));

    AviRun yes(src, (dir / "w.avi").string());
    yes.host.answers = {Answer::Yes};
    yes.tool.Convert();
    EXPECT_EQ(yes.tool.LastOutcome(), Outcome::Done);
    EXPECT_EQ(ReadAvi(yes.out).Count("00dc", false), 3);
}

TEST(AsfToAvi, MakeDivXRelabelsMp43AndIsThenDisabled) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43");
    std::uint32_t pts = 1000;
    AddVideo(b, 3, 40, pts);
    AviRun run(b.WriteTo(dir / "d.asf"), (dir / "d.avi").string());
    EXPECT_FALSE(run.tool.SetHeaderEditing(true));  // nothing converted yet
    EXPECT_EQ(run.host.messages.back(), "没有文件可编辑!");
    run.tool.Convert();
    EXPECT_EQ(run.tool.EditMode(), emLock);
    ASSERT_TRUE(run.tool.SetHeaderEditing(true));
    EXPECT_TRUE(run.tool.DivXEnabled());
    const Bytes before = ReadFileBytes(run.out);
    ASSERT_TRUE(run.tool.MakeDivX());
    EXPECT_FALSE(run.tool.DivXEnabled());
    EXPECT_EQ(run.host.lines.back(), "文件转换为 DivX");
    EXPECT_FALSE(run.host.HasLine("文件头已更新!"));
    const Bytes after = ReadFileBytes(run.out);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::string(after.begin() + 112, after.begin() + 116), "DIV3");
    EXPECT_EQ(std::string(after.begin() + 188, after.begin() + 192), "DIV3");
    EXPECT_TRUE(std::equal(after.begin() + 2060, after.end(), before.begin() + 2060));

    run.tool.Fields.audioToVideo = 130;
    run.tool.UpgradeAvi();
    EXPECT_EQ(run.host.lines.back(), "文件头已更新!");
    EXPECT_EQ(GetU32(ReadFileBytes(run.out), avi::AudioStart), 30u);
}

TEST(AsfToAvi, RefusesSourcesWithoutVideoAndLeavesNoFile) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1).Packet(Packet({Object(1, true, 1000, 50)}));
    AviRun run(b.WriteTo(dir / "a.wma"), (dir / "a.avi").string());
    run.tool.Convert();
    EXPECT_TRUE(run.host.HasLine("-->找不到任何待转换的视频流. 正在退出.."));
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused);
    EXPECT_FALSE(fs::exists(run.out));
    EXPECT_FALSE(fs::exists(run.out + ".idx"));
    EXPECT_TRUE(run.tool.Fields.Empty());
}

// Real files through mendery-cli: ffprobe opens them, ffmpeg decodes MPEG-4 v2/v3 and WMV1
// video with as many frames as the header's total, and the audio keeps the source's frames.
TEST(AsfToAviSamples, ConvertedFilesDecodeWithTheHeadersFrameCount) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    struct Case {
        const char* file;
        bool checkVideo;  // WMV2 loses its codec data in a 40-byte BITMAPINFOHEADER
        bool audio;
    };
    const Case cases[] = {{"b_msmpeg4v3_wmav2.asf", true, true}, {"i_msmpeg4v2_videoonly.asf", true, false},
                          {"h_wmv1_wmav1_meta.wmv", true, true}, {"a_wmv2_wmav2.wmv", false, true},
                          {"d_wmv2_2audio.wmv", false, true}};
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string out = (dir / (std::string(c.file) + ".avi")).string();
        std::string log;
        ASSERT_EQ(RunCommand(std::string(MENDERY_CLI) + " avi --yes " + Quote(SampleFile(c.file)) + " -o " + Quote(out), &log), 0)
            << log;
        const std::uint32_t total = GetU32(ReadFileBytes(out), avi::TotalFrames);
        EXPECT_EQ(StreamValue(out, "v:0", "nb_frames"), static_cast<int>(total));
        EXPECT_EQ(StreamValue(out, "v:0", "nb_read_frames", true) > 0, true);
        if (c.checkVideo) {
            EXPECT_EQ(ConstantRateFrames(out), static_cast<int>(total));
            std::string errors;
            EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
            EXPECT_EQ(StreamValue(out, "v:0", "nb_read_frames", true),
                      StreamValue(SampleFile(c.file), "v:0", "nb_read_frames", true));
        }
        if (c.audio) {
            EXPECT_EQ(StreamValue(out, "a:0", "nb_read_frames", true),
                      StreamValue(SampleFile(c.file), "a:0", "nb_read_frames", true));
        }
    }
}

TEST(AsfToAviSamples, DivXAndFrameRateEditsOnTheFinishedFile) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    TempDir dir;
    const std::string out = (dir / "b.avi").string();
    std::string log;
    ASSERT_EQ(RunCommand(std::string(MENDERY_CLI) + " avi --divx --fps 25 " + Quote(SampleFile("b_msmpeg4v3_wmav2.asf")) +
                             " -o " + Quote(out), &log),
              0)
        << log;
    EXPECT_NE(log.find("文件头已更新!"), std::string::npos);
    EXPECT_NE(log.find("文件转换为 DivX"), std::string::npos);
    std::string tag;
    RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=codec_tag_string,r_frame_rate -of csv=p=0 " +
                   Quote(out),
               &tag);
    EXPECT_EQ(tag, "DIV3,25/1\n");
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
}

TEST(AsfToAviSamples, RefusalsAndDeclinedQuestionExitWithOneAndLeaveNoFile) {
    TempDir dir;
    std::string log;
    const std::string audioOnly = (dir / "c.avi").string();
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " avi " + Quote(SampleFile("c_wmav2.wma")) + " -o " + Quote(audioOnly), &log), 1);
    EXPECT_NE(log.find("-->找不到任何待转换的视频流. 正在退出.."), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(audioOnly));
    // Packets whose signature is damaged fail the packet test: no frame, no success.
    AsfBuilder b;
    b.VideoStream(1, "MP43").AudioStream(2);
    for (int i = 0; i < 3; ++i) {
        PacketSpec p = Packet({Object(1, true, 1000 + 40 * i, 100)});
        p.firstBytes = std::array<std::uint8_t, 3>{0x13, 0, 0};
        b.Packet(p);
    }
    const auto noEc = b.WriteTo(dir / "noec.asf");
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " avi " + Quote(noEc) + " -o " + Quote((dir / "noec.avi").string()), &log), 1);
    EXPECT_NE(log.find("  错误: 在此流媒体中未发现视频帧: #1"), std::string::npos) << log;
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " wav " + Quote(noEc) + " -o " + Quote((dir / "noec.wav").string()), &log), 1);
    const std::string wmv2 = (dir / "a.avi").string();
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " avi --no " + Quote(SampleFile("a_wmv2_wmav2.wmv")) + " -o " + Quote(wmv2), &log), 1);
    EXPECT_FALSE(fs::exists(wmv2));
}

TEST(AsfToAvi, StopInTheFirstPassLeavesNothingAndInTheSecondAConsistentFile) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43");
    std::uint32_t pts = 1000;
    AddVideo(b, 20, 40, pts);
    const auto src = b.WriteTo(dir / "stop.asf");

    AviRun first(src, (dir / "first.avi").string());
    first.host.onProcessMessages = [&] {
        if (first.host.processCalls == 5) first.tool.Aborted = true;
    };
    first.tool.Convert();
    EXPECT_EQ(first.tool.LastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(first.host.HasLine("--->>已中止"));
    EXPECT_FALSE(first.host.HasLine("步骤 2, 正在转换..."));
    EXPECT_TRUE(first.tool.Fields.Empty());
    EXPECT_FALSE(fs::exists(first.out));
    EXPECT_FALSE(fs::exists(first.out + ".idx"));

    AviRun second(src, (dir / "second.avi").string());
    second.host.onProcessMessages = [&] {
        if (second.host.processCalls == 20 + 8) second.tool.Aborted = true;
    };
    second.tool.Convert();
    EXPECT_EQ(second.tool.LastOutcome(), Outcome::Aborted);
    const AviFile avi = ReadAvi(second.out);
    EXPECT_EQ(avi.Count("00dc", false), 8);
    EXPECT_EQ(avi.U32(avi::TotalFrames), 8u);
    EXPECT_EQ(avi.U32(4), avi.bytes.size() - 8);
    EXPECT_EQ(avi.index.size(), avi.chunks.size());
}

// No video frame converted (every chunk fails the packet test): a failure with its line, and
// neither the AVI nor its index file remains.
TEST(AsfToAvi, NoVideoFrameFailsAndLeavesNoFile) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43").AudioStream(2);
    for (int i = 0; i < 3; ++i) {
        PacketSpec p = Packet({Object(1, true, 1000 + 40 * i, 100)});
        p.firstBytes = std::array<std::uint8_t, 3>{0x13, 0, 0};
        b.Packet(p);
    }
    AviRun run(b.WriteTo(dir / "noec.asf"), (dir / "noec.avi").string());
    run.tool.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused);
    EXPECT_TRUE(run.host.HasLine("  错误: 在此流媒体中未发现视频帧: #1")) << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine("未完成的输出文件已删除: " + run.out));
    EXPECT_FALSE(fs::exists(run.out));
    EXPECT_FALSE(fs::exists(run.out + ".idx"));
    EXPECT_TRUE(run.tool.Fields.Empty());  // nothing to edit afterwards
    EXPECT_FALSE(run.tool.MakeDivX());
    EXPECT_FALSE(run.host.HasLine("文件转换为 DivX"));
}

// A disk that fills up, at once or in the writing pass: the run fails with the reason, and
// removes the AVI and its index file; the source is untouched.
TEST(AsfToAvi, WriteFailureLeavesNoFile) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "MP43");
    std::uint32_t pts = 1000;
    for (int i = 0; i < 300; ++i, pts += 40) b.Packet(Packet({Object(1, i % 10 == 0, pts, 600)}));
    const auto src = b.WriteTo(dir / "long.asf");
    const Bytes before = ReadFileBytes(src);
    for (const rlim_t room : {rlim_t(0), rlim_t(60000)}) {
        SCOPED_TRACE(room);
        AviRun run(src, (dir / "full.avi").string());
        {
            const FileSizeLimit full(room);
            run.tool.Convert();
        }
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Failed) << run.host.AllLines();
        bool reason = false;
        for (const auto& l : run.host.lines) reason |= l.starts_with("访问文件出错: ") && l.find("文件太大") != std::string::npos;
        EXPECT_TRUE(reason) << run.host.AllLines();
        EXPECT_FALSE(fs::exists(run.out));
        EXPECT_FALSE(fs::exists(run.out + ".idx"));
        EXPECT_TRUE(run.tool.Fields.Empty());
    }
    EXPECT_EQ(ReadFileBytes(src), before);
}

// A stop that arrives before the passes (here: while the WMV question is open, answered Yes)
// is not cleared by the run: it ends before the first chunk, leaves nothing, and is used up.
TEST(AsfToAvi, StopDuringTheQuestionIsKeptAndThenCleared) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1, "WMV2");
    std::uint32_t pts = 1000;
    AddVideo(b, 5, 40, pts);
    AviRun run(b.WriteTo(dir / "q.wmv"), (dir / "q.avi").string());
    struct StopWhileAsking : RecordingHost {
        bool* aborted = nullptr;
        Answer Ask(std::string_view text, Buttons b, MessageKind k) override {
            if (aborted) *aborted = true;
            return RecordingHost::Ask(text, b, k);
        }
    } host;
    host.aborted = &run.tool.Aborted;
    host.answers = {Answer::Yes};
    run.tool.AttachHost(host);
    run.tool.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(host.HasLine("--->>已中止"));
    EXPECT_FALSE(host.HasLine("步骤 2, 正在转换..."));
    EXPECT_FALSE(fs::exists(run.out));
    EXPECT_FALSE(fs::exists(run.out + ".idx"));
    EXPECT_FALSE(run.tool.Aborted);

    host.aborted = nullptr;
    host.answers = {Answer::Yes};
    run.tool.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done);
    EXPECT_EQ(ReadAvi(run.out).Count("00dc", false), 5);
}
