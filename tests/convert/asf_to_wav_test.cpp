// The WAV extractor on built files (WAVE layout, stream choice, fragments, damage, abort,
// refusals) and on real samples, judged by ffprobe/ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "convert/Asf2Wav.h"
#include "support/AsfBuilder.h"
#include "support/FileSizeLimit.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

Bytes Fill(std::size_t n, std::uint8_t v) { return Bytes(n, v); }

PacketSpec OnePayload(int stream, std::uint32_t offset, std::uint32_t objectSize, Bytes data, std::uint32_t pts = 100) {
    PacketSpec p;
    p.lengthTypeFlags = 0x10;  // a word padding field: small payloads leave much padding
    PayloadSpec pl;
    pl.stream = stream;
    pl.key = true;
    pl.offset = offset;
    pl.objectSize = objectSize;
    pl.pts = pts;
    pl.data = std::move(data);
    p.payloads = {pl};
    return p;
}

struct WavRun {
    RecordingHost host;
    TAsf2Wav tool;
    std::string out;
    WavRun(const std::string& source, const std::string& output) : out(output) {
        tool.AttachHost(host);
        tool.FileName = source;
        tool.OutFileName = output;
    }
    void Convert() { tool.Convert(); }
    // The WAVE file's data chunk.
    Bytes Data() const {
        const Bytes w = ReadFileBytes(out);
        const std::uint32_t l = GetU32(w, 16);
        return Bytes(w.begin() + 28 + l, w.end());
    }
};

// The source's audio frames, as ffprobe decodes them from one stream.
int AudioFrames(const std::string& path, const std::string& stream) {
    std::string out;
    if (RunCommand("ffprobe -v error -count_frames -select_streams " + stream +
                       " -show_entries stream=nb_read_frames -of csv=p=0 " + Quote(path) + " 2>/dev/null",
                   &out) != 0)
        return -1;
    return std::atoi(out.c_str());
}

std::string Probe(const std::string& path, const std::string& entries) {
    std::string out;
    RunCommand("ffprobe -v error -show_entries stream=" + entries + " -of csv=p=0 " + Quote(path) + " 2>/dev/null", &out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

TEST(AsfToWav, DescribesTheStreamAsTheLogShowsIt) {
    // tag 0x0161, 1 channel, 22050 Hz, 4000 B/s, align 743, 16 bits
    const Bytes mono = {0x61, 0x01, 1, 0, 0x22, 0x56, 0, 0, 0xA0, 0x0F, 0, 0, 0xE7, 0x02, 16, 0};
    const auto lines = TAsf2Wav::DescribeAudioStream(3, mono);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "已定位: 音频流对象, 流序号3");
    EXPECT_EQ(lines[1], "  FormatTag        : 0x0161");
    EXPECT_EQ(lines[2], "  声道         : 1 (Mono)");
    EXPECT_EQ(lines[3], "  采样率    : 22050 Hz");
    EXPECT_EQ(lines[4], "  平均数据率: 4000 字节/秒 (32k 比特)");
    EXPECT_EQ(lines[5], "  音频样本大小: 16 比特");
    EXPECT_EQ(lines[6], "");

    Bytes six = mono;
    six[2] = 6;
    six[8] = 0xD2;  // 4050 bytes per second still gives 32k
    const auto six_lines = TAsf2Wav::DescribeAudioStream(2, six);
    EXPECT_EQ(six_lines[2], "  声道         : 6 (立体声)");
    EXPECT_EQ(six_lines[4], "  平均数据率: 4050 字节/秒 (32k 比特)");
    // A format record too short to hold the fields reads them as zero instead of past its end.
    EXPECT_EQ(TAsf2Wav::DescribeAudioStream(2, Bytes{0x60})[1], "  FormatTag        : 0x0060");
}

TEST(AsfToWav, WritesTheLastAudioStreamInTheWaveLayout) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1).AudioStream(3, 0x0160).VideoStream(2);
    b.Packet(OnePayload(1, 0, 100, Fill(100, 0x11)));  // the first audio stream: not extracted
    b.Packet(OnePayload(3, 0, 100, Fill(100, 0x33)));
    b.Packet(OnePayload(2, 0, 100, Fill(100, 0x22)));
    b.Packet(OnePayload(3, 0, 51, Fill(51, 0x34)));  // odd length: no pad byte in WAVE data
    const auto src = b.WriteTo(dir / "two.wma");
    WavRun run(src, (dir / "two.wav").string());
    run.Convert();

    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done);
    EXPECT_EQ(run.tool.StreamNumber(), 3);
    EXPECT_TRUE(run.host.HasLine("已定位: 音频流对象, 流序号1"));
    EXPECT_TRUE(run.host.HasLine("正在转换流 #3"));
    const Bytes w = ReadFileBytes(run.out);
    ASSERT_EQ(w.size(), 28u + 18 + 151);
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    EXPECT_EQ(GetU32(w, 4), w.size() - 8);
    EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(GetU32(w, 16), 18u);
    EXPECT_EQ(w[20] | (w[21] << 8), 0x0160);  // the chosen stream's own format record
    EXPECT_EQ(std::string(w.begin() + 38, w.begin() + 42), "data");
    EXPECT_EQ(GetU32(w, 42), 151u);
    Bytes expected = Fill(100, 0x33);
    const Bytes tail = Fill(51, 0x34);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(run.Data(), expected);
    EXPECT_EQ(run.host.lines.back(), "文件已关闭");
}

