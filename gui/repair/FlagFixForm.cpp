#include "gui/repair/FlagFixForm.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/kit/FlowHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

TFlagFixForm::TFlagFixForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FlagFixForm"));
    setWindowTitle(QStringLiteral("修复可定位标记和直播标记"));
    auto* layout = new QVBoxLayout(this);
    PathLabel = new QLabel(this);
    PathLabel->setObjectName(QStringLiteral("Label1"));
    layout->addWidget(PathLabel);
    CloseButton = new QPushButton(QStringLiteral("关闭"), this);
    CloseButton->setObjectName(QStringLiteral("Button1"));
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    layout->addWidget(CloseButton, 0, Qt::AlignRight);
    // Messages and the question about live belong to the window that called the fixer.
    host_ = std::make_unique<FlowHost>(parent);
    fixer_ = std::make_unique<FlagFixer>(*host_);
}

TFlagFixForm::~TFlagFixForm() = default;

FlagFixResult TFlagFixForm::FixFlags(const QString& path) {
    const FlagFixResult result = fixer_->FixFlags(ToStd(path));
    PathLabel->setText(ToQt(fixer_->LastPath()));
    QCoreApplication::processEvents();
    return result;
}

}  // namespace mendery::ui
