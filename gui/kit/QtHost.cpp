#include "gui/kit/QtHost.h"
#include "gui/kit/Widgets.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>
#include <QTimer>
#include <utility>

namespace mendery::ui {

void StyleLogMemo(QPlainTextEdit* memo) {
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setStyleSheet(QStringLiteral("QPlainTextEdit { background-color: #000000; color: #00FF00; }"));
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei Mono"),
                      QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("monospace")});
    font.setPixelSize(12);
    memo->setFont(font);
}

void ProcessMessagesThrottled(QElapsedTimer& since) {
    if (since.isValid() && since.elapsed() < 30) return;
    QCoreApplication::processEvents();
    since.restart();
}

QtHost::QtHost(QPlainTextEdit* memo, QProgressBar* bar, QLabel* status, QObject* parent)
    : QObject(parent), memo_(memo), bar_(bar), status_(status) {
    if (memo_) {
        memo_->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(memo_, &QPlainTextEdit::customContextMenuRequested, this, &QtHost::ShowLogMenu);
        memo_->setMaximumBlockCount(kMemoLineCap + 1);
    }
}

QWidget* QtHost::Owner() const {
    if (memo_) return memo_->window();
    if (bar_.Bar()) return bar_.Bar()->window();
    return QApplication::activeWindow();
}

namespace {
QString Joined(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) text += '\n';
        text += lines[i];
    }
    return ToQt(text);
}
}  // namespace

void QtHost::Log(std::string_view line) {
    fullLog_.emplace_back(line);
    // A tool that logs without ever running events still gets its lines shown when it returns.
    if (!flushQueued_ && memo_) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, [this] { FlushLive(); });
    }
}

void QtHost::ClearLog() {
    fullLog_.clear();
    shown_ = 0;
    skipped_ = false;
    if (memo_) memo_->clear();
}

void QtHost::FlushLive() {
    flushQueued_ = false;
    if (!memo_ || shown_ >= fullLog_.size()) return;
    std::size_t from = shown_;
    if (fullLog_.size() - from > static_cast<std::size_t>(kLiveBatchLines)) {
        from = fullLog_.size() - kLiveBatchLines;
        skipped_ = true;
        memo_->appendPlainText(QStringLiteral("…"));
    }
    memo_->appendPlainText(Joined(fullLog_, from, fullLog_.size()));
    shown_ = fullLog_.size();
}

void QtHost::ShowTail() {
    const std::size_t from = fullLog_.size() > static_cast<std::size_t>(kMemoLineCap) ? fullLog_.size() - kMemoLineCap : 0;
    QString text;
    if (from > 0)
        text = QStringLiteral("…（较早的 %1 行未在窗口中显示, 完整日志可通过右键菜单保存）\n").arg(from);
    memo_->setPlainText(text + Joined(fullLog_, from, fullLog_.size()));
    memo_->moveCursor(QTextCursor::End);
    memo_->ensureCursorVisible();
    skipped_ = false;
}

void QtHost::Flush() {
    if (OnEvents) OnEvents();
    if (statusQueued_) ShowStatus();
    if (!memo_) return;
    FlushLive();
    if (skipped_) ShowTail();
}

void QtHost::SetProgressRange(std::int64_t maximum) { bar_.SetRange(maximum); }

void QtHost::SetProgress(std::int64_t position) { bar_.SetPosition(position); }

void QtHost::SetStatus(std::string_view text) {
    if (!status_) return;
    // Shown when events next run, as its repaint would be anyway. The converters count chunks
    // in their status, one call per chunk: a label update for each of them (a hundred thousand
    // in a 300 MB file) cost as much as the conversion itself.
    pendingStatus_.assign(text);
    if (statusQueued_) return;
    statusQueued_ = true;
    QTimer::singleShot(0, this, [this] { ShowStatus(); });
}

void QtHost::ShowStatus() {
    statusQueued_ = false;
    if (status_) status_->setText(ToQt(pendingStatus_));
}

void QtHost::ProcessMessages() {
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < 30) return;
    FlushLive();
    if (OnEvents) OnEvents();
    ProcessMessagesThrottled(sinceEvents_);
}


namespace {
QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Information: return QMessageBox::Information;
        case MessageKind::Warning: return QMessageBox::Warning;
        case MessageKind::Error: return QMessageBox::Critical;
        case MessageKind::Confirmation: return QMessageBox::Question;
        default: return QMessageBox::NoIcon;
    }
}
}  // namespace

void ShowHostMessage(QWidget* owner, std::string_view text, MessageKind kind) {
    QMessageBox box(IconOf(kind), AppTitle(), UiText(text), QMessageBox::Ok, owner);
    box.exec();
}

Answer AskHostQuestion(QWidget* owner, std::string_view text, Buttons buttons, MessageKind kind) {
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    if (buttons == Buttons::YesNo) set = QMessageBox::Yes | QMessageBox::No;
    if (buttons == Buttons::YesNoCancel) set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(IconOf(kind), AppTitle(), UiText(text), set, owner);
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Ok: return Answer::Ok;
        default: return Answer::Cancel;
    }
}

void QtHost::Message(std::string_view text, MessageKind kind) {
    Flush();
    std::string shown(text);
    if (!note_.empty()) shown += "\r" + std::exchange(note_, std::string());
    ShowHostMessage(Owner(), shown, kind);
}

Answer QtHost::Ask(std::string_view text, Buttons buttons, MessageKind kind) {
    Flush();
    return AskHostQuestion(Owner(), text, buttons, kind);
}

bool QtHost::SaveFullLog(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    for (const auto& line : fullLog_) {
        file.write(line.data(), static_cast<qint64>(line.size()));
        file.write("\n");
    }
    return file.error() == QFileDevice::NoError;
}

void QtHost::ShowLogMenu(const QPoint& pos) {
    QMenu* menu = memo_->createStandardContextMenu(pos);
    menu->addSeparator();
    QAction* save = menu->addAction(QStringLiteral("保存完整日志..."));
    save->setEnabled(!fullLog_.empty());
    if (menu->exec(memo_->mapToGlobal(pos)) == save) {
        const QString path = QFileDialog::getSaveFileName(Owner(), QStringLiteral("保存日志"), QString(),
                                                          QStringLiteral("文本文件 (*.txt *.log)"));
        if (!path.isEmpty() && !SaveFullLog(path))
            QMessageBox::warning(Owner(), AppTitle(), QStringLiteral("不能保存日志:\n") + path);
    }
    delete menu;
}

}  // namespace mendery::ui
