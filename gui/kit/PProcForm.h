#pragma once
// TPProcForm, the small always-on-top window that shows the progress of the codec-list
// transplant after the cutting tool ran; TToolRunForm, the window shown while the cutting tool
// itself works (its progress and a stop button); and TFlowHost, the host of the main window's
// flows (basic repair, join): message boxes for messages and questions, the progress window
// for progress, events handled while the tool runs.
#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "launch/ProcessRunner.h"
#include "asf/Host.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace mendery::ui {

class TPProcForm : public QDialog {
    Q_OBJECT
public:
    explicit TPProcForm(QWidget* parent = nullptr);
    QProgressBar* ProgressBar1;
    QLabel* Label1;  // percentage
};

class TToolRunForm : public QDialog {
    Q_OBJECT
public:
    explicit TToolRunForm(QWidget* parent = nullptr);
    void ShowProgress(std::uint64_t done, std::uint64_t total);
    bool StopPressed() const { return stopPressed_; }
    QProgressBar* ProgressBar1;
    QLabel* Label1;  // percentage
    QPushButton* StopButton;

protected:
    void reject() override {}  // Escape does not hide the window of a running tool

private:
    bool stopPressed_ = false;
};

// Runs the cutting tool for a flow of `owner`: TToolRunForm shows while it runs. Its stop
// button ends the run like Ctrl-C; `closing` (the owner's window is being closed) ends it like
// a termination request, and counts as a stop for the rest of the flow.
ToolRunner DesktopToolRunner(IHost& host, QWidget* owner, const std::string& program, RunWording wording,
                             std::function<bool()> closing);

class TFlowHost : public IHost {
public:
    // `closing`: the owner's window is being closed; messages then go to the terminal and
    // questions are answered Cancel, since no one is there to read them.
    explicit TFlowHost(QWidget* owner, std::function<bool()> closing = {}) : owner_(owner), closing_(std::move(closing)) {}
    ~TFlowHost() override;

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
    const std::vector<std::string>& LogLines() const { return log_; }
    TPProcForm* ProgressWindow() const { return progress_; }

private:
    TPProcForm* Progress();
    bool Closing() const { return closing_ && closing_(); }
    QWidget* owner_;
    std::function<bool()> closing_;
    TPProcForm* progress_ = nullptr;
    std::vector<std::string> log_;
    QElapsedTimer sinceEvents_;
    int shift_ = 0;
};

}  // namespace mendery::ui
