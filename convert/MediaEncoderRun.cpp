// TMediaEncoder: starting and stopping the encoder, and the timer that polls it.
#include <charconv>
#include <climits>
#include <cmath>
#include <stdexcept>

#include "convert/MediaEncoder.h"
#include "asf/BinaryFile.h"
#include "asf/Format.h"

namespace mendery {

namespace {
// The video bitrate panel's text as a number of bits per second.
std::int32_t BitrateFrom(const std::string& text) {
    std::int64_t value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > INT32_MAX)
        throw std::invalid_argument("视频比特率无效: \"" + text + "\"");
    return static_cast<std::int32_t>(value);
}
}  // namespace

void TMediaEncoder::StartStop() {
    if (!startButton_) return;
    if (startButton_->Caption == "开始") Start();
    else Stop();
}

void TMediaEncoder::RequestStop() {
    if (startButton_ && startButton_->Caption != "开始") {
        if (!stopRequested_) Stop();
        return;
    }
    stopRequested_ = true;
}

void TMediaEncoder::Start() {
    if (FileName.empty()) return;
    OutFileName = c_.OutputPath;
    if (OutFileName.empty()) return;
    outcome_ = Outcome::NotRun;
    summary_ = {};
    if (stopRequested_) {
        StoppedBeforeStart();
        return;
    }
    // The encoder opens the source by name: a FIFO or device would block it, a folder fail late.
    if (const std::string why = CheckInputFile(FileName); !why.empty()) {
        outcome_ = Outcome::Failed;
        throw IoError("无法打开源文件 \"" + FileName + "\": " + why);
    }

    const SessionSettings settings = SettingsFromPanel();
    const std::string session = SessionPath();
    SessionFileLock lock(session);  // held until the encoder has loaded the session
    WriteSessionFile(session, settings);

    c_.EncoderState = "STARTING";
    SetCaption("停止");
    host_.Log("正在安装解码引擎.");
    if (!LoadEncoder()) return;

    c_.PollTimerEnabled = true;
    c_.PositionText = "00:00:00.0 / 00:00:00.0";
    c_.RemainingTime = "?";
    c_.OutputSize = "?";
    Changed();
    host_.ProcessMessages();
    // The stop button (or Ctrl-C) while events ran: the encoder is not started at all.
    if (stopRequested_) {
        StoppedBeforeStart();
        return;
    }
    RunEncoder(session);
}

SessionSettings TMediaEncoder::SettingsFromPanel() {
    VideoBitrate = BitrateFrom(c_.VideoBitratePanel);
    Quality = c_.QualityBar;
    FrameRate = c_.FrameRateBar;
    AvgTimePerFrame = AvgTimePerFrameFor(FrameRate);
    SessionSettings s;
    s.SourcePath = FileName;
    s.OutputPath = OutFileName;
    s.ProfileName = ProfileName.empty() ? kProfileName : ProfileName;
    s.Audio = AudioFormat;
    s.VideoBitrate = VideoBitrate;
    s.Quality = Quality;
    s.AvgTimePerFrame = AvgTimePerFrame;
    s.VideoWidth = VideoWidth;
    s.VideoHeight = VideoHeight;
    return s;
}

bool TMediaEncoder::LoadEncoder() {
    encoder_.reset();
    encoderLoadError_.clear();
    try {
        if (CreateEncoder) encoder_ = CreateEncoder();
    } catch (const std::exception& e) {
        encoder_.reset();
        encoderLoadError_ = e.what();
    } catch (...) {
        encoder_.reset();
    }
    if (encoder_) return true;
    const std::string name = "\"Microsoft Media Encoder 7.1\"";
    host_.Message("错误: 找不到解码引擎.\r您必须安装 " + name, MessageKind::Error);
    host_.Log("->找不到解码引擎.");
    host_.Log("安装 " + name);
    if (!encoderLoadError_.empty()) host_.Log("原因: " + encoderLoadError_);
    c_.EncoderState = "等待中";
    SetCaption("开始");
    outcome_ = Outcome::Refused;
    Changed();
    return false;
}

