#include "gui/kit/OutputRow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QToolButton>

#include "asf/BinaryFile.h"
#include "gui/kit/Text.h"
#include "gui/kit/Widgets.h"

namespace mendery::ui {

QString AskSaveFileName(QWidget* owner, const SaveDialogTexts& texts, const QString& folder, const QString& file) {
    QFileDialog dialog(owner, texts.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!texts.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(texts.filter);
    dialog.setDefaultSuffix(texts.defaultSuffix);
    dialog.setDirectory(folder);
    dialog.selectFile(file);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QString AskSaveFileName(QWidget* owner, const SaveDialogTexts& texts, const QString& proposed) {
    return AskSaveFileName(owner, texts, QFileInfo(proposed).absolutePath(), proposed);
}

bool RefusedAsSource(QWidget* owner, const QString& source, const QString& chosen) {
    if (chosen != source && !IsSameFile(ToStd(chosen), ToStd(source))) return false;
    QMessageBox::warning(owner, owner->window()->windowTitle(), QStringLiteral("输出文件不能和输入文件相同, 请再试一下."));
    return true;
}

OutputRow MakeOutputRow(QWidget* parent, const QString& caption, const QString& editName, const QString& editHint,
                        const QString& buttonName) {
    OutputRow row;
    row.edit = new QLineEdit(parent);
    row.edit->setObjectName(editName);
    row.edit->setReadOnly(true);
    row.edit->setToolTip(editHint);
    row.button = MakeCommandButton(parent, buttonName, ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton),
                                   QString(), QStringLiteral("选择新的输出文件名称及路径"), Qt::ToolButtonIconOnly);
    row.button->setAutoRaise(false);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(row.edit);
    row.layout = new QHBoxLayout;
    row.layout->addWidget(label);
    row.layout->addWidget(row.edit, 1);
    row.layout->addWidget(row.button);
    return row;
}

}  // namespace mendery::ui
