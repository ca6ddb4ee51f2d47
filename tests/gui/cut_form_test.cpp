// The split window on real files: the precheck's refusals through the split command, the
// marks and their rules, the range messages, real cuts by clipwright checked with ffprobe,
// and playback through the platform's player.
#include <QAudioOutput>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMediaFormat>
#include <QMediaPlayer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QVideoWidget>
#include <QtTest>

#include "asf/OutputNames.h"
#include "gui/cut/CutForm.h"
#include "gui/kit/SelectionSlider.h"
#include "gui/kit/UpDown.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "UiTestSupport.h"

using namespace mendery;
using namespace mendery::ui;
using namespace uitest;

namespace {

constexpr char kSample[] = "a_wmv2_wmav2.wmv";  // 15.09 s, so the window's total is 16

quint64 U64At(const QByteArray& b, qint64 at) {
    quint64 v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}
void PutU64At(QByteArray& b, qint64 at, quint64 v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Where the file properties object starts in a file's bytes.
qint64 FilePropertiesAt(const QByteArray& b) {
    return b.indexOf(QByteArray::fromHex("A1DCAB8C47A9CF118EE400C00C205365"));
}

// Rewrites a copy's bytes with `edit` (which gets the whole file).
void Edit(const QString& path, const std::function<void(QByteArray&)>& edit) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QByteArray b = f.readAll();
    edit(b);
    f.resize(0);
    f.seek(0);
    f.write(b);
}

// Duration in seconds as ffprobe reads it, and whether ffmpeg decodes the file without errors.
double ProbeDuration(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
    p.waitForFinished(60000);
    return p.readAllStandardOutput().trimmed().toDouble();
}
QString DecodeErrors(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "null", "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardError()) + (p.exitCode() ? QStringLiteral("exit ") + QString::number(p.exitCode()) : QString());
}

// The window needs the player: without a WMV decoder it shows its critical error on every file.
bool PlayerCanDecodeWmv() {
    return QMediaFormat().supportedVideoCodecs(QMediaFormat::Decode).contains(QMediaFormat::VideoCodec::WMV);
}
#define REQUIRE_PLAYER()                                                                                              \
    if (!PlayerCanDecodeWmv())                                                                                        \
    QSKIP("The media player has no WMV decoder here: install gstreamer1.0-libav, gstreamer1.0-plugins-good/-bad/-ugly")

// Runs the split command on `path`; closes the window if it opens. Returns the output path
// and records whether the window opened.
QString RunAndClose(const QString& path, SizeMatchMode mode, bool* opened) {
    *opened = false;
    QTimer closer;  // lives only as long as this call, so a window that never opened leaves nothing behind
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* f = qobject_cast<TCutForm*>(QApplication::activeModalWidget())) {
            closer.stop();
            *opened = true;
            f->CloseButton->click();
        }
    });
    closer.start();
    return RunSplitWindow(nullptr, path, mode);
}

void Shot(QWidget* w, const QString& name) {
    const QString dir = qEnvironmentVariable("MENDERY_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    // The video surface is a native window on X11: grab the screen to include it.
    QPixmap pix;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) pix = w->screen()->grabWindow(w->winId());
    if (pix.isNull()) pix = w->grab();
    pix.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

}  // namespace

class CutFormTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // A form prepared on a fresh copy of the sample.
    std::unique_ptr<TCutForm> Prepared(const QString& as = QStringLiteral("clip.wmv")) {
        auto f = std::make_unique<TCutForm>();
#ifdef MENDERY_CLIPWRIGHT
        f->ToolPath = QStringLiteral(MENDERY_CLIPWRIGHT);
#endif
        const QString path = CopySample(dir, kSample, as);
        f->OutputEdit->setText(QString::fromStdString(ToolOutputName(path.toStdString(), OutputFor::Split)));
        if (!f->Prepare(path)) return nullptr;
        return f;
    }

