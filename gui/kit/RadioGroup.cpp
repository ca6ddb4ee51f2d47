#include "gui/kit/RadioGroup.h"

#include <QGridLayout>
#include <QRadioButton>

namespace mendery::ui {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
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
    connect(buttons_, &QButtonGroup::idClicked, this, &RadioGroup::Clicked);
}

int RadioGroup::ItemIndex() const { return buttons_->checkedId(); }
int RadioGroup::Count() const { return static_cast<int>(buttons_->buttons().size()); }
QAbstractButton* RadioGroup::Item(int index) const { return buttons_->button(index); }

void RadioGroup::ShowItemIndex(int index) {
    if (auto* b = buttons_->button(index)) b->setChecked(true);
}

void RadioGroup::SetItemIndex(int index) {
    ShowItemIndex(index);
    emit Clicked(index);
}

}  // namespace mendery::ui
