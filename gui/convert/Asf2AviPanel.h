#pragma once
// The AVI converter panel: timing method, quick resync, and the header panel that edits a few
// header values of the finished AVI in place ("升级Avi", "制做DivX"), over TAsf2Avi.
#include "gui/kit/ToolFrame.h"
#include "convert/Asf2Avi.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;

namespace mendery::ui {

class TRadioGroup;

class TAsf2AviPanel : public TToolFrame {
    Q_OBJECT
public:
    explicit TAsf2AviPanel(QWidget* parent = nullptr);
    TAsf2Avi& Engine() { return engine_; }

    void Prepare() override;
    void Run() override;
    void Abort() override { engine_.Aborted = true; }
    TRunEnd LastRunEnd() const override { return RunEndOf(engine_.LastOutcome(), engine_.LastSummary().avChunks); }
    void OutputSettled(TRunEnd end) override;

    QLineEdit *Edit1, *Edit2, *Edit8, *Edit15;
    QSlider* TrackBar1;
    QLabel* Panel7;
    QToolButton* SpeedButton2;
    QPushButton *BitBtn1, *BitBtn2;
    QCheckBox *CheckBox1, *CBQuickReSync;
    TRadioGroup* RGTimingMethod;
    QWidget* HeaderPanel;  // the header values, "编辑Avi文件头(慎用)", "升级Avi", "制做DivX"

private:
    void ShowFields();  // engine's fields and edit mode into the controls
    void ShowFieldValues();  // only the values (while a conversion runs)
    void TakeFields();  // the controls back into the engine's fields
    void CheckBox1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    TAsf2Avi engine_;
};

}  // namespace mendery::ui
