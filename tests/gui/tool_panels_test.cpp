// The other tool dialogs and the main window's flows on real samples: lost-chunk recovery,
// shrinker, AVI and WAV conversion, re-encoding, the flag fixer's messages, basic repair and
// join through the real clipwright installed beside the program.
#include <QCheckBox>
#include <QDesktopServices>
#include <QMimeData>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

#include "launch/LibraryCheck.h"
#include "gui/main_window/Startup.h"
#include "asf/BinaryFile.h"
#include "gui/cut/CutForm.h"
#include "gui/main_window/MainForm.h"
#include "gui/kit/ToolDialog.h"
#include "gui/main_window/ToolDialogs.h"
#include "gui/kit/Widgets.h"
#include "gui/convert/Asf2AviPanel.h"
#include "gui/convert/MediaEncoderPanel.h"
#include "gui/repair/FlagFixForm.h"
#include "gui/recovery/SampleFrame.h"
#include "gui/recovery/ShrinkerPanel.h"
#include "UiTestSupport.h"

using namespace mendery;
using namespace mendery::ui;
using namespace uitest;

namespace {
QString LogOf(QWidget* dialog) { return dialog->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText(); }
QPushButton* Button(QWidget* dialog, const char* name) { return dialog->findChild<QPushButton*>(QString::fromLatin1(name)); }

// Clicks run in the next tool dialog, records its title and log, then closes it.
struct RunAndClose {
    QString title, log;
    std::function<void(ToolDialog*)> before, after;
    void Arm() {
        OnNextModal<ToolDialog>([this](ToolDialog* d) {
            title = d->windowTitle();
            if (before) before(d);
            QTest::mouseClick(d->RunButton(), Qt::LeftButton);
            log = LogOf(d);
            if (after) after(d);
            Screenshot(d, d->objectName());
            QTest::mouseClick(Button(d, "BitBtn5"), Qt::LeftButton);
        });
    }
};

QByteArray Head(const QString& path, int n) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.read(n);
}

// The 32-bit flags of the file properties object (found by its GUID's first bytes).
quint32 Flags(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray head = f.read(4096);
    const int at = head.indexOf(QByteArray::fromHex("a1dcab8c47a9cf118ee400c00c205365"));
    const QByteArray flags = head.mid(at + 88, 4);
    return quint8(flags[0]) | quint8(flags[1]) << 8 | quint8(flags[2]) << 16 | quint32(quint8(flags[3])) << 24;
}
}  // namespace

class ToolPanelsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // A main window with one file listed and the library check answered.
    void ListOne(TMainForm& w, const QString& path) {
        w.AddFile(path);
        QCOMPARE(w.SelectedFile(), path);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void lostChunkRecoversACutFileAndListsIt() {
        // Cut 1000 bytes out of the middle of a chunk: the grid breaks there.
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "cut.wmv");
        QFile f(source);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray all = f.readAll();
        all.remove(200000, 1000);
        f.resize(0);
        f.write(all);
        f.close();
        TMainForm w;
        ListOne(w, source);
        RunAndClose run;
        run.Arm();
        w.findChild<QToolButton*>(QStringLiteral("LostChunkButton"))->click();
        QCOMPARE(run.title, QStringLiteral("丢失数据块 -") + source);
        QVERIFY2(run.log.contains(QStringLiteral(" 已找到部分丢失的数据块. 正在覆盖...")), qPrintable(run.log));
        const QString output = dir.filePath("cut.lch.wmv");
        QVERIFY(QFileInfo(output).size() > 900000);
        QCOMPARE(w.SelectedFile(), output);
    }

    void shrinkerWithoutTheCuttingTool() {
        const QString source = CopySample(dir, "c_wmav2.wma", "big.wma");
        ShrinkerPanel* panel = nullptr;
        OnNextModal<ToolDialog>([&](ToolDialog* d) {
            panel = d->findChild<ShrinkerPanel*>();
            QVERIFY(!panel->ExtraCompressionBox->isChecked() && !panel->ExtraCompressionBox->isEnabled());
            QCOMPARE(d->windowTitle(), QStringLiteral("压缩器 - ") + source);
            QCOMPARE(d->RunButton()->text(), QStringLiteral("缩减"));
            QTest::mouseClick(d->RunButton(), Qt::LeftButton);
            QCOMPARE(d->RunButton()->text(), QStringLiteral("压缩"));
            QVERIFY2(LogOf(d).contains(QStringLiteral("新文件是")), qPrintable(LogOf(d)));
            Screenshot(d, d->objectName());
            d->accept();
        });
        const QString output = ShrinkFile(nullptr, source, false);
        QCOMPARE(output, dir.filePath("big.shr.wma"));
        QVERIFY(QFileInfo(output).size() > 0 && QFileInfo(output).size() < QFileInfo(source).size());
    }

    void wavFromAnAudioFile() {
        const QString source = CopySample(dir, "c_wmav2.wma");
        TMainForm w;
        ListOne(w, source);
        RunAndClose run;
        run.Arm();
        w.findChild<QToolButton*>(QStringLiteral("WavButton"))->click();
        QCOMPARE(run.title, QStringLiteral("转换为 Wav - ") + source);
        const QString output = dir.filePath("c_wmav2.wav");
        QCOMPARE(Head(output, 4), QByteArray("RIFF"));
        QCOMPARE(w.FileGrid->rowCount(), 1);  // converters add nothing to the list
    }

    void aviHeaderEditAndDivX() {
        const QString source = CopySample(dir, "b_msmpeg4v3_wmav2.asf");
        RunAndClose run;
        run.after = [](ToolDialog* d) {
            auto* p = d->findChild<Asf2AviPanel*>();
            QVERIFY(!p->FrameRateEdit->text().isEmpty());
            QVERIFY(!p->CompressionEdit->isEnabled());
            QTest::mouseClick(p->EditHeaderBox, Qt::LeftButton, {}, QPoint(5, 5));
            QVERIFY(p->CompressionEdit->isEnabled() && p->UpgradeAviButton->isEnabled() && p->MakeDivXButton->isEnabled());
            QTest::mouseClick(p->MakeDivXButton, Qt::LeftButton);
            QCOMPARE(p->CompressionEdit->text(), QStringLiteral("DIV3"));
            QVERIFY(!p->MakeDivXButton->isEnabled());
            QVERIFY(LogOf(d).contains(QStringLiteral("文件转换为 DivX")));
        };
        run.Arm();
        ConvertToAvi(nullptr, source);
        const QString output = dir.filePath("b_msmpeg4v3_wmav2.avi");
        QCOMPARE(Head(output, 4), QByteArray("RIFF"));
        QVERIFY(Head(output, 4096).contains("DIV3"));
    }

    void sampleOfTheSelectedFile() {
        const QString file = CopySample(dir, "a_wmv2_wmav2.wmv", "sampled.wmv");
        TMainForm w;
        ListOne(w, file);
        w.Pages->setCurrentIndex(2);
        TSampleFrame* f = w.Sampler;
        for (auto* b : {f->LatestVersionBox, f->ReadHintsBox, f->ReadFaqBox, f->MayNotRecoverBox, f->DamagedFileBox, f->OriginalFileBox})
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(f->MakeSampleButton->isEnabled());
        QTest::mouseClick(f->MakeSampleButton, Qt::LeftButton);
        QCOMPARE(f->ResultLabel->text(), QStringLiteral("样本文件是 \"") + file + QStringLiteral(".sam\""));
        QCOMPARE(QFileInfo(file + QStringLiteral(".sam")).size(), 524288);
        QVERIFY(!f->DoneImage->isHidden());
    }

    void droppedFilesAreListed() {
        TMainForm w;
        const QString a = CopySample(dir, "a_wmv2_wmav2.wmv", "dropped.wmv");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(dir.filePath("notes.txt"))});
        w.CheckLibraryOnFirstShow = false;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        QCOMPARE(w.SelectedFile(), a);
        QCOMPARE(w.FileGrid->rowCount(), 1);
    }

    void keyboardOnTheList() {
        TMainForm w;
        w.AddFile(QStringLiteral("/v/a.wmv"));
        w.AddFile(QStringLiteral("/v/b.wmv"));
        QTest::keyClick(w.FileGrid, Qt::Key_Delete);
        QCOMPARE(w.FileGrid->rowCount(), 1);
        QCOMPARE(w.SelectedFile(), QStringLiteral("/v/a.wmv"));
    }

    void moveAndCopyTheSelectedFile() {
        const QString a = CopySample(dir, "a_wmv2_wmav2.wmv", "tomove.wmv");
        TMainForm w;
        ListOne(w, a);
        const QString moved = dir.filePath("moved.wmv");
        w.MoveCurrentTo(moved);
        QCOMPARE(w.SelectedFile(), moved);
        QVERIFY(QFileInfo::exists(moved) && !QFileInfo::exists(a));

        const QString copy = dir.filePath("copy.wmv");
        w.CopyCurrentTo(copy);
        QCOMPARE(w.FileGrid->rowCount(), 2);
        QCOMPARE(w.SelectedFile(), copy);
        QCOMPARE(QFileInfo(copy).size(), QFileInfo(moved).size());

        // A copy onto an existing file asks first; No keeps both as they were.
        QString question;
        OnNextModal<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            box->done(QMessageBox::No);
            AnswerNextMessage(QMessageBox::Ok);  // then "不能复制到选定的目标文件!"
        });
        w.SetCurrentRow(0);
        w.CopyCurrentTo(copy);
        QCOMPARE(question, QStringLiteral("目标文件已存在, 是否替换?\n") + copy);
        QCOMPARE(w.FileGrid->rowCount(), 2);

        // Declining the recycle bin keeps the file and its row.
        w.SetCurrentRow(1);
        AnswerNextMessage(QMessageBox::No, &question);
        w.findChild<QToolButton*>(QStringLiteral("RecycleButton"))->click();
        QCOMPARE(question, QStringLiteral("您确定要发送 '") + copy + QStringLiteral("' 至回收站?"));
        QVERIFY(QFileInfo::exists(copy));
        QCOMPARE(w.FileGrid->rowCount(), 2);
    }

    void flagFixerMessages() {
        const QString file = CopySample(dir, "a_wmv2_wmav2.wmv", "flags.wmv");
        TMainForm w;
        ListOne(w, file);
        QCOMPARE(Flags(file), 2u);
        QString text;
        AnswerNextMessage(QMessageBox::No, &text);
        w.FlagsCommand();
        QCOMPARE(text, QStringLiteral("文件已经可定位. 您希望将其设置为直播?"));
        QCOMPARE(Flags(file), 2u);
        TFlagFixForm* form = w.FlagFixForm();
        QCOMPARE(form->PathLabel->text(), file);
        QString done;
        OnNextModal<QMessageBox>([&](QMessageBox* box) {
            box->done(QMessageBox::Yes);
            AnswerNextMessage(QMessageBox::Ok, &done);
        });
        w.FlagsCommand();
        QCOMPARE(done, QStringLiteral("文件: \"") + file + QStringLiteral("\"\n标记设置为 \"直播\"."));
        QCOMPARE(Flags(file), 1u);
        AnswerNextMessage(QMessageBox::Ok, &done);
        w.FlagsCommand();
        QCOMPARE(done, QStringLiteral("文件: \"") + file + QStringLiteral("\"\n标记设置为 \"可定位\"."));
        QCOMPARE(Flags(file), 2u);
        QCOMPARE(w.FlagFixForm(), form);  // created once and kept
    }

    void reEncodeRunsTheEncoderUnderTheTimer() {
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "enc.wmv");
        QString title, state, size;
        OnNextModal<ToolDialog>([&](ToolDialog* d) {
            auto* p = d->findChild<MediaEncoderPanel*>();
            title = d->windowTitle();
            QCOMPARE(p->FrameSizeLabel->text(), QStringLiteral("320 x 240"));
            QVERIFY(!p->AudioFormatPanel->text().isEmpty() && !p->TotalBitratePanel->text().isEmpty());
            QCOMPARE(d->RunButton()->text(), QStringLiteral("开始"));
            QTest::mouseClick(d->RunButton(), Qt::LeftButton);
            QCOMPARE(d->RunButton()->text(), QStringLiteral("停止"));
            QVERIFY(p->PollTimer->isActive());
            QTRY_COMPARE_WITH_TIMEOUT(d->RunButton()->text(), QStringLiteral("开始"), 120000);
            state = p->EncoderStateLabel->text();
            Screenshot(d, d->objectName());
            size = p->EstimatedSizeLabel->text();
            d->accept();
        });
        const QString output = ReEncode(nullptr, source);
        QCOMPARE(title, QStringLiteral("重新编码 - ") + source);
        QCOMPARE(output, dir.filePath("enc.mp43.wmv"));
        QVERIFY(QFileInfo(output).size() > 10000);
        QVERIFY(!size.isEmpty() && size != QStringLiteral("?"));
    }

    void closingTheReEncoderStopsTheEncode() {
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "enc2.wmv");
        QString log;
        OnNextModal<ToolDialog>([&](ToolDialog* d) {
            QTest::mouseClick(d->RunButton(), Qt::LeftButton);
            QCOMPARE(d->RunButton()->text(), QStringLiteral("停止"));
            QTest::mouseClick(Button(d, "BitBtn5"), Qt::LeftButton);
            log = LogOf(d);
        });
        ReEncode(nullptr, source);
        QVERIFY2(log.contains(QStringLiteral("正在准备停止...")) || log.contains(QStringLiteral("编码已停止")), qPrintable(log));
    }

    void reEncoderSessionFileGoesBesideTheProgram() {
        // The program's folder (here the test's, a writable build folder) comes first, as on
        // the command line.
        MediaEncoderPanel panel;
        QCOMPARE(QFileInfo(QString::fromStdString(panel.Engine().SessionPath())).absolutePath(),
                 QFileInfo(QString::fromStdString(RunningProgramFolder())).absoluteFilePath());
    }

    void reEncoderSourceGoneBeforeTheStart() {
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "gone.wmv");
        QString message, log;
        OnNextModal<ToolDialog>([&](ToolDialog* d) {
            QFile::remove(source);
            AnswerNextMessage(QMessageBox::Ok, &message);
            QTest::mouseClick(d->RunButton(), Qt::LeftButton);
            QCOMPARE(d->RunButton()->text(), QStringLiteral("开始"));
            log = LogOf(d);
            Screenshot(d, QStringLiteral("reencode-source-gone"));
            d->accept();
        });
        const QString output = ReEncode(nullptr, source);
        QVERIFY2(message.startsWith(QStringLiteral("错误在 \"") + source + QStringLiteral("\"\n")), qPrintable(message));
        QVERIFY2(log.contains(QStringLiteral("没有生成输出文件.")), qPrintable(log));
        QVERIFY(!QFileInfo::exists(output));
    }

    void missingEncoderPluginIsNamed() {
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "noplugin.wmv");
        QTemporaryDir empty;
        QString message;
        OnNextModal<ToolDialog>([&](ToolDialog* d) {
            auto* p = d->findChild<MediaEncoderPanel*>();
            p->EncoderFolder = empty.path();
            AnswerNextMessage(QMessageBox::Ok, &message);
            QTest::mouseClick(d->RunButton(), Qt::LeftButton);
            QCOMPARE(d->RunButton()->text(), QStringLiteral("开始"));
            QVERIFY(LogOf(d).contains(QStringLiteral("->找不到解码引擎.")));
            Screenshot(d, QStringLiteral("reencode-missing-plugin"));
            d->accept();
        });
        const QString output = ReEncode(nullptr, source);
        // The message keeps its text and adds what is missing here and where it was looked for.
        QVERIFY2(message.startsWith(QStringLiteral("错误: 找不到解码引擎.\n您必须安装 \"Microsoft Media Encoder 7.1\"\n")),
                 qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("libmendery-encoder.so")) && message.contains(empty.path()));
        QVERIFY(!QFileInfo::exists(output));
    }

    void aviHeaderPanelIsLockedWhileConvertingAndShowsTheValuesRead() {
        // A WMV2 source asks before converting: the header has been read by then.
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "asks.wmv");
        bool enabledDuringRun = true;
        QString compressionDuringRun;
        RunAndClose run;
        run.before = [&](ToolDialog* d) {
            auto* p = d->findChild<Asf2AviPanel*>();
            OnNextModal<QMessageBox>([&, p](QMessageBox* box) {
                enabledDuringRun = p->HeaderPanel->isEnabled();
                compressionDuringRun = p->CompressionEdit->text();
                box->done(QMessageBox::No);
            });
        };
        run.after = [](ToolDialog* d) { QVERIFY(d->findChild<Asf2AviPanel*>()->HeaderPanel->isEnabled()); };
        run.Arm();
        ConvertToAvi(nullptr, source);
        QVERIFY(!enabledDuringRun);
        QCOMPARE(compressionDuringRun, QStringLiteral("WMV2"));
        QVERIFY(!QFileInfo::exists(dir.filePath("asks.avi")));  // declined: nothing written
    }

    void playButtonsSayWhenNothingCanOpenTheFile() {
        // The offscreen test platform opens no file, as a desktop without a registered player.
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) QSKIP("a real desktop might start a player");
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "play.wmv");
        QString message;
        AnswerNextMessage(QMessageBox::Ok, &message);
        QVERIFY(!ShellOpen(nullptr, source));
        QCOMPARE(message, QStringLiteral("不能打开文件 \"") + source +
                              QStringLiteral("\":\n没有为此类文件注册的程序 (桌面没有可以打开它的默认程序)."));
        // A file that does not exist stays silent, as before.
        QVERIFY(!ShellOpen(nullptr, dir.filePath("missing.wmv")));

        TMainForm w;
        ListOne(w, source);
        message.clear();
        AnswerNextMessage(QMessageBox::Ok, &message);
        w.findChild<QToolButton*>(QStringLiteral("PlayButton"))->click();
        QVERIFY(message.contains(source));
    }

    void qtOwnButtonsSpeakChinese() {
        QVERIFY(InstallQtTranslations());
        QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QVERIFY2(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("是")), qPrintable(box.button(QMessageBox::Yes)->text()));
        QVERIFY(box.button(QMessageBox::No)->text().contains(QStringLiteral("否")));
        QVERIFY(box.button(QMessageBox::Cancel)->text().contains(QStringLiteral("取消")));
    }

    void basicRepairAndJoinWithClipwright() {
        if (!ClipwrightAvailable()) QSKIP("clipwright is not built beside the tests");
        const QString a = CopySample(dir, "a_wmv2_wmav2.wmv", "part1.wmv");
        const QString b = CopySample(dir, "a_wmv2_wmav2.wmv", "part2.wmv");
        TMainForm w;
        ListOne(w, a);
        OnNextModal<QFileDialog>([&](QFileDialog* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("被修复的文件名"));
            QCOMPARE(QFileInfo(d->selectedFiles().value(0)).fileName(), QStringLiteral("part1.bsr.wmv"));
            QMetaObject::invokeMethod(d, "accept");
        });
        AnswerNextMessage(QMessageBox::Ok);  // "基础修复完成."
        w.BasicRepairCommand();
        const QString repaired = dir.filePath("part1.bsr.wmv");
        QVERIFY(QFileInfo(repaired).size() > 900000);
        QCOMPARE(w.SelectedFile(), repaired);

        w.ClearList();
        w.AddFile(a);
        w.AddFile(b);
        OnNextModal<QFileDialog>([&](QFileDialog* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("已合并文件名称"));
            QCOMPARE(QFileInfo(d->selectedFiles().value(0)).fileName(), QStringLiteral("part1-2.wmv"));
            QMetaObject::invokeMethod(d, "accept");
        });
        AnswerNextMessage(QMessageBox::Ok);  // "合并完成."
        w.JoinCommand();
        const QString joined = dir.filePath("part1-2.wmv");
        QVERIFY(QFileInfo(joined).size() > 1800000);
        QCOMPARE(w.SelectedFile(), joined);
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", joined, "-f", "null", "-"});
        if (ffmpeg.waitForFinished(60000)) QCOMPARE(ffmpeg.exitCode(), 0);
    }

    void splitWindowFromTheMainWindow() {
        const QString source = CopySample(dir, "a_wmv2_wmav2.wmv", "tosplit.wmv");
        TMainForm w;
        ListOne(w, source);
        QVERIFY(w.SplitButton->isEnabled() || !ClipwrightAvailable());
        QString title, proposed;
        OnNextModal<mendery::ui::TCutForm>([&](mendery::ui::TCutForm* form) {
            title = form->windowTitle();
            proposed = form->OutputEdit->text();
            form->reject();
        });
        w.SplitCommand();
        QCOMPARE(title, QStringLiteral("Asf分割器 - ") + source);
        QCOMPARE(proposed, dir.filePath("tosplit.cut.wmv"));
        QCOMPARE(w.SelectedFile(), source);  // nothing was cut, nothing added
    }
};

QTEST_MAIN(ToolPanelsTest)
#include "tool_panels_test.moc"
