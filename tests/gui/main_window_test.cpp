// The main window driven as a user would: adding files, every reorder code, the purge timer,
// the playlist, the settings and the first run, the sampler checklist.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QListView>
#include <QSettings>
#include <QSplitter>
#include <QComboBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "gui/model/FileList.h"
#include "gui/main_window/Startup.h"
#include "asf/BinaryFile.h"
#include "gui/main_window/AboutForm.h"
#include "gui/main_window/MainForm.h"
#include "gui/kit/PProcForm.h"
#include "gui/repair/BadChunk.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "gui/recovery/SampleFrame.h"
#include "UiTestSupport.h"

using namespace mendery;
using namespace mendery::ui;
using namespace uitest;

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString Touch(const QString& name) {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("x");
        return path;
    }
    // Once the start-up about dialog has loaded the settings (its OK button is enabled again),
    // presses OK or closes it otherwise. Polls instead of waiting inside the dialog, whose
    // loading itself lets events run.
    static void AnswerAboutWhenReady(bool ok) {
        auto* timer = new QTimer(qApp);
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [timer, ok] {
            auto* about = qobject_cast<TAboutForm*>(QApplication::activeModalWidget());
            if (!about || !about->OkButton->isEnabled()) return;
            timer->stop();
            timer->deleteLater();
            qobject_cast<TMainForm*>(about->parentWidget())->CheckLibraryOnFirstShow = false;
            if (ok) QTest::mouseClick(about->OkButton, Qt::LeftButton);
            else about->reject();
        });
        timer->start();
    }
    static QByteArray FileBytes(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    static QStringList Texts(TMainForm& w) {
        QStringList out;
        for (int r = 0; r < w.FileGrid->rowCount(); ++r) out << w.FileGrid->item(r, 0)->text();
        return out;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings{QStringLiteral("Mendery"), QStringLiteral("Mendery310")}.clear();
    }

    void addsOnlyMediaFilesInReverseDialogOrder() {
        TMainForm w;
        w.AddFiles({QStringLiteral("/v/a.wmv"), QStringLiteral("/v/b.asx"), QStringLiteral("/v/noext"),
                    QStringLiteral("/v/c.WmV"), QStringLiteral("/v/d.ASF")});
        QCOMPARE(Texts(w), (QStringList{"/v/d.ASF", "/v/c.WmV", "/v/a.wmv"}));
        QCOMPARE(w.FileGrid->currentRow(), 2);
        QCOMPARE(w.StatusPanels[0]->text(), QStringLiteral("3 文件"));
        QCOMPARE(w.StatusPanels[2]->text(), QStringLiteral("a.wmv"));

        TMainForm empty;
        empty.AddFiles({QStringLiteral("/v/a.txt"), QStringLiteral("/v/b.asx")});
        QVERIFY(empty.Rows().Empty());
        QCOMPARE(empty.FileGrid->rowCount(), 1);
        QVERIFY(empty.StatusPanels[0]->text().isEmpty());
    }

    void controlCharactersBecomeNul() {
        QCOMPARE(ReplaceControlChars(std::string("a\tb\x7f" "c\x01.wmv")), std::string("a\0b\0c\x01.wmv", 10));
    }

    void reorderCodes() {
        TMainForm w;
        for (const char* p : {"/c/a.asf", "/b/a.wmv", "/a/z.wma"}) w.AddFile(QString::fromLatin1(p));
        w.SetCurrentRow(0);
        w.ReorderList(rcUp);  // first row up: nothing
        QCOMPARE(Texts(w), (QStringList{"/c/a.asf", "/b/a.wmv", "/a/z.wma"}));
        w.ReorderList(rcDown);
        QCOMPARE(Texts(w), (QStringList{"/b/a.wmv", "/c/a.asf", "/a/z.wma"}));
        QCOMPARE(w.FileGrid->currentRow(), 1);
        w.ReorderList(rcBottom);
        QCOMPARE(Texts(w), (QStringList{"/b/a.wmv", "/a/z.wma", "/c/a.asf"}));
        QCOMPARE(w.FileGrid->currentRow(), 2);
        w.ReorderList(rcBottom);  // last row to the bottom: nothing
        QCOMPARE(w.FileGrid->currentRow(), 2);
        w.ReorderList(rcTop);
        QCOMPARE(Texts(w), (QStringList{"/c/a.asf", "/b/a.wmv", "/a/z.wma"}));
        QCOMPARE(w.FileGrid->currentRow(), 0);
        w.SetCurrentRow(2);
        w.ReorderList(rcSort);  // whole path, not extension
        QCOMPARE(Texts(w), (QStringList{"/a/z.wma", "/b/a.wmv", "/c/a.asf"}));
        QCOMPARE(w.FileGrid->currentRow(), 0);
        w.SetCurrentRow(2);
        w.ReorderList(rcDelete);
        QCOMPARE(Texts(w), (QStringList{"/a/z.wma", "/b/a.wmv"}));
        QCOMPARE(w.FileGrid->currentRow(), 1);  // past the end: the last row
    }

    void sameFileTwiceAndRemovingOne() {
        TMainForm w;
        w.AddFile(QStringLiteral("/v/a.wmv"));
        w.AddFile(QStringLiteral("/v/a.wmv"));
        w.ReorderList(rcDelete);
        QCOMPARE(Texts(w), QStringList{"/v/a.wmv"});
        w.ReorderList(rcDelete);
        QVERIFY(w.Rows().Empty());
        QVERIFY(w.StatusPanels[1]->text().isEmpty());
    }

    void purgeRemovesVanishedFilesAndStopsWhenBusy() {
        TMainForm w;
        const QString a = Touch("a.wmv"), b = Touch("b.wmv"), c = Touch("c.wmv");
        for (const auto& p : {a, b, c}) w.AddFile(p);
        QFile::remove(a);
        QFile::remove(b);
        w.PurgeMissing();
        QCOMPARE(Texts(w), QStringList{c});
        QVERIFY(w.PurgeTimer->isActive());
        QCOMPARE(w.PurgeTimer->interval(), 2000);
        w.SetBusy(false);
        QVERIFY(!w.PurgeTimer->isActive());
        QVERIFY(!w.ExplorerList->isEnabled());
        w.SetBusy(true);
        QVERIFY(w.PurgeTimer->isActive());
        QFile::remove(c);
        w.PurgeMissing();
        QVERIFY(w.Rows().Empty());
    }

    void emptyListCommandsExplainThemselves() {
        TMainForm w;
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!w.RequireSelection());
        QCOMPARE(text, QStringLiteral("文件列表为空!\n使用 \"添加\" 键或从Windows资源管理器中拖放文件."));
        // On another page the command only brings the list back.
        w.Pages->setCurrentIndex(1);
        w.AddFile(QStringLiteral("/v/a.wmv"));
        QVERIFY(!w.RequireSelection());
        QCOMPARE(w.Pages->currentIndex(), 0);
        QVERIFY(w.RequireSelection());
    }

    void playlistOfTwoFilesHasTenLines() {
        TMainForm w;
        w.AddFile(QStringLiteral("/v/a.wmv"));
        w.AddFile(QStringLiteral("/v/R&B <live>.wma"));
        const QString path = dir.filePath("list.asx");
        w.WritePlaylistTo(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        const QList<QByteArray> lines = all.split('\n');
        QCOMPARE(all.count("\r\n"), 10);
        QCOMPARE(lines[0], QByteArray("<asx version = \"1.0\">\r"));
        QCOMPARE(lines[4], QByteArray("  <ref href = \"file:///v/a.wmv\"/>\r"));
        QCOMPARE(lines[7], QByteArray("  <ref href = \"file:///v/R&amp;B &lt;live&gt;.wma\"/>\r"));
        QCOMPARE(lines[9], QByteArray("</asx>\r"));
    }

    void firstRunThenSettingsRoundTrip() {
        QSettings{QStringLiteral("Mendery"), QStringLiteral("Mendery310")}.clear();
        {
            TMainForm w;
            w.LoadSettings();
            QVERIFY(w.GroupHeaders[0]->isChecked());
            for (int g = 1; g < 4; ++g) QVERIFY(!w.GroupHeaders[g]->isChecked());
            QVERIFY(!w.ExplorerPanel->isHidden());
            QVERIFY(w.QuickHintBox->isChecked());
            QCOMPARE(w.CutSizeWarnGroup->ItemIndex(), 1);
            // Choices to round-trip.
            w.GroupHeaders[2]->setChecked(true);
            w.GroupHeaders[0]->setChecked(false);
            w.QuickHintBox->setChecked(false);
            w.CutSizeWarnGroup->SetItemIndex(2);
            w.ShowExplorer(false);
            w.AddDialogFolder = dir.path();
            w.resize(700, 500);
            w.CheckLibraryOnFirstShow = false;
            w.show();  // only a window that appeared saves its settings
            QVERIFY(QTest::qWaitForWindowExposed(&w));
        }
        QSettings s{QStringLiteral("Mendery"), QStringLiteral("Mendery310")};
        for (const char* key : {"MainWidth", "MainHeight", "MainTop", "MainLeft", "ExplorerView", "LastPath", "ViewGroup1",
                                "ViewGroup2", "ViewGroup3", "ViewGroup4", "QuickHint", "CutSizeWarn", "ExplorerHeight",
                                "ExplorerTreeWidth"})
            QVERIFY2(s.contains(QLatin1String(key)), key);
        QCOMPARE(s.value("ViewGroup3").toString(), QStringLiteral("1"));
        QCOMPARE(s.value("MainWidth").toString(), QStringLiteral("700"));
        QCOMPARE(s.value("LastPath").toString(), dir.path());
        s.setValue("CutSizeWarn", "zwei");  // unparsable: the default
        s.sync();
        TMainForm again;
        again.LoadSettings();
        QVERIFY(!again.GroupHeaders[0]->isChecked());
        QVERIFY(again.GroupHeaders[2]->isChecked());
        QVERIFY(!again.QuickHintBox->isChecked());
        QVERIFY(again.ExplorerPanel->isHidden());
        QCOMPARE(again.CutSizeWarnGroup->ItemIndex(), 1);
        QCOMPARE(again.width(), 700);
        QCOMPARE(again.AddDialogFolder, dir.path());
    }

    void explorerPanelNavigatesAndKeepsItsShare() {
        QSettings{QStringLiteral("Mendery"), QStringLiteral("Mendery310")}.clear();
        TMainForm w;
        w.LoadSettings();
        w.resize(800, 600);
        w.CheckLibraryOnFirstShow = false;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QDir(dir.path()).mkpath(QStringLiteral("sub/deeper"));
        w.NavigateExplorer(dir.filePath("sub/deeper"));
        QCOMPARE(w.ExplorerFolder(), dir.filePath("sub/deeper"));
        QCOMPARE(w.FolderCombo->currentText(), dir.filePath("sub/deeper"));
        w.findChild<QToolButton*>(QStringLiteral("UpFolderButton"))->click();
        QCOMPARE(w.ExplorerFolder(), dir.filePath("sub"));
        QCOMPARE(w.AddDialogFolder, dir.filePath("sub"));

        auto* splitter = w.findChild<QSplitter*>(QStringLiteral("PageSplitter"));
        const double share = double(splitter->sizes()[0]) / splitter->height();
        w.resize(800, 900);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(double(splitter->sizes()[0]) / splitter->height() - share) < 0.03, 20000);
        QVERIFY(splitter->sizes()[0] > 200);
        Screenshot(&w, "explorer-split");

        w.findChild<QToolButton*>(QStringLiteral("ExplorerButton"))->click();  // hide
        QVERIFY(w.ExplorerPanel->isHidden());
    }

    void commandLineFilesAreAddedWhenSettingsLoad() {
        const QString a = Touch("cmd.wmv");
        TMainForm w({a, dir.filePath("missing.wmv"), Touch("cmd.txt")});
        w.LoadSettings();
        QCOMPARE(Texts(w), QStringList{a});
    }

    void samplerChecklist() {
        TMainForm w;
        const QString file = Touch("damaged.wmv");
        w.AddFile(file);
        w.Pages->setCurrentIndex(2);
        TSampleFrame* f = w.Sampler;
        QCOMPARE(f->DamagedFileBox->text(), QStringLiteral("删除的文件名为 \"") + file + QLatin1Char('"'));
        const QList<QCheckBox*> boxes{f->LatestVersionBox, f->ReadHintsBox, f->ReadFaqBox, f->MayNotRecoverBox, f->OriginalFileBox, f->DamagedFileBox};
        for (int i = 0; i < 5; ++i) QTest::mouseClick(boxes[i], Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!f->MakeSampleButton->isEnabled());
        QTest::mouseClick(boxes[5], Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(f->MakeSampleButton->isEnabled());
        QTest::mouseClick(boxes[2], Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!f->MakeSampleButton->isEnabled());
        // No file: the name box cannot be ticked.
        w.Pages->setCurrentIndex(0);
        w.ClearList();
        w.Pages->setCurrentIndex(2);
        QVERIFY(!f->DamagedFileBox->isEnabled());
        QCOMPARE(f->DamagedFileBox->text(), QStringLiteral("有缺陷的文件名称是未定义的。请从文件列表中选择它。"));
    }

    void screenshots() {
        QSettings{QStringLiteral("Mendery"), QStringLiteral("Mendery310")}.clear();
        TMainForm w;
        w.LoadSettings();
        w.AddFile(CopySample(dir, "a_wmv2_wmav2.wmv"));
        w.AddFile(QStringLiteral("/media/videos/holiday 2004/第二部分 - 海边.wmv"));
        for (int g = 0; g < 4; ++g) w.GroupHeaders[g]->setChecked(true);
        // The cutting tool is not beside this test program, nor in the current folder or on PATH:
        // the warning, three commands disabled.
        const QString oldPath = qEnvironmentVariable("PATH"), oldDir = QDir::currentPath();
        qputenv("PATH", "/nonexistent");
        QDir::setCurrent(dir.path());
        QString warning;
        AnswerNextMessage(QMessageBox::Ok, &warning);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY_WITH_TIMEOUT(!warning.isEmpty(), 20000);
        QVERIFY(warning.startsWith(QStringLiteral("警告:在您的系统中发现有视频组件丢失!\n")));
        // On this system the missing piece is clipwright: the warning says so and where it looked.
        QVERIFY2(warning.endsWith(QStringLiteral("\n此系统上缺少的是 clipwright 程序 (已在 ") +
                                  QString::fromStdString(RunningProgramFolder()) + QStringLiteral(" 及 PATH 的各个目录中查找).")),
                 qPrintable(warning));
        qputenv("PATH", oldPath.toLocal8Bit());
        QDir::setCurrent(oldDir);
        QVERIFY(!w.JoinButton->isEnabled() && !w.SplitButton->isEnabled() && !w.BasicRepairButton->isEnabled());
        Screenshot(&w, "main-window");
        w.resize(544, 374);
        QTest::qWait(50);
        Screenshot(&w, "main-window-min");
        w.Pages->setCurrentIndex(1);
        Screenshot(&w, "options-page");
        w.Pages->setCurrentIndex(2);
        Screenshot(&w, "sampler-page");
        w.Pages->setCurrentIndex(0);
        w.resize(900, 700);
        QTest::qWait(50);
        Screenshot(&w, "main-window-explorer");

        TAboutForm about;
        about.show();
        QTRY_COMPARE_WITH_TIMEOUT(about.StatusLabel->text(), QStringLiteral("就绪."), 20000);
        Screenshot(&about, "about");
        about.hide();
        TBadChunk& bad = TBadChunk::Instance();
        bad.ChunkLabel->setText(QStringLiteral("数据块数量: 12345"));
        bad.show();
        Screenshot(&bad, "bad-chunk");
        bad.hide();
        TPProcForm progress;
        progress.ProgressBar->setValue(40);
        progress.PercentLabel->setText(QStringLiteral("40%"));
        progress.show();
        Screenshot(&progress, "transplant-progress");
    }

    void aboutClosedWithoutOkLeavesTheSettings() {
        QSettings s{QStringLiteral("Mendery"), QStringLiteral("Mendery310")};
        s.clear();
        s.setValue("MainWidth", "800");
        s.setValue("ExplorerTreeWidth", "150");
        s.sync();
        const QByteArray before = FileBytes(s.fileName());
        AnswerAboutWhenReady(false);
        QVERIFY(!StartMainWindow({}));
        QCOMPARE(FileBytes(s.fileName()), before);
    }

    void tenStartsLeaveTheSettingsAsSaved() {
        // Run under a window manager (QT_QPA_PLATFORM=xcb with one running) this also checks
        // that the frame adds nothing to the position from one start to the next.
        QSettings{QStringLiteral("Mendery"), QStringLiteral("Mendery310")}.clear();
        const QString file = QSettings{QStringLiteral("Mendery"), QStringLiteral("Mendery310")}.fileName();
        QByteArray first;
        for (int start = 1; start <= 10; ++start) {
            AnswerAboutWhenReady(true);
            QPointer<TMainForm> w = StartMainWindow({});
            QVERIFY(w);
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QTest::qWait(200);  // let a window manager place and frame it
            if (start == 10) Screenshot(w, "main-after-ten-starts");
            w->close();
            QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 20000);
            if (start == 1) first = FileBytes(file);
            else QVERIFY2(FileBytes(file) == first, qPrintable(QStringLiteral("start %1:\n").arg(start) + FileBytes(file) + QStringLiteral("\nfirst:\n") + first));
        }
        QSettings s{QStringLiteral("Mendery"), QStringLiteral("Mendery310")};
        QVERIFY(s.value("ExplorerHeight").toInt() == 200 && s.value("ExplorerTreeWidth").toInt() == 150);
    }

    void aboutDialogLoadsSettingsWhenShown() {
        TAboutForm about;
        int loads = 0;
        QString statusDuringLoad;
        bool okDuringLoad = true;
        about.OnActivate = [&] {
            ++loads;
            statusDuringLoad = about.StatusLabel->text();
            okDuringLoad = about.OkButton->isEnabled();
        };
        // OK is clicked once the load has finished. The check polls without waiting: the load
        // lets events run, and a check that waited from inside them would wait on itself.
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, &about, [&] {
            if (!about.isVisible() || about.StatusLabel->text() != QStringLiteral("就绪.") || !about.OkButton->isEnabled()) return;
            poll.stop();
            QTest::mouseClick(about.OkButton, Qt::LeftButton);
        });
        poll.start();
        QTimer::singleShot(30000, &about, &QDialog::reject);  // never hangs the test
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QCOMPARE(loads, 1);
        QCOMPARE(statusDuringLoad, QStringLiteral("正在读取上次使用的目录，请稍等..."));
        QVERIFY(!okDuringLoad);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
