#pragma once
// TFlagFixForm: the flag fixer's dialog. The main window creates it on first use and keeps it;
// the fixer's results reach the user as message boxes, the label keeps the last file's path.
#include <QDialog>
#include <memory>

#include "repair/FlagFixer.h"

class QLabel;
class QPushButton;

namespace mendery::ui {

class FlowHost;

class TFlagFixForm : public QDialog {
    Q_OBJECT
public:
    explicit TFlagFixForm(QWidget* parent = nullptr);
    ~TFlagFixForm() override;

    FlagFixResult FixFlags(const QString& path);

    QLabel* PathLabel;
    QPushButton* CloseButton;

private:
    std::unique_ptr<FlowHost> host_;
    std::unique_ptr<FlagFixer> fixer_;
};

}  // namespace mendery::ui
