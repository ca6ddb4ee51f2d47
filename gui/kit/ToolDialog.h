#pragma once
// The modal dialog that hosts one tool frame for one file: run/abort, play output, play
// source, delete output and close, the proposed output name, and the output handed back.
#include <QDialog>
#include <QString>
#include <functional>

#include "asf/OutputNames.h"
#include "gui/kit/IToolFrame.h"
#include "gui/kit/RunGuarded.h"

class QPushButton;
class QVBoxLayout;

namespace mendery::ui {

class QtHost;

struct ToolDialogTexts {
    QString formCaption;   // visible until the entry operation sets the title
    QString titlePrefix;
    QString runCaption;    // initial caption of the run button
    QString idleCaption;   // after a run
    QString playOutputCaption;
    OutputFor output;
    bool returnsOutput;
};

class ToolDialog : public QDialog {
    Q_OBJECT
public:
    static inline const QString kAbortCaption = QStringLiteral("中止");

    ToolDialog(const ToolDialogTexts& texts, IToolFrame* frame, QWidget* parent = nullptr);

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
