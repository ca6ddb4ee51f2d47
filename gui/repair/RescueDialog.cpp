#include "gui/repair/RescueDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "asf/BinaryFile.h"
#include "gui/kit/OutputRow.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/RunGuarded.h"
#include "gui/kit/Text.h"
#include "gui/kit/Widgets.h"
#include "gui/repair/RescueView.h"

namespace mendery::ui {

namespace {
const QString kTitlePrefix = QStringLiteral("一键修复 - ");
const QString kStreamFilter = QStringLiteral("流文件(*.asf;*.wmv;*.wma) (*.asf *.ASF *.wmv *.WMV *.wma *.WMA)");

QColor StateColour(StepState state) {
    switch (state) {
        case StepState::Running: return QColor(0x00, 0x50, 0xC0);
        case StepState::Done: return QColor(0x00, 0x80, 0x00);
        case StepState::NotKept: return QColor(0xB0, 0x60, 0x00);
        case StepState::Failed: return QColor(0xC0, 0x00, 0x00);
        default: return QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    }
}
}  // namespace

TBxRescue::TBxRescue(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BxRescue"));
    setWindowTitle(QStringLiteral("一键修复"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(BuildFileRows());
    layout->addWidget(BuildRunArea(), 1);
    layout->addLayout(BuildProgressRows());
    ResultLabel = new QLabel(this);
    ResultLabel->setObjectName(QStringLiteral("ResultLabel"));
    ResultLabel->setWordWrap(true);
    ResultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(ResultLabel);
    layout->addLayout(BuildButtonRow());
    host_ = new QtHost(RunLog, ProgressBar, nullptr, this);
    UpdateControls();
    setMinimumSize(600, 440);
    resize(860, 640);
}

TBxRescue::~TBxRescue() = default;

void TBxRescue::Setup(const QString& source) {
    source_ = source;
    setWindowTitle(kTitlePrefix + source);
    SourceEdit->setText(source);
    SetOutput(RescueOutputName(source));
}

QString TBxRescue::Execute(const QString& source) {
    Setup(source);
    exec();
    return kept_;
}

QString TBxRescue::Output() const { return OutputEdit->text(); }

void TBxRescue::SetOutput(const QString& path) {
    OutputEdit->setText(path);
    OutputEdit->setCursorPosition(0);
    UpdateControls();
}

QString TBxRescue::Reference() const { return ReferenceBox->isChecked() ? ReferenceEdit->text() : QString(); }

void TBxRescue::SetReference(const QString& path) {
    ReferenceEdit->setText(path);
    ReferenceBox->setChecked(!path.isEmpty());
    ReferenceEdit->setEnabled(!path.isEmpty());
}

void TBxRescue::ChooseOutput() {
    const QString suffix = QFileInfo(source_).suffix().toLower();
    const QString path = AskSaveFileName(this, {QStringLiteral("输出文件"), kStreamFilter, suffix.isEmpty() ? QStringLiteral("asf") : suffix},
                                         Output());
    if (!path.isEmpty() && !RefusedAsSource(this, source_, path)) SetOutput(path);
}

bool TBxRescue::ChooseReference() {
    const QString start = ReferenceEdit->text().isEmpty() ? QFileInfo(source_).absolutePath() : ReferenceEdit->text();
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("选择参考文件"), start, kStreamFilter);
    if (path.isEmpty()) return false;
    SetReference(path);
    return true;
}

void TBxRescue::Refuse(const QString& text) {
    QMessageBox::warning(this, AppTitle(), text);
}

// What is checked before anything runs: an output that would destroy the source or the
// reference, and a reference that cannot be read.
bool TBxRescue::ReadyToRun() {
    const QString output = Output();
    if (output.isEmpty()) return false;
    if (const std::string refusal = OutputRefusalLine(ToStd(source_), ToStd(output)); !refusal.empty()) {
        Refuse(UiText(refusal));
        return false;
    }
    if (!ReferenceBox->isChecked()) return true;
    const QString reference = Reference();
    if (reference.isEmpty() && !ChooseReference()) return false;
    if (const std::string why = CheckInputFile(ToStd(Reference())); !why.empty()) {
        Refuse(QStringLiteral("不能使用参考文件 \"") + Reference() + QStringLiteral("\":\n") + UiText(why));
        return false;
    }
    if (IsSameFile(ToStd(Reference()), ToStd(source_))) {
        Refuse(QStringLiteral("参考文件不能是要修复的文件本身, 请选择另一个完好的文件."));
        return false;
    }
    if (output == Reference() || IsSameFile(ToStd(output), ToStd(Reference()))) {
        Refuse(QStringLiteral("输出文件不能和参考文件相同, 请再试一下."));
        return false;
    }
    return true;
}

void TBxRescue::Start() {
    if (running_ || !ReadyToRun()) return;
    ClearRun();
    const bool existed = QFileInfo::exists(Output());
    running_ = true;
    UpdateControls();
    const bool completed = RunGuarded(this, source_, [this] { RunRescue(); });
    running_ = false;
    ShowEnd(existed, completed);
    UpdateControls();
    if (pendingDone_ >= 0) {
        const int result = pendingDone_;
        pendingDone_ = -1;
        QDialog::done(result);
    }
}

void TBxRescue::RunRescue() {
    run_ = std::make_unique<RescueRun>();
    run_->FileName = ToStd(source_);
    run_->OutFileName = ToStd(Output());
    run_->ReferenceFileName = ToStd(Reference());
    run_->ClipwrightPath = ToStd(ClipwrightPath);
    run_->AttachHost(*host_);
    run_->AttachObserver(this);
    run_->Run();
}

// The stop request reaches the run the next time it lets events run.
void TBxRescue::Stop() {
    if (!running_ || !run_) return;
    run_->Aborted = true;
    StopButton->setEnabled(false);
    StatusLabel->setText(QStringLiteral("正在停止..."));
}

void TBxRescue::DeleteOutput() {
    if (running_ || !DeleteOutputFile(this, Output())) return;
    // Nothing to hand back to the file list any more.
    if (kept_ == Output()) kept_.clear();
    UpdateControls();
}

void TBxRescue::done(int result) {
    // Closing the window stops the run; it closes once the run has ended.
    if (running_) {
        pendingDone_ = result;
        Stop();
        return;
    }
    QDialog::done(result);
}

// The file an earlier run kept stays handed back: a later run that keeps nothing leaves it as
// it was.
void TBxRescue::ClearRun() {
    steps_.clear();
    StepList->clear();
    StepLog->clear();
    LogTabs->setCurrentWidget(RunLog);
    StepCaption->clear();
    OverallBar->setRange(0, 1);
    OverallBar->setValue(0);
    ProgressBar->setValue(0);
    host_->ClearLog();
    ResultLabel->clear();
    StatusLabel->setText(QStringLiteral("正在诊断..."));
    FillCompareTable(CompareTable, DecodeCheck{}, nullptr);
    CompareTable->clearContents();
}

void TBxRescue::UpdateControls() {
    StartButton->setEnabled(!running_);
    StopButton->setEnabled(running_);
    OutputButton->setEnabled(!running_);
    ReferenceBox->setEnabled(!running_);
    ReferenceButton->setEnabled(!running_);
    PlayOutputButton->setEnabled(!running_);
    DeleteOutputButton->setEnabled(!running_ && QFileInfo(Output()).isFile());
}

// A plan without steps shows an empty bar (a range of 0 would show a busy one).
void TBxRescue::SetOverall(std::size_t ended) {
    OverallBar->setRange(0, std::max(1, static_cast<int>(steps_.size())));
    OverallBar->setValue(static_cast<int>(std::min(ended, steps_.size())));
}

void TBxRescue::SetStepRow(std::size_t index, const RescueStep& step, StepState state) {
    while (StepList->topLevelItemCount() <= static_cast<int>(index)) new QTreeWidgetItem(StepList);
    QTreeWidgetItem* item = StepList->topLevelItem(static_cast<int>(index));
    item->setText(kTitleColumn, QStringLiteral("%1. ").arg(index + 1) + ToQt(step.title));
    item->setText(kStateColumn, StepStateText(state));
    item->setForeground(kStateColumn, StateColour(state));
    item->setText(kNoteColumn, UiText(step.note.empty() ? step.reason : step.note));
    QString hint = UiText(step.reason);
    if (!step.note.empty()) hint += QLatin1Char('\n') + UiText(step.note);
    for (int c = kTitleColumn; c <= kNoteColumn; ++c) item->setToolTip(c, hint);
}

void TBxRescue::ShowSelectedStep() {
    const auto selected = StepList->selectedItems();
    if (selected.isEmpty()) return;
    const int index = StepList->indexOfTopLevelItem(selected.first());
    if (index < 0 || index >= static_cast<int>(steps_.size())) return;
    StepLog->setPlainText(StepDetailLines(steps_[index]).join(QLatin1Char('\n')));
    LogTabs->setCurrentWidget(StepLog);
}

void TBxRescue::Diagnosed(const RescueReport& report) {
    steps_ = report.steps;
    host_->Log("诊断:");
    for (const auto& line : report.diagnosis) host_->Log("  " + line);
    host_->Log(ToStd(QStringLiteral("修复前: ") + CheckSummary(report.before)));
    host_->Log(steps_.empty() ? "没有适合此文件的修复步骤." : "修复步骤:");
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        SetStepRow(i, steps_[i], StepState::Waiting);
        host_->Log("  " + std::to_string(i + 1) + ". " + steps_[i].title);
    }
    FillCompareTable(CompareTable, report.before, nullptr);
    SetOverall(0);
    StatusLabel->setText(QStringLiteral("诊断完成"));
    host_->Flush();
    QCoreApplication::processEvents();
}

void TBxRescue::StepStarted(std::size_t index, const RescueStep& step) {
    if (index >= steps_.size()) steps_.resize(index + 1);
    steps_[index] = step;
    SetStepRow(index, step, StepState::Running);
    StepCaption->setText(RunningStepCaption(index, steps_.size(), step.title));
    SetOverall(index);
    StatusLabel->setText(StepStateText(StepState::Running));
    ProgressBar->setValue(0);
    host_->Log("");
    host_->Log("== 步骤 " + std::to_string(index + 1) + ": " + step.title + " ==");
    host_->Flush();
    // The list shows the running step, and a stop clicked now reaches the run.
    QCoreApplication::processEvents();
}

void TBxRescue::StepEnded(std::size_t index, const RescueStep& step) {
    if (index >= steps_.size()) steps_.resize(index + 1);
    steps_[index] = step;
    const StepState state = EndedStepState(step);
    SetStepRow(index, step, state);
    SetOverall(index + 1);
    std::string line = "结果: " + ToStd(StepStateText(state));
    if (step.check) line += ", " + ToStd(CheckSummary(*step.check));
    host_->Log(line);
    if (!step.note.empty()) host_->Log("说明: " + step.note);
    host_->Flush();
    const auto selected = StepList->selectedItems();
    if (!selected.isEmpty() && StepList->indexOfTopLevelItem(selected.first()) == static_cast<int>(index)) ShowSelectedStep();
    QCoreApplication::processEvents();
}

// The file was diagnosed again after a header step: the rows after it are the new plan's.
void TBxRescue::PlanChanged(const RescueReport& report, std::size_t firstNew, const std::vector<std::string>& diagnosis) {
    steps_ = report.steps;
    while (StepList->topLevelItemCount() > static_cast<int>(firstNew)) delete StepList->topLevelItem(StepList->topLevelItemCount() - 1);
    host_->Log("重新诊断:");
    for (const auto& line : diagnosis) host_->Log("  " + line);
    if (firstNew < steps_.size()) host_->Log("接下来的步骤:");
    for (std::size_t i = firstNew; i < steps_.size(); ++i) {
        SetStepRow(i, steps_[i], StepState::Waiting);
        host_->Log("  " + std::to_string(i + 1) + ". " + steps_[i].title);
    }
    SetOverall(firstNew);
    host_->Flush();
    QCoreApplication::processEvents();
}

// The steps as the run left them, the table, the result line; the output is handed back only
// when the run kept one.
void TBxRescue::ShowEnd(bool outputExisted, bool completed) {
    StopButton->setEnabled(false);
    if (!run_) {
        StatusLabel->clear();
        return;
    }
    const RescueReport& report = run_->LastReport();
    if (!report.steps.empty()) steps_ = report.steps;
    for (std::size_t i = 0; i < steps_.size(); ++i) SetStepRow(i, steps_[i], EndedStepState(steps_[i]));
    if (!steps_.empty()) StepCaption->setText(RanStepsCaption(steps_));
    FillCompareTable(CompareTable, report.before, report.after ? &*report.after : nullptr);
    if (completed) {
        host_->Log("");
        for (const auto& line : RescueTable(report)) host_->Log(line);
    }
    host_->Flush();
    if (completed && report.outcome == Outcome::Done && !report.output.empty() && FileExists(report.output)) {
        kept_ = ToQt(report.output);
        ProgressBar->setValue(ProgressBar->maximum());
        OverallBar->setValue(OverallBar->maximum());
    }
    const QString result = completed ? ResultText(report, outputExisted)
                                     : QStringLiteral("修复失败, 没有生成输出文件") +
                                           (outputExisted ? QStringLiteral(", 已有的文件保持不变") : QString()) + QLatin1Char('.');
    ResultLabel->setText(result);
    StatusLabel->setText(report.outcome == Outcome::Done ? QStringLiteral("完成") : QString());
    ShowSelectedStep();
}

QString RescueFile(QWidget* parent, const QString& source, const QString& clipwrightPath) {
    TBxRescue dialog(parent);
    dialog.ClipwrightPath = clipwrightPath;
    return dialog.Execute(source);
}

}  // namespace mendery::ui
