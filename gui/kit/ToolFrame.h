#pragma once
// The parts every tool frame shares: a log window, a progress bar, a counter panel, the output
// row with its save dialog, and the Qt host the tool reports through. A frame adds its own
// controls above the output row and runs its logic unit.
#include <QWidget>

#include "gui/kit/OutputRow.h"
#include "gui/kit/IToolFrame.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;
class QVBoxLayout;

namespace mendery::ui {

class QtHost;

struct ToolFrameTexts {
    QString outputEditName;  // the output edit box's object name
    QString outputCaption;   // "输出文件:", "Avi文件:", ...
    SaveDialogTexts save;
};

class ToolFrame : public QWidget, public IToolFrame {
    Q_OBJECT
public:
    ToolFrame(const ToolFrameTexts& texts, QWidget* parent = nullptr);

    QString FileName, OutFileName;

    QPlainTextEdit* LogMemo;
    QProgressBar* ProgressBar;
    QLabel* CounterLabel;
    QLineEdit* OutputEdit;
    QToolButton* OutputButton;
    QtHost& Host() override { return *host_; }

    // The output the save dialog proposed: refused (with a message) when it names the source.
    bool AcceptChosenOutput(const QString& path);

    // IToolFrame
    QWidget* Widget() override { return this; }
    void SetSource(const QString& path) override { FileName = path; }
    void SetOutput(const QString& path) override;
    QString Output() const override { return OutFileName; }
    void SetWorkOutput(const QString& path) override { workOutput_ = path; }

protected:
    QVBoxLayout* Options() const { return options_; }   // above the output row
    QVBoxLayout* Counters() const { return counters_; } // beside the counter panel
    // Progress 0 and log cleared.
    void ClearRun();
    // After a run: every pending line shown.
    void FinishRun();
    // The file a run writes: the staged temporary file, or the output itself.
    QString WorkOutput() const { return workOutput_.isEmpty() ? OutFileName : workOutput_; }

private:
    QHBoxLayout* BuildProgressRow();
    void BuildLogMemo();
    void ChooseOutput();
    SaveDialogTexts save_;
    QString workOutput_;
    QVBoxLayout* options_;
    QVBoxLayout* counters_;
    QtHost* host_;
};

}  // namespace mendery::ui
