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
    row = std::clamp(row, kAudioRowRange.min, kAudioRowRange.max);
    AudioFormat = AudioFormatRow(row);
    return row;
}

void TMediaEncoder::UpdateTotal() {
    if (c_.AudioFormatPanel.empty() || c_.VideoBitratePanel.empty()) return;
    const std::int64_t video = std::stoll(c_.VideoBitratePanel);
    c_.TotalBitratePanel = std::to_string((video + AudioFormat.Bitrate) / 1024) + " kbps";
}

void TMediaEncoder::SetAudioRow(int position) {
    c_.AudioRowBar = std::clamp(position, kAudioRowRange.min, kAudioRowRange.max);
    SelectAudioFormat(c_.AudioRowBar);
    c_.AudioFormatPanel = AudioFormatText(AudioFormat);
    UpdateTotal();
    Changed();
}

void TMediaEncoder::SetVideoPercent(int position) {
    c_.VideoPercentBar = std::clamp(position, kVideoPercentRange.min, kVideoPercentRange.max);
    if (!c_.VideoBitratePanel.empty()) {
        c_.VideoBitratePanel = std::to_string(static_cast<std::int64_t>(c_.VideoPercentBar) * BaseVideoBitrate / 100);
        UpdateTotal();
    }
    Changed();
}

void TMediaEncoder::SetQuality(int position) {
    c_.QualityBar = std::clamp(position, kQualityRange.min, kQualityRange.max);
    c_.QualityPanel = std::to_string(c_.QualityBar);
    Changed();
}

void TMediaEncoder::SetFrameRate(int position) {
    c_.FrameRateBar = std::clamp(position, kFrameRateRange.min, kFrameRateRange.max);
    c_.FrameRatePanel = std::to_string(c_.FrameRateBar);
    Changed();
}

void TMediaEncoder::SetEdit1(const std::string& text) {
    c_.OutputPath = text;
    OutFileName = text;
    Changed();
}

bool TMediaEncoder::Prepare(RunButton* startButton) {
    Busy = false;
    startButton_ = startButton;
    host_.ClearLog();
    SetProgress(0);
    SetAudioRow(0);
    SetVideoPercent(kVideoPercentRange.max / 3);
    SetQuality(100);
    SetFrameRate(30);
    c_.EncoderState = "等待中";
    c_.PositionText = "00:00:00.0 / 00:00:00.0";
    c_.RemainingTime = "?";
    c_.OutputSize = "?";
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
    SetAudioRow(row);

    FrameRate = 30;
    AvgTimePerFrame = 333333;
    Quality = 100;
    VideoWidth = info.VideoWidth();
    VideoHeight = info.VideoHeight();
    // Four bits per pixel per second; kept within 32 bits for very large pictures.
    const std::int64_t base = static_cast<std::int64_t>(VideoWidth) * VideoHeight * 4;
    BaseVideoBitrate = VideoBitrate = static_cast<std::int32_t>(std::min<std::int64_t>(base, INT32_MAX));

    c_.SourceSize = FormatSize(FileSizeOf(FileName));
    c_.SourceLength = FormatTenths(SourceLength);
    c_.AudioFormatPanel = AudioFormatText(AudioFormat);
    c_.VideoBitratePanel = std::to_string(VideoBitrate);
    UpdateTotal();
    c_.PictureSize = std::to_string(VideoWidth) + " x " + std::to_string(VideoHeight);
    c_.SourceFourCC = PrintableFourCC(info.VideoFourCC());
    c_.SourceChannels = ChannelsText(SourceChannels);
    c_.SourceSampleRate = std::to_string(SourceSamplesPerSec) + " Hz";
    SetProgressMax(SourceLength < kLongSource ? SourceLength : 1);
    c_.QualityPanel = std::to_string(Quality);
    c_.QualityBar = Quality;
    c_.FrameRatePanel = std::to_string(FrameRate);
    c_.FrameRateBar = FrameRate;
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
