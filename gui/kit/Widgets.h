#pragma once
// Small widgets the panels share: a captioned radio group with an item index, and buttons
// with a themed picture (with a bundled fallback) and a short label.
#include <QButtonGroup>
#include <QGroupBox>
#include <QIcon>
#include <QStringList>
#include <QStyle>
#include <QToolButton>
#include <functional>

namespace mendery::ui {

// The application title: caption of message boxes.
inline QString AppTitle() { return QStringLiteral("Mendery v3.1"); }

// Delay before a hint (tooltip) shows, in ms; "快捷提示" switches between 200 and 3000.
void SetHintDelay(int ms);
int HintDelay();
// Installs the style that applies the hint delay.
void InstallHintStyle();

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, int columns = 1, QWidget* parent = nullptr);
    int ItemIndex() const;
    // Selects an item and runs the click handling, as a user's click would.
    void SetItemIndex(int index);
    // Selects an item without the click handling (restoring a state).
    void ShowItemIndex(int index);
    QAbstractButton* Item(int index) const;
    int Count() const;

signals:
    void Clicked(int index);

private:
    QButtonGroup* buttons_;
};

// A picture from the desktop's icon theme, or the style's own when the theme lacks it.
QIcon ThemeIcon(const char* themeName, QStyle::StandardPixmap fallback);

// A command button: picture, short label beside or under it, hint as tooltip.
QToolButton* MakeCommandButton(QWidget* parent, const QString& objectName, const QIcon& icon, const QString& label,
                               const QString& hint, Qt::ToolButtonStyle style = Qt::ToolButtonTextBesideIcon);

}  // namespace mendery::ui
