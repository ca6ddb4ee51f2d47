#pragma once
// The output row of a tool window (a caption, the read-only output path, a button that opens
// the save dialog) and the save dialog every window asks for a file to write with.
#include <QString>

class QHBoxLayout;
class QLineEdit;
class QToolButton;
class QWidget;

namespace mendery::ui {

struct SaveDialogTexts {
    QString title;          // "输出文件", "转换为Avi文件", ...
    QString filter;         // Qt filter text
    QString defaultSuffix;  // "asf", "avi", "wav"
    bool confirmOverwrite = true;
};

// The save dialog, opened in `folder` with `file` as the proposed name. Returns the chosen path, or an empty text when the user cancelled.
QString AskSaveFileName(QWidget* owner, const SaveDialogTexts& texts, const QString& folder, const QString& file);
// The same, opened in the folder of `proposed` with it as the name.
QString AskSaveFileName(QWidget* owner, const SaveDialogTexts& texts, const QString& proposed);

// Writing over the source would destroy the file a tool is rescuing: a chosen output that names
// the source (also through a link) is refused with a message. True when it is refused.
bool RefusedAsSource(QWidget* owner, const QString& source, const QString& chosen);

struct OutputRow {
    QHBoxLayout* layout;
    QLineEdit* edit;      // read-only, shows the output path
    QToolButton* button;  // opens the save dialog
};

// The controls of an output row, laid out in a row the caller places. The names are the
// controls' object names.
OutputRow MakeOutputRow(QWidget* parent, const QString& caption, const QString& editName, const QString& editHint,
                        const QString& buttonName = QStringLiteral("SpeedButton1"));

}  // namespace mendery::ui
