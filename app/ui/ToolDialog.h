#pragma once
// The modal dialog that hosts one tool frame for one file: run/abort, play output, play
// source, delete output and close, the proposed output name, and the output handed back.
#include <QDialog>
#include <QString>

#include "app/OutputNames.h"

class QPushButton;
class QVBoxLayout;

namespace mendery::ui {

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
    bool Running() const { return running_; }

    void done(int result) override;

protected:
    QVBoxLayout* ExtraArea() const { return extra_; }  // above the frame (the preset group)
    IToolFrame* Frame() const { return frame_; }
    virtual void RunClicked();

private:
    void DeleteOutput();

    ToolDialogTexts texts_;
    IToolFrame* frame_;
    QString source_;
    QVBoxLayout* extra_;
    QPushButton *run_, *playOutput_, *playSource_, *deleteOutput_, *close_;
    bool running_ = false;
    int pendingDone_ = -1;  // a close requested while the work ran
};

// Opens a file with the desktop's associated application; the result is ignored.
void ShellOpen(const QString& path);

}  // namespace mendery::ui
