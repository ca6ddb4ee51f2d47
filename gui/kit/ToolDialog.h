#pragma once
// The modal dialog that hosts one tool frame for one file: run/abort, play output, play
// source, delete output and close, the proposed output name, and the output handed back.
#include <QDialog>
#include <QString>
#include <functional>

#include "asf/OutputNames.h"
#include "gui/kit/RunEnd.h"
#include "gui/kit/RunGuarded.h"

class QPushButton;
class QVBoxLayout;

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

}  // namespace mendery::ui
