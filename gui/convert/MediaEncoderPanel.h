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

class TMediaEncoderPanel : public TToolFrame {
    Q_OBJECT
public:
    explicit TMediaEncoderPanel(QWidget* parent = nullptr);
    ~TMediaEncoderPanel() override;
    TMediaEncoder& Engine() { return *engine_; }

    // The host's run button, whose caption the encoder switches between "开始" and "停止".
    void SetRunButton(QPushButton* button) { runButton_ = button; }

    void Prepare() override;
    // The run button: starts an encode into a staged file beside the output, or stops it.
    // Errors of the start are thrown to the dialog's error display.
    void Run() override;
    void Abort() override { Run(); }
    void SetOutput(const QString& path) override;
    TRunEnd LastRunEnd() const override { return lastRunEnd_; }
    bool Encoding() const { return engine_->Controls().Timer1Enabled; }
    // Where the encoder plugin is looked for (the program's folder).
    QString EncoderFolder;
    // Closing the dialog during an encode stops it first, so the encoder ends its file properly.
    void StopEncoding();

    QLabel *Label3, *Label1, *Label25, *Label22, *Label29, *Label15, *Label16, *Label10, *Label9;
    QLabel *Panel9, *Panel10, *Panel11, *Panel12, *Panel13;
    QSlider *TrackBar1, *TrackBar2, *TrackBar3, *TrackBar4;
    QTimer* Timer1;

private:
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
    TRunEnd lastRunEnd_ = TRunEnd::Nothing;
    TRunButton startButton_;
    QPushButton* runButton_ = nullptr;
    bool showing_ = false;
};

}  // namespace mendery::ui
