#pragma once
// Helpers for the window tests: scripted answers to modal dialogs, temporary copies of the
// samples, screenshots when MENDERY_SHOTS names a folder.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace uitest {

// Runs `act` on the next modal dialog of type T as soon as it shows. A dialog that `act` left
// open (a failed check returns early) is closed, so a failure never hangs the test.
template <class T>
void OnNextModal(std::function<void(T*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            QPointer<T> guard(w);
            act(w);
            if (guard && guard->isVisible()) guard->reject();
        }
    });
    timer->start();
}

// Answers the next message box with `button` and records its text.
inline void AnswerNextMessage(QMessageBox::StandardButton button, QString* text = nullptr) {
    OnNextModal<QMessageBox>([button, text](QMessageBox* box) {
        if (text) *text = box->text();
        box->done(button);
    });
}

inline QString Sample(const QString& name) { return QStringLiteral(MENDERY_TEST_DATA) + QLatin1Char('/') + name; }

// A copy of a sample inside `dir`.
inline QString CopySample(const QTemporaryDir& dir, const QString& name, const QString& as = QString()) {
    const QString target = dir.filePath(as.isEmpty() ? name : as);
    QFile::remove(target);
    QFile::copy(Sample(name), target);
    QFile(target).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return target;
}

inline void Screenshot(QWidget* w, const QString& name) {
    const QString dir = qEnvironmentVariable("MENDERY_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// The whole screen, window manager frames and message boxes included, once they have painted.
inline void ScreenGrab(const QString& name) {
    const QString dir = qEnvironmentVariable("MENDERY_SHOTS");
    if (dir.isEmpty()) return;
    QTest::qWait(300);
    QDir().mkpath(dir);
    QGuiApplication::primaryScreen()->grabWindow(0).save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

}  // namespace uitest
