// The advanced repair dialog on real files: a run with its log and output, the output landing
// in the main window's list, presets setting the engine, scripted bad-chunk answers, stopping
// a run, the save dialog's same-file check.
#include <QCheckBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

#include "gui/repair/BxAdvRepair.h"
#include "gui/main_window/MainForm.h"
#include "gui/kit/QtHost.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "gui/repair/AsfFileFrame.h"
#include "gui/repair/BadChunk.h"
#include "UiTestSupport.h"

using namespace mendery;
using namespace mendery::ui;
using namespace uitest;

namespace {
// Overwrites the first byte of the given packets of a copy, so their signature is bad.
void BreakPackets(const QString& path, std::initializer_list<int> packets, int packetSize) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray head = f.read(24);
    qint64 headerSize = 0;
    for (int i = 7; i >= 0; --i) headerSize = (headerSize << 8) | static_cast<unsigned char>(head[16 + i]);
    for (int k : packets) {
        f.seek(headerSize + 50 + qint64(k) * packetSize);
        f.write(QByteArray(1, '\x11'));
    }
}
QString Log(TAsfFileFrame* f) { return f->LogMemo->toPlainText(); }
}  // namespace

class AdvRepairTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void proposesOutputAndTitle() {
        TBxAdvRepair d;
        d.Setup(QStringLiteral("/v/a.asf"));
        QCOMPARE(d.windowTitle(), QStringLiteral("高级修复 - /v/a.asf"));
        QCOMPARE(d.OptionsFrame->OutputEdit->text(), QStringLiteral("/v/a.adv.asf"));
        QCOMPARE(d.RunButton()->text(), QStringLiteral("修复"));
        QCOMPARE(d.findChild<QPushButton*>("BitBtn2")->text(), QStringLiteral("播放修复文件"));
    }

    void presetsLockAndSetTheEngine() {
        TBxAdvRepair d;
        d.Setup(QStringLiteral("/v/a.wmv"));
        TAsfFileFrame* f = d.OptionsFrame;
        QCOMPARE(f->BadChunkGroup->Item(static_cast<int>(BadChunkAction::CopyLastGood))->text(), QStringLiteral("复制最后好的部分"));
        TAsfFile& e = f->Engine();
        QTest::mouseClick(f->FixTimeCodesBox, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(e.FixTimeCodes);

        d.PresetGroup->SetItemIndex(1);  // 修复坏点
        QCOMPARE(e.FixForBadChunk, BadChunkAction::Delete);
        QVERIFY(e.FixFileSize && e.FixDataSize && !e.FixTimeCodes);
        QCOMPARE(f->BadChunkGroup->ItemIndex(), 2);
        QVERIFY(f->FixFileSizeBox->isChecked() && !f->FixFileSizeBox->isEnabled() && !f->BadChunkGroup->isEnabled());

        d.PresetGroup->SetItemIndex(4);  // 设置可定位
        QCOMPARE(e.FileSeekableFlag, SeekableFlagChange::Enable);
        QCOMPARE(e.LiveFlag, LiveFlagChange::Reset);
        QCOMPARE(e.FixForBadChunk, BadChunkAction::DoNothing);
        QVERIFY(!e.FixFileSize);

        d.PresetGroup->SetItemIndex(6);  // VD兼容
        QVERIFY(e.FixPad08 && e.FixPad10 && e.FixPad40 && e.FixFileSize && e.FixDataSize);
        QVERIFY(f->Pad08Box->isChecked() && f->Pad40Box->isChecked());

        d.PresetGroup->SetItemIndex(0);  // 自定义: defaults, unlocked
        QVERIFY(!e.FixPad08 && !e.FixFileSize && e.FileSeekableFlag == SeekableFlagChange::Keep);
        QVERIFY(f->Pad08Box->isEnabled() && !f->Pad08Box->isChecked() && f->SeekableGroup->isEnabled());
    }

    void runOnARealSampleFromTheMainWindow() {
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv");
        const QString output = dir.filePath("a_wmv2_wmav2.adv.wmv");
        TMainForm w;
        w.AddFile(source);
        QString log;
        OnNextModal<TBxAdvRepair>([&](TBxAdvRepair* d) {
            QVERIFY(!w.PurgeTimer->isActive());  // stopped while the dialog is open
            d->PresetGroup->SetItemIndex(2);     // 修复部分文件
            QTest::mouseClick(d->RunButton(), Qt::LeftButton);
            QCOMPARE(d->RunButton()->text(), QStringLiteral("修复"));
            log = Log(d->OptionsFrame);
            QCOMPARE(d->OptionsFrame->ProgressBar->value(), d->OptionsFrame->ProgressBar->maximum());
            Screenshot(d, "advanced-repair-dialog");
            QTest::mouseClick(d->findChild<QPushButton*>("BitBtn5"), Qt::LeftButton);
        });
        w.AdvancedRepairCommand();
        QVERIFY(w.PurgeTimer->isActive());
        QVERIFY2(log.startsWith(QStringLiteral("打开中") + source), qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("数据块大小为3200")));
        QVERIFY(log.contains(QStringLiteral("文件已关闭")));
        QVERIFY(QFileInfo(output).size() > 900000);
        QCOMPARE(w.FileGrid->rowCount(), 2);
        QCOMPARE(w.FileGrid->item(1, 0)->text(), output);
        QCOMPARE(w.SelectedFile(), output);
        // An independent reader decodes the repaired copy without errors.
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", output, "-f", "null", "-"});
        if (ffmpeg.waitForFinished(60000)) {
            QCOMPARE(ffmpeg.exitCode(), 0);
            QVERIFY2(ffmpeg.readAllStandardError().isEmpty(), "ffmpeg reported errors");
        }
    }

    void badChunkAnswersAreScriptedAndRemembered() {
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "bad.wmv");
        BreakPackets(source, {5, 9, 20}, 3200);
        TBxAdvRepair d;
        d.Setup(source);
        d.OptionsFrame->BadChunkGroup->SetItemIndex(1);  // 每个都询问
        QStringList labels;
        QList<int> preselected;
        // First: "删除它"; second: closed with the close box; third: OK with what is preselected.
        std::function<void(TBadChunk*)> answer = [&](TBadChunk* b) {
            labels << b->ChunkLabel->text();
            preselected << b->ActionGroup->ItemIndex();
            if (labels.size() == 1) {
                b->ActionGroup->SetItemIndex(1);
                QTest::mouseClick(b->OkButton, Qt::LeftButton);
            } else if (labels.size() == 2) {
                b->reject();
            } else {
                QTest::mouseClick(b->OkButton, Qt::LeftButton);
            }
            if (labels.size() < 3) OnNextModal<TBadChunk>(answer);
        };
        OnNextModal<TBadChunk>(answer);
        QTest::mouseClick(d.RunButton(), Qt::LeftButton);
        QCOMPARE(labels, (QStringList{"数据块数量: 5", "数据块数量: 9", "数据块数量: 20"}));
        QCOMPARE(preselected, (QList<int>{0, 1, 1}));  // the dialog keeps its last answer
        QVERIFY(TBadChunk::Exists());
        const QString log = Log(d.OptionsFrame);
        QCOMPARE(log.count(QStringLiteral("Bad chunk signature!")), 3);
        // Two chunks deleted, one kept unchanged.
        const qint64 in = QFileInfo(source).size(), out = QFileInfo(d.OptionsFrame->Output()).size();
        QCOMPARE(in - out, 2 * 3200);
    }

    void secondClickStopsTheRun() {
        const QString source = CopySample(dir, "g2_wmv2_wmav2_pkt512.wmv");
        TBxAdvRepair d;
        d.Setup(source);
        QTest::mouseClick(d.OptionsFrame->WriteDetailBox, Qt::LeftButton, {}, QPoint(5, 5));  // detail lines
        QTimer::singleShot(0, &d, [&] {
            QCOMPARE(d.RunButton()->text(), QStringLiteral("中止"));
            QTest::mouseClick(d.RunButton(), Qt::LeftButton);
            QCOMPARE(d.RunButton()->text(), QStringLiteral("修复"));
        });
        QTest::mouseClick(d.RunButton(), Qt::LeftButton);
        QVERIFY(Log(d.OptionsFrame).contains(QStringLiteral("-->> 用户请求中止! <<--")));
        QCOMPARE(d.OptionsFrame->Engine().LastOutcome(), Outcome::Aborted);
        // What was written before the stop is kept in place of the output, and said to be partial.
        const QString output = d.OptionsFrame->Output();
        QVERIFY2(Log(d.OptionsFrame).contains(QStringLiteral("输出文件不完整 (已中止), 只包含中止前写入的部分: ") + output),
                 qPrintable(Log(d.OptionsFrame)));
        QVERIFY(QFileInfo(output).size() > 0);
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral(".*.part-*")}, QDir::Files | QDir::Hidden), QStringList());
    }

    void saveDialogRefusesTheSource() {
        TBxAdvRepair d;
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "same.wmv");
        d.Setup(source);
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!d.OptionsFrame->AcceptChosenOutput(source));
        QCOMPARE(text, QStringLiteral("输出文件不能和输入文件相同, 请再试一下."));
        QCOMPARE(d.OptionsFrame->OutputEdit->text(), dir.filePath("same.adv.wmv"));
        QVERIFY(d.OptionsFrame->AcceptChosenOutput(dir.filePath("other.wmv")));
        QCOMPARE(d.OptionsFrame->OutputEdit->text(), dir.filePath("other.wmv"));
    }

    void deleteOutputReportsBothWays() {
        TBxAdvRepair d;
        d.Setup(dir.filePath("gone.wmv"));
        QFile f(d.OptionsFrame->Output());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QTest::mouseClick(d.findChild<QPushButton*>("BitBtn4"), Qt::LeftButton);
        QCOMPARE(text, QStringLiteral("文件已删除,\n") + dir.filePath("gone.adv.wmv"));
        AnswerNextMessage(QMessageBox::Ok, &text);
        QTest::mouseClick(d.findChild<QPushButton*>("BitBtn4"), Qt::LeftButton);
        QCOMPARE(text, QStringLiteral("不能删除,\n") + dir.filePath("gone.adv.wmv"));
    }

    // A measurement, not a check: MENDERY_BENCH_SOURCE names a large file to repair with detail
    // lines on in the shown dialog; prints the time and the number of log lines.
    void benchDetailPass() {
        const QString source = qEnvironmentVariable("MENDERY_BENCH_SOURCE");
        if (source.isEmpty()) QSKIP("MENDERY_BENCH_SOURCE not set");
        TBxAdvRepair d;
        d.Setup(source);
        d.OptionsFrame->SetOutput(dir.filePath("bench.adv.wmv"));
        d.PresetGroup->SetItemIndex(2);  // 修复部分文件
        d.OptionsFrame->EnableOptions(true);
        QTest::mouseClick(d.OptionsFrame->WriteDetailBox, Qt::LeftButton, {}, QPoint(5, 5));
        d.show();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(d.RunButton(), Qt::LeftButton);
        qInfo("desktop detail pass: %.3f s, %zu log lines, memo %d lines", clock.elapsed() / 1000.0,
              d.OptionsFrame->Host().FullLog().size(), d.OptionsFrame->LogMemo->blockCount());
        QFile::remove(dir.filePath("bench.adv.wmv"));
    }

    // A status set for every chunk reaches the label once per round of events, the last one
    // set; a flush after the run shows the final one.
    void hostShowsTheLatestStatusWhenEventsRun() {
        QLabel label;
        QtHost host(nullptr, nullptr, &label);
        host.SetStatus("1/3");
        QVERIFY(label.text().isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(label.text(), QStringLiteral("1/3"));
        host.SetStatus("2/3");
        host.SetStatus("3/3");
        QCOMPARE(label.text(), QStringLiteral("1/3"));
        host.Flush();
        QCOMPARE(label.text(), QStringLiteral("3/3"));
        host.SetStatus("");
        QCoreApplication::processEvents();
        QVERIFY(label.text().isEmpty());
    }

    void hostBatchesAndCapsTheMemo() {
        QPlainTextEdit memo;
        QtHost host(&memo, nullptr);
        const int total = QtHost::kMemoLineCap + 10;
        for (int i = 0; i < total; ++i) {
            host.Log("line " + std::to_string(i));
            if (i % 1000 == 0) host.ProcessMessages();
        }
        host.Flush();
        QCOMPARE(host.FullLog().size(), std::size_t(total));
        // After the run the memo holds the complete tail, after one line that says lines were left out.
        QCOMPARE(memo.blockCount(), QtHost::kMemoLineCap + 1);
        QVERIFY(memo.document()->firstBlock().text().startsWith(QStringLiteral("…")));
        QCOMPARE(memo.document()->findBlockByNumber(1).text(), QStringLiteral("line 10"));
        QVERIFY(memo.toPlainText().endsWith(QStringLiteral("line %1").arg(total - 1)));
        QTemporaryDir out;
        QVERIFY(host.SaveFullLog(out.filePath("log.txt")));
        QFile saved(out.filePath("log.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll().count('\n'), total);
        host.ClearLog();
        QVERIFY(memo.toPlainText().isEmpty());
    }
};

QTEST_MAIN(AdvRepairTest)
#include "adv_repair_test.moc"
