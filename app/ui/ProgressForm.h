#pragma once
// TPProcForm, the small always-on-top window that shows the progress of the codec-list
// transplant after the cutting tool ran, and TFlowHost, the host of the main window's flows
// (basic repair, join): message boxes for messages and questions, the progress window for
// progress, events handled while the tool runs.
#include <QDialog>
#include <QElapsedTimer>
#include <string>
#include <vector>

#include "engine/Host.h"

class QLabel;
class QProgressBar;

namespace mendery::ui {

class TPProcForm : public QDialog {
    Q_OBJECT
public:
    explicit TPProcForm(QWidget* parent = nullptr);
    QProgressBar* ProgressBar1;
    QLabel* Label1;  // percentage
};

class TFlowHost : public IHost {
public:
    explicit TFlowHost(QWidget* owner) : owner_(owner) {}
    ~TFlowHost() override;

    void Log(std::string_view line) override;
    void ClearLog() override {}
    void SetProgressRange(std::int64_t maximum) override;
    void SetProgress(std::int64_t position) override;
    void SetStatus(std::string_view text) override;
    void ProcessMessages() override;
    void Message(std::string_view text, MessageKind kind) override;
    Answer Ask(std::string_view text, Buttons buttons, MessageKind kind) override;

    // Closes the progress window (after a transplant).
    void CloseProgress();
    const std::vector<std::string>& LogLines() const { return log_; }
    TPProcForm* ProgressWindow() const { return progress_; }

private:
    TPProcForm* Progress();
    QWidget* owner_;
    TPProcForm* progress_ = nullptr;
    std::vector<std::string> log_;
    QElapsedTimer sinceEvents_;
    int shift_ = 0;
};

}  // namespace mendery::ui
