#pragma once
// The split window's host: its messages and questions are message boxes over the window, the
// codec-list copy after a cut shows its progress in a small always-on-top window without
// buttons, and the few log lines the tools write (a transplant that had nothing to copy) go to
// standard error, since the window has no log.
#include <QElapsedTimer>
#include <QPointer>

#include "asf/Host.h"

class QDialog;
class QLabel;
class QProgressBar;
class QWidget;

namespace mendery::ui {

class TCutHost : public IHost {
public:
    explicit TCutHost(QWidget* owner) : owner_(owner) {}
    ~TCutHost() override;

    void Log(std::string_view line) override;
    void ClearLog() override {}
    void SetProgressRange(std::int64_t maximum) override;
    void SetProgress(std::int64_t position) override;
    void SetStatus(std::string_view) override {}
    void ProcessMessages() override;
    void Message(std::string_view text, MessageKind kind) override;
    Answer Ask(std::string_view text, Buttons buttons, MessageKind kind) override;

    // Closes the progress window (after the codec-list copy).
    void EndProgress();
    QDialog* ProgressWindow() const { return progress_; }

private:
    void EnsureProgressWindow();

    QPointer<QWidget> owner_;
    QDialog* progress_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* percent_ = nullptr;
    std::int64_t maximum_ = 0;
    int shift_ = 0;
    QElapsedTimer sinceEvents_;
};

}  // namespace mendery::ui
