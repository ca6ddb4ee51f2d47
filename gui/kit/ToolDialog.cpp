#include "gui/kit/ToolDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "gui/kit/QtHost.h"
#include "gui/kit/RunGuarded.h"
#include "gui/kit/StagedRun.h"
#include "gui/kit/Text.h"
#include "gui/kit/Widgets.h"
#include "asf/BinaryFile.h"

namespace mendery::ui {

ToolDialog::ToolDialog(const ToolDialogTexts& texts, IToolFrame* frame, QWidget* parent)
    : QDialog(parent), texts_(texts), frame_(frame) {
    setWindowTitle(texts_.formCaption);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    extra_ = new QVBoxLayout;
    layout->addLayout(extra_);
    layout->addWidget(frame_->Widget(), 1);

    auto* row = new QHBoxLayout;
    auto button = [&](const char* name, const QString& caption, QStyle::StandardPixmap pic) {
        return ui::AddDialogButton(row, this, name, caption, pic);
    };
    run_ = button("BitBtn1", texts_.runCaption, QStyle::SP_MediaPlay);
    playOutput_ = button("BitBtn2", texts_.playOutputCaption, QStyle::SP_MediaSeekForward);
    playSource_ = button("BitBtn3", QStringLiteral("播放源文件"), QStyle::SP_MediaSeekForward);
    deleteOutput_ = button("BitBtn4", QStringLiteral("删除输出文件"), QStyle::SP_TrashIcon);
    row->addStretch(1);
    close_ = button("BitBtn5", QStringLiteral("关闭"), QStyle::SP_DialogCloseButton);
    layout->addLayout(row);

    connect(run_, &QPushButton::clicked, this, &ToolDialog::RunClicked);
    connect(playOutput_, &QPushButton::clicked, this, [this] { ShellOpen(this, frame_->Output()); });
    connect(playSource_, &QPushButton::clicked, this, [this] { ShellOpen(this, source_); });
    connect(deleteOutput_, &QPushButton::clicked, this, &ToolDialog::DeleteOutput);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    resize(680, 560);
}

void ToolDialog::Setup(const QString& source) {
    source_ = source;
    setWindowTitle(texts_.titlePrefix + source);
    frame_->SetSource(source);
    frame_->SetOutput(ToQt(ToolOutputName(ToStd(source), texts_.output)));
    frame_->Prepare();
}

QString ToolDialog::Execute(const QString& source) {
    Setup(source);
    exec();
    return texts_.returnsOutput ? frame_->Output() : QString();
}

void ToolDialog::RunClicked() {
    if (run_->text() != kAbortCaption) {
        run_->setText(kAbortCaption);
        running_ = true;
        RunGuarded(this, source_, [this] { RunStaged(); });
        running_ = false;
    } else {
        frame_->Abort();
    }
    run_->setText(texts_.idleCaption);
    if (!running_ && pendingDone_ >= 0) {
        const int result = pendingDone_;
        pendingDone_ = -1;
        QDialog::done(result);
    }
}

void ToolDialog::RunStaged() {
    const QString target = frame_->Output();
    if (target.isEmpty()) return;
    // The temporary name never matches the source: the output itself is checked first.
    if (const std::string refusal = OutputRefusalLine(ToStd(source_), ToStd(target)); !refusal.empty()) {
        frame_->Host().Log(refusal);
        frame_->Host().Flush();
        ShowHostMessage(this, refusal, MessageKind::Warning);
        return;
    }
    struct WorkOutputReset {  // also when the run throws
        IToolFrame* frame;
        ~WorkOutputReset() { frame->SetWorkOutput(QString()); }
    } reset{frame_};
    RunEnd end = RunEnd::Nothing;
    try {
        end = RunStagedOutput(frame_->Host(), target, [this](const QString& temp) {
            frame_->SetWorkOutput(temp);
            frame_->Run();
            return frame_->LastRunEnd();
        });
    } catch (...) {
        frame_->OutputSettled(RunEnd::Nothing);
        frame_->Host().Flush();
        throw;
    }
    frame_->OutputSettled(end);
    frame_->Host().Flush();
}

void ToolDialog::done(int result) {
    // The work runs inside the run button's click; the dialog closes once it has ended.
    if (running_) {
        pendingDone_ = result;
        return;
    }
    QDialog::done(result);
}

void ToolDialog::DeleteOutput() { DeleteOutputFile(this, frame_->Output()); }

}  // namespace mendery::ui
