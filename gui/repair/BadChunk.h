#pragma once
// TBadChunk: asks what to do with one chunk whose signature is bad. One instance serves every
// question for the program's life, so the answer chosen last stays selected for the next one.
#include <QDialog>
#include <cstdint>

#include "repair/AsfFile.h"

class QLabel;

namespace mendery::ui {

class RadioGroup;

class TBadChunk : public QDialog {
    Q_OBJECT
public:
    static TBadChunk& Instance();   // created on first use and kept
    static bool Exists();

    // Shows the dialog for one chunk and maps the result to the engine's answer; closing it any
    // other way than with OK answers BadChunkAction::DoNothing.
    BadChunkAction Decide(std::int64_t chunkIndex);

    QLabel* ChunkLabel;
    RadioGroup* ActionGroup;
    QPushButton* OkButton;

private:
    explicit TBadChunk(QWidget* parent = nullptr);
};

}  // namespace mendery::ui
