#include "gui/kit/ToolRunForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <csignal>
#include <memory>

#include "gui/kit/PProcForm.h"

namespace mendery::ui {

ToolRunForm::ToolRunForm(QWidget* parent) : QDialog(parent, ProgressWindowFlags()) {
    setObjectName(QStringLiteral("ToolRunForm"));
    QVBoxLayout* layout = BuildProgressWindow(this, QStringLiteral("Clipwright 正在处理, 请稍候..."), ProgressBar, PercentLabel);
    ProgressBar->setRange(0, 0);  // busy until the first progress line
    StopButton = new QPushButton(QStringLiteral("停止"), this);
    StopButton->setObjectName(QStringLiteral("StopButton"));
    StopButton->setToolTip(QStringLiteral("停止 Clipwright; 不会留下未完成的输出文件"));
    connect(StopButton, &QPushButton::clicked, this, [this] {
        stopPressed_ = true;
        StopButton->setEnabled(false);
        PercentLabel->setText(QStringLiteral("正在停止..."));
    });
    layout->addWidget(StopButton, 0, Qt::AlignCenter);
}

void ToolRunForm::ShowProgress(std::uint64_t done, std::uint64_t total) {
    if (stopPressed_ || total == 0) return;
    const int permille = static_cast<int>(std::min<std::uint64_t>(done, total) * 1000 / total);
    ProgressBar->setRange(0, 1000);
    ProgressBar->setValue(permille);
    PercentLabel->setText(QString::number(permille / 10) + QLatin1Char('%'));
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
        ToolRunForm form(owner);
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

}  // namespace mendery::ui
