#include "app/ui/ToolDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/QtHost.h"
#include "app/ui/Widgets.h"

namespace mendery::ui {

void ShellOpen(const QString& path) {
    if (!path.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

TToolDialog::TToolDialog(const ToolDialogTexts& texts, IToolFrame* frame, QWidget* parent)
    : QDialog(parent), texts_(texts), frame_(frame) {
    setWindowTitle(texts_.formCaption);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    extra_ = new QVBoxLayout;
    layout->addLayout(extra_);
    layout->addWidget(frame_->Widget(), 1);

    auto* row = new QHBoxLayout;
    auto button = [&](const char* name, const QString& caption, QStyle::StandardPixmap pic) {
        auto* b = new QPushButton(QApplication::style()->standardIcon(pic), caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        row->addWidget(b);
        return b;
    };
    run_ = button("BitBtn1", texts_.runCaption, QStyle::SP_MediaPlay);
    playOutput_ = button("BitBtn2", texts_.playOutputCaption, QStyle::SP_MediaSeekForward);
    playSource_ = button("BitBtn3", QStringLiteral("播放源文件"), QStyle::SP_MediaSeekForward);
    deleteOutput_ = button("BitBtn4", QStringLiteral("删除输出文件"), QStyle::SP_TrashIcon);
    row->addStretch(1);
    close_ = button("BitBtn5", QStringLiteral("关闭"), QStyle::SP_DialogCloseButton);
    layout->addLayout(row);

    connect(run_, &QPushButton::clicked, this, &TToolDialog::RunClicked);
    connect(playOutput_, &QPushButton::clicked, this, [this] { ShellOpen(frame_->Output()); });
    connect(playSource_, &QPushButton::clicked, this, [this] { ShellOpen(source_); });
    connect(deleteOutput_, &QPushButton::clicked, this, &TToolDialog::DeleteOutput);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    resize(680, 560);
}

void TToolDialog::Setup(const QString& source) {
    source_ = source;
    setWindowTitle(texts_.titlePrefix + source);
    frame_->SetSource(source);
    frame_->SetOutput(QString::fromStdString(ToolOutputName(source.toStdString(), texts_.output)));
    frame_->Prepare();
}

QString TToolDialog::Execute(const QString& source) {
    Setup(source);
    exec();
    return texts_.returnsOutput ? frame_->Output() : QString();
}

void TToolDialog::RunClicked() {
    if (run_->text() != kAbortCaption) {
        run_->setText(kAbortCaption);
        running_ = true;
        try {
            frame_->Run();
        } catch (const std::exception& e) {
            // The tools report their own failures; anything else still ends the run cleanly.
            QMessageBox::critical(this, AppTitle(), QString::fromUtf8(e.what()));
        }
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

void TToolDialog::done(int result) {
    // The work runs inside the run button's click; the dialog closes once it has ended.
    if (running_) {
        pendingDone_ = result;
        return;
    }
    QDialog::done(result);
}

void TToolDialog::DeleteOutput() {
    const QString path = frame_->Output();
    const bool removed = !path.isEmpty() && QFile::remove(path);
    QMessageBox::information(this, windowTitle(),
                             removed ? QStringLiteral("文件已删除,\n") + path : QStringLiteral("不能删除,\n") + path);
}

}  // namespace mendery::ui
