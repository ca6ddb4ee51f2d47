#pragma once
// TPProcForm, the small always-on-top window without buttons that shows the progress of the
// codec-list transplant after the cutting tool ran.
#include <QDialog>

class QLabel;
class QProgressBar;
class QVBoxLayout;

namespace mendery::ui {

class TPProcForm : public QDialog {
    Q_OBJECT
public:
    explicit TPProcForm(QWidget* parent = nullptr);
    QProgressBar* ProgressBar;
    QLabel* PercentLabel;
};

// What the progress windows share: on top of the program, a title but no close box, and a
// bar without text over a centred label. Returns the window's layout for what it adds.
QVBoxLayout* BuildProgressWindow(QDialog* window, const QString& title, QProgressBar*& bar, QLabel*& label);
// The flags of such a window.
Qt::WindowFlags ProgressWindowFlags();

}  // namespace mendery::ui
