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

#include "gui/kit/Text.h"
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
    BuildStatements(page, layout);
    BuildResult(page, layout);
    layout->addStretch(1);
    scroll_->setWidget(page);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll_);
}

// The six statements to tick, the damaged file's name last.
void TSampleFrame::BuildStatements(QWidget* page, QVBoxLayout* layout) {
    auto box = [this, page, layout](const char* name, const QString& caption) {
        auto* b = new QCheckBox(caption, page);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QCheckBox::clicked, this, &TSampleFrame::StatementClick);
        layout->addWidget(b);
        return b;
    };
    LatestVersionBox = box("CheckBox1", QStringLiteral("我正在使用Mendery最新的版本."));
    ReadHintsBox = box("CheckBox2", QStringLiteral("我已经激活\"显示控制点\"，并阅读了全部页面的所有提示."));
    ReadFaqBox = box("CheckBox3", QStringLiteral("我已经检查了Mendery网页上的F.A.Q.页面."));
    MayNotRecoverBox = box("CheckBox4", QStringLiteral("我明白我的文件也许不能恢复."));
    OriginalFileBox = box("CheckBox6", QStringLiteral("我采样的文件是原始的(未修复的)文件."));
    DamagedFileBox = box("CheckBox5", QStringLiteral("损坏的文件名为"));
}

// The button and what it made.
void TSampleFrame::BuildResult(QWidget* page, QVBoxLayout* layout) {
    MakeSampleButton = MakeCommandButton(page, QStringLiteral("SpeedButton1"), ThemeIcon("document-save", QStyle::SP_DialogSaveButton),
                                         QStringLiteral("制做样本"), QStringLiteral("制做样本"));
    MakeSampleButton->setAutoRaise(false);
    MakeSampleButton->setEnabled(false);
    connect(MakeSampleButton, &QToolButton::clicked, this, &TSampleFrame::MakeSampleClick);
    layout->addWidget(MakeSampleButton);
    ResultLabel = new QLabel(page);
    ResultLabel->setObjectName(QStringLiteral("Label5"));
    ResultLabel->setWordWrap(true);
    ResultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(ResultLabel);
    DoneImage = new QLabel(page);
    DoneImage->setObjectName(QStringLiteral("Image3"));
    DoneImage->setPixmap(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(48, 48));
    DoneImage->hide();
    layout->addWidget(DoneImage);
}

QList<QCheckBox*> TSampleFrame::Boxes() const {
    return {LatestVersionBox, ReadHintsBox, ReadFaqBox, MayNotRecoverBox, DamagedFileBox, OriginalFileBox};
}

void TSampleFrame::SetDamagedFile(const QString& path) {
    DamagedFile = path;
    for (auto* b : Boxes()) b->setChecked(false);
    MakeSampleButton->setEnabled(false);
    if (!DamagedFile.isEmpty()) {
        DamagedFileBox->setText(QStringLiteral("删除的文件名为 \"") + DamagedFile + QLatin1Char('"'));
        DamagedFileBox->setEnabled(true);
    } else {
        DamagedFileBox->setText(QStringLiteral("有缺陷的文件名称是未定义的。请从文件列表中选择它。"));
        DamagedFileBox->setEnabled(false);
    }
    ResultLabel->clear();
    DoneImage->hide();
}

void TSampleFrame::StatementClick() {
    bool all = !DamagedFile.isEmpty();
    for (auto* b : Boxes()) all = all && b->isChecked();
    MakeSampleButton->setEnabled(all);
}

void TSampleFrame::MakeSampleClick() {
    if (!MakeSample) return;
    const auto sample = MakeSample(ToStd(DamagedFile));
    if (!sample) return;
    ResultLabel->setText(QStringLiteral("样本文件是 \"") + ToQt(*sample) + QLatin1Char('"'));
    DoneImage->show();
    scroll_->ensureWidgetVisible(DoneImage);
}

}  // namespace mendery::ui
