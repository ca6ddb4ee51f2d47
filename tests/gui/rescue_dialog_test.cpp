// The one-step rescue window: the command of the repair group opens it on the selected file, a
// run fills the steps and the before/after table and lands its output in the list; the stop
// button (and closing the window) stop a run without output; the reference file reaches the
// run; outputs that would destroy the source or the reference are refused.
#include <QCheckBox>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <unistd.h>

#include "gui/main_window/MainForm.h"
#include "gui/repair/RescueDialog.h"
#include "gui/repair/RescueView.h"
#include "UiTestSupport.h"

using namespace mendery;
using namespace mendery::ui;
using namespace uitest;

namespace {

QByteArray Bytes(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

QByteArray Hash(const QString& path) { return QCryptographicHash::hash(Bytes(path), QCryptographicHash::Sha256); }

// A copy of the sample with three data packets overwritten by garbage: damaged packets on an
// intact grid, which a rescue can repair.
QString DamagedCopy(const QTemporaryDir& dir, const QString& as) {
    const QString path = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), as);
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    const QByteArray head = f.read(24);
    qint64 headerSize = 0;
    for (int i = 7; i >= 0; --i) headerSize = (headerSize << 8) | static_cast<unsigned char>(head[16 + i]);
    const int packetSize = 3200;
    for (int k : {40, 41, 90}) {
        f.seek(headerSize + 50 + qint64(k) * packetSize);
        f.write(QByteArray(packetSize, '\x5A'));
    }
    return path;
}

QStringList States(const TBxRescue& d) {
    QStringList states;
    for (int i = 0; i < d.StepList->topLevelItemCount(); ++i) states << d.StepList->topLevelItem(i)->text(1);
    return states;
}

// The cell of the table's first row whose label contains `label`.
QString Cell(const TBxRescue& d, const QString& label, int column) {
    for (int r = 0; r < d.CompareTable->rowCount(); ++r) {
        const auto* header = d.CompareTable->verticalHeaderItem(r);
        if (header && header->text().contains(label)) {
            const auto* item = d.CompareTable->item(r, column);
            return item ? item->text() : QString();
        }
    }
    return QStringLiteral("(no row %1)").arg(label);
}

QStringList LeftOvers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*.part-*"), QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
}

// Clicks the stop button as soon as a step shows as running.
void StopWhenAStepRuns(TBxRescue* d, const std::function<void()>& stop) {
    auto* timer = new QTimer(d);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, d, [d, timer, stop] {
        if (!States(*d).contains(QStringLiteral("运行中"))) return;
        timer->stop();
        stop();
    });
    timer->start();
}

// What the progress rows show each time the run lets events run: the caption and the overall
// bar, one entry per change.
struct ProgressSeen {
    QStringList captions;
    QList<int> values, maxima;
};

void WatchProgress(TBxRescue* d, ProgressSeen* seen) {
    auto* timer = new QTimer(d);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, d, [d, seen] {
        const QString caption = d->StepCaption->text();
        const int value = d->OverallBar->value(), maximum = d->OverallBar->maximum();
        if (!seen->captions.isEmpty() && seen->captions.last() == caption && seen->values.last() == value &&
            seen->maxima.last() == maximum)
            return;
        seen->captions << caption;
        seen->values << value;
        seen->maxima << maximum;
    });
    timer->start();
}

// Every step was shown as "第 i 步 (共 n 步): title" in turn, with the bar at the steps ended
// before it, and the bar never went back.
void ExpectStepsShownInTurn(const ProgressSeen& seen, const std::vector<RescueStep>& steps) {
    int from = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const QString caption = RunningStepCaption(i, steps.size(), steps[i].title);
        const int at = seen.captions.indexOf(caption, from);
        QVERIFY2(at >= 0, qPrintable(caption + QStringLiteral(" not in ") + seen.captions.join(QLatin1Char('|'))));
        QCOMPARE(seen.values[at], static_cast<int>(i));
        from = at;
    }
    for (int k = 1; k < seen.values.size(); ++k) QVERIFY(seen.values[k] >= seen.values[k - 1] || seen.values[k] == 0);
}

}  // namespace

class RescueDialogTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void commandRunsTheRescueAndListsItsOutput() {
        const QString source = DamagedCopy(dir, QStringLiteral("damaged.wmv"));
        const QByteArray sourceHash = Hash(source);
        TMainForm w;
        w.CheckLibraryOnFirstShow = false;
        w.AddFile(source);
        auto* command = w.findChild<QToolButton*>(QStringLiteral("RescueButton"));
        QVERIFY(command && command->isEnabled());
        QCOMPARE(command->toolTip(), QStringLiteral("自动诊断文件的损坏并选择合适的工具修复"));
        QCOMPARE(command->parentWidget()->objectName(), QStringLiteral("GroupPanel2"));

        w.GroupHeaders[1]->setChecked(true);
        w.show();
        Screenshot(&w, QStringLiteral("main-window-repair-group"));

        QString output, result;
        OnNextModal<TBxRescue>([&](TBxRescue* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("一键修复 - ") + source);
            QCOMPARE(d->SourceEdit->text(), source);
            output = d->Output();
            QVERIFY2(output != source && output.endsWith(QStringLiteral(".wmv")), qPrintable(output));
            QVERIFY(!d->StopButton->isEnabled());
            QTest::mouseClick(d->StartButton, Qt::LeftButton);
            QVERIFY(!d->Running());
            QVERIFY(d->StepList->topLevelItemCount() > 0);
            // Every step shows how it ended; at least one result was kept.
            for (const QString& state : States(*d))
                QVERIFY2(state != QStringLiteral("等待") && state != QStringLiteral("运行中"), qPrintable(States(*d).join(QLatin1Char(','))));
            QVERIFY(States(*d).contains(QStringLiteral("完成")));
            QCOMPARE(d->CompareTable->columnCount(), 2);
            QCOMPARE(Cell(*d, QStringLiteral("能否解码"), 1), QStringLiteral("是"));
            QVERIFY(Cell(*d, QStringLiteral("可播放时长"), 1).endsWith(QStringLiteral(" 秒")));
            QVERIFY(Cell(*d, QStringLiteral("视频流 "), 1).toLongLong() > 0);
            result = d->ResultLabel->text();
            QVERIFY(d->RunLog->toPlainText().contains(QStringLiteral("诊断:")));
            QVERIFY(d->StartButton->isEnabled() && !d->StopButton->isEnabled());

            // Selecting a step shows its own log.
            d->StepList->setCurrentItem(d->StepList->topLevelItem(0));
            QCOMPARE(d->LogTabs->currentWidget(), d->StepLog);
            QVERIFY(d->StepLog->toPlainText().startsWith(d->StepList->topLevelItem(0)->text(0).section(QStringLiteral(". "), 1)));
            Screenshot(d, QStringLiteral("rescue-dialog"));
            d->resize(640, 480);
            Screenshot(d, QStringLiteral("rescue-dialog-small"));
            d->resize(1200, 860);
            Screenshot(d, QStringLiteral("rescue-dialog-large"));
            QTest::mouseClick(d->CloseButton, Qt::LeftButton);
        });
        command->click();
        QCOMPARE(result, QStringLiteral("修复完成, 已保存: ") + output);
        QVERIFY(QFileInfo(output).size() > 500000);
        QCOMPARE(w.SelectedFile(), output);
        QCOMPARE(w.FileGrid->rowCount(), 2);
        QCOMPARE(Hash(source), sourceHash);
        QVERIFY(w.PurgeTimer->isActive());
    }

    // The caption names the running step and the plan's length, the overall bar counts the
    // steps ended; at the end all of them, and the caption says how many ran.
    void overallProgressFollowsTheSteps() {
        const QString source = DamagedCopy(dir, QStringLiteral("progress.wmv"));
        TBxRescue d;
        d.ClipwrightPath = QStringLiteral(MENDERY_CLIPWRIGHT);
        d.Setup(source);
        d.show();
        QCOMPARE(d.OverallBar->value(), 0);
        ProgressSeen seen;
        WatchProgress(&d, &seen);
        d.Start();
        QCOMPARE(d.LastRun()->LastOutcome(), Outcome::Done);
        const auto& steps = d.LastRun()->LastReport().steps;
        QVERIFY(steps.size() >= 2);
        ExpectStepsShownInTurn(seen, steps);
        QVERIFY(seen.maxima.contains(static_cast<int>(steps.size())));
        QCOMPARE(d.OverallBar->maximum(), static_cast<int>(steps.size()));
        QCOMPARE(d.OverallBar->value(), d.OverallBar->maximum());
        QCOMPARE(d.OverallBar->text(), QStringLiteral("%1/%1 步").arg(steps.size()));
        QCOMPARE(d.StepCaption->text(), QStringLiteral("已运行 %1 步 (共 %1 步)").arg(steps.size()));
        Screenshot(&d, QStringLiteral("rescue-dialog-progress"));

        // A second run starts from nothing.
        seen = {};
        d.Start();
        QCOMPARE(seen.values.value(0, -1), 0);
    }

    // "删除输出文件" as in the other tool windows: usable when the output file is there, not
    // while a run goes on; the file is deleted and no longer handed back to the file list
    // (the tool windows' helper, whose failure text the advanced repair's test checks).
    void deleteOutputRemovesTheRescuedFile() {
        const QString source = DamagedCopy(dir, QStringLiteral("todelete.wmv"));
        TBxRescue d;
        d.Setup(source);
        QCOMPARE(d.DeleteOutputButton->text(), QStringLiteral("删除输出文件"));
        QVERIFY(!d.DeleteOutputButton->isEnabled());
        QFile earlier(d.Output());  // an earlier result of that name
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.close();
        d.SetOutput(d.Output());
        QVERIFY(d.DeleteOutputButton->isEnabled());
        d.show();
        bool enabledWhileRunning = true;
        StopWhenAStepRuns(&d, [&] { enabledWhileRunning = d.DeleteOutputButton->isEnabled(); });
        d.Start();
        QVERIFY(!enabledWhileRunning);
        QCOMPARE(d.KeptOutput(), d.Output());
        QVERIFY(d.DeleteOutputButton->isEnabled());
        const QByteArray sourceHash = Hash(source);

        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QTest::mouseClick(d.DeleteOutputButton, Qt::LeftButton);
        QCOMPARE(text, QStringLiteral("文件已删除,\n") + d.Output());
        QVERIFY(!QFileInfo::exists(d.Output()));
        QVERIFY(d.KeptOutput().isEmpty());
        QVERIFY(!d.DeleteOutputButton->isEnabled());
        QCOMPARE(Hash(source), sourceHash);
    }

    void stopButtonStopsTheRunWithoutOutput() {
        const QString source = DamagedCopy(dir, QStringLiteral("tostop.wmv"));
        TBxRescue d;
        d.Setup(source);
        const QByteArray old("the user's own file, not to be lost");
        QFile f(d.Output());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
        f.close();
        d.show();
        StopWhenAStepRuns(&d, [&] {
            QVERIFY(d.StopButton->isEnabled() && !d.StartButton->isEnabled());
            QTest::mouseClick(d.StopButton, Qt::LeftButton);
        });
        QTest::mouseClick(d.StartButton, Qt::LeftButton);
        QVERIFY(d.LastRun());
        QCOMPARE(d.LastRun()->LastOutcome(), Outcome::Aborted);
        QVERIFY(d.LastRun()->Aborted);
        QVERIFY2(States(d).contains(QStringLiteral("已停止")), qPrintable(States(d).join(QLatin1Char(','))));
        QCOMPARE(d.ResultLabel->text(), QStringLiteral("已停止, 没有生成输出文件, 已有的文件保持不变."));
        QCOMPARE(Bytes(d.Output()), old);
        QVERIFY(d.KeptOutput().isEmpty());
        QCOMPARE(LeftOvers(dir.path()), QStringList());
        QVERIFY(d.isVisible() && d.StartButton->isEnabled());
        Screenshot(&d, QStringLiteral("rescue-dialog-stopped"));
    }

    void closingTheWindowStopsTheRun() {
        const QString source = DamagedCopy(dir, QStringLiteral("toclose.wmv"));
        TBxRescue d;
        d.Setup(source);
        d.show();
        StopWhenAStepRuns(&d, [&] { d.reject(); });
        QTest::mouseClick(d.StartButton, Qt::LeftButton);
        QCOMPARE(d.LastRun()->LastOutcome(), Outcome::Aborted);
        QVERIFY(!d.isVisible());
        QVERIFY(!QFileInfo::exists(d.Output()));
    }

    void referenceFileReachesTheRun() {
        const QString source = DamagedCopy(dir, QStringLiteral("withref.wmv"));
        const QString reference = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), QStringLiteral("good.wmv"));
        TBxRescue d;
        d.Setup(source);
        QVERIFY(!d.ReferenceBox->isChecked());
        // Checking the box asks for the file.
        OnNextModal<QFileDialog>([&](QFileDialog* f) {
            QCOMPARE(f->windowTitle(), QStringLiteral("选择参考文件"));
            f->selectFile(reference);
            QMetaObject::invokeMethod(f, "accept");
        });
        QTest::mouseClick(d.ReferenceBox, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(d.ReferenceBox->isChecked());
        QCOMPARE(d.ReferenceEdit->text(), reference);
        d.Start();
        QCOMPARE(QString::fromStdString(d.LastRun()->ReferenceFileName), reference);
        QCOMPARE(QString::fromStdString(d.LastRun()->FileName), source);
        QCOMPARE(QString::fromStdString(d.LastRun()->OutFileName), d.Output());

        // Unchecked, the next run goes without it.
        QTest::mouseClick(d.ReferenceBox, Qt::LeftButton, {}, QPoint(5, 5));
        d.Start();
        QCOMPARE(d.LastRun()->ReferenceFileName, std::string());
        // The proposed name is overwritten without a question.
        QVERIFY2(d.ResultLabel->text().startsWith(QStringLiteral("修复完成")), qPrintable(d.ResultLabel->text()));

        // A dialog cancelled leaves the box unchecked.
        OnNextModal<QFileDialog>([&](QFileDialog* f) { f->reject(); });
        d.SetReference(QString());
        QTest::mouseClick(d.ReferenceBox, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!d.ReferenceBox->isChecked());
    }

    // A copy whose header is lost: without a reference the window says to choose one and writes
    // nothing; with the reference chosen the header is rebuilt, the step list grows by the steps
    // planned from the rebuilt file, and the output plays.
    void referenceFileRebuildsALostHeader() {
        const QString sample = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), QStringLiteral("intact.wmv"));
        const QString source = dir.filePath(QStringLiteral("headless.wmv"));
        {
            QByteArray bytes = Bytes(sample);
            bytes.replace(0, 5 * 1024, QByteArray(5 * 1024, '\0'));
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const QByteArray sourceHash = Hash(source);
        TBxRescue d;
        d.ClipwrightPath = QStringLiteral(MENDERY_CLIPWRIGHT);
        d.Setup(source);
        d.Start();
        QCOMPARE(d.LastRun()->LastOutcome(), Outcome::Refused);
        QVERIFY(d.RunLog->toPlainText().contains(QStringLiteral("请选择一个用同样设置录制的完好文件作为参考文件")));
        QVERIFY2(d.ResultLabel->text().startsWith(QStringLiteral("文件头无法读取, 没有生成输出文件. 请勾选 \"参考文件\"")),
                 qPrintable(d.ResultLabel->text()));
        QVERIFY(!QFileInfo::exists(d.Output()));

        OnNextModal<QFileDialog>([&](QFileDialog* f) {
            f->selectFile(sample);
            QMetaObject::invokeMethod(f, "accept");
        });
        QTest::mouseClick(d.ReferenceBox, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(d.ReferenceBox->isChecked());
        d.Start();
        QCOMPARE(d.LastRun()->LastOutcome(), Outcome::Done);
        const auto& steps = d.LastRun()->LastReport().steps;
        QVERIFY(steps.size() > 1);
        QCOMPARE(steps[0].kind, RescueStepKind::RebuildHeader);
        QCOMPARE(d.StepList->topLevelItemCount(), static_cast<int>(steps.size()));
        QCOMPARE(d.StepList->topLevelItem(0)->text(0), QStringLiteral("1. 从参考文件重建文件头"));
        // The plan grew after the header step: the overall bar counts the grown plan.
        QCOMPARE(d.OverallBar->maximum(), static_cast<int>(steps.size()));
        QCOMPARE(d.OverallBar->value(), d.OverallBar->maximum());
        for (const QString& state : States(d))
            QVERIFY2(state != QStringLiteral("等待") && state != QStringLiteral("运行中"), qPrintable(States(d).join(QLatin1Char(','))));
        QVERIFY(d.RunLog->toPlainText().contains(QStringLiteral("重新诊断:")));
        QCOMPARE(Cell(d, QStringLiteral("能否解码"), 0), QStringLiteral("否"));
        QCOMPARE(Cell(d, QStringLiteral("能否解码"), 1), QStringLiteral("是"));
        QVERIFY(Cell(d, QStringLiteral("视频流 "), 1).toLongLong() > 0);
        QCOMPARE(d.KeptOutput(), d.Output());
        QCOMPARE(Hash(source), sourceHash);
        QCOMPARE(LeftOvers(dir.path()), QStringList());
    }

    void saveDialogChoosesTheOutput() {
        const QString source = DamagedCopy(dir, QStringLiteral("choose.wmv"));
        const QString chosen = dir.filePath(QStringLiteral("chosen.wmv"));
        TBxRescue d;
        d.Setup(source);
        const QString proposed = d.Output();
        OnNextModal<QFileDialog>([&](QFileDialog* f) {
            QCOMPARE(f->acceptMode(), QFileDialog::AcceptSave);
            QVERIFY(!f->testOption(QFileDialog::DontConfirmOverwrite));  // asks before replacing a file
            QCOMPARE(f->selectedFiles().value(0), proposed);
            f->selectFile(chosen);
            QMetaObject::invokeMethod(f, "accept");
        });
        QTest::mouseClick(d.OutputButton, Qt::LeftButton);
        QCOMPARE(d.Output(), chosen);

        // The source exists: the save dialog asks before replacing it, then the window refuses it.
        QString asked, text;
        OnNextModal<QFileDialog>([&](QFileDialog* f) {
            OnNextModal<QMessageBox>([&](QMessageBox* box) {
                asked = box->text();
                AnswerNextMessage(QMessageBox::Ok, &text);
                box->button(QMessageBox::Yes)->click();  // the static dialogs read the clicked button
            });
            f->selectFile(source);
            QMetaObject::invokeMethod(f, "accept");
        });
        QTest::mouseClick(d.OutputButton, Qt::LeftButton);
        QVERIFY(asked.contains(QStringLiteral("choose.wmv")));
        QCOMPARE(text, QStringLiteral("输出文件不能和输入文件相同, 请再试一下."));
        QCOMPARE(d.Output(), chosen);
    }

    void outputsThatWouldDestroyAFileAreRefused() {
        const QString source = DamagedCopy(dir, QStringLiteral("refuse.wmv"));
        const QString reference = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), QStringLiteral("ref2.wmv"));
        const QByteArray referenceHash = Hash(reference);
        TBxRescue d;
        d.Setup(source);
        d.SetReference(reference);
        d.SetOutput(reference);
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        d.Start();
        QCOMPARE(text, QStringLiteral("输出文件不能和参考文件相同, 请再试一下."));
        QVERIFY(!d.LastRun());
        QCOMPARE(Hash(reference), referenceHash);

        d.SetReference(source);
        d.SetOutput(dir.filePath(QStringLiteral("refuse.out.wmv")));
        AnswerNextMessage(QMessageBox::Ok, &text);
        d.Start();
        QCOMPARE(text, QStringLiteral("参考文件不能是要修复的文件本身, 请选择另一个完好的文件."));

        d.SetReference(QString());
        d.SetOutput(source);
        AnswerNextMessage(QMessageBox::Ok, &text);
        d.Start();
        QVERIFY2(!text.isEmpty() && !text.startsWith(QStringLiteral("参考")), qPrintable(text));
        QVERIFY(!d.LastRun());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("refuse.out.wmv"))));
    }

    void anOutputFolderThatCannotBeWrittenIsReported() {
        const QString source = DamagedCopy(dir, QStringLiteral("nowrite.wmv"));
        const QString folder = dir.filePath(QStringLiteral("readonly"));
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        TBxRescue d;
        d.Setup(source);
        // Root writes anywhere but in the kernel's own file systems.
        d.SetOutput((::geteuid() == 0 ? QStringLiteral("/sys") : folder) + QStringLiteral("/out.wmv"));
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        d.show();
        d.Start();
        // The reason reaches the user, as a message or as the result line with the log.
        const QString shown = text + d.ResultLabel->text();
        QVERIFY2(shown.contains(QStringLiteral("错误在 \"") + source) || shown.startsWith(QStringLiteral("修复失败")), qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("输出文件")) || d.RunLog->toPlainText().contains(QStringLiteral("输出文件")),
                 qPrintable(shown + d.RunLog->toPlainText()));
        QVERIFY(!QFileInfo::exists(d.Output()));
        QVERIFY(d.isVisible() && d.StartButton->isEnabled() && !d.StopButton->isEnabled());
        QVERIFY(d.KeptOutput().isEmpty());
    }

    void runsThatKeepNothingSayWhy() {
        // An intact file: nothing to do, nothing written, the diagnosis says so.
        const QString clean = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), QStringLiteral("clean.wmv"));
        TBxRescue d;
        d.Setup(clean);
        d.Start();
        QCOMPARE(d.LastRun()->LastOutcome(), Outcome::NothingUsable);
        QCOMPARE(d.ResultLabel->text(), QStringLiteral("没有适用的修复步骤 (见诊断), 没有生成输出文件."));
        QVERIFY(d.RunLog->toPlainText().contains(QStringLiteral("诊断:")));
        QCOMPARE(Cell(d, QStringLiteral("能否解码"), 0), QStringLiteral("是"));
        QCOMPARE(Cell(d, QStringLiteral("能否解码"), 1), QStringLiteral("—"));
        QVERIFY(!QFileInfo::exists(d.Output()) && d.KeptOutput().isEmpty());

        // An empty file cannot be rescued: the reason is in the log, the window goes on.
        const QString empty = dir.filePath(QStringLiteral("empty.wmv"));
        QFile(empty).open(QIODevice::WriteOnly);
        TBxRescue e;
        e.Setup(empty);
        static QString message;  // outlives the answer's timer, which waits on when no box shows
        AnswerNextMessage(QMessageBox::Ok, &message);
        e.Start();
        QVERIFY2(e.ResultLabel->text().startsWith(QStringLiteral("修复失败")) ||
                     e.ResultLabel->text().startsWith(QStringLiteral("没有")),
                 qPrintable(e.ResultLabel->text()));
        QVERIFY2(!e.RunLog->toPlainText().isEmpty() || !message.isEmpty(), "no reason shown");
        QVERIFY(!QFileInfo::exists(e.Output()) && e.StartButton->isEnabled());
        QCOMPARE(LeftOvers(dir.path()), QStringList());
    }

    void stepStatesAndTheTable() {
        RescueStep step;
        QCOMPARE(StepStateText(EndedStepState(step)), QStringLiteral("未运行"));
        step.outcome = Outcome::Done;
        QCOMPARE(StepStateText(EndedStepState(step)), QStringLiteral("未保留"));
        step.kept = true;
        QCOMPARE(StepStateText(EndedStepState(step)), QStringLiteral("完成"));
        step.outcome = Outcome::Aborted;
        QCOMPARE(StepStateText(EndedStepState(step)), QStringLiteral("已停止"));
        for (Outcome o : {Outcome::Failed, Outcome::Refused, Outcome::NothingUsable, Outcome::Declined}) {
            step.outcome = o;
            QCOMPARE(StepStateText(EndedStepState(step)), QStringLiteral("失败"));
        }

        // A source that does not open beside a result with two streams: a row per stream, the
        // source's side empty, the reason it did not open as the hint.
        DecodeCheck before;
        before.whyNot = "没有文件头";
        DecodeCheck after;
        after.opened = true;
        after.playableSeconds = 12.34;
        after.streams = {{2, "视频", 300}, {1, "音频", 520}};
        after.decodeErrors = 3;
        after.seekable = true;
        QTableWidget table;
        FillCompareTable(&table, before, &after);
        QStringList rows;
        for (int r = 0; r < table.rowCount(); ++r) rows << table.verticalHeaderItem(r)->text() + QLatin1Char('=') +
                                                             table.item(r, 0)->text() + QLatin1Char('/') + table.item(r, 1)->text();
        QCOMPARE(rows, QStringList({QStringLiteral("能否解码=否/是"), QStringLiteral("可播放时长=—/12.3 秒"),
                                    QStringLiteral("音频流 1 帧数=—/520"), QStringLiteral("视频流 2 帧数=—/300"),
                                    QStringLiteral("解码错误=—/3"), QStringLiteral("可定位=—/是")}));
        QCOMPARE(table.item(0, 0)->toolTip(), QStringLiteral("没有文件头"));
        FillCompareTable(&table, after, nullptr);
        QCOMPARE(table.item(1, 1)->text(), QStringLiteral("—"));
        QCOMPARE(table.rowCount(), 6);
    }
};

QTEST_MAIN(RescueDialogTest)
#include "rescue_dialog_test.moc"
