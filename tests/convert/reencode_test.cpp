// The re-encoder frame's logic (reading the source, the controls, start and stop, the timer's
// texts) driven through a recording host and a scripted encoder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "convert/MediaEncoder.h"
#include "asf/AsfObjects.h"
#include "asf/BinaryFile.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

// An encoder whose state and statistics the test sets.
struct ScriptedEncoder : IMediaEncoderEngine {
    struct Script {
        int state = rsRunning;
        EncoderStatistics stats;
        std::string loaded, error;
        bool errorIsIo = false;
        EncoderOutput written{10, 20};
        std::function<void()> onPrepare;
        int starts = 0, stops = 0;
    };
    explicit ScriptedEncoder(std::shared_ptr<Script> s) : script(std::move(s)) {}
    void Load(const std::string& path) override { script->loaded = path; }
    void PrepareToEncode(bool) override {
        if (script->onPrepare) script->onPrepare();
    }
    void Start() override { ++script->starts; }
    void Stop() override { ++script->stops; }
    int RunState() const override { return script->state; }
    EncoderStatistics Statistics() const override { return script->stats; }
    std::string LastError() const override { return script->error; }
    bool LastErrorIsIo() const override { return script->errorIsIo; }
    EncoderOutput Written() const override { return script->written; }
    std::shared_ptr<Script> script;
};

struct Frame {
    RecordingHost host;
    TMediaEncoder frame{host};
    RunButton button;
    TempDir dir;
    double now = 1000;
    std::shared_ptr<ScriptedEncoder::Script> script = std::make_shared<ScriptedEncoder::Script>();

    Frame() {
        frame.SessionFolder = dir.path().string();
        frame.Clock = [this] { return now; };
        frame.CreateEncoder = [this] { return std::make_unique<ScriptedEncoder>(script); };
    }
    bool Prepare(const std::string& source) {
        frame.FileName = source;
        frame.SetEdit1((dir / "out.wmv").string());
        return frame.Prepare(&button);
    }
};

// Offset of the file properties object's play duration inside a built file.
std::uint64_t PlayDurationAt(const Bytes& file) {
    const auto walk = WalkHeader(file);
    return walk.Find(guids::FileProperties)->offset + fp::PlayDuration;
}

}  // namespace

TEST(MediaEncoderPrepare, RealSampleProposesSettingsFromItsHeader) {
    Frame f;
    ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
    EXPECT_EQ(f.host.lines, (std::vector<std::string>{"正在读取源文件信息...", "文件头对象ID正常", "数据对象ID正常",
                                                      "已定位: 文件属性对象", "已定位: 视频流对象", "已定位: 音频流对象",
                                                      "读取源文件信息. 准备开始编码!"}));
    const auto& c = f.frame.Controls();
    EXPECT_EQ(c.AudioRowBar, 27);  // 44,100 Hz stereo
    EXPECT_EQ(c.AudioFormatPanel, "96 kbps, 44100 Hz, 立体声");
    EXPECT_EQ(c.VideoBitratePanel, "307200");  // 320 x 240 x 4
    EXPECT_EQ(c.TotalBitratePanel, "393 kbps");
    EXPECT_EQ(c.PictureSize, "320 x 240");
    EXPECT_EQ(c.SourceFourCC, "WMV2");
    EXPECT_EQ(c.SourceChannels, "2 (立体声)");
    EXPECT_EQ(c.SourceSampleRate, "44100 Hz");
    EXPECT_EQ(c.SourceSize, "947KB");
    // Play duration 18.146 s less the 3,100 ms preroll.
    EXPECT_EQ(f.frame.SourceLength, 150);
    EXPECT_EQ(c.SourceLength, "00:00:15.0");
    EXPECT_EQ(c.ProgressMax, 150);
    EXPECT_EQ(f.host.progressMax, 150);
    EXPECT_EQ(c.VideoPercentBar, 100);
    EXPECT_EQ(c.FrameRateBar, 30);
    EXPECT_EQ(c.FrameRatePanel, "30");
    EXPECT_EQ(c.QualityPanel, "100");

    // Half the video bitrate: 153,600, total (153,600 + 96,040) div 1024.
    f.frame.SetVideoPercent(50);
    EXPECT_EQ(c.VideoBitratePanel, "153600");
    EXPECT_EQ(c.TotalBitratePanel, "243 kbps");
    f.frame.SetAudioRow(0);
    EXPECT_EQ(c.AudioFormatPanel, "0 kbps, 8000 Hz, Mono");
    EXPECT_EQ(c.TotalBitratePanel, "150 kbps");  // (153,600 + 128) div 1024
    f.frame.SetFrameRate(99);          // clamped to the bar's range
    EXPECT_EQ(c.FrameRatePanel, "30");
    f.frame.SetVideoPercent(1);
    EXPECT_EQ(c.VideoPercentBar, 6);
}