TEST(AsfToWav, AssemblesFragmentsAndDropsAnObjectWithoutItsLastFragment) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    b.Packet(OnePayload(1, 0, 300, Fill(150, 0xA1)));
    b.Packet(OnePayload(1, 150, 300, Fill(150, 0xA2)));
    b.Packet(OnePayload(1, 0, 400, Fill(200, 0xB1)));  // its second half is lost
    b.Packet(OnePayload(1, 0, 80, Fill(80, 0xC1)));
    WavRun run(b.WriteTo(dir / "f.wma"), (dir / "f.wav").string());
    run.Convert();
    Bytes expected = Fill(150, 0xA1);
    for (auto v : {Fill(150, 0xA2), Fill(80, 0xC1)}) expected.insert(expected.end(), v.begin(), v.end());
    EXPECT_EQ(run.Data(), expected);
}

TEST(AsfToWav, CountsBadChunksAndStopsAtTheIndex) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1).Index();
    for (int i = 0; i < 5; ++i) b.Packet(OnePayload(1, 0, 64, Fill(64, std::uint8_t(i))));
    Bytes file = b.Build();
    DamagePackets(file, b.packetSize(), 2);
    const auto src = (dir / "bad.wma").string();
    WriteFileBytes(src, file);
    WavRun run(src, (dir / "bad.wav").string());
    run.Convert();
    const std::uint64_t p2 = PacketOffset(file, b.packetSize(), 2);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X%02X%02X", file[p2], file[p2 + 1], file[p2 + 2]);
    EXPECT_TRUE(run.host.HasLine(std::string("无效的 ID: ") + hex + ",  Chunk #2")) << run.host.AllLines();
    // The index block is neither found nor abandoned.
    EXPECT_TRUE(run.host.HasLine("  找到5 数据块"));
    EXPECT_TRUE(run.host.HasLine("  数据块已放弃:1"));
    EXPECT_TRUE(run.host.HasLine("  数据块已转换:4"));
    EXPECT_EQ(run.Data().size(), 4u * 64);
}

// A source of several read blocks (a megabyte of chunks each), with bad chunks on both sides
// of the blocks' boundaries and a last chunk cut short: every good chunk's audio comes out once,
// in order, whichever block it was read in.
TEST(AsfToWav, ChunksOfEveryReadBlockComeOutInOrder) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    const std::uint64_t blockChunks = (1u << 20) / b.packetSize();
    const std::uint64_t chunks = 3 * blockChunks + 10;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        Bytes data = Fill(64, static_cast<std::uint8_t>(i));
        PutU32(data, 0, static_cast<std::uint32_t>(i));
        b.Packet(OnePayload(1, 0, 64, data));
    }
    Bytes file = b.Build();
    const std::set<std::uint64_t> bad = {blockChunks - 1, blockChunks, 2 * blockChunks + 1, 3 * blockChunks - 1};
    for (const std::uint64_t i : bad) DamagePackets(file, b.packetSize(), i);
    Truncate(file, file.size() - b.packetSize() / 2);  // the last chunk's payload still lies whole
    const auto src = (dir / "long.wma").string();
    WriteFileBytes(src, file);
    WavRun run(src, (dir / "long.wav").string());
    run.Convert();
    EXPECT_TRUE(run.host.HasLine("  找到" + std::to_string(chunks) + " 数据块")) << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine("  数据块已放弃:" + std::to_string(bad.size())));
    // The status counts the chunks, the first and the last one.
    const auto& statuses = run.host.statuses;
    const std::string of = "/" + std::to_string(chunks);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "1" + of), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), std::to_string(chunks) + of), statuses.end());
    const Bytes data = run.Data();
    ASSERT_EQ(data.size(), (chunks - bad.size()) * 64);
    std::uint64_t at = 0;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        if (bad.count(i)) continue;
        ASSERT_EQ(GetU32(data, at), i) << "output chunk at " << at;
        ASSERT_EQ(data[at + 63], static_cast<std::uint8_t>(i));
        at += 64;
    }
}

