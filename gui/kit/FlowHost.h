#pragma once
// The host of the flows that run from a window without a log (basic repair, join, the sample
// maker, the split window's checks and cut): messages and questions are message boxes over the
// window, the codec-list transplant shows its progress in TPProcForm, events run while the
// cutting tool works, and the few log lines these flows write (refusals, a transplant that had
// nothing to copy) go to standard error.
#include <QElapsedTimer>
#include <QPointer>
#include <functional>

#include "asf/Host.h"
#include "gui/kit/PProcForm.h"
#include "gui/kit/ScaledBar.h"

class QWidget;

namespace mendery::ui {

class FlowHost : public IHost {
public:
    // `closing`: the owner's window is being closed; messages then go to standard error and
    // questions are answered Cancel, since no one is there to read them.
    explicit FlowHost(QWidget* owner, std::function<bool()> closing = {});
    ~FlowHost() override;
    FlowHost(const FlowHost&) = delete;
    FlowHost& operator=(const FlowHost&) = delete;

    void Log(std::string_view line) override;
    void ClearLog() override {}
    void SetProgressRange(std::int64_t maximum) override;
    void SetProgress(std::int64_t position) override;
    void SetStatus(std::string_view text) override;
    void ProcessMessages() override;
    // A message or question closes the progress window first: it stays on top and would hide them.
    void Message(std::string_view text, MessageKind kind) override;
    Answer Ask(std::string_view text, Buttons buttons, MessageKind kind) override;

    // Closes the progress window (after a transplant).
    void CloseProgress();
    TPProcForm* ProgressWindow() const { return progress_; }

private:
    TPProcForm* Progress();
    bool Closing() const { return closing_ && closing_(); }

    QPointer<QWidget> owner_;
    std::function<bool()> closing_;
    QPointer<TPProcForm> progress_;
    ScaledBar bar_;
    QElapsedTimer sinceEvents_;
};

}  // namespace mendery::ui
