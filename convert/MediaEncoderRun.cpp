// TMediaEncoder: starting and stopping the encoder, and the timer that polls it.
#include <cmath>

#include "convert/MediaEncoder.h"
#include "engine/BinaryFile.h"
#include "engine/Format.h"

namespace mendery {

void TMediaEncoder::StartStop() {
    if (!startButton_) return;
    if (startButton_->Caption == "开始") Start();
    else Stop();
}

void TMediaEncoder::Start() {
    if (FileName.empty()) return;
    OutFileName = c_.Edit1;
    if (OutFileName.empty()) return;

    VideoBitrate = static_cast<std::int32_t>(std::stol(c_.Panel10));  // not a number: the error reaches the host
    Quality = c_.TrackBar3;
    FrameRate = c_.TrackBar4;
    AvgTimePerFrame = AvgTimePerFrameFor(FrameRate);
    TSessionSettings s;
    s.SourcePath = FileName;
    s.OutputPath = OutFileName;
    s.ProfileName = ProfileName.empty() ? kProfileName : ProfileName;
    s.Audio = AudioFormat;
    s.VideoBitrate = VideoBitrate;
    s.Quality = Quality;
    s.AvgTimePerFrame = AvgTimePerFrame;
    s.VideoWidth = VideoWidth;
    s.VideoHeight = VideoHeight;
    const std::string session = SessionPath();
    SessionFileLock lock(session);  // held until the encoder has loaded the session
    WriteSessionFile(session, s);

    c_.Label3 = "STARTING";
    SetCaption("停止");
    host_.Log("正在安装解码引擎.");
    encoder_.reset();
    try {
        if (CreateEncoder) encoder_ = CreateEncoder();
    } catch (...) {
        encoder_.reset();
    }
    if (!encoder_) {
        const std::string name = "\"Microsoft Media Encoder 7.1\"";
        host_.Message("错误: 找不到解码引擎.\r您必须安装 " + name, MessageKind::Error);
        host_.Log("->找不到解码引擎.");
        host_.Log("安装 " + name);
        c_.Label3 = "等待中";
        SetCaption("开始");
        Changed();
        return;
    }

    c_.Timer1Enabled = true;
    c_.Label4 = "00:00:00.0 / 00:00:00.0";
    c_.Label1 = "?";
    c_.Label25 = "?";
    Changed();
    host_.ProcessMessages();

    encoder_->Load(session);
    encoder_->PrepareToEncode(true);
    for (const auto& note : encoder_->Notes()) host_.Log(note);
    encoder_->Start();
    if (encoder_->RunState() != rsStopped) host_.Log("正在编码...");
    StartTime = Clock();
}

void TMediaEncoder::Stop() {
    host_.Log("正在准备停止...");
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

void TMediaEncoder::ShowTick(int runState, const TEncoderStatistics& stats) {
    c_.Label3 = RunStateText(runState);
    const std::int64_t p = std::llround(stats.EncodingTime * 100);  // tenths of a second
    c_.Label4 = FormatTenths(p) + " / " + FormatTenths(SourceLength);
    const std::int64_t d = std::llround(stats.FileArchiveStats.FileDuration * 10000);  // milliseconds
    const std::int64_t s = std::llround(stats.FileArchiveStats.FileSize * 10000);      // bytes
    // Without a position there is nothing to extrapolate from; the rest of the tick, which
    // notices the end of the run, still goes on.
    if (d > 0 && p > 0) {
        const std::int64_t e = std::llround(Clock() - StartTime);
        c_.Label1 = FormatClock(std::llround(static_cast<double>(e) * SourceLength / static_cast<double>(p)) - e);
        c_.Label25 = FormatSize(std::llround(static_cast<double>(SourceLength) * static_cast<double>(s) * 100.0 /
                                             static_cast<double>(d)));
    }
    SetProgress(p);
}

void TMediaEncoder::FinishRun() {
    c_.Timer1Enabled = false;
    SetCaption("开始");
    c_.Label1 = "00:00:00";
    c_.Label25 = FormatSize(FileSizeOf(OutFileName));
    // A run that ended on an error says so before the closing lines.
    if (const std::string error = encoder_->LastError(); !error.empty()) host_.Log("编码器错误: " + error);
    host_.Log("编码已停止.");
    host_.Log("全部编码时间: " + FormatClock(std::llround(Clock() - StartTime)));
    host_.Log("文件大小: " + FormatSize(FileSizeOf(OutFileName)));
}

}  // namespace mendery
