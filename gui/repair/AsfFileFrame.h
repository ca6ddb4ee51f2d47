#pragma once
// TAsfFileFrame: the options frame of the advanced repair. Every control maps onto one option
// of the TAsfFile engine it owns; it shows the engine's log and progress and answers the
// engine's bad-chunk question through the TBadChunk dialog.
#include <QWidget>
#include <memory>

#include "gui/kit/IToolFrame.h"
#include "repair/AsfFile.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;

namespace mendery::ui {

class QtHost;
class RadioGroup;

class TAsfFileFrame : public QWidget, public IToolFrame {
    Q_OBJECT
public:
    explicit TAsfFileFrame(QWidget* parent = nullptr);
    ~TAsfFileFrame() override;

    QString SourceFileName;

    TAsfFile& Engine();      // created on first need and kept
    QtHost& Host() override { return *host_; }

    void Reset();
    void ResetOptions();
    void EnableOptions(bool enabled);
    void RunRepair();
    // Shows the engine's current options in the controls (after a preset was applied to it).
    void ShowEngineOptions();
    // The output the save dialog proposed: refused (with a message) when it is the source.
    bool AcceptChosenOutput(const QString& path);

    // IToolFrame
    QWidget* Widget() override { return this; }
    void SetSource(const QString& path) override { SourceFileName = path; }
    void SetOutput(const QString& path) override;
    QString Output() const override;
    void Prepare() override { Reset(); }
    void Run() override { RunRepair(); }
    void Abort() override { Engine().Aborted = true; }
    void SetWorkOutput(const QString& path) override { workOutput_ = path; }
    RunEnd LastRunEnd() const override;

    // "消息"
    QCheckBox* WriteDetailBox;
    // " 计算 "
    QCheckBox *FixFileSizeBox, *FixDataSizeBox, *FixTotalTimeBox, *FixPlayTimeBox, *FixChunkCountBox;
    // " 工具 ", and the padding flags under " 填充标记"
    QCheckBox *FixTimeCodesBox, *StripHeaderBox, *StripIndexBox, *CleanHeaderBox;
    QCheckBox *Pad08Box, *Pad10Box, *Pad40Box;
    // What to do with bad chunks, the seekable flag, the live flag, the other flags.
    RadioGroup *BadChunkGroup, *SeekableGroup, *LiveGroup, *OtherFlagsGroup;
    QLineEdit* OutputEdit;
    QToolButton* OutputButton;
    QProgressBar* ProgressBar;
    QPlainTextEdit* LogMemo;

private:
    void BuildOptionBoxes();
    void BuildRadioGroups();
    QHBoxLayout* LayOutOptions();
    void BuildProgressAndLog();
    bool TAsfFile::*OptionOf(const QCheckBox* box) const;
    void OptionBoxClicked(QCheckBox* box);
    void ChooseOutput();
    void DecideForBadChunk(TAsfFile& sender, BadChunkAction& whatToDo, std::int64_t chunkIndex);
    QList<QCheckBox*> CheckBoxes() const;
    QList<RadioGroup*> RadioGroups() const;

    std::unique_ptr<TAsfFile> engine_;
    QtHost* host_;
    QString workOutput_;  // the staged file a run writes; empty: the output edit box's path
};

}  // namespace mendery::ui