TEST(AsfToWav, DamagedPayloadIsLoggedAndTheNextChunkGoesOn) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    PacketSpec two;
    two.lengthTypeFlags = 0x11;  // multiple payloads, word padding field
    PayloadSpec first, second;
    first.data = Fill(40, 0x01);
    first.objectSize = 40;
    second.data = Fill(40, 0x02);
    second.objectSize = 40;
    two.payloads = {first, second};
    b.Packet(two);
    b.Packet(OnePayload(1, 0, 30, Fill(30, 0x03)));
    Bytes file = b.Build();
    // The second payload's length field now runs past the packet.
    const std::uint64_t p0 = PacketOffset(file, b.packetSize(), 0);
    // Packet head 14 bytes, first payload 17 + 40, second payload's fields before its length 15.
    const std::uint64_t secondLength = p0 + 14 + 17 + 40 + 15;
    PutU16(file, secondLength, 0xFFFF);
    const auto src = (dir / "dmg.wma").string();
    WriteFileBytes(src, file);
    WavRun run(src, (dir / "dmg.wav").string());
    run.Convert();
    EXPECT_TRUE(run.host.HasLine("--->>数据块错误 #0")) << run.host.AllLines();
    // The payload before the damage and the next chunk are kept.
    Bytes expected = Fill(40, 0x01);
    const Bytes next = Fill(30, 0x03);
    expected.insert(expected.end(), next.begin(), next.end());
    EXPECT_EQ(run.Data(), expected);
}

TEST(AsfToWav, ChunkDeclaringNoPayloadHoldsNothingAndIsNoError) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    PacketSpec none;
    none.lengthTypeFlags = 0x11;
    none.payloads = {};
    b.Packet(none);
    b.Packet(OnePayload(1, 0, 30, Fill(30, 0x03)));
    WavRun run(b.WriteTo(dir / "none.wma"), (dir / "none.wav").string());
    run.Convert();
    EXPECT_FALSE(run.host.HasLine("--->>数据块错误 #0")) << run.host.AllLines();
    EXPECT_EQ(run.Data(), Fill(30, 0x03));
}

TEST(AsfToWav, AbortLeavesAWaveFileWhoseSizesAgree) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    for (int i = 0; i < 20; ++i) b.Packet(OnePayload(1, 0, 50, Fill(50, 0x42)));
    WavRun run(b.WriteTo(dir / "long.wma"), (dir / "long.wav").string());
    run.host.onProcessMessages = [&] {
        if (run.host.processCalls == 3) run.tool.Aborted = true;
    };
    run.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(run.host.HasLine("--->>已中止"));
    EXPECT_TRUE(run.host.HasLine("  找到2 数据块"));
    const Bytes w = ReadFileBytes(run.out);
    EXPECT_EQ(GetU32(w, 4), w.size() - 8);
    EXPECT_EQ(GetU32(w, 20 + 18 + 4), w.size() - (20 + 18) - 8);
    EXPECT_EQ(run.Data().size(), 150u);
}

