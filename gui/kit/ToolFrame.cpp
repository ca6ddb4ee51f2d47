#include "gui/kit/ToolFrame.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/kit/QtHost.h"

namespace mendery::ui {

ToolFrame::ToolFrame(const ToolFrameTexts& texts, QWidget* parent) : QWidget(parent), save_(texts.save) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    options_ = new QVBoxLayout;
    layout->addLayout(options_);

    const OutputRow output = MakeOutputRow(this, texts.outputCaption, texts.outputEditName, QStringLiteral("输出文件的名称及路径"));
    OutputEdit = output.edit;
    OutputButton = output.button;
    connect(OutputButton, &QToolButton::clicked, this, &ToolFrame::ChooseOutput);
    layout->addLayout(output.layout);
    layout->addLayout(BuildProgressRow());
    BuildLogMemo();
    layout->addWidget(LogMemo, 1);

    host_ = new QtHost(LogMemo, ProgressBar, CounterLabel, this);
}

QHBoxLayout* ToolFrame::BuildProgressRow() {
    auto* row = new QHBoxLayout;
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar->setToolTip(QStringLiteral("进度条"));
    ProgressBar->setValue(0);
    auto* counterPanel = new QFrame(this);
    counterPanel->setFrameShape(QFrame::StyledPanel);
    counterPanel->setFrameShadow(QFrame::Sunken);
    counterPanel->setToolTip(QStringLiteral("处理数据块"));
    counterPanel->setMinimumWidth(110);
    CounterLabel = new QLabel(counterPanel);
    CounterLabel->setObjectName(QStringLiteral("Label1"));
    CounterLabel->setAlignment(Qt::AlignCenter);
    (new QHBoxLayout(counterPanel))->addWidget(CounterLabel);
    row->addWidget(ProgressBar, 1);
    row->addWidget(counterPanel);
    counters_ = new QVBoxLayout;
    row->addLayout(counters_);
    return row;
}

void ToolFrame::BuildLogMemo() {
    LogMemo = new QPlainTextEdit(this);
    LogMemo->setObjectName(QStringLiteral("Memo1"));
    LogMemo->setToolTip(QStringLiteral("信息窗口"));
    StyleLogMemo(LogMemo);
    LogMemo->setMinimumHeight(180);
}

void ToolFrame::SetOutput(const QString& path) {
    OutFileName = path;
    OutputEdit->setText(path);
}

void ToolFrame::ClearRun() {
    ProgressBar->setValue(0);
    host_->ClearLog();
}

void ToolFrame::FinishRun() { host_->Flush(); }

bool ToolFrame::AcceptChosenOutput(const QString& path) {
    if (RefusedAsSource(this, FileName, path)) return false;
    SetOutput(path);
    return true;
}

void ToolFrame::ChooseOutput() {
    const QString path = AskSaveFileName(this, save_, OutFileName);
    if (!path.isEmpty()) AcceptChosenOutput(path);
}

}  // namespace mendery::ui
