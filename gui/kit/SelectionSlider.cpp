#include "gui/kit/SelectionSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>
#include <algorithm>

namespace mendery::ui {

SelectionSlider::SelectionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setFocusPolicy(Qt::NoFocus);
    setTickPosition(QSlider::TicksBelow);
    setMinimumHeight(28);
}

void SelectionSlider::SetSelStart(int v) {
    if (selStart_ == v) return;
    selStart_ = v;
    update();
}

void SelectionSlider::SetSelEnd(int v) {
    if (selEnd_ == v) return;
    selEnd_ = v;
    update();
}

// The centre of the handle when it stands at `value`, as the style places it.
int SelectionSlider::PixelOf(int value) const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = std::max(0, groove.width() - handle.width());
    return groove.left() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), std::clamp(value, minimum(), maximum()), span);
}

void SelectionSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (selEnd_ < selStart_ || maximum() <= minimum()) return;
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const int x0 = PixelOf(selStart_), x1 = PixelOf(selEnd_);
    const int cy = groove.center().y();
    QPainter p(this);
    QColor band = palette().color(QPalette::Highlight);
    band.setAlpha(150);
    p.fillRect(QRect(QPoint(x0, cy - 3), QPoint(x1, cy + 3)), band);
    // Small triangles under the groove mark both ends, as a track bar's selection does.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(QPalette::Highlight).darker(130));
    const int ty = groove.bottom() + 1;
    for (int x : {x0, x1}) {
        const QPoint tri[3] = {QPoint(x, ty), QPoint(x - 4, ty + 6), QPoint(x + 4, ty + 6)};
        p.drawPolygon(tri, 3);
    }
}

void SelectionSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return event->ignore();
    dragging_ = true;
    setSliderDown(true);
    emit DragStarted();
    emit DraggedTo(event->position().toPoint().x());
    event->accept();
}

void SelectionSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return event->ignore();
    emit DraggedTo(event->position().toPoint().x());
    event->accept();
}

void SelectionSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return event->ignore();
    dragging_ = false;
    setSliderDown(false);
    emit DragEnded(event->position().toPoint().x());
    event->accept();
}

void SelectionSlider::wheelEvent(QWheelEvent* event) { event->ignore(); }
void SelectionSlider::keyPressEvent(QKeyEvent* event) { event->ignore(); }

}  // namespace mendery::ui
