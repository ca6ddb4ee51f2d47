#pragma once
// The desktop program's start-up: Qt's own texts in the program's language, the about dialog
// that loads the settings and the command-line files, then the main window.
#include <QStringList>

namespace mendery::ui {

class TMainForm;

// Loads Qt's own Simplified Chinese texts (standard buttons, file dialogs) for the
// application; false when the translation is not installed.
bool InstallQtTranslations();

// The about dialog shown modally, running the main window's LoadSettings when it is shown.
// Closed with OK: the main window is shown (deleted when closed) and returned. Closed any other
// way: the main window is destroyed without having saved anything, and null is returned.
TMainForm* StartMainWindow(const QStringList& commandLineFiles);

}  // namespace mendery::ui
