#pragma once
// TAboutForm: the about dialog. At start-up it runs the main window's LoadSettings when it is
// shown and only then lets the user go on with OK.
#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

namespace mendery::ui {

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    // Run once per activation while set; cleared after the start-up dialog closed with OK.
    std::function<void()> OnActivate;

    QLabel* StatusLabel;
    QPushButton* OkButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Activated();
};

}  // namespace mendery::ui
