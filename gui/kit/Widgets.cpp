#include "gui/kit/Widgets.h"

#include <QApplication>
#include <QBoxLayout>
#include <QPushButton>
#include <QProxyStyle>

namespace mendery::ui {

namespace {
int hintDelay = 200;

class HintStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* ret) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return hintDelay;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};
}  // namespace

// Hints stay up for up to five minutes, long enough to read the longer ones.
class HintDuration : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish && watched->isWidgetType())
            static_cast<QWidget*>(watched)->setToolTipDuration(300000);
        return false;
    }
};

void SetHintDelay(int ms) { hintDelay = ms; }
int HintDelay() { return hintDelay; }
void InstallHintStyle() {
    QApplication::setStyle(new HintStyle);
    qApp->installEventFilter(new HintDuration(qApp));
}

QIcon ThemeIcon(const char* themeName, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(themeName), QApplication::style()->standardIcon(fallback));
}

QToolButton* MakeCommandButton(QWidget* parent, const QString& objectName, const QIcon& icon, const QString& label,
                               const QString& hint, Qt::ToolButtonStyle style) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIcon(icon);
    button->setText(label);
    button->setToolTip(hint);
    button->setToolButtonStyle(style);
    button->setAutoRaise(true);
    return button;
}

QPushButton* AddDialogButton(QBoxLayout* row, QWidget* parent, const char* objectName, const QString& caption,
                             QStyle::StandardPixmap picture) {
    auto* button = new QPushButton(QApplication::style()->standardIcon(picture), caption, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

}  // namespace mendery::ui
