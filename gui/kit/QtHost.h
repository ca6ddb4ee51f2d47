#pragma once
// The desktop program's host: a tool's log goes to a green-on-black memo, its progress to a
// progress bar, its questions to message boxes. Log lines are appended in batches and pending
// events run a few dozen times a second, so a pass that logs every chunk stays fast and the
// window (and its stop button) stays responsive.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "asf/Host.h"
#include "gui/kit/ScaledBar.h"
#include "gui/kit/Text.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

namespace mendery::ui {

// The host's message boxes, shared by every window that hosts a tool.
void ShowHostMessage(QWidget* owner, std::string_view text, MessageKind kind);
Answer AskHostQuestion(QWidget* owner, std::string_view text, Buttons buttons, MessageKind kind);

// Makes a memo look and behave like a tool's log window.
void StyleLogMemo(QPlainTextEdit* memo);

class QtHost : public QObject, public IHost {
public:
    // Lines kept in the memo; older ones roll out, the full log stays available to save.
    static constexpr int kMemoLineCap = 20000;
    // While a tool runs, a batch longer than this shows only its last lines (after a "…" line):
    // nobody reads thousands of lines a second, and laying them out would slow the tool down.
    // The run's final Flush shows the whole tail again.
    static constexpr int kLiveBatchLines = 200;

    QtHost(QPlainTextEdit* memo, QProgressBar* bar, QLabel* status = nullptr, QObject* parent = nullptr);

    void Log(std::string_view line) override;
    void ClearLog() override;
    void SetProgressRange(std::int64_t maximum) override;
    void SetProgress(std::int64_t position) override;
    void SetStatus(std::string_view text) override;
    void ProcessMessages() override;
    void Message(std::string_view text, MessageKind kind) override;
    Answer Ask(std::string_view text, Buttons buttons, MessageKind kind) override;

    // Run whenever the tool lets events run or the log is flushed: a panel shows the state
    // its tool has reached so far.
    std::function<void()> OnEvents;
    // A line added to the next message box only (what is missing on this platform).
    void AddNoteToNextMessage(const std::string& line) { note_ = line; }

    // Shows every pending line now and, when a run skipped lines, the complete tail of the log
    // (after a run, before a question).
    void Flush();
    const std::vector<std::string>& FullLog() const { return fullLog_; }
    bool SaveFullLog(const QString& path) const;

private:
    QWidget* Owner() const;
    void ShowLogMenu(const QPoint& pos);
    void FlushLive();
    void ShowTail();
    void ShowStatus();

    QPlainTextEdit* memo_;
    ScaledBar bar_;
    QLabel* status_;
    std::vector<std::string> fullLog_;
    std::size_t shown_ = 0;      // lines of fullLog_ handed to the memo so far
    bool skipped_ = false;       // a live flush left lines out
    bool flushQueued_ = false;
    std::string pendingStatus_;  // the status text last set, shown when events run
    bool statusQueued_ = false;
    QElapsedTimer sinceEvents_;
    std::string note_;
};

// Runs pending events at most every 30 ms: enough for a responsive window and a stop button,
// cheap enough for loops that call it after every chunk.
void ProcessMessagesThrottled(QElapsedTimer& since);

}  // namespace mendery::ui
