#pragma once
// The re-encoder panel: source facts, encoding options on track bars, the encoder's state,
// remaining time and size, and a 250 ms timer polling the encoder engine, over TMediaEncoder.
#include <memory>

#include "gui/kit/ToolFrame.h"
#include "convert/MediaEncoder.h"
#include "asf/StagedOutput.h"

class QPushButton;
class QSlider;
class QTimer;

namespace mendery::ui {

class MediaEncoderPanel : public ToolFrame {
    Q_OBJECT
public:
    explicit MediaEncoderPanel(QWidget* parent = nullptr);
    ~MediaEncoderPanel() override;
    TMediaEncoder& Engine() { return *engine_; }

    // The host's run button, whose caption the encoder switches between "开始" and "停止".
    void SetRunButton(QPushButton* button) { runButton_ = button; }

    void Prepare() override;
    // The run button: starts an encode into a staged file beside the output, or stops it.
    // Errors of the start are thrown to the dialog's error display.
    void Run() override;
    void Abort() override { Run(); }
    void SetOutput(const QString& path) override;
    RunEnd LastRunEnd() const override { return lastRunEnd_; }
    bool Encoding() const { return engine_->Controls().PollTimerEnabled; }
    // Where the encoder plugin is looked for (the program's folder).
    QString EncoderFolder;
    // Closing the dialog during an encode stops it first, so the encoder ends its file properly.
    void StopEncoding();

    // The encoder's state, remaining time and estimated size.
    QLabel *EncoderStateLabel, *RemainingTimeLabel, *EstimatedSizeLabel;
    // The source's facts.
    QLabel *SourceSizeLabel, *SourceLengthLabel, *ChannelsLabel, *SampleRateLabel, *VideoCodecLabel, *FrameSizeLabel;
    // The encoding options and the values they stand for.
    QSlider *AudioBitrateTrack, *VideoBitrateTrack, *QualityTrack, *FrameRateTrack;
    QLabel *AudioFormatPanel, *VideoBitratePanel, *QualityPanel, *FrameRatePanel, *TotalBitratePanel;
    QTimer* PollTimer;  // polls the encoder while it runs

private:
    QWidget* BuildEncoderGroup();
    QWidget* BuildSourceGroup();
    QWidget* BuildOptionsGroup();
    void ConnectControls();
    void ShowControls();
    void Start();
    void Stop();
    // The encode has ended (or never began): its file replaces the output or is thrown away.
    void SettleOutput();
    std::unique_ptr<IMediaEncoderEngine> CreateEncoder();
    std::unique_ptr<TMediaEncoder> engine_;
    std::unique_ptr<StagedOutput> staged_;
    bool targetExisted_ = false, startFailed_ = false, stopRequested_ = false;
    bool sourceRead_ = false;
    RunEnd lastRunEnd_ = RunEnd::Nothing;
    RunButton startButton_;
    QPushButton* runButton_ = nullptr;
    bool showing_ = false;
};

}  // namespace mendery::ui
