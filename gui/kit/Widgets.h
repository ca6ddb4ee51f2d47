#pragma once
// What the windows share: the application title, the hint timing, and command buttons with a
// themed picture (with a bundled fallback) and a short label.
#include <QIcon>
#include <QStringList>
#include <QStyle>
#include <QToolButton>
#include <functional>

class QBoxLayout;
class QPushButton;

namespace mendery::ui {

// The application title: caption of message boxes.
inline QString AppTitle() { return QStringLiteral("Mendery v3.1"); }

// Delay before a hint (tooltip) shows, in ms; "快捷提示" switches between 200 and 3000.
void SetHintDelay(int ms);
int HintDelay();
// Installs the style that applies the hint delay.
void InstallHintStyle();

// A picture from the desktop's icon theme, or the style's own when the theme lacks it.
QIcon ThemeIcon(const char* themeName, QStyle::StandardPixmap fallback);

// A command button: picture, short label beside or under it, hint as tooltip.
QToolButton* MakeCommandButton(QWidget* parent, const QString& objectName, const QIcon& icon, const QString& label,
                               const QString& hint, Qt::ToolButtonStyle style = Qt::ToolButtonTextBesideIcon);

// A dialog's push button with the style's picture, added to `row`; never the default button
// (Enter in a field must not start a run).
QPushButton* AddDialogButton(QBoxLayout* row, QWidget* parent, const char* objectName, const QString& caption,
                             QStyle::StandardPixmap picture);

}  // namespace mendery::ui
