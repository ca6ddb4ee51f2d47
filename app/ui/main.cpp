// mendery: the desktop program. Start-up: title and hints, the main window, the about dialog
// that loads the settings and the command-line files, then the main window's own loop.
#include <QApplication>
#include <QScreen>

#include "app/ui/AboutForm.h"
#include "app/ui/MainForm.h"
#include "app/ui/Widgets.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mendery"));
    QApplication::setOrganizationName(QStringLiteral("Mendery"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("mendery")));
    mendery::ui::InstallHintStyle();
    mendery::ui::SetHintDelay(200);

    QStringList files = QApplication::arguments();
    files.removeFirst();
    auto* mainForm = new mendery::ui::TMainForm(files);
    auto* about = new mendery::ui::TAboutForm(mainForm);
    about->OnActivate = [mainForm] { mainForm->LoadSettings(); };
    // The main window is not shown yet: centre the dialog on the screen rather than on it.
    about->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        about->move(screen->availableGeometry().center() - about->rect().center());
    if (about->exec() != QDialog::Accepted) {
        delete mainForm;
        return 0;
    }
    about->OnActivate = nullptr;
    mainForm->setAttribute(Qt::WA_DeleteOnClose);
    mainForm->show();
    return QApplication::exec();
}
