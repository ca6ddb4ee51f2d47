#include "gui/kit/Widgets.h"

#include <QApplication>
#include <QGridLayout>
#include <QProxyStyle>
#include <QRadioButton>

namespace mendery::ui {

namespace {
int hintDelay = 200;

class THintStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* ret) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return hintDelay;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};
}  // namespace

// Hints stay up for up to five minutes, long enough to read the longer ones.
class THintDuration : public QObject {
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
    QApplication::setStyle(new THintStyle);
    qApp->installEventFilter(new THintDuration(qApp));
}

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(4);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], this);
        buttons_->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }
    if (!items.isEmpty()) buttons_->button(0)->setChecked(true);
    connect(buttons_, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

int TRadioGroup::ItemIndex() const { return buttons_->checkedId(); }
int TRadioGroup::Count() const { return static_cast<int>(buttons_->buttons().size()); }
QAbstractButton* TRadioGroup::Item(int index) const { return buttons_->button(index); }

void TRadioGroup::ShowItemIndex(int index) {
    if (auto* b = buttons_->button(index)) b->setChecked(true);
}

void TRadioGroup::SetItemIndex(int index) {
    ShowItemIndex(index);
    emit Clicked(index);
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

}  // namespace mendery::ui
