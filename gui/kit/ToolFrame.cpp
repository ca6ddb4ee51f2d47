#include "gui/kit/ToolFrame.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/kit/QtHost.h"
#include "gui/kit/Widgets.h"
#include "asf/BinaryFile.h"

namespace mendery::ui {

TToolFrame::TToolFrame(const QString& outputEditName, const SaveDialogSpec& save, QWidget* parent)
    : QWidget(parent), save_(save) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    options_ = new QVBoxLayout;
    layout->addLayout(options_);

    OutputEdit = new QLineEdit(this);
    OutputEdit->setObjectName(outputEditName);
    OutputEdit->setReadOnly(true);
    OutputEdit->setToolTip(QStringLiteral("输出文件的名称及路径"));
    SpeedButton1 = MakeCommandButton(this, QStringLiteral("SpeedButton1"), ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton),
                                     QString(), QStringLiteral("选择新的输出文件名称及路径"), Qt::ToolButtonIconOnly);
    SpeedButton1->setAutoRaise(false);
    connect(SpeedButton1, &QToolButton::clicked, this, &TToolFrame::SpeedButton1Click);
    auto* outRow = new QHBoxLayout;
    outRow->addWidget(new QLabel(save_.outputLabel, this));
    outRow->addWidget(OutputEdit, 1);
    outRow->addWidget(SpeedButton1);
    layout->addLayout(outRow);

    auto* progressRow = new QHBoxLayout;
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setToolTip(QStringLiteral("进度条"));
    ProgressBar1->setValue(0);
    auto* counterPanel = new QFrame(this);
    counterPanel->setFrameShape(QFrame::StyledPanel);
    counterPanel->setFrameShadow(QFrame::Sunken);
    counterPanel->setToolTip(QStringLiteral("处理数据块"));
    counterPanel->setMinimumWidth(110);
    Label1 = new QLabel(counterPanel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    (new QHBoxLayout(counterPanel))->addWidget(Label1);
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(counterPanel);
    counters_ = new QVBoxLayout;
    progressRow->addLayout(counters_);
    layout->addLayout(progressRow);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setToolTip(QStringLiteral("信息窗口"));
    StyleLogMemo(Memo1);
    Memo1->setMinimumHeight(180);
    layout->addWidget(Memo1, 1);

    host_ = new TQtHost(Memo1, ProgressBar1, Label1, this);
}

void TToolFrame::SetOutput(const QString& path) {
    OutFileName = path;
    OutputEdit->setText(path);
}

void TToolFrame::ClearRun() {
    ProgressBar1->setValue(0);
    host_->ClearLog();
}

void TToolFrame::FinishRun() { host_->Flush(); }

bool TToolFrame::AcceptChosenOutput(const QString& path) {
    // Writing over the source would destroy the file the tool is rescuing.
    if (path == FileName || IsSameFile(path.toStdString(), FileName.toStdString())) {
        QMessageBox::warning(this, window()->windowTitle(), QStringLiteral("输出文件不能和输入文件相同, 请再试一下."));
        return false;
    }
    SetOutput(path);
    return true;
}

void TToolFrame::SpeedButton1Click() {
    QFileDialog dialog(this, save_.title, OutFileName, save_.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(save_.defaultSuffix);
    dialog.setDirectory(QFileInfo(OutFileName).absolutePath());
    dialog.selectFile(OutFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    AcceptChosenOutput(dialog.selectedFiles().first());
}

}  // namespace mendery::ui
