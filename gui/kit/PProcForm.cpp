#include "gui/kit/PProcForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace mendery::ui {

Qt::WindowFlags ProgressWindowFlags() {
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint;
}

QVBoxLayout* BuildProgressWindow(QDialog* window, const QString& title, QProgressBar*& bar, QLabel*& label) {
    window->setWindowTitle(title);
    auto* layout = new QVBoxLayout(window);
    bar = new QProgressBar(window);
    bar->setObjectName(QStringLiteral("ProgressBar1"));
    bar->setTextVisible(false);
    label = new QLabel(window);
    label->setObjectName(QStringLiteral("Label1"));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(bar);
    layout->addWidget(label);
    window->setMinimumWidth(320);
    return layout;
}

TPProcForm::TPProcForm(QWidget* parent) : QDialog(parent, ProgressWindowFlags()) {
    setObjectName(QStringLiteral("PProcForm"));
    BuildProgressWindow(this, QStringLiteral("正在后台处理, 请稍候..."), ProgressBar, PercentLabel);
    PercentLabel->setText(QStringLiteral("0%"));
}

}  // namespace mendery::ui
