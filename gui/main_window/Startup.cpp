#include "gui/main_window/Startup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

#include "gui/main_window/AboutForm.h"
#include "gui/main_window/MainForm.h"

namespace mendery::ui {

bool InstallQtTranslations() {
    auto* qt = new QTranslator(qApp);
    if (!qt->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    QCoreApplication::installTranslator(qt);
    return true;
}

TMainForm* StartMainWindow(const QStringList& commandLineFiles) {
    auto* mainForm = new TMainForm(commandLineFiles);
    auto* about = new TAboutForm(mainForm);
    about->OnActivate = [mainForm] { mainForm->LoadSettings(); };
    // The main window is not shown yet: centre the dialog on the screen rather than on it.
    about->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        about->move(screen->availableGeometry().center() - about->rect().center());
    if (about->exec() != QDialog::Accepted) {
        delete mainForm;
        return nullptr;
    }
    about->OnActivate = nullptr;
    mainForm->setAttribute(Qt::WA_DeleteOnClose);
    mainForm->show();
    return mainForm;
}

}  // namespace mendery::ui
