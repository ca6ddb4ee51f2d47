#pragma once
// ToolRunForm, the window shown while the cutting tool works: its progress and a stop
// button; and the runner that shows it around every run of the tool.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "asf/Host.h"
#include "launch/ProcessRunner.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace mendery::ui {

class ToolRunForm : public QDialog {
    Q_OBJECT
public:
    explicit ToolRunForm(QWidget* parent = nullptr);
    void ShowProgress(std::uint64_t done, std::uint64_t total);
    bool StopPressed() const { return stopPressed_; }
    QProgressBar* ProgressBar;
    QLabel* PercentLabel;
    QPushButton* StopButton;

protected:
    void reject() override {}  // Escape does not hide the window of a running tool

private:
    bool stopPressed_ = false;
};

// Runs the cutting tool for a flow of `owner`: ToolRunForm shows while it runs. Its stop
// button ends the run like Ctrl-C; `closing` (the owner's window is being closed) ends it like
// a termination request, and counts as a stop for the rest of the flow.
ToolRunner DesktopToolRunner(IHost& host, QWidget* owner, const std::string& program, RunWording wording,
                             std::function<bool()> closing);

}  // namespace mendery::ui
