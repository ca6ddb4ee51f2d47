#pragma once
// TBxRescue: the one-step rescue ("一键修复") of one file. It shows the source, the output, an
// optional reference file, the steps the rescue plans and runs (with their state, note and own
// log), the run's log, the run's overall progress (steps ended out of steps planned) above the
// current step's own, the before/after decode table and the result. The
// diagnosis, the steps, the checks and the staging of the output are the rescue library's.
#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

#include "rescue/Rescue.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QToolButton;
class QTreeWidget;

namespace mendery::ui {

class QtHost;
enum class StepState;

class TBxRescue : public QDialog, private IRescueObserver {
    Q_OBJECT
public:
    explicit TBxRescue(QWidget* parent = nullptr);
    ~TBxRescue() override;

    // Title, source and proposed output; Execute also shows the dialog modally and returns the
    // file the last run kept (empty when none).
    void Setup(const QString& source);
    QString Execute(const QString& source);

    QString ClipwrightPath;  // the cutting tool for the basic repair step; empty when missing

    const QString& Source() const { return source_; }
    QString Output() const;
    void SetOutput(const QString& path);
    // The reference file when its box is checked, else empty.
    QString Reference() const;
    void SetReference(const QString& path);
    bool Running() const { return running_; }
    // The file the last run that kept one wrote (empty when none did).
    QString KeptOutput() const { return kept_; }
    // The last run as it was configured and what it reported (null before the first run).
    const RescueRun* LastRun() const { return run_.get(); }

    void Start();
    void Stop();
    // Deletes the file in the output box, as the other tool windows do.
    void DeleteOutput();
    void done(int result) override;

    enum StepColumn { kTitleColumn, kStateColumn, kNoteColumn };  // of StepList

    QLineEdit *SourceEdit, *OutputEdit, *ReferenceEdit;
    QToolButton *OutputButton, *ReferenceButton;
    QCheckBox* ReferenceBox;
    QTreeWidget* StepList;
    QTabWidget* LogTabs;
    QPlainTextEdit *RunLog, *StepLog;
    QTableWidget* CompareTable;
    QLabel* StepCaption;        // "第 2 步 (共 5 步): 高级修复"
    QProgressBar* OverallBar;   // steps ended out of steps planned
    QProgressBar* ProgressBar;  // the current step
    QLabel *StatusLabel, *ResultLabel;
    QPushButton *StartButton, *StopButton, *PlayOutputButton, *PlaySourceButton, *DeleteOutputButton, *CloseButton;

private:
    QLayout* BuildFileRows();
    QWidget* BuildRunArea();
    QLayout* BuildProgressRows();
    void SetOverall(std::size_t ended);
    QLayout* BuildButtonRow();
    void ChooseOutput();
    bool ChooseReference();
    bool ReadyToRun();
    void RunRescue();
    void ClearRun();
    void ShowEnd(bool outputExisted, bool completed);
    void UpdateControls();
    void SetStepRow(std::size_t index, const RescueStep& step, StepState state);
    void ShowSelectedStep();
    void Refuse(const QString& text);

    // IRescueObserver
    void Diagnosed(const RescueReport& report) override;
    void StepStarted(std::size_t index, const RescueStep& step) override;
    void StepEnded(std::size_t index, const RescueStep& step) override;
    void PlanChanged(const RescueReport& report, std::size_t firstNew, const std::vector<std::string>& diagnosis) override;

    QtHost* host_;
    std::unique_ptr<RescueRun> run_;
    std::vector<RescueStep> steps_;  // as planned, then as each ended
    QString source_, kept_;
    bool running_ = false;
    int pendingDone_ = -1;  // a close requested while the run went on
};

// The entry operation of the command: returns the file the rescue kept, or empty.
QString RescueFile(QWidget* parent, const QString& source, const QString& clipwrightPath);

}  // namespace mendery::ui
