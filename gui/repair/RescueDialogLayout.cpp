// TBxRescue's controls: the file rows, the steps beside the before/after table above the logs,
// the progress rows and the buttons.
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>

#include "gui/kit/OutputRow.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/RunGuarded.h"
#include "gui/kit/Widgets.h"
#include "gui/repair/RescueDialog.h"
#include "gui/repair/RescueView.h"

namespace mendery::ui {

// Source, output (with its save dialog) and the optional reference file.
QLayout* TBxRescue::BuildFileRows() {
    auto* grid = new QGridLayout;
    SourceEdit = new QLineEdit(this);
    SourceEdit->setObjectName(QStringLiteral("SourceEdit"));
    SourceEdit->setReadOnly(true);
    SourceEdit->setToolTip(QStringLiteral("要修复的文件 (不会被改动)"));
    grid->addWidget(new QLabel(QStringLiteral("源文件:"), this), 0, 0);
    grid->addWidget(SourceEdit, 0, 1);

    const OutputRow output = MakeOutputRow(this, QStringLiteral("输出文件:"), QStringLiteral("OutputEdit"),
                                           QStringLiteral("修复后文件的名称及路径"), QStringLiteral("OutputButton"));
    OutputEdit = output.edit;
    OutputButton = output.button;
    connect(OutputButton, &QToolButton::clicked, this, &TBxRescue::ChooseOutput);
    while (output.layout->count() > 0) {  // into the grid, aligned with the other rows
        QWidget* w = output.layout->takeAt(0)->widget();
        grid->addWidget(w, 1, w == OutputEdit ? 1 : w == OutputButton ? 2 : 0);
    }
    delete output.layout;

    const QString referenceHint =
        QStringLiteral("一个以相同设置录制的完好文件 (同一设备, 同样的质量设置).\n文件头被毁坏时用它来重建文件头.");
    ReferenceBox = new QCheckBox(QStringLiteral("参考文件:"), this);
    ReferenceBox->setObjectName(QStringLiteral("ReferenceBox"));
    ReferenceBox->setToolTip(referenceHint);
    ReferenceEdit = new QLineEdit(this);
    ReferenceEdit->setObjectName(QStringLiteral("ReferenceEdit"));
    ReferenceEdit->setReadOnly(true);
    ReferenceEdit->setPlaceholderText(QStringLiteral("(不使用)"));
    ReferenceEdit->setToolTip(referenceHint);
    ReferenceButton = MakeCommandButton(this, QStringLiteral("ReferenceButton"), ThemeIcon("document-open", QStyle::SP_DialogOpenButton),
                                        QString(), QStringLiteral("选择参考文件"), Qt::ToolButtonIconOnly);
    ReferenceButton->setAutoRaise(false);
    connect(ReferenceButton, &QToolButton::clicked, this, &TBxRescue::ChooseReference);
    // Checking the box without a file asks for one; a box left without a file unchecks.
    connect(ReferenceBox, &QCheckBox::clicked, this, [this](bool on) {
        if (on && ReferenceEdit->text().isEmpty() && !ChooseReference()) ReferenceBox->setChecked(false);
        ReferenceEdit->setEnabled(ReferenceBox->isChecked());
    });
    ReferenceEdit->setEnabled(false);
    grid->addWidget(ReferenceBox, 2, 0);
    grid->addWidget(ReferenceEdit, 2, 1);
    grid->addWidget(ReferenceButton, 2, 2);
    grid->setColumnStretch(1, 1);
    return grid;
}

// The steps beside the before/after table, above the run's log and the selected step's log.
QWidget* TBxRescue::BuildRunArea() {
    StepList = new QTreeWidget(this);
    StepList->setObjectName(QStringLiteral("StepList"));
    StepList->setRootIsDecorated(false);
    StepList->setHeaderLabels({QStringLiteral("步骤"), QStringLiteral("状态"), QStringLiteral("说明")});
    StepList->setToolTip(QStringLiteral("诊断后选定的修复步骤. 选择一个步骤可查看它的日志"));
    StepList->header()->setStretchLastSection(true);
    StepList->setColumnWidth(kTitleColumn, 200);
    StepList->setColumnWidth(kStateColumn, 64);
    connect(StepList, &QTreeWidget::itemSelectionChanged, this, &TBxRescue::ShowSelectedStep);

    CompareTable = new QTableWidget(this);
    CompareTable->setObjectName(QStringLiteral("CompareTable"));
    CompareTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CompareTable->setSelectionMode(QAbstractItemView::NoSelection);
    CompareTable->setToolTip(QStringLiteral("独立解码的结果: 修复前的源文件和修复后的文件"));
    CompareTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    CompareTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FillCompareTable(CompareTable, DecodeCheck{}, nullptr);
    CompareTable->clearContents();

    auto* top = new QSplitter(Qt::Horizontal, this);
    top->setChildrenCollapsible(false);
    top->addWidget(StepList);
    top->addWidget(CompareTable);
    // Extra width goes to the steps and their notes; the table keeps what its numbers need.
    top->setStretchFactor(0, 1);
    top->setStretchFactor(1, 0);
    top->setSizes({580, 260});

    RunLog = new QPlainTextEdit(this);
    RunLog->setObjectName(QStringLiteral("Memo1"));
    RunLog->setToolTip(QStringLiteral("信息窗口"));
    StyleLogMemo(RunLog);
    StepLog = new QPlainTextEdit(this);
    StepLog->setObjectName(QStringLiteral("StepLog"));
    StyleLogMemo(StepLog);
    StepLog->setMaximumBlockCount(QtHost::kMemoLineCap + 1);
    LogTabs = new QTabWidget(this);
    LogTabs->setObjectName(QStringLiteral("LogTabs"));
    LogTabs->addTab(RunLog, QStringLiteral("运行日志"));
    LogTabs->addTab(StepLog, QStringLiteral("步骤日志"));

    auto* area = new QSplitter(Qt::Vertical, this);
    area->setObjectName(QStringLiteral("RescueSplitter"));
    area->setChildrenCollapsible(false);
    area->addWidget(top);
    area->addWidget(LogTabs);
    area->setStretchFactor(0, 1);
    area->setStretchFactor(1, 1);
    return area;
}

// The caption naming the running step above two bars: the whole run (steps ended out of steps
// planned; the plan may grow after a header step) and the running step's own progress.
QLayout* TBxRescue::BuildProgressRows() {
    auto* grid = new QGridLayout;
    StepCaption = new QLabel(this);
    StepCaption->setObjectName(QStringLiteral("StepCaption"));
    OverallBar = new QProgressBar(this);
    OverallBar->setObjectName(QStringLiteral("OverallBar"));
    OverallBar->setToolTip(QStringLiteral("总进度 (已结束的步骤 / 计划的步骤)"));
    OverallBar->setFormat(QStringLiteral("%v/%m 步"));
    OverallBar->setRange(0, 1);
    OverallBar->setValue(0);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar->setToolTip(QStringLiteral("进度条 (当前步骤)"));
    ProgressBar->setValue(0);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setMinimumWidth(220);
    grid->addWidget(StepCaption, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("总进度:"), this), 1, 0);
    grid->addWidget(OverallBar, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("当前步骤:"), this), 2, 0);
    grid->addWidget(ProgressBar, 2, 1);
    grid->addWidget(StatusLabel, 1, 2, 2, 1);
    grid->setColumnStretch(1, 1);
    return grid;
}