private slots:
    void precheckRefusesFilesItCannotCut() {
        const QString notSeekable = CopySample(dir, kSample, QStringLiteral("noseek.wmv"));
        Edit(notSeekable, [](QByteArray& b) { b[FilePropertiesAt(b) + 88] = 0x06; });  // seekable + bit 2
        QString text;
        bool opened = false;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(RunAndClose(notSeekable, SizeMatchMode::None, &opened).isEmpty());
        QVERIFY(!opened);
        QCOMPARE(text, QStringLiteral("文件 \"") + notSeekable + QStringLiteral("\" 必须被 \"可定位\""));

        const QString broadcast = CopySample(dir, "e2_broadcast_unframed.wmv");
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(RunAndClose(broadcast, SizeMatchMode::None, &opened).isEmpty());
        QVERIFY(text.endsWith(QStringLiteral("必须被 \"可定位\"")));

        const QString noPackets = CopySample(dir, kSample, QStringLiteral("nopackets.wmv"));
        Edit(noPackets, [](QByteArray& b) { PutU64At(b, qint64(U64At(b, 16)) + 40, 0); });
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(RunAndClose(noPackets, SizeMatchMode::None, &opened).isEmpty());
        QCOMPARE(text, QStringLiteral("\"某些数据块无效.\n请先修复."));
        QVERIFY(!opened);
    }

    void sizeModes() {
        REQUIRE_PLAYER();
        const QString longer = CopySample(dir, kSample, QStringLiteral("longer.wmv"));
        Edit(longer, [](QByteArray& b) { b.append(QByteArray(10, '\0')); });
        bool opened = false;
        // Ten bytes more than the header says: no question in either mode, the window opens.
        QCOMPARE(RunAndClose(longer, SizeMatchMode::Shorter, &opened), dir.filePath(QStringLiteral("longer.cut.wmv")));
        QVERIFY(opened);

        const QString shorter = CopySample(dir, kSample, QStringLiteral("shorter.wmv"));
        Edit(shorter, [](QByteArray& b) { b.chop(10); });
        QString text;
        AnswerNextMessage(QMessageBox::No, &text);
        QVERIFY(RunAndClose(shorter, SizeMatchMode::Shorter, &opened).isEmpty());
        QVERIFY(!opened);
        QVERIFY(text.startsWith(QStringLiteral("警告: 文件大小小于原始文件!\n标题信息显示文件大小应该为 '")));
        QVERIFY(text.endsWith(QStringLiteral("\n\n您希望忽略此警告并继续?")));
        // Yes goes on to the window; 10 bytes are well within 1 %, and mode 0 never asks.
        AnswerNextMessage(QMessageBox::Yes);
        RunAndClose(shorter, SizeMatchMode::Shorter, &opened);
        QVERIFY(opened);
        RunAndClose(shorter, SizeMatchMode::Differs, &opened);
        QVERIFY(opened);
        RunAndClose(shorter, SizeMatchMode::None, &opened);
        QVERIFY(opened);

        const QString noSize = CopySample(dir, kSample, QStringLiteral("nosize.wmv"));
        Edit(noSize, [](QByteArray& b) {
            PutU64At(b, FilePropertiesAt(b) + 40, 0);
            b.chop(100000);
        });
        RunAndClose(noSize, SizeMatchMode::Differs, &opened);  // a header size of 0 is not compared
        QVERIFY(opened);
    }

    void preparesTitleTotalAndMarks() {
        REQUIRE_PLAYER();
        auto f = Prepared();
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("Asf分割器 - ") + f->SourcePath());
        QCOMPARE(f->Marks().Total(), 16);  // 15,092 ms rounds to 15, plus 1
        QCOMPARE(f->PositionSlider->maximum(), 16);
        QCOMPARE(f->StartEdit->text(), QStringLiteral("00:00:00"));
        QCOMPARE(f->EndEdit->text(), QStringLiteral("00:00:16"));
        QCOMPARE(f->PositionSlider->SelEnd(), 16);
        QCOMPARE(f->PositionPanel->text(), QStringLiteral("00:00:00 / 00:00:16"));
        QVERIFY(f->DisplayTimer->isActive());
        QCOMPARE(f->DisplayTimer->interval(), 200);
        QCOMPARE(f->OutputGroup->ItemIndex(), 0);
        QCOMPARE(f->minimumSize(), QSize(560, 425));
    }

    void captionsAndHints() {
        REQUIRE_PLAYER();
        auto f = Prepared();
        QVERIFY(f);
        const QList<std::pair<const char*, const char*>> hints{
            {"PlayButton", "播放"},
            {"PauseButton", "暂停"},
            {"StepButton", "单帧播放"},
            {"RewindButton", "退至起点"},
            {"PositionSlider", "显示影片位置和分割选项 "},
            {"PositionPanel", "影片当前位置"},
            {"StatusPanel", "状态窗口"},
            {"VolumeSlider", "音量控制"},
            {"SetStartButton", "设置当前位置为选定区域的起点"},
            {"StartEdit", "选定分割的起始点(单位:秒)"},
            {"StartUpDown", "前移/后移分割位置的起点"},
            {"GotoStartButton", "跳转至所选部分的起点"},
            {"SetEndButton", "设置当前位置为选定区域的终点"},
            {"EndEdit", "选定的分割截止点(单位:秒)"},
            {"EndUpDown", "前移/后移分割位置的终点"},
            {"GotoEndButton", "跳转至所选部分的终点"},
            {"NextSelectionButton", "所选部分前移为下一个分割"},
            {"OutputGroup", "选择怎样制做分割文件"},
            {"OutputEdit", "输出文件的名称和路径"},
            {"OutputButton", "选择新的输出文件名称及路径"},
            {"CutButton", "按选定制作分割文件"},
            {"PlayOutputButton", "启动media player并播放已分割的文件"},
            {"DeleteOutputButton", "删除已分割文件"},
            {"CloseButton", "关闭窗口"}};
        for (const auto& [name, hint] : hints) {
            auto* w = f->findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(w, name);
            QCOMPARE(w->toolTip(), QString::fromUtf8(hint));
        }
        QCOMPARE(f->OutputGroup->title(), QStringLiteral("输出文件为"));
        QCOMPARE(f->OutputGroup->Item(1)->text(), QStringLiteral("除选定范围外所有内容"));
        QCOMPARE(f->GotoStartButton->text(), QStringLiteral("跳转至"));
        QCOMPARE(f->NextSelectionButton->text(), QStringLiteral("设置下一选择"));
        QCOMPARE(f->VolumeSlider->maximum(), 65535);
        QCOMPARE(f->VolumeSlider->tickInterval(), 1024);
        QVERIFY(f->OutputEdit->isReadOnly());
    }

    void marksFollowTheirRules() {
        REQUIRE_PLAYER();
        auto f = Prepared();
        QVERIFY(f);
        f->StartUpDown->DownButton()->click();  // 0 going down stays 0
        QCOMPARE(f->Marks().Start(), 0);
        f->EndUpDown->UpButton()->click();  // past the total: nothing
        QCOMPARE(f->Marks().End(), 16);
        for (int i = 0; i < 4; ++i) f->StartUpDown->UpButton()->click();
        for (int i = 0; i < 8; ++i) f->EndUpDown->DownButton()->click();
        QCOMPARE(f->StartEdit->text(), QStringLiteral("00:00:04"));
        QCOMPARE(f->EndEdit->text(), QStringLiteral("00:00:08"));
        QCOMPARE(f->PositionSlider->SelStart(), 4);
        QCOMPARE(f->PositionSlider->SelEnd(), 8);

        f->NextSelectionButton->click();  // same length follows
        QCOMPARE(f->StartEdit->text(), QStringLiteral("00:00:08"));
        QCOMPARE(f->EndEdit->text(), QStringLiteral("00:00:12"));
        f->EndUpDown->UpButton()->click();
        f->EndUpDown->UpButton()->click();
        f->NextSelectionButton->click();  // 8..14 would be 14..20: the file ends first
        QCOMPARE(f->Marks().Start(), 14);
        QCOMPARE(f->Marks().End(), 16);
        f->NextSelectionButton->click();  // the end is the total: nothing
        QCOMPARE(f->Marks().Start(), 14);

        // The start may pass the end; the cut refuses that.
        f->SetEndMark(3);
        QCOMPARE(f->EndEdit->text(), QStringLiteral("00:00:03"));
        QCOMPARE(f->Marks().Start(), 14);
    }

    void refusesEmptyAndWholeRanges() {
        REQUIRE_PLAYER();
        auto f = Prepared();
        QVERIFY(f);
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!f->Cut());  // 0..total
        QCOMPARE(text, QStringLiteral("选定的范围无效, 文件被全选.\n请选择一个更小的范围."));
        f->SetStartMark(5);
        f->SetEndMark(5);
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!f->Cut());
        QCOMPARE(text, QStringLiteral("选定的范围无效, 起点必须在终点之前. "));
        QVERIFY(!QFile::exists(f->OutputEdit->text()));

        f->SetStartMark(2);
        f->OutputEdit->setText(f->SourcePath());  // never over the source
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!f->Cut());
        QCOMPARE(text, QStringLiteral("文件名称必须不同! 请换一个再试."));
    }

    void cutsThePieceAndEverythingElseAgainAndAgain() {
        REQUIRE_PLAYER();
#ifndef MENDERY_CLIPWRIGHT
        QSKIP("clipwright is not built");
#endif
        auto f = Prepared(QStringLiteral("cutme.wmv"));
        QVERIFY(f);
        f->SetStartMark(3);
        f->SetEndMark(9);
        QString told;
        AnswerNextMessage(QMessageBox::Ok, &told);
        QVERIFY(f->Cut());
        const QString piece = f->OutputEdit->text();
        QCOMPARE(told, QStringLiteral("分割完成.\n输出文件: ") + piece);
        QCOMPARE(piece, dir.filePath(QStringLiteral("cutme.cut.wmv")));
        QCOMPARE(DecodeErrors(piece), QString());
        const double pieceSeconds = ProbeDuration(piece);
        // The piece starts at the key frame at or before 3 s.
        QVERIFY2(pieceSeconds >= 5.5 && pieceSeconds <= 7.0, qPrintable(QString::number(pieceSeconds)));
        QFile out(piece);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY2(out.read(64000).contains(QByteArray::fromHex("4052D1861D31D011A3A400A0C90348F6")), "codec list copied in");
        out.close();

        // The window stays: everything but 3..9 into another file.
        const QString rest = dir.filePath(QStringLiteral("rest.wmv"));
        f->OutputEdit->setText(rest);
        f->OutputGroup->SetItemIndex(1);
        AnswerNextMessage(QMessageBox::Ok);
        QVERIFY(f->Cut());
        QCOMPARE(DecodeErrors(rest), QString());
        const double restSeconds = ProbeDuration(rest);
        QVERIFY2(restSeconds >= 8.0 && restSeconds <= 10.0, qPrintable(QString::number(restSeconds)));

        // Nothing on the offscreen platform opens a file: the play button says so and names it,
        // as the tool dialogs' play buttons do, instead of doing nothing.
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            QString told;
            AnswerNextMessage(QMessageBox::Ok, &told);
            f->PlayOutputButton->click();
            QVERIFY2(told.contains(rest), qPrintable(told));
        }

        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        f->DeleteOutputButton->click();
        QCOMPARE(text, QStringLiteral("文件已删除,\n") + rest);
        QVERIFY(!QFile::exists(rest));
        AnswerNextMessage(QMessageBox::Ok, &text);
        f->DeleteOutputButton->click();
        QCOMPARE(text, QStringLiteral("不能删除,\n") + rest);
    }

    void everythingExceptTheFirstSeconds() {
        REQUIRE_PLAYER();
#ifndef MENDERY_CLIPWRIGHT
        QSKIP("clipwright is not built");
#endif
        auto f = Prepared(QStringLiteral("headless.wmv"));
        QVERIFY(f);
        f->SetStartMark(0);
        f->SetEndMark(5);
        f->OutputGroup->SetItemIndex(1);
        QString told;
        AnswerNextMessage(QMessageBox::Ok, &told);
        QVERIFY2(f->Cut(), qPrintable(told));
        const QString rest = f->OutputEdit->text();
        QCOMPARE(DecodeErrors(rest), QString());
        const double seconds = ProbeDuration(rest), full = ProbeDuration(Sample(kSample));
        QVERIFY2(seconds >= full - 5.05 && seconds <= full - 4.4, qPrintable(QString::number(seconds)));
    }

    void toolFailuresAreShown() {
        REQUIRE_PLAYER();
        auto f = Prepared();
        QVERIFY(f);
        f->ToolPath = dir.filePath(QStringLiteral("no-such-tool"));
        f->SetStartMark(1);
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!f->Cut());
        QVERIFY(text.startsWith(QStringLiteral("运行Clipwright错误. 路径:") + f->ToolPath + QStringLiteral("Params:-i \"")));

        // A tool that starts but fails is not taken for a finished cut.
        f->ToolPath = QStringLiteral("/bin/false");
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!f->Cut());
        QVERIFY2(text.startsWith(QStringLiteral("Clipwright 未能完成分割 (退出代码 1).")), qPrintable(text));
        QVERIFY(f->CutButton->isEnabled());
    }

    void playsPausesStepsAndSeeksByDragging() {
        REQUIRE_PLAYER();
        auto f = Prepared();
        QVERIFY(f);
        f->show();
        // While a command runs, the status panel says so.
        QString statusDuringCommand;
        auto probe = connect(f->Player, &QMediaPlayer::playbackStateChanged, f.get(),
                             [&] { statusDuringCommand = f->StatusPanel->text(); });
        f->PlayButton->click();
        disconnect(probe);
        QVERIFY2(statusDuringCommand.endsWith(QStringLiteral(" (定位中)")), qPrintable(statusDuringCommand));
        QTRY_COMPARE_WITH_TIMEOUT(f->Player->playbackState(), QMediaPlayer::PlayingState, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(f->Player->position() > 1200, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(f->StatusPanel->text(), QStringLiteral("播放中"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(f->PositionSlider->value() >= 1, 20000);
        Shot(f.get(), QStringLiteral("cut-form-playing"));

        // A click on the picture pauses, another resumes.
        QTest::mouseClick(f->VideoPanel, Qt::LeftButton);
        QCOMPARE(f->Player->playbackState(), QMediaPlayer::PausedState);
        QTRY_COMPARE_WITH_TIMEOUT(f->StatusPanel->text(), QStringLiteral("已暂停"), 20000);
        const qint64 before = f->Player->position();
        f->StepButton->click();
        QCOMPARE(f->Player->playbackState(), QMediaPlayer::PausedState);
        QTRY_VERIFY_WITH_TIMEOUT(f->Player->position() > before, 20000);
        QTest::mouseClick(f->VideoPanel, Qt::LeftButton);
        QCOMPARE(f->Player->playbackState(), QMediaPlayer::PlayingState);

        // "设置起点" takes the position rounded to whole seconds.
        f->PauseButton->click();
        f->SetStartButton->click();
        QCOMPARE(f->Marks().Start(), RoundMsToSeconds(f->Player->position()));

        // Dragging: 9 pixels of margin at each end, the timer stopped until the drag ends.
        SelectionSlider* s = f->PositionSlider;
        const int y = s->height() / 2, usable = s->width() - 18;
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(9 + usable / 2, y));
        QVERIFY(!f->DisplayTimer->isActive());
        QCOMPARE(f->StatusPanel->text(), QStringLiteral("Dragging"));
        QCOMPARE(s->value(), 8);
        QCOMPARE(f->PositionPanel->text(), QStringLiteral("Position:00:00:08"));
        QTest::mouseMove(s, QPoint(9 + usable / 4, y));
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(9 + usable / 4, y));
        QVERIFY(f->DisplayTimer->isActive());
        QCOMPARE(s->value(), 4);
        QTRY_VERIFY_WITH_TIMEOUT(f->Player->position() >= 4000, 10000);
        QCOMPARE(f->Player->playbackState(), QMediaPlayer::PlayingState);
        QCOMPARE(f->SliderPositionAt(0), s->value());
        QCOMPARE(f->SliderPositionAt(s->width() + 50), 16);
        if (!qEnvironmentVariableIsEmpty("MENDERY_SHOTS")) {
            f->resize(f->minimumSize());
            f->SetStartMark(4);
            QTest::qWait(600);
            Shot(f.get(), QStringLiteral("cut-form-smallest"));
        }

        // "跳转至" plays from the mark; rewind goes back to the start.
        f->SetEndMark(12);
        f->GotoEndButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(f->Player->position() >= 12000, 10000);
        f->RewindButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(f->Player->position() < 1000, 10000);

        // The volume: 0..65535 onto the output's 0..1; without a device it reads 0.
        f->VolumeSlider->setValue(32768);
        if (f->HasAudioDevice()) QVERIFY(std::abs(f->Audio->volume() - 0.5f) < 0.01f);
        QTest::qWait(450);
        QCOMPARE(f->VolumeSlider->value(), f->HasAudioDevice() ? 32768 : 0);

        f->CloseButton->click();
        QCOMPARE(f->Player->playbackState(), QMediaPlayer::StoppedState);
        QVERIFY(!f->DisplayTimer->isActive());
    }

    void playsAudioOnlyFiles() {
        REQUIRE_PLAYER();
        TCutForm f;
        QVERIFY(f.Prepare(CopySample(dir, "c_wmav2.wma")));
        QCOMPARE(f.Marks().Total(), 21);
        f.PlayButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.Player->position() > 500, 15000);
        QCOMPARE(f.StatusPanel->text(), QStringLiteral("播放中"));
    }

    void playerErrorIsCritical() {
        REQUIRE_PLAYER();
        const QString junk = dir.filePath(QStringLiteral("junk.wmv"));
        QFile j(junk);
        QVERIFY(j.open(QIODevice::WriteOnly));
        j.write(QByteArray(200000, 'x'));
        j.close();
        TCutForm f;
        QString text;
        AnswerNextMessage(QMessageBox::Ok, &text);
        QVERIFY(!f.Prepare(junk));
        QCOMPARE(text, QStringLiteral("临界误差在 \"") + junk +
                           QStringLiteral("\"\n请先修复此文件然后决定是否设置可定位标记.\n您必须立即重启Mendery!"));
        QVERIFY(!f.DisplayTimer->isActive());
    }
};

QTEST_MAIN(CutFormTest)
#include "cut_form_test.moc"
