#include "gui/kit/PProcForm.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <memory>

#include "gui/kit/QtHost.h"
#include "gui/kit/Widgets.h"

namespace mendery::ui {

TPProcForm::TPProcForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("PProcForm"));
    setWindowTitle(QStringLiteral("正在后台处理, 请稍候..."));
    auto* layout = new QVBoxLayout(this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    Label1 = new QLabel(QStringLiteral("0%"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    layout->addWidget(ProgressBar1);
    layout->addWidget(Label1);
    setMinimumWidth(320);
}

TToolRunForm::TToolRunForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("ToolRunForm"));
    setWindowTitle(QStringLiteral("Clipwright 正在处理, 请稍候..."));
    auto* layout = new QVBoxLayout(this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 0);  // busy until the first progress line
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    StopButton = new QPushButton(QStringLiteral("停止"), this);
    StopButton->setObjectName(QStringLiteral("StopButton"));
    StopButton->setToolTip(QStringLiteral("停止 Clipwright; 不会留下未完成的输出文件"));
    connect(StopButton, &QPushButton::clicked, this, [this] {
        stopPressed_ = true;
        StopButton->setEnabled(false);
        Label1->setText(QStringLiteral("正在停止..."));
    });
    layout->addWidget(ProgressBar1);
    layout->addWidget(Label1);
    layout->addWidget(StopButton, 0, Qt::AlignCenter);
    setMinimumWidth(320);
}

void TToolRunForm::ShowProgress(std::uint64_t done, std::uint64_t total) {
    if (stopPressed_ || total == 0) return;
    const int permille = static_cast<int>(std::min<std::uint64_t>(done, total) * 1000 / total);
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setValue(permille);
    Label1->setText(QString::number(permille / 10) + QLatin1Char('%'));
}

ToolRunner DesktopToolRunner(IHost& host, QWidget* owner, const std::string& program, RunWording wording,
                             std::function<bool()> closing) {
    // Whether the user pressed stop during a run: the rest of the flow stops too.
    auto stopPressed = std::make_shared<bool>(false);
    ToolRunner runner;
    runner.stopSignal = [stopPressed, closing] {
        if (*stopPressed) return SIGINT;
        return closing && closing() ? SIGTERM : 0;
    };
    runner.run = [&host, owner, program, wording, closing, stopPressed](const std::string& parameters) {
        TToolRunForm form(owner);
        form.show();
        RunOptions options;
        options.wording = wording;
        options.shuttingDown = closing;
        options.output = [&host](const std::string& line) { host.Log(line); };
        options.stopSignal = [&form] { return form.StopPressed() ? SIGINT : 0; };
        options.progress = [&form](std::uint64_t done, std::uint64_t total) { form.ShowProgress(done, total); };
        RunResult result = RunTool(host, program, parameters, options);
        if (form.StopPressed()) *stopPressed = true;
        return result;
    };
    return runner;
}

TFlowHost::~TFlowHost() { CloseProgress(); }

TPProcForm* TFlowHost::Progress() {
    if (!progress_) {
        progress_ = new TPProcForm(owner_);
        progress_->show();
    }
    return progress_;
}

void TFlowHost::CloseProgress() {
    delete progress_;
    progress_ = nullptr;
}

void TFlowHost::Log(std::string_view line) {
    // The flows log only refusals and failures; they go to the terminal the program runs from.
    log_.emplace_back(line);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void TFlowHost::SetProgressRange(std::int64_t maximum) {
    shift_ = 0;
    while ((maximum >> shift_) > INT_MAX) ++shift_;
    Progress()->ProgressBar1->setRange(0, static_cast<int>(maximum >> shift_));
}

void TFlowHost::SetProgress(std::int64_t position) {
    auto* bar = Progress()->ProgressBar1;
    bar->setValue(static_cast<int>(std::clamp<std::int64_t>(position >> shift_, 0, bar->maximum())));
}

void TFlowHost::SetStatus(std::string_view text) { Progress()->Label1->setText(QString::fromUtf8(text.data(), text.size())); }

void TFlowHost::ProcessMessages() { ProcessMessagesThrottled(sinceEvents_); }

void TFlowHost::Message(std::string_view text, MessageKind kind) {
    CloseProgress();
    if (Closing()) {
        Log(text);
        return;
    }
    const QString body = UiText(text);
    switch (kind) {
        case MessageKind::Warning: QMessageBox::warning(owner_, AppTitle(), body); break;
        case MessageKind::Error: QMessageBox::critical(owner_, AppTitle(), body); break;
        default: QMessageBox::information(owner_, AppTitle(), body);
    }
}

Answer TFlowHost::Ask(std::string_view text, Buttons buttons, MessageKind kind) {
    CloseProgress();
    if (Closing()) return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    if (buttons == Buttons::YesNo) set = QMessageBox::Yes | QMessageBox::No;
    if (buttons == Buttons::YesNoCancel) set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(kind == MessageKind::Warning ? QMessageBox::Warning : QMessageBox::Question, AppTitle(), UiText(text), set, owner_);
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Ok: return Answer::Ok;
        default: return Answer::Cancel;
    }
}

}  // namespace mendery::ui