TEST(AsfToWav, RefusesWhatItCannotConvertAndLeavesNoFile) {
    TempDir dir;
    {  // no audio stream
        AsfBuilder b;
        b.VideoStream(1).SimplePackets(3);
        WavRun run(b.WriteTo(dir / "v.wmv"), (dir / "v.wav").string());
        run.Convert();
        EXPECT_TRUE(run.host.HasLine("--> 找不到任何待转换的音频流. 正在退出.."));
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused);
        EXPECT_FALSE(fs::exists(run.out));
    }
    {  // a chunk size the chunk buffer cannot hold (the file properties say 0)
        AsfBuilder b;
        b.AudioStream(1).Packet(OnePayload(1, 0, 10, Fill(10, 1)));
        Bytes file = b.Build();
        PutU32(file, 30 + 92, 0);
        const auto src = (dir / "zero.wma").string();
        WriteFileBytes(src, file);
        WavRun run(src, (dir / "zero.wav").string());
        run.Convert();
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused);
        EXPECT_TRUE(run.host.HasLine("数据块大小无效 (0), 不能转换此文件!")) << run.host.AllLines();
    }
    {  // a chunk size shorter than the chunk signature: every block is logged, nothing read
       // past it, and with nothing extracted no file remains
        AsfBuilder b;
        b.AudioStream(1).Packet(OnePayload(1, 0, 10, Fill(10, 1)));
        Bytes file = b.Build();
        PutU32(file, 30 + 92, 2);
        const auto src = (dir / "two.wma").string();
        WriteFileBytes(src, file);
        WavRun run(src, (dir / "two.wav").string());
        run.Convert();
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused) << run.host.AllLines();
        EXPECT_FALSE(fs::exists(run.out));
    }
    {  // a header object larger than the header buffer
        AsfBuilder b;
        b.AudioStream(1).ExtraHeaderObject(guids::ContentDescription, Bytes(70000, 0));
        WavRun run(b.WriteTo(dir / "big.wma"), (dir / "big.wav").string());
        run.Convert();
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused);
        EXPECT_FALSE(fs::exists(run.out));
    }
    {  // the output is the source
        AsfBuilder b;
        b.AudioStream(1).Packet(OnePayload(1, 0, 10, Fill(10, 1)));
        const auto src = b.WriteTo(dir / "same.wma");
        const Bytes before = ReadFileBytes(src);
        WavRun run(src, src);
        run.Convert();
        EXPECT_TRUE(run.host.HasLine("输出文件不能和输入文件相同!"));
        EXPECT_EQ(ReadFileBytes(src), before);
    }
}

// Nothing usable extracted: every chunk fails the signature test, the data object is cut off
// at its head, or it holds no chunk at all. The run fails with a line saying so and leaves no
// file, not a WAVE header without data.
TEST(AsfToWav, NoAudioDataExtractedFailsAndLeavesNoFile) {
    TempDir dir;
    AsfBuilder noEc;
    noEc.AudioStream(2);
    for (int i = 0; i < 3; ++i) {
        PacketSpec p = OnePayload(2, 0, 40, Fill(40, 7));
        p.firstBytes = std::array<std::uint8_t, 3>{0x13, 0, 0};  // a damaged signature
        noEc.Packet(p);
    }
    AsfBuilder cut;
    cut.AudioStream(2);
    for (int i = 0; i < 3; ++i) cut.Packet(OnePayload(2, 0, 40, Fill(40, 7)));
    Bytes cutFile = cut.Build();
    Truncate(cutFile, HeaderSizeOf(cutFile) + 30);  // inside the data object's head
    WriteFileBytes(dir / "cut.wma", cutFile);

    for (const std::string name : {"noec", "cut"}) {
        SCOPED_TRACE(name);
        const std::string src = name == "noec" ? noEc.WriteTo(dir / "noec.wma") : (dir / "cut.wma").string();
        WavRun run(src, (dir / (name + ".wav")).string());
        run.Convert();
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused);
        EXPECT_TRUE(run.host.HasLine("  错误: 在此流媒体中未发现音频数据: #2")) << run.host.AllLines();
        EXPECT_TRUE(run.host.HasLine("未完成的输出文件已删除: " + run.out));
        EXPECT_FALSE(fs::exists(run.out));
        EXPECT_EQ(run.tool.LastSummary().outputSize, 0);
    }
}

