#pragma once
// The modal dialog that hosts one tool frame for one file: run/abort, play output, play
// source, delete output and close, the proposed output name, and the output handed back.
#include <QDialog>
#include <QString>
#include <functional>

#include "asf/OutputNames.h"
#include "gui/kit/RunEnd.h"

class QPushButton;
class QVBoxLayout;

namespace mendery {
class StagedOutput;
}

namespace mendery::ui {

class TQtHost;

// What a dialog needs of the frame it hosts.
class IToolFrame {
public:
    virtual ~IToolFrame() = default;
    virtual QWidget* Widget() = 0;
    virtual void SetSource(const QString& path) = 0;
    virtual void SetOutput(const QString& path) = 0;  // into the output path and its edit box
    virtual QString Output() const = 0;               // as the output edit box shows it now
    virtual void Prepare() = 0;                       // Reset (or Prepare)
    virtual void Run() = 0;                           // returns when done or aborted
    virtual void Abort() = 0;                         // sets the abort request
    virtual TQtHost& Host() = 0;
    // Where the next run writes: the staged temporary file beside the output (empty: the
    // output itself). The output edit box keeps showing the output.
    virtual void SetWorkOutput(const QString& path) = 0;
    // How the last run ended: decides whether its file replaces the output.
    virtual TRunEnd LastRunEnd() const = 0;
    // After the run's file was put in place (or thrown away): what the frame does later with
    // "its" output (the AVI header edits) concerns the output itself.
    virtual void OutputSettled(TRunEnd) {}
};

struct ToolDialogTexts {
    QString formCaption;   // visible until the entry operation sets the title
    QString titlePrefix;
    QString runCaption;    // initial caption of the run button
    QString idleCaption;   // after a run
    QString playOutputCaption;
    OutputFor output;
    bool returnsOutput;
};

class TToolDialog : public QDialog {
    Q_OBJECT
public:
    static inline const QString kAbortCaption = QStringLiteral("中止");

    TToolDialog(const ToolDialogTexts& texts, IToolFrame* frame, QWidget* parent = nullptr);

    // The entry operation: title, source, proposed output, prepare, show modally. Returns the
    // output path as the frame shows it at the end (empty for tools that write no ASF file).
    QString Execute(const QString& source);
    // The same steps without showing the dialog (tests drive the shown dialog themselves).
    void Setup(const QString& source);

    QPushButton* RunButton() const { return run_; }
    const QString& Source() const { return source_; }
    IToolFrame* Frame() const { return frame_; }
    bool Running() const { return running_; }

    void done(int result) override;

protected:
    QVBoxLayout* ExtraArea() const { return extra_; }  // above the frame (the preset group)
    virtual void RunClicked();

private:
    void RunStaged();
    void DeleteOutput();

    ToolDialogTexts texts_;
    IToolFrame* frame_;
    QString source_;
    QVBoxLayout* extra_;
    QPushButton *run_, *playOutput_, *playSource_, *deleteOutput_, *close_;
    bool running_ = false;
    int pendingDone_ = -1;  // a close requested while the work ran
};

// Opens a file with the desktop's associated application. A file that does not exist does
// nothing visible; when the desktop cannot open an existing one, the user is told which file
// and why. False when nothing was opened.
bool ShellOpen(QWidget* owner, const QString& path);

// The error display of a tool's run: "错误在 \"path\"" and the reason, in a message box.
QString ErrorAtText(const QString& path, const QString& reason);
// Runs `work`; an exception out of it goes to the error display and the window goes on.
// Returns false when one did.
bool RunGuarded(QWidget* owner, const QString& path, const std::function<void()>& work);

// Writes a tool's output under a temporary name beside `target` and puts it in place when the
// run produced a result: `run` gets the temporary path and returns how the run ended. A run
// that failed, was declined or wrote no media leaves an existing `target` exactly as it was;
// a stopped run's partial output is kept and the log says so. Errors (the folder cannot be
// written, the rename fails) are thrown as IoError.
TRunEnd RunStagedOutput(TQtHost& log, const QString& target, const std::function<TRunEnd(const QString&)>& run);
// The end of a staged run that finished on its own time (the re-encoder): commits or discards
// `staged` as RunStagedOutput does, with the same log lines.
void SettleStagedOutput(TQtHost& log, StagedOutput& staged, TRunEnd end, bool targetExisted);

}  // namespace mendery::ui
