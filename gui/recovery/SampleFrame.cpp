#include "gui/recovery/SampleFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "gui/kit/Widgets.h"

namespace mendery::ui {

TSampleFrame::TSampleFrame(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SampleFrame"));
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* picture = new QLabel(page);
    picture->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));
    layout->addWidget(picture);
    auto* intro = new QLabel(QStringLiteral("样本是损坏文件开头的 512 KB, 用于诊断. 请先确认以下全部内容:"), page);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto box = [&](const char* name, const QString& caption) {
        auto* b = new QCheckBox(caption, page);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QCheckBox::clicked, this, &TSampleFrame::CheckBox1Click);
        layout->addWidget(b);
        return b;
    };
    CheckBox1 = box("CheckBox1", QStringLiteral("我正在使用Mendery最新的版本."));
    CheckBox2 = box("CheckBox2", QStringLiteral("我已经激活\"显示控制点\"，并阅读了全部页面的所有提示."));
    CheckBox3 = box("CheckBox3", QStringLiteral("我已经检查了Mendery网页上的F.A.Q.页面."));
    CheckBox4 = box("CheckBox4", QStringLiteral("我明白我的文件也许不能恢复."));
    CheckBox6 = box("CheckBox6", QStringLiteral("我采样的文件是原始的(未修复的)文件."));
    CheckBox5 = box("CheckBox5", QStringLiteral("损坏的文件名为"));

    SpeedButton1 = MakeCommandButton(page, QStringLiteral("SpeedButton1"), ThemeIcon("document-save", QStyle::SP_DialogSaveButton),
                                     QStringLiteral("制做样本"), QStringLiteral("制做样本"));
    SpeedButton1->setAutoRaise(false);
    SpeedButton1->setEnabled(false);
    connect(SpeedButton1, &QToolButton::clicked, this, &TSampleFrame::SpeedButton1Click);
    layout->addWidget(SpeedButton1);
    Label5 = new QLabel(page);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setWordWrap(true);
    Label5->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Label5);
    Image3 = new QLabel(page);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setPixmap(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(48, 48));
    Image3->hide();
    layout->addWidget(Image3);
    layout->addStretch(1);
    scroll_->setWidget(page);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll_);
}

QList<QCheckBox*> TSampleFrame::Boxes() const { return {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6}; }

void TSampleFrame::SetDamagedFile(const QString& path) {
    DamagedFile = path;
    for (auto* b : Boxes()) b->setChecked(false);
    SpeedButton1->setEnabled(false);
    if (!DamagedFile.isEmpty()) {
        CheckBox5->setText(QStringLiteral("删除的文件名为 \"") + DamagedFile + QLatin1Char('"'));
        CheckBox5->setEnabled(true);
    } else {
        CheckBox5->setText(QStringLiteral("有缺陷的文件名称是未定义的。请从文件列表中选择它。"));
        CheckBox5->setEnabled(false);
    }
    Label5->clear();
    Image3->hide();
}

void TSampleFrame::CheckBox1Click() {
    bool all = !DamagedFile.isEmpty();
    for (auto* b : Boxes()) all = all && b->isChecked();
    SpeedButton1->setEnabled(all);
}

void TSampleFrame::SpeedButton1Click() {
    if (!MakeSample) return;
    const auto sample = MakeSample(DamagedFile.toStdString());
    if (!sample) return;
    Label5->setText(QStringLiteral("样本文件是 \"") + QString::fromStdString(*sample) + QLatin1Char('"'));
    Image3->show();
    scroll_->ensureWidgetVisible(Image3);
}

}  // namespace mendery::ui
