#pragma once
// The entry operations of the tool dialogs other than advanced repair: each creates its dialog
// for one file, shows it modally and returns the output path (empty for the converters).
#include <QString>

class QWidget;

namespace mendery::ui {

QString LostChunkRecovery(QWidget* parent, const QString& source);
QString ShrinkFile(QWidget* parent, const QString& source, bool cuttingToolAvailable);
void ConvertToAvi(QWidget* parent, const QString& source);
void ConvertToWav(QWidget* parent, const QString& source);
QString ReEncode(QWidget* parent, const QString& source);

}  // namespace mendery::ui
