#pragma once
// The AVI converter panel: timing method, quick resync, and the header panel that edits a few
// header values of the finished AVI in place ("升级Avi", "制做DivX"), over TAsf2Avi.
#include "gui/kit/ToolFrame.h"
#include "convert/Asf2Avi.h"

class QCheckBox;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QSlider;

namespace mendery::ui {

class RadioGroup;

class Asf2AviPanel : public ToolFrame {
    Q_OBJECT
public:
    explicit Asf2AviPanel(QWidget* parent = nullptr);
    TAsf2Avi& Engine() { return engine_; }

    void Prepare() override;
    void Run() override;
    void Abort() override { engine_.Aborted = true; }
    RunEnd LastRunEnd() const override { return RunEndOf(engine_.LastOutcome(), engine_.LastSummary().avChunks); }
    void OutputSettled(RunEnd end) override;

    QLineEdit *FrameRateEdit, *VideoHandlerEdit, *CompressionEdit, *AudioFormatTagEdit;
    QSlider* AudioOffsetTrack;
    QLabel* AudioOffsetPanel;
    QToolButton* ResetOffsetButton;
    QPushButton *UpgradeAviButton, *MakeDivXButton;
    QCheckBox *EditHeaderBox, *QuickReSyncBox;
    RadioGroup* TimingMethodGroup;
    QWidget* HeaderPanel;  // the header values, "编辑Avi文件头(慎用)", "升级Avi", "制做DivX"

private:
    QHBoxLayout* BuildTimingRow();
    QWidget* BuildHeaderPanel();
    void BuildHeaderEdits(QWidget* header, QGridLayout* grid);
    QHBoxLayout* BuildOffsetRow(QWidget* header);
    QHBoxLayout* BuildHeaderButtons(QWidget* header);
    void ShowFields();  // engine's fields and edit mode into the controls
    void ShowFieldValues();  // only the values (while a conversion runs)
    void TakeFields();  // the controls back into the engine's fields
    void EditHeaderClick();
    void UpgradeAviClick();
    void MakeDivXClick();
    TAsf2Avi engine_;
};

}  // namespace mendery::ui
