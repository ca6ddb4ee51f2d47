#pragma once
// TMediaEncoder: the re-encoder frame's logic. It reads the source's header to propose the
// settings (audio format row, video bitrate from the picture size, frame rate, quality),
// writes the encoder session file, starts an encoder engine on it and polls the engine from a
// 250 ms timer for its state, position and output size. The controls are plain values here;
// the desktop panel maps them onto widgets and calls the handlers, the command line drives
// them directly.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "convert/AudioFormat.h"
#include "asf/Outcome.h"
#include "convert/EncoderEngine.h"
#include "convert/MediaEncoderSource.h"
#include "convert/SessionFile.h"
#include "asf/Host.h"

namespace mendery {

// The host's run button: the frame switches its caption between "开始" and "停止".
struct RunButton {
    std::string Caption = "开始";
    std::function<void(const std::string&)> OnCaptionChange;
    void SetCaption(const std::string& caption) {
        Caption = caption;
        if (OnCaptionChange) OnCaptionChange(caption);
    }
};

class TMediaEncoder {
public:
    static constexpr int kAutomatic = -1;         // SelectAudioFormat's automatic mode
    static constexpr int kTimerIntervalMs = 250;  // Timer1
    static constexpr std::int32_t kLongSource = 864000;  // 24 hours in tenths: progress maximum 1 from here
    struct Range { int min, max; };
    static constexpr Range kAudioRowRange{0, 33}, kVideoPercentRange{6, 300}, kQualityRange{0, 100}, kFrameRateRange{4, 30};

    // What the frame's controls show.
    struct TControls {
        std::string OutputPath;                     // output path
        std::string EncoderState = "等待中";         // encoder state
        std::string RemainingTime = "?";              // remaining time
        std::string OutputSize = "?";             // estimated, then final, output size
        std::string SourceSize = "0";             // source size
        std::string SourceLength = "00:00:00.0";    // source length
        std::string SourceChannels = "0";             // source channels
        std::string SourceSampleRate = "0";             // source sample rate
        std::string SourceFourCC = "?";             // source video FourCC
        std::string PictureSize = "0 x 0";          // source picture size
        int AudioRowBar = 0, VideoPercentBar = 100, QualityBar = 100, FrameRateBar = 30;
        std::string AudioFormatPanel, VideoBitratePanel, TotalBitratePanel;  // audio format, video bitrate, total bitrate
        std::string QualityPanel = "100", FrameRatePanel = "30";
        std::string PositionText = "00:00:00.0 / 00:00:00.0";  // position / source length
        std::int64_t ProgressMax = 100, ProgressPosition = 0;
        bool PollTimerEnabled = false;
    };

    explicit TMediaEncoder(IHost& host);
    ~TMediaEncoder();
    TMediaEncoder(const TMediaEncoder&) = delete;
    TMediaEncoder& operator=(const TMediaEncoder&) = delete;

    // Published properties.
    std::string FileName, OutFileName;
    std::string SessionFolder;  // where "Mendery.wme" goes; SessionFolderFor("") when empty
    // Creates the encoder of one start; returning null (or throwing) means no encoder is
    // available. Defaults to the built-in FFmpeg engine.
    std::function<std::unique_ptr<IMediaEncoderEngine>()> CreateEncoder;
    // Seconds on a steady clock; elapsed times are measured with it.
    std::function<double()> Clock;
    // Called after every operation that changed what the controls show.
    std::function<void()> OnControlsChanged;

    // State.
    bool Busy = false;
    std::string ProfileName;
    std::int32_t SourceLength = 0;  // tenths of a second
    double StartTime = 0;           // Clock() when the encoder was started
    TAudioFormat AudioFormat;
    std::int32_t FrameRate = 30, AvgTimePerFrame = 333333, Quality = 100;
    std::int32_t VideoWidth = 0, VideoHeight = 0, BaseVideoBitrate = 0, VideoBitrate = 0;
    std::int32_t SourceChannels = 0, SourceSamplesPerSec = 0;

    const TControls& Controls() const { return c_; }
    IMediaEncoderEngine* Encoder() const { return encoder_.get(); }
    std::string SessionPath() const;

    // Resets the frame and reads the source; true when the source's header was read.
    bool Prepare(RunButton* startButton);
    // The run button: starts when its caption is "开始", stops otherwise. Starting throws
    // IoError when the source is not a regular file that can be read, and passes on what the
    // encoder throws while loading, preparing or starting (the frame is idle again then).
    void StartStop();
    // A stop from outside the run button (Ctrl-C, SIGTERM), at any time: during an encode it
    // stops the encoder; before the start it is kept, and the start then encodes nothing.
    void RequestStop();
    bool StopRequested() const { return stopRequested_; }

    // How the last start ended, once the frame is idle again: Done (complete output), Aborted
    // (stopped; the output, if any packet was written, holds what was encoded), Refused (the
    // encoder could not run, or encoded nothing), Failed (the source could not be read or the
    // output not written). After Refused and Failed no output remains.
    Outcome LastOutcome() const { return outcome_; }
    struct EncodeSummary {
        std::int64_t VideoFrames = 0, AudioPackets = 0;  // encoded and written
        std::int64_t OutputSize = 0;                     // bytes of the file kept, 0 when none was
    };
    const EncodeSummary& LastSummary() const { return summary_; }
    // Copies a table row (or, with kAutomatic, the row proposed for the source's audio) into
    // AudioFormat and returns the row.
    int SelectAudioFormat(int row);
    void UpdateTotal();

    // Controls: setting a position runs the control's change handler.
    void SetAudioRow(int position);
    void SetVideoPercent(int position);
    void SetQuality(int position);
    void SetFrameRate(int position);
    void SetEdit1(const std::string& text);
    void Timer1Timer();

private:
    void ReadSource();
    void ShowSource(const MediaSourceInfo& info);
    void Start();
    // The steps of Start: the session's settings from the panel's values (kept in the public
    // fields too), loading the encoder engine (false, after saying so, when there is none),
    // starting it.
    SessionSettings SettingsFromPanel();
    bool LoadEncoder();
    void RunEncoder(const std::string& session);
    void Stop();
    void StoppedBeforeStart();
    void BackToIdle();
    void ShowTick(int runState, const EncoderStatistics& stats);
    void FinishRun();
    void JudgeRun();
    void SetCaption(const std::string& caption);
    void SetProgressMax(std::int64_t maximum);
    void SetProgress(std::int64_t position);
    void Changed();

    IHost& host_;
    TControls c_;
    RunButton* startButton_ = nullptr;
    std::unique_ptr<IMediaEncoderEngine> encoder_;
    std::string encoderLoadError_;  // why the default encoder could not be loaded
    bool stopRequested_ = false;    // used up by the start it cancels or the run it stops
    Outcome outcome_ = Outcome::NotRun;
    EncodeSummary summary_;
};

// The text of an encoder run state: 1 "开始中" ... 5 "已停止", others "未知".
std::string RunStateText(int runState);

}  // namespace mendery