TEST(MediaEncoderPrepare, VideoOnlySourceProposesRowZeroAndLongSourceLimitsTheProgressBar) {
    Frame f;
    Bytes file = AsfBuilder().VideoStream(1, "MP42").SimplePackets(3).Build();
    PutU64(file, PlayDurationAt(file), 864000ull * 1'000'000);  // exactly 24 hours
    const auto path = (f.dir / "v.asf").string();
    WriteFileBytes(path, file);
    ASSERT_TRUE(f.Prepare(path));
    const auto& c = f.frame.Controls();
    EXPECT_EQ(c.AudioRowBar, 0);
    EXPECT_EQ(c.AudioFormatPanel, "0 kbps, 8000 Hz, Mono");
    EXPECT_EQ(c.SourceChannels, "0");
    EXPECT_EQ(c.SourceSampleRate, "0 Hz");
    EXPECT_EQ(c.SourceFourCC, "MP42");
    EXPECT_FALSE(f.host.HasLine("已定位: 音频流对象"));
    EXPECT_EQ(f.frame.SourceLength, 864000);
    EXPECT_EQ(c.ProgressMax, 1);

    PutU64(file, PlayDurationAt(file), 863999ull * 1'000'000);
    WriteFileBytes(path, file);
    ASSERT_TRUE(f.Prepare(path));
    EXPECT_EQ(c.ProgressMax, 863999);
}

TEST(MediaEncoderPrepare, WrongIdentifiersAndTruncatedHeadersAreReportedNotFilled) {
    Frame f;
    const Bytes good = AsfBuilder().VideoStream(1).AudioStream(2).SimplePackets(3).Build();
    const auto path = (f.dir / "bad.asf").string();

    Bytes wrongHeader = good;
    wrongHeader[0] ^= 0xFF;
    WriteFileBytes(path, wrongHeader);
    EXPECT_FALSE(f.Prepare(path));
    EXPECT_EQ(f.host.lines, (std::vector<std::string>{"正在读取源文件信息...", "无效的文件头对象ID. 正在退出.",
                                                      "--> 不能读取源文件信息."}));
    EXPECT_EQ(f.frame.Controls().PictureSize, "0 x 0");

    Bytes wrongData = good;
    wrongData[HeaderSizeOf(good)] ^= 0xFF;
    WriteFileBytes(path, wrongData);
    EXPECT_FALSE(f.Prepare(path));
    EXPECT_TRUE(f.host.HasLine("文件头对象ID正常"));
    EXPECT_TRUE(f.host.HasLine("无效的数据对象ID. 正在退出."));
    EXPECT_TRUE(f.host.HasLine("--> 不能读取源文件信息."));

    Bytes truncated = good;
    Truncate(truncated, 100);
    WriteFileBytes(path, truncated);
    EXPECT_FALSE(f.Prepare(path));
    EXPECT_TRUE(f.host.HasLine("--> 不能读取源文件信息."));

    Bytes huge = good;
    PutU64(huge, 16, 1ull << 40);  // a header size no file of this size can hold
    WriteFileBytes(path, huge);
    EXPECT_FALSE(f.Prepare(path));
    EXPECT_TRUE(f.host.HasLine("--> 不能读取源文件信息."));

    f.frame.FileName = (f.dir / "missing.asf").string();
    EXPECT_THROW(f.frame.Prepare(&f.button), IoError);  // an open error reaches the host
}