QLayout* TBxRescue::BuildButtonRow() {
    auto* row = new QHBoxLayout;
    auto button = [&](const char* name, const QString& caption, QStyle::StandardPixmap pic) {
        return ui::AddDialogButton(row, this, name, caption, pic);
    };
    StartButton = button("StartButton", QStringLiteral("开始"), QStyle::SP_MediaPlay);
    StopButton = button("StopButton", QStringLiteral("停止"), QStyle::SP_MediaStop);
    PlayOutputButton = button("PlayOutputButton", QStringLiteral("播放修复文件"), QStyle::SP_MediaSeekForward);
    PlaySourceButton = button("PlaySourceButton", QStringLiteral("播放源文件"), QStyle::SP_MediaSeekForward);
    DeleteOutputButton = button("DeleteOutputButton", QStringLiteral("删除输出文件"), QStyle::SP_TrashIcon);
    row->addStretch(1);
    CloseButton = button("CloseButton", QStringLiteral("关闭"), QStyle::SP_DialogCloseButton);
    StartButton->setToolTip(QStringLiteral("诊断文件并依次运行合适的修复工具"));
    StopButton->setToolTip(QStringLiteral("停止修复 (不生成输出文件)"));
    DeleteOutputButton->setToolTip(QStringLiteral("删除输出文件"));
    connect(StartButton, &QPushButton::clicked, this, &TBxRescue::Start);
    connect(StopButton, &QPushButton::clicked, this, &TBxRescue::Stop);
    connect(PlayOutputButton, &QPushButton::clicked, this, [this] { ShellOpen(this, Output()); });
    connect(PlaySourceButton, &QPushButton::clicked, this, [this] { ShellOpen(this, source_); });
    connect(DeleteOutputButton, &QPushButton::clicked, this, &TBxRescue::DeleteOutput);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    return row;
}

}  // namespace mendery::ui
