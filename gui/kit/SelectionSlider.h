#pragma once
// The split window's position slider: it draws a marked range over its groove and reports
// mouse drags by pixel.
#include <QSlider>

namespace mendery::ui {

// A horizontal slider whose selection (start..end, in slider units) is drawn as a band over
// the groove. Mouse dragging does not move the handle by itself: the owner receives the pixel
// positions and decides where the handle goes (and where the player seeks). The wheel and the
// keyboard do not move it either, so the handle always shows the player's position.
class SelectionSlider : public QSlider {
    Q_OBJECT
public:
    explicit SelectionSlider(QWidget* parent = nullptr);

    void SetSelStart(int v);
    void SetSelEnd(int v);
    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    bool Dragging() const { return dragging_; }

signals:
    void DragStarted();
    void DraggedTo(int x);
    void DragEnded(int x);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int PixelOf(int value) const;
    int selStart_ = 0, selEnd_ = 0;
    bool dragging_ = false;
};

}  // namespace mendery::ui