TEST(MediaEncoderRun, StartWritesTheSessionAndTheTimerShowsPositionRemainingAndSize) {
    Frame f;
    ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
    f.frame.SourceLength = 1000;  // 100 s
    f.frame.SetFrameRate(25);
    f.frame.StartStop();
    EXPECT_EQ(f.button.Caption, "停止");
    EXPECT_TRUE(f.frame.Controls().PollTimerEnabled);
    EXPECT_EQ(f.script->loaded, f.frame.SessionPath());
    EXPECT_EQ(f.script->starts, 1);
    EXPECT_TRUE(f.host.HasLine("正在安装解码引擎."));
    EXPECT_TRUE(f.host.HasLine("正在编码..."));
    const Bytes session = ReadFileBytes(f.frame.SessionPath());
    EXPECT_NE(std::string(session.begin(), session.end()).find("avgtimeperframe=\"400000\">\r\n"), std::string::npos);

    // 10 s after the start: position 25 s, 25 s written in 1,000,000 bytes.
    f.now += 10;
    f.script->stats.EncodingTime = 2.5;                       // × 100 = 250 tenths
    f.script->stats.FileArchiveStats.FileDuration = 2.5;      // × 10,000 = 25,000 ms
    f.script->stats.FileArchiveStats.FileSize = 100;          // × 10,000 = 1,000,000 bytes
    f.frame.Timer1Timer();
    const auto& c = f.frame.Controls();
    EXPECT_EQ(c.EncoderState, "运行中");
    EXPECT_EQ(c.PositionText, "00:00:25.0 / 00:01:40.0");
    EXPECT_EQ(c.RemainingTime, "00:00:30");  // 10 × 1000 / 250 − 10
    EXPECT_EQ(c.OutputSize, "3.8MB");    // 1000 × 1,000,000 × 100 / 25,000 = 4,000,000 bytes
    EXPECT_EQ(f.host.progress, 250);

    f.frame.StartStop();
    EXPECT_EQ(f.script->stops, 1);
    EXPECT_TRUE(f.host.HasLine("正在准备停止..."));
    f.script->state = rsStopping;
    f.frame.Timer1Timer();
    EXPECT_EQ(c.EncoderState, "停止中");
    EXPECT_TRUE(c.PollTimerEnabled);

    WriteFileBytes(f.frame.OutFileName, Bytes(2048, 0));
    f.now += 2.4;
    f.script->state = rsStopped;
    f.frame.Timer1Timer();
    EXPECT_FALSE(c.PollTimerEnabled);
    EXPECT_EQ(f.button.Caption, "开始");
    EXPECT_EQ(c.EncoderState, "已停止");
    EXPECT_EQ(c.RemainingTime, "00:00:00");
    EXPECT_EQ(c.OutputSize, "2KB");
    const auto n = f.host.lines.size();
    ASSERT_GE(n, 3u);
    EXPECT_EQ(f.host.lines[n - 3], "编码已停止.");
    EXPECT_EQ(f.host.lines[n - 2], "全部编码时间: 00:00:12");
    EXPECT_EQ(f.host.lines[n - 1], "文件大小: 2KB");
}

TEST(MediaEncoderRun, ZeroPositionSkipsTheEstimatesButStillNoticesTheEnd) {
    Frame f;
    ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
    f.frame.StartStop();
    f.script->stats.FileArchiveStats.FileDuration = 1;
    f.script->stats.FileArchiveStats.FileSize = 1;
    f.frame.Timer1Timer();
    EXPECT_EQ(f.frame.Controls().RemainingTime, "?");
    f.script->state = rsStopped;
    f.script->error = "写入输出文件失败: No space left on device";
    f.frame.Timer1Timer();
    EXPECT_FALSE(f.frame.Controls().PollTimerEnabled);
    EXPECT_TRUE(f.host.HasLine("编码器错误: 写入输出文件失败: No space left on device"));
    EXPECT_TRUE(f.host.HasLine("编码已停止."));
}

