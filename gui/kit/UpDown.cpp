#include "gui/kit/UpDown.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace mendery::ui {

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto make = [this, layout](Qt::ArrowType arrow, const char* name) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setArrowType(arrow);
        b->setAutoRepeat(true);
        b->setFixedSize(18, 12);
        layout->addWidget(b);
        return b;
    };
    up_ = make(Qt::UpArrow, "Up");
    down_ = make(Qt::DownArrow, "Down");
    connect(up_, &QToolButton::clicked, this, &UpDown::Up);
    connect(down_, &QToolButton::clicked, this, &UpDown::Down);
}

}  // namespace mendery::ui