void TMediaEncoder::RunEncoder(const std::string& session) {
    try {
        encoder_->Load(session);
        encoder_->PrepareToEncode(true);
        for (const auto& note : encoder_->Notes()) host_.Log(note);
        encoder_->Start();
    } catch (const IoError&) {
        BackToIdle();
        outcome_ = Outcome::Failed;
        throw;
    } catch (...) {
        BackToIdle();
        outcome_ = Outcome::Refused;
        throw;
    }
    if (encoder_->RunState() != rsStopped) host_.Log("正在编码...");
    StartTime = Clock();
}

void TMediaEncoder::StoppedBeforeStart() {
    c_.PollTimerEnabled = false;
    c_.EncoderState = "已停止";
    SetCaption("开始");
    stopRequested_ = false;
    outcome_ = Outcome::Aborted;
    host_.Log("--> 编码开始前已停止, 没有生成输出文件.");
    host_.Log("编码已停止.");
    Changed();
}

void TMediaEncoder::BackToIdle() {
    c_.PollTimerEnabled = false;
    c_.EncoderState = "等待中";
    SetCaption("开始");
    stopRequested_ = false;
    Changed();
}

void TMediaEncoder::Stop() {
    host_.Log("正在准备停止...");
    stopRequested_ = true;
    if (encoder_) encoder_->Stop();
}

void TMediaEncoder::Timer1Timer() {
    if (Busy) return;
    Busy = true;
    try {
        if (encoder_) {
            const int state = encoder_->RunState();
            ShowTick(state, encoder_->Statistics());
            if (state == rsStopped) FinishRun();
            Changed();
        }
    } catch (...) {
        // A failed tick is skipped; the next one tries again.
    }
    Busy = false;
}

void TMediaEncoder::ShowTick(int runState, const EncoderStatistics& stats) {
    c_.EncoderState = RunStateText(runState);
    const std::int64_t p = std::llround(stats.EncodingTime * 100);  // tenths of a second
    c_.PositionText = FormatTenths(p) + " / " + FormatTenths(SourceLength);
    const std::int64_t d = std::llround(stats.FileArchiveStats.FileDuration * 10000);  // milliseconds
    const std::int64_t s = std::llround(stats.FileArchiveStats.FileSize * 10000);      // bytes
    // Without a position there is nothing to extrapolate from; the rest of the tick, which
    // notices the end of the run, still goes on.
    if (d > 0 && p > 0) {
        const std::int64_t e = std::llround(Clock() - StartTime);
        c_.RemainingTime = FormatClock(std::llround(static_cast<double>(e) * SourceLength / static_cast<double>(p)) - e);
        c_.OutputSize = FormatSize(std::llround(static_cast<double>(SourceLength) * static_cast<double>(s) * 100.0 /
                                             static_cast<double>(d)));
    }
    SetProgress(p);
}

void TMediaEncoder::FinishRun() {
    c_.PollTimerEnabled = false;
    SetCaption("开始");
    c_.RemainingTime = "00:00:00";
    JudgeRun();
    const bool kept = summary_.OutputSize > 0;
    c_.OutputSize = FormatSize(summary_.OutputSize);
    host_.Log("编码已停止.");
    host_.Log("全部编码时间: " + FormatClock(std::llround(Clock() - StartTime)));
    if (kept) host_.Log("文件大小: " + FormatSize(summary_.OutputSize));
}

void TMediaEncoder::JudgeRun() {
    const EncoderOutput written = encoder_->Written();
    summary_.VideoFrames = written.VideoFrames;
    summary_.AudioPackets = written.AudioPackets;
    const bool stopped = stopRequested_;
    stopRequested_ = false;
    // A run that ended on an error, or wrote no packet, leaves no output (the encoder removes it).
    if (const std::string error = encoder_->LastError(); !error.empty()) {
        host_.Log("编码器错误: " + error);
        host_.Log("--> 编码失败, 未保留输出文件.");
        outcome_ = encoder_->LastErrorIsIo() ? Outcome::Failed : Outcome::Refused;
        return;
    }
    if (written.Packets() == 0) {
        host_.Log("--> 没有编码任何音频或视频数据, 未保留输出文件.");
        outcome_ = stopped ? Outcome::Aborted : Outcome::Refused;
        return;
    }
    outcome_ = stopped ? Outcome::Aborted : Outcome::Done;
    summary_.OutputSize = FileSizeOf(OutFileName);
}

}  // namespace mendery
