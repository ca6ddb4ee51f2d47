#include "gui/cut/CutHost.h"

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "gui/kit/QtHost.h"
#include "gui/kit/Widgets.h"

namespace mendery::ui {

TCutHost::~TCutHost() { delete progress_; }

void TCutHost::Log(std::string_view line) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void TCutHost::EnsureProgressWindow() {
    if (progress_) return;
    progress_ = new QDialog(owner_, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress_->setObjectName(QStringLiteral("PProcForm"));
    progress_->setWindowTitle(QStringLiteral("正在后台处理, 请稍候..."));
    auto* layout = new QVBoxLayout(progress_);
    bar_ = new QProgressBar(progress_);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(300);
    percent_ = new QLabel(QStringLiteral("0%"), progress_);
    percent_->setAlignment(Qt::AlignCenter);
    layout->addWidget(bar_);
    layout->addWidget(percent_);
}

void TCutHost::SetProgressRange(std::int64_t maximum) {
    EnsureProgressWindow();
    maximum_ = std::max<std::int64_t>(maximum, 0);
    shift_ = 0;
    while ((maximum_ >> shift_) > INT_MAX) ++shift_;
    bar_->setRange(0, static_cast<int>(maximum_ >> shift_));
    bar_->setValue(0);
    percent_->setText(QStringLiteral("0%"));
    progress_->show();
}

void TCutHost::SetProgress(std::int64_t position) {
    if (!progress_) return;
    const std::int64_t p = std::clamp<std::int64_t>(position, 0, maximum_);
    bar_->setValue(static_cast<int>(p >> shift_));
    percent_->setText(QString::number(maximum_ > 0 ? p * 100 / maximum_ : 100) + QLatin1Char('%'));
}

void TCutHost::ProcessMessages() { ProcessMessagesThrottled(sinceEvents_); }

void TCutHost::EndProgress() {
    if (progress_) progress_->hide();
}

// The progress window stays on top: it is closed before a message or question it would hide.
void TCutHost::Message(std::string_view text, MessageKind kind) {
    EndProgress();
    ShowHostMessage(owner_, text, kind);
}

Answer TCutHost::Ask(std::string_view text, Buttons buttons, MessageKind kind) {
    EndProgress();
    return AskHostQuestion(owner_, text, buttons, kind);
}

}  // namespace mendery::ui