TEST(MediaEncoderRun, MissingEncoderGoesBackToIdleAndNothingStartsWithoutPaths) {
    Frame f;
    ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
    f.frame.CreateEncoder = [] { return std::unique_ptr<IMediaEncoderEngine>(); };
    f.frame.StartStop();
    ASSERT_EQ(f.host.messages.size(), 1u);
    EXPECT_EQ(f.host.messages[0], "错误: 找不到解码引擎.\r您必须安装 \"Microsoft Media Encoder 7.1\"");
    EXPECT_TRUE(f.host.HasLine("->找不到解码引擎."));
    EXPECT_TRUE(f.host.HasLine("安装 \"Microsoft Media Encoder 7.1\""));
    EXPECT_EQ(f.frame.Controls().EncoderState, "等待中");
    EXPECT_EQ(f.button.Caption, "开始");
    EXPECT_FALSE(f.frame.Controls().PollTimerEnabled);

    Frame g;
    ASSERT_TRUE(g.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
    g.frame.SetEdit1("");
    g.frame.StartStop();
    EXPECT_EQ(g.script->starts, 0);
    EXPECT_EQ(g.button.Caption, "开始");

    RecordingHost host;
    TMediaEncoder unprepared(host);
    unprepared.StartStop();  // no run button: nothing happens
    EXPECT_TRUE(host.lines.empty());
}

// A stop that comes before the encoder starts (Ctrl-C while the source is read, or the stop
// button while the start lets events run) is kept: the encoder is never started, nothing is
// written, and the run ends stopped.
TEST(MediaEncoderRun, StopBeforeTheEncoderStartsIsKept) {
    {
        Frame f;
        ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
        f.frame.RequestStop();  // the button still reads "开始": kept for the start
        EXPECT_TRUE(f.frame.StopRequested());
        f.frame.StartStop();
        EXPECT_EQ(f.script->starts, 0);
        EXPECT_EQ(f.frame.LastOutcome(), Outcome::Aborted);
        EXPECT_EQ(f.button.Caption, "开始");
        EXPECT_FALSE(f.frame.Controls().PollTimerEnabled);
        EXPECT_TRUE(f.host.HasLine("--> 编码开始前已停止, 没有生成输出文件.")) << f.host.AllLines();
        EXPECT_FALSE(std::filesystem::exists(f.frame.OutFileName));
        // Used up: the next start encodes.
        EXPECT_FALSE(f.frame.StopRequested());
        f.frame.StartStop();
        EXPECT_EQ(f.script->starts, 1);
    }
    {
        Frame f;
        ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
        f.host.onProcessMessages = [&] { f.frame.StartStop(); };  // the stop button, caption "停止"
        f.frame.StartStop();
        EXPECT_EQ(f.script->starts, 0);
        EXPECT_TRUE(f.script->loaded.empty());
        EXPECT_EQ(f.frame.LastOutcome(), Outcome::Aborted);
        EXPECT_TRUE(f.host.HasLine("正在准备停止..."));
        EXPECT_EQ(f.button.Caption, "开始");
    }
}

// How a run ended decides the outcome and what the log says about the output.
TEST(MediaEncoderRun, OutcomeFollowsErrorsWrittenPacketsAndStops) {
    struct Case {
        const char* name;
        std::string error;
        bool io;
        EncoderOutput written;
        bool stop;
        Outcome outcome;
        const char* line;
    };
    const Case cases[] = {
        {"done", "", false, {5, 7}, false, Outcome::Done, "文件大小: 2KB"},
        {"stopped", "", false, {5, 0}, true, Outcome::Aborted, "文件大小: 2KB"},
        {"nothing decodable", "", false, {0, 0}, false, Outcome::Refused,
         "--> 没有编码任何音频或视频数据, 未保留输出文件."},
        {"stopped before a packet", "", false, {0, 0}, true, Outcome::Aborted,
         "--> 没有编码任何音频或视频数据, 未保留输出文件."},
        {"read error", "无法读取源文件 \"x\": 输入/输出错误", true, {5, 7}, false, Outcome::Failed,
         "--> 编码失败, 未保留输出文件."},
        {"encoder error", "编码失败: x", false, {5, 7}, false, Outcome::Refused, "--> 编码失败, 未保留输出文件."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Frame f;
        ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
        f.frame.StartStop();
        if (c.stop) f.frame.StartStop();
        f.script->error = c.error;
        f.script->errorIsIo = c.io;
        f.script->written = c.written;
        f.script->state = rsStopped;
        // The engine leaves a file only for a run with packets and no error.
        if (c.error.empty() && c.written.Packets() > 0) WriteFileBytes(f.frame.OutFileName, Bytes(2048, 0));
        f.frame.Timer1Timer();
        EXPECT_EQ(f.frame.LastOutcome(), c.outcome);
        EXPECT_TRUE(f.host.HasLine(c.line)) << f.host.AllLines();
        EXPECT_EQ(f.host.HasLine("文件大小: 2KB"), c.outcome == Outcome::Done || (c.stop && c.written.Packets() > 0));
        EXPECT_EQ(f.frame.LastSummary().VideoFrames, c.written.VideoFrames);
        EXPECT_EQ(f.frame.LastSummary().AudioPackets, c.written.AudioPackets);
        EXPECT_EQ(f.frame.LastSummary().OutputSize, f.host.HasLine("文件大小: 2KB") ? 2048 : 0);
        EXPECT_TRUE(f.host.HasLine("编码已停止."));
        EXPECT_FALSE(f.frame.StopRequested());
    }
}

// The encoder opens the source by name: a FIFO would block it and a folder fails late, so
// the start refuses them with the reason before anything is written or started.
TEST(MediaEncoderRun, SourceThatIsNotARegularFileIsRefusedBeforeTheStart) {
    Frame f;
    ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
    const auto fifo = (f.dir / "fifo.wmv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& source : {fifo, f.dir.path().string()}) {
        SCOPED_TRACE(source);
        f.frame.FileName = source;
        try {
            f.frame.StartStop();
            ADD_FAILURE() << "no refusal";
        } catch (const IoError& e) {
            EXPECT_NE(std::string(e.what()).find(source == fifo ? "管道" : "文件夹"), std::string::npos) << e.what();
        }
        EXPECT_EQ(f.script->starts, 0);
        EXPECT_FALSE(std::filesystem::exists(f.frame.SessionPath()));
        EXPECT_EQ(f.frame.LastOutcome(), Outcome::Failed);
        EXPECT_EQ(f.button.Caption, "开始");
    }
}

// An encoder that cannot prepare (the output cannot be created, a codec is missing) passes its
// error on, and the frame is idle again, not waiting on a timer for a run that never began.
TEST(MediaEncoderRun, EncoderThatFailsToPrepareLeavesTheFrameIdle) {
    for (const bool io : {true, false}) {
        SCOPED_TRACE(io);
        Frame f;
        ASSERT_TRUE(f.Prepare(SampleFile("a_wmv2_wmav2.wmv")));
        f.script->onPrepare = [io] {
            if (io) throw IoError("无法创建输出文件 \"x\": 没有访问权限");
            throw std::runtime_error("找不到 MPEG-4 v3 视频编码器");
        };
        EXPECT_ANY_THROW(f.frame.StartStop());
        EXPECT_EQ(f.frame.LastOutcome(), io ? Outcome::Failed : Outcome::Refused);
        EXPECT_EQ(f.button.Caption, "开始");
        EXPECT_EQ(f.frame.Controls().EncoderState, "等待中");
        EXPECT_FALSE(f.frame.Controls().PollTimerEnabled);
        EXPECT_EQ(f.script->starts, 0);
    }
}
