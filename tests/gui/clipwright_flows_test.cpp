// The main window's flows that run clipwright (basic repair, join), with stand-ins for the
// tool: what the user sees while it runs and when it ends, and closing the window meanwhile.
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>
#include <csignal>

#include "gui/main_window/MainForm.h"
#include "gui/kit/FlowHost.h"
#include "gui/kit/PProcForm.h"
#include "gui/kit/ToolRunForm.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "UiTestSupport.h"

using namespace mendery;
using namespace mendery::ui;
using namespace uitest;

namespace {

// A stand-in for clipwright: a shell script; "$OUT" is the path after -o.
QString WriteTool(const QTemporaryDir& dir, const QString& name, const QString& body) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\nwhile [ $# -gt 0 ]; do if [ \"$1\" = -o ]; then OUT=\"$2\"; fi; shift; done\n");
    f.write(body.toUtf8());
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

template <class T>
T* Visible() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

}  // namespace

class ClipwrightFlowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    void ListOne(TMainForm& w, const QString& path) {
        w.AddFile(path);
        QCOMPARE(w.SelectedFile(), path);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void theQuestionIsNotHiddenByTheProgressWindow() {
#ifndef MENDERY_CLIPWRIGHT
        QSKIP("clipwright is not built");
#else
        // A repaired file 10 % larger than the source: replacing it needs the user's answer.
        const QString source = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), QStringLiteral("ask.wmv"));
        TMainForm w;
        w.CheckLibraryOnFirstShow = false;
        // The real tool, then 100 KB more.
        w.ClipwrightProgram = WriteTool(dir, QStringLiteral("grows.sh"),
                                        QStringLiteral(MENDERY_CLIPWRIGHT) + " -i \"" + source + "\" -o \"$OUT\" -y >/dev/null\n"
                                        "head -c 100000 /dev/zero >> \"$OUT\"\n");
        ListOne(w, source);
        w.BasicOutputGroup->SetItemIndex(1);
        bool progressShown = false, progressHidesQuestion = true;
        QString question;
        OnNextModal<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            progressShown = true;
            progressHidesQuestion = Visible<TPProcForm>() != nullptr;
            box->done(QMessageBox::No);
        });
        AnswerNextMessageLater();
        w.BasicRepairCommand();
        QVERIFY2(question.startsWith(QStringLiteral("警告: 源文件的大小为 ")), qPrintable(question));
        QVERIFY(progressShown);
        QVERIFY(!progressHidesQuestion);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("ask已修复.wmv"))));
