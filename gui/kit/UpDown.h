#pragma once
// Two stacked arrow buttons, as beside the split window's mark boxes.
#include <QWidget>

class QToolButton;

namespace mendery::ui {

// Two stacked arrow buttons: Up() for the upper, Down() for the lower one. Holding a button
// repeats it.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

signals:
    void Up();
    void Down();

private:
    QToolButton *up_, *down_;
};

}  // namespace mendery::ui
