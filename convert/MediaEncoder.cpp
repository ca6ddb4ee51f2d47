#include "convert/MediaEncoder.h"

#include <algorithm>
#include <chrono>

#include "asf/BinaryFile.h"
#include "asf/Format.h"

namespace mendery {

TMediaEncoder::TMediaEncoder(IHost& host) : host_(host) {
    CreateEncoder = [this] { return LoadEncoderEngine(&encoderLoadError_); };
    Clock = [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
}

TMediaEncoder::~TMediaEncoder() = default;

std::string TMediaEncoder::SessionPath() const {
    return (SessionFolder.empty() ? SessionFolderFor("") : SessionFolder) + "/" + kSessionFileName;
}

void TMediaEncoder::Changed() {
    if (OnControlsChanged) OnControlsChanged();
}

void TMediaEncoder::SetProgressMax(std::int64_t maximum) {
    c_.ProgressMax = maximum;
    host_.SetProgressRange(maximum);
}

void TMediaEncoder::SetProgress(std::int64_t position) {
    c_.ProgressPosition = position;
    host_.SetProgress(position);
}

void TMediaEncoder::SetCaption(const std::string& caption) {
    if (startButton_) startButton_->SetCaption(caption);
}

int TMediaEncoder::SelectAudioFormat(int row) {
    if (row == kAutomatic) row = AutomaticAudioRow(SourceChannels, SourceSamplesPerSec);
    row = std::clamp(row, kTrackBar1.min, kTrackBar1.max);
    AudioFormat = AudioFormatRow(row);
    return row;
}

void TMediaEncoder::UpdateTotal() {
    if (c_.Panel9.empty() || c_.Panel10.empty()) return;
    const std::int64_t video = std::stoll(c_.Panel10);
    c_.Panel13 = std::to_string((video + AudioFormat.Bitrate) / 1024) + " kbps";
}

void TMediaEncoder::SetTrackBar1(int position) {
    c_.TrackBar1 = std::clamp(position, kTrackBar1.min, kTrackBar1.max);
    SelectAudioFormat(c_.TrackBar1);
    c_.Panel9 = AudioFormatText(AudioFormat);
    UpdateTotal();
    Changed();
}

void TMediaEncoder::SetTrackBar2(int position) {
    c_.TrackBar2 = std::clamp(position, kTrackBar2.min, kTrackBar2.max);
    if (!c_.Panel10.empty()) {
        c_.Panel10 = std::to_string(static_cast<std::int64_t>(c_.TrackBar2) * BaseVideoBitrate / 100);
        UpdateTotal();
    }
    Changed();
}

void TMediaEncoder::SetTrackBar3(int position) {
    c_.TrackBar3 = std::clamp(position, kTrackBar3.min, kTrackBar3.max);
    c_.Panel11 = std::to_string(c_.TrackBar3);
    Changed();
}

void TMediaEncoder::SetTrackBar4(int position) {
    c_.TrackBar4 = std::clamp(position, kTrackBar4.min, kTrackBar4.max);
    c_.Panel12 = std::to_string(c_.TrackBar4);
    Changed();
}

void TMediaEncoder::SetEdit1(const std::string& text) {
    c_.Edit1 = text;
    OutFileName = text;
    Changed();
}

bool TMediaEncoder::Prepare(RunButton* startButton) {
    Busy = false;
    startButton_ = startButton;
    host_.ClearLog();
    SetProgress(0);
    SetTrackBar1(0);
    SetTrackBar2(kTrackBar2.max / 3);
    SetTrackBar3(100);
    SetTrackBar4(30);
    c_.Label3 = "等待中";
    c_.Label4 = "00:00:00.0 / 00:00:00.0";
    c_.Label1 = "?";
    c_.Label25 = "?";
    SetProgress(0);
    Changed();

    host_.Log("正在读取源文件信息...");
    auto info = ReadMediaSource(FileName, host_);  // an open error reaches the host
    if (!info) {
        host_.Log("--> 不能读取源文件信息.");
        return false;
    }
    ShowSource(*info);
    host_.Log("读取源文件信息. 准备开始编码!");
    return true;
}

namespace {
// The compression code as the label shows it: its four characters, unprintable bytes left out.
std::string PrintableFourCC(const std::string& fourcc) {
    std::string out;
    for (char ch : fourcc)
        if (ch >= 0x20 && ch < 0x7F) out += ch;
    return out;
}

std::string ChannelsText(std::int32_t channels) {
    if (channels == 1) return "1 (Mono)";
    if (channels == 2) return "2 (立体声)";
    return std::to_string(channels);
}
}  // namespace

void TMediaEncoder::ShowSource(const MediaSourceInfo& info) {
    ProfileName = kProfileName;
    SourceLength = info.SourceLengthTenths();

    SourceChannels = info.AudioChannels();
    SourceSamplesPerSec = info.AudioSamplesPerSec();
    AudioFormat.SamplesPerSec = SourceSamplesPerSec;
    AudioFormat.Channels = SourceChannels;
    AudioFormat.BlockAlign = info.AudioBlockAlign();
    const int row = SelectAudioFormat(kAutomatic);
    SetTrackBar1(row);

    FrameRate = 30;
    AvgTimePerFrame = 333333;
    Quality = 100;
    VideoWidth = info.VideoWidth();
    VideoHeight = info.VideoHeight();
    // Four bits per pixel per second; kept within 32 bits for very large pictures.
    const std::int64_t base = static_cast<std::int64_t>(VideoWidth) * VideoHeight * 4;
    BaseVideoBitrate = VideoBitrate = static_cast<std::int32_t>(std::min<std::int64_t>(base, INT32_MAX));

    c_.Label22 = FormatSize(FileSizeOf(FileName));
    c_.Label29 = FormatTenths(SourceLength);
    c_.Panel9 = AudioFormatText(AudioFormat);
    c_.Panel10 = std::to_string(VideoBitrate);
    UpdateTotal();
    c_.Label9 = std::to_string(VideoWidth) + " x " + std::to_string(VideoHeight);
    c_.Label10 = PrintableFourCC(info.VideoFourCC());
    c_.Label15 = ChannelsText(SourceChannels);
    c_.Label16 = std::to_string(SourceSamplesPerSec) + " Hz";
    SetProgressMax(SourceLength < kLongSource ? SourceLength : 1);
    c_.Panel11 = std::to_string(Quality);
    c_.TrackBar3 = Quality;
    c_.Panel12 = std::to_string(FrameRate);
    c_.TrackBar4 = FrameRate;
    Changed();
}

std::string RunStateText(int runState) {
    switch (runState) {
        case rsStarting: return "开始中";
        case rsRunning: return "运行中";
        case rsPaused: return "暂停";
        case rsStopping: return "停止中";
        case rsStopped: return "已停止";
        default: return "未知";
    }
}

}  // namespace mendery
