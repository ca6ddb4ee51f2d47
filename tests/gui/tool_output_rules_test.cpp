// The rules every tool dialog keeps, checked once over all of them: a run that fails leaves an
// existing output exactly as it was and no temporary file behind; an error (an unreadable
// source, an output folder that cannot be written) reaches a message and the dialog stays
// usable.
#include <QDir>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>
#include <unistd.h>

#include "asf/OutputNames.h"
#include "gui/repair/BxAdvRepair.h"
#include "gui/kit/ToolDialog.h"
#include "gui/main_window/ToolDialogs.h"
#include "UiTestSupport.h"

using namespace mendery;
using namespace mendery::ui;
using namespace uitest;

namespace {

struct Tool {
    const char* name;
    std::function<void(const QString&)> entry;
    OutputFor output;
};

const std::vector<Tool>& Tools() {
    static const std::vector<Tool> tools = {
        {"advanced repair", [](const QString& s) { AdvancedRepair(nullptr, s); }, OutputFor::AdvancedRepair},
        {"lost-chunk recovery", [](const QString& s) { LostChunkRecovery(nullptr, s); }, OutputFor::LostChunk},
        {"shrinker", [](const QString& s) { ShrinkFile(nullptr, s, false); }, OutputFor::Shrinker},
        {"AVI", [](const QString& s) { ConvertToAvi(nullptr, s); }, OutputFor::Avi},
        {"WAV", [](const QString& s) { ConvertToWav(nullptr, s); }, OutputFor::Wav},
        {"re-encode", [](const QString& s) { ReEncode(nullptr, s); }, OutputFor::ReEncoder},
    };
    return tools;
}

QString OutputOf(const Tool& tool, const QString& source) {
    return QString::fromStdString(ToolOutputName(source.toStdString(), tool.output));
}

// Answers every message box (No, or its only button) while it lives, recording the texts.
class MessageCollector {
public:
    MessageCollector() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                ScreenGrab(QStringLiteral("message-%1").arg(++shots));
                box->done(QMessageBox::No);
            }
        });
        timer_.start();
    }
    QStringList texts;

private:
    static inline int shots = 0;
    QTimer timer_;
};

struct RunResult {
    QStringList messages;
    QString log;
    bool usable = false;  // still shown, run button back at its idle caption and enabled
};

// Opens the tool's dialog on `source`, lets `configure` adjust it, presses run, waits for the
// run to end (the re-encoder runs on), and closes the dialog.
RunResult RunTool(const Tool& tool, const QString& source, const std::function<void(ToolDialog*)>& configure = {}) {
    RunResult result;
    MessageCollector messages;
    OnNextModal<ToolDialog>([&](ToolDialog* d) {
        if (configure) configure(d);
        QTest::mouseClick(d->RunButton(), Qt::LeftButton);
        // The re-encoder's button says "停止" while the encoder runs on; the others return when done.
        QTRY_VERIFY_WITH_TIMEOUT(d->RunButton()->text() != QStringLiteral("停止"), 60000);
        QVERIFY(d->RunButton()->text() != ToolDialog::kAbortCaption);
        result.log = d->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
        result.usable = d->isVisible() && d->RunButton()->isEnabled();
        Screenshot(d, QStringLiteral("rules-") + QString::fromLatin1(tool.name));
        d->accept();
    });
    tool.entry(source);
    result.messages = messages.texts;
    return result;
}

// A folder no file can be created in: read-only for a normal user; root writes anywhere but in
// the kernel's own file systems.
QString UnwritableFolder(const QTemporaryDir& dir) {
    if (::geteuid() == 0) return QStringLiteral("/sys");
    const QString folder = dir.filePath(QStringLiteral("readonly"));
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return folder;
}

QStringList LeftOvers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*.part-*"), QStringLiteral("*.idx"), QStringLiteral("*.tmp")},
                                  QDir::Files | QDir::Hidden);
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// The sample cut right behind its data object's head: a readable header and not one packet.
QString HeaderOnly(const QTemporaryDir& dir, const QString& as) {
    QByteArray all = Bytes(Sample(QStringLiteral("a_wmv2_wmav2.wmv")));
    qint64 headerSize = 0;
    for (int i = 7; i >= 0; --i) headerSize = headerSize << 8 | quint8(all[16 + i]);
    const QString path = dir.filePath(as);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(all.left(headerSize + 50));
    return path;
}

}  // namespace

class ToolOutputRulesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void failedRunKeepsAnExistingOutput_data() { ToolRows(); }
    void failedRunKeepsAnExistingOutput() {
        QFETCH(int, tool);
        const Tool& t = Tools()[tool];
        QTemporaryDir dir;
        const QString source = HeaderOnly(dir, QStringLiteral("nopackets.wmv"));
        const QString output = OutputOf(t, source);
        const QByteArray old("the user's own file, not to be lost");
        QFile f(output);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
        f.close();

        const RunResult r = RunTool(t, source);
        QCOMPARE(Bytes(output), old);
        QCOMPARE(LeftOvers(dir.path()), QStringList());
        QVERIFY2(r.log.contains(QStringLiteral("没有生成输出文件, 已有的文件保持不变: ") + output) ||
                     !r.messages.isEmpty(),
                 qPrintable(r.log));
        QVERIFY(r.usable);
    }

    void emptySourceShowsWhyAndTheDialogGoesOn_data() { ToolRows(); }
    void emptySourceShowsWhyAndTheDialogGoesOn() {
        QFETCH(int, tool);
        const Tool& t = Tools()[tool];
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("empty.wmv"));
        QFile(source).open(QIODevice::WriteOnly);

        const RunResult r = RunTool(t, source);
        // The reason is in a message box or in the log, which then says nothing was written.
        QVERIFY2(!r.messages.isEmpty() || r.log.contains(QStringLiteral("没有生成输出文件")), qPrintable(r.log));
        QVERIFY(r.usable);
        QVERIFY(!QFileInfo::exists(OutputOf(t, source)));
        QCOMPARE(LeftOvers(dir.path()), QStringList());
    }

    void unwritableOutputFolderIsReported_data() { ToolRows(); }
    void unwritableOutputFolderIsReported() {
        QFETCH(int, tool);
        const Tool& t = Tools()[tool];
        QTemporaryDir dir;
        const QString source = CopySample(dir, QStringLiteral("a_wmv2_wmav2.wmv"));
        const QString output = UnwritableFolder(dir) + QLatin1Char('/') + QFileInfo(OutputOf(t, source)).fileName();

        const RunResult r = RunTool(t, source, [&](ToolDialog* d) { d->Frame()->SetOutput(output); });
        QCOMPARE(r.messages.size(), 1);
        QVERIFY2(r.messages[0].startsWith(QStringLiteral("错误在 \"") + source + QStringLiteral("\"\n无法创建输出文件")),
                 qPrintable(r.messages[0]));
        QVERIFY(r.usable);
        QVERIFY(!QFileInfo::exists(output));
    }

private:
    void ToolRows() {
        QTest::addColumn<int>("tool");
        for (std::size_t i = 0; i < Tools().size(); ++i) QTest::newRow(Tools()[i].name) << static_cast<int>(i);
    }
};

QTEST_MAIN(ToolOutputRulesTest)
#include "tool_output_rules_test.moc"