// A disk that fills up, at once or part way: the run fails with the reason and removes what it
// wrote; the source is untouched.
TEST(AsfToWav, WriteFailureLeavesNoFile) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    for (int i = 0; i < 400; ++i) b.Packet(OnePayload(1, 0, 600, Fill(600, std::uint8_t(i))));
    const auto src = b.WriteTo(dir / "long.wma");
    const Bytes before = ReadFileBytes(src);
    for (const rlim_t room : {rlim_t(0), rlim_t(100000)}) {
        SCOPED_TRACE(room);
        WavRun run(src, (dir / "full.wav").string());
        {
            const FileSizeLimit full(room);
            run.Convert();
        }
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Failed) << run.host.AllLines();
        bool reason = false;
        for (const auto& l : run.host.lines) reason |= l.starts_with("访问文件出错: ") && l.find("文件太大") != std::string::npos;
        EXPECT_TRUE(reason) << run.host.AllLines();
        EXPECT_FALSE(fs::exists(run.out));
    }
    EXPECT_EQ(ReadFileBytes(src), before);
}

// A stop that arrives before the chunk loop (Ctrl-C while the files open) ends the run before
// its first chunk, and is used up: the next run goes through.
TEST(AsfToWav, StopRequestedBeforeTheRunIsKeptAndThenCleared) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    for (int i = 0; i < 5; ++i) b.Packet(OnePayload(1, 0, 50, Fill(50, 0x42)));
    WavRun run(b.WriteTo(dir / "s.wma"), (dir / "s.wav").string());
    run.tool.Aborted = true;
    run.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(run.host.HasLine("--->>已中止"));
    EXPECT_EQ(run.tool.LastSummary().objects, 0);
    EXPECT_FALSE(fs::exists(run.out));  // nothing extracted: nothing kept
    EXPECT_FALSE(run.tool.Aborted);

    run.Convert();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done);
    EXPECT_EQ(run.Data().size(), 250u);
}

// Real files through mendery-cli: ffmpeg decodes the WAVE file with as many audio frames as
// the source's extracted stream.
TEST(AsfToWavSamples, ExtractedStreamsDecodeWithTheSourcesFrameCount) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    struct Case {
        const char* file;
        const char* stream;  // the stream extracted: the last audio stream
        const char* codec;
    };
    const Case cases[] = {{"a_wmv2_wmav2.wmv", "a:0", "wmav2"},      {"b_msmpeg4v3_wmav2.asf", "a:0", "wmav2"},
                          {"c_wmav2.wma", "a:0", "wmav2"},           {"d_wmv2_2audio.wmv", "a:1", "wmav2"},
                          {"h_wmv1_wmav1_meta.wmv", "a:0", "wmav1"}};
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string out = (dir / (std::string(c.file) + ".wav")).string();
        std::string log;
        ASSERT_EQ(RunCommand(std::string(MENDERY_CLI) + " wav " + Quote(SampleFile(c.file)) + " -o " + Quote(out), &log), 0)
            << log;
        EXPECT_EQ(Probe(out, "codec_name"), c.codec);
        const int frames = AudioFrames(SampleFile(c.file), c.stream);
        EXPECT_GT(frames, 0);
        EXPECT_EQ(AudioFrames(out, "a:0"), frames);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(out, &errors)) << errors;
    }
    // d_ holds a stereo 44.1 kHz and a mono 22.05 kHz stream: the later one is extracted.
    EXPECT_EQ(Probe((dir / "d_wmv2_2audio.wmv.wav").string(), "sample_rate,channels"), "22050,1");
}

TEST(AsfToWavSamples, VideoOnlySourceIsRefused) {
    TempDir dir;
    const std::string out = (dir / "i.wav").string();
    std::string log;
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " wav " + Quote(SampleFile("i_msmpeg4v2_videoonly.asf")) + " -o " + Quote(out), &log), 1);
    EXPECT_NE(log.find("--> 找不到任何待转换的音频流. 正在退出.."), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(out));
}

TEST(AsfToWavSamples, DefaultOutputNameIsBesideTheSource) {
    TempDir dir;
    const auto src = (dir / "clip.wma").string();
    fs::copy_file(SampleFile("c_wmav2.wma"), src);
    std::string log;
    ASSERT_EQ(RunCommand(std::string(MENDERY_CLI) + " wav " + Quote(src), &log), 0) << log;
    EXPECT_TRUE(fs::exists(dir / "clip.wav"));
}
