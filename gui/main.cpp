// mendery: the desktop program. Start-up: title and hints, Qt's own texts in Chinese, the main
// window, the about dialog that loads the settings and the command-line files, then the main
// window's own loop.
#include <QApplication>

#include "gui/main_window/Startup.h"
#include "gui/kit/Widgets.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mendery"));
    QApplication::setOrganizationName(QStringLiteral("Mendery"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("mendery")));
    mendery::ui::InstallQtTranslations();
    mendery::ui::InstallHintStyle();
    mendery::ui::SetHintDelay(200);

    QStringList files = QApplication::arguments();
    files.removeFirst();
    if (!mendery::ui::StartMainWindow(files)) return 0;
    return QApplication::exec();
}