#endif
    }

    void whileTheToolRunsItsProgressShowsAndItsReasonIsTold() {
        const QString a = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), QStringLiteral("j1.wmv"));
        const QString b = CopySample(dir, QStringLiteral("c_wmav2.wma"), QStringLiteral("j2.wma"));
        TMainForm w;
        w.CheckLibraryOnFirstShow = false;
        w.ClipwrightProgram = WriteTool(dir, QStringLiteral("refuses.sh"),
                                        QStringLiteral("echo '@progress 5 10' >&2; sleep 1\n"
                                                       "echo 'clipwright: 无法合并 \"j1.wmv\" 与 \"j2.wma\": 流的布局不同' >&2; exit 1\n"));
        w.AddFile(a);
        w.AddFile(b);
        OnNextModal<QFileDialog>([&](QFileDialog* d) { QMetaObject::invokeMethod(d, "accept"); });
        QString progressText, told;
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, [&] {
            auto* f = Visible<ToolRunForm>();
            if (!f || f->PercentLabel->text().isEmpty()) return;
            if (progressText.isEmpty()) Screenshot(f, QStringLiteral("clipwright-progress"));
            progressText = f->PercentLabel->text();
        });
        watch.start();
        AnswerNextMessage(QMessageBox::Ok, &told);
        w.JoinCommand();
        QCOMPARE(progressText, QStringLiteral("50%"));
        QVERIFY2(told.contains(QStringLiteral("流的布局不同")), qPrintable(told));
        QVERIFY(!told.contains(QStringLiteral("1-文件间互相不兼容")));
        QVERIFY(!Visible<ToolRunForm>());
        QCOMPARE(w.Rows().rows.size(), std::size_t(2));  // nothing added
    }

    void closingTheWindowEndsTheToolAndLeavesNoResult() {
        const QString source = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"), QStringLiteral("close.wmv"));
        const QString pidFile = dir.filePath(QStringLiteral("tool.pid"));
        TMainForm w;
        w.CheckLibraryOnFirstShow = false;
        w.ClipwrightProgram = WriteTool(dir, QStringLiteral("slow.sh"),
                                        "echo $$ > '" + pidFile + "'; head -c 1000 /dev/zero > \"$OUT.part\"\n"
                                        "trap 'rm -f \"$OUT.part\"; exit 143' TERM; sleep 60 & wait\n");
        w.show();
        ListOne(w, source);
        w.BasicOutputGroup->SetItemIndex(1);
        QTimer::singleShot(700, &w, [&] { w.close(); });
        QElapsedTimer took;
        took.start();
        w.BasicRepairCommand();
        QVERIFY2(took.elapsed() < 10000, qPrintable(QString::number(took.elapsed())));
        QFile f(pidFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const qint64 pid = f.readAll().trimmed().toLongLong();
        QVERIFY(pid > 0);
        QVERIFY(::kill(static_cast<pid_t>(pid), 0) != 0);  // the tool is gone
        QVERIFY(!QFile::exists(source + QStringLiteral(".tmp.part")));
        QVERIFY(!QFile::exists(source + QStringLiteral(".tmp")));
        QVERIFY(!QFile::exists(source + QStringLiteral(".旧")));
        QCOMPARE(QFileInfo(source).size(), QFileInfo(Sample(QStringLiteral("a_wmv2_wmav2.wmv"))).size());
        QVERIFY(!Visible<QMessageBox>());
    }

    void theFlowsHostShowsLargeProgressAndSpeaksToNoOneWhileTheWindowCloses() {
        QWidget owner;
        bool closing = false;
        FlowHost host(&owner, [&] { return closing; });
        // A codec-list copy into a 6 GiB file: the bar's range is an int, the positions are not.
        const std::int64_t total = std::int64_t(6) << 30;
        host.SetStatus("0%");
        host.SetProgressRange(total);
        host.SetProgress(total / 2);
        TPProcForm* progress = host.ProgressWindow();
        QVERIFY(progress && progress->isVisible());
        QCOMPARE(progress->PercentLabel->text(), QStringLiteral("0%"));
        QVERIFY(progress->ProgressBar->maximum() > 0);
        QCOMPARE(progress->ProgressBar->value(), progress->ProgressBar->maximum() / 2);
        host.SetProgress(total + 4096);
        QCOMPARE(progress->ProgressBar->value(), progress->ProgressBar->maximum());

        // A message closes the progress window first: it stays on top and would hide the message.
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        host.Message("已完成", MessageKind::Information);
        QCOMPARE(text, QStringLiteral("已完成"));
        QVERIFY(!host.ProgressWindow());

        // Once the window is being closed, messages go to the terminal and questions are not asked.
        closing = true;
        QString shown;
        AnswerNextMessage(QMessageBox::Yes, &shown);
        host.Message("已停止", MessageKind::Warning);
        QCOMPARE(host.Ask("替换?", Buttons::YesNoCancel, MessageKind::Warning), Answer::Cancel);
        QCOMPARE(host.Ask("确定?", Buttons::Ok, MessageKind::Information), Answer::Ok);
        QVERIFY2(shown.isEmpty(), qPrintable(shown));
    }

private:
    // The "已修复的文件被重命名为" message after the question is answered No.
    void AnswerNextMessageLater() {
        QTimer::singleShot(0, this, [] {
            auto* timer = new QTimer(qApp);
            timer->setInterval(5);
            connect(timer, &QTimer::timeout, [timer] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box && box->text().startsWith(QStringLiteral("已修复的文件被重命名为"))) {
                    timer->stop();
                    timer->deleteLater();
                    box->done(QMessageBox::Ok);
                }
            });
            timer->start();
        });
    }
};

QTEST_MAIN(ClipwrightFlowsTest)
#include "clipwright_flows_test.moc"
