#include "gui/main_window/AboutForm.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/kit/Widgets.h"

namespace mendery::ui {

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("关于 Mendery"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("<h2>Mendery v3.1</h2>"), this);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto* text = new QLabel(QStringLiteral("ASF / WMV / WMA 流媒体文件的修复、缩减、剪切、合并与转换工具.\n"
                                           "工具总是写入新文件, 源文件保持不变 (标记修复和替换源文件的基础修复除外)."),
                            this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignHCenter);
    layout->addWidget(text);

    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setAlignment(Qt::AlignHCenter);
    layout->addWidget(StatusLabel);

    auto* links = new QHBoxLayout;
    auto link = [&](const char* name, QStyle::StandardPixmap pic, const QString& label, const QString& hint, const QString& url) {
        auto* b = MakeCommandButton(this, QString::fromLatin1(name), QApplication::style()->standardIcon(pic), label, hint);
        connect(b, &QToolButton::clicked, this, [url] { QDesktopServices::openUrl(QUrl(url)); });
        links->addWidget(b);
    };
    link("HomeLink", QStyle::SP_DirHomeIcon, QStringLiteral("网站"), QStringLiteral("访问Mendery的网站"),
         QStringLiteral("https://mendery.org/"));
    link("FaqLink", QStyle::SP_MessageBoxQuestion, QStringLiteral("F.A.Q."), QStringLiteral("阅读常见问题解答 (F.A.Q.)"),
         QStringLiteral("https://mendery.org/faq/"));
    links->addStretch(1);
    OkButton = new QPushButton(QStringLiteral("确定"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    links->addWidget(OkButton);
    layout->addLayout(links);
    setMinimumWidth(420);
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QTimer::singleShot(0, this, &TAboutForm::Activated);
}

void TAboutForm::Activated() {
    OkButton->setEnabled(false);
    StatusLabel->setText(QStringLiteral("正在读取上次使用的目录，请稍等..."));
    QCoreApplication::processEvents();
    if (OnActivate) OnActivate();
    StatusLabel->setText(QStringLiteral("就绪."));
    OkButton->setEnabled(true);
    OkButton->setFocus();
}

}  // namespace mendery::ui
