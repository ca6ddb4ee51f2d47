#pragma once
// What the one-step rescue window shows of a rescue report: the state of a step, the lines of
// a step's own log view, the before/after decode table and the result line.
#include <QString>
#include <QStringList>

#include "rescue/Rescue.h"

class QTableWidget;

namespace mendery::ui {

enum class StepState { Waiting, Running, Done, NotKept, Failed, Stopped, NotRun };

QString StepStateText(StepState state);
// The state of a step that has ended (or, after the run, one that never started).
StepState EndedStepState(const RescueStep& step);

// One line about a decode check: "可播放 12.3 秒, 帧 1234, 解码错误 0, 可定位 是".
QString CheckSummary(const DecodeCheck& check);
// Why the step was chosen, its own log, the decode of its result and its note.
QStringList StepDetailLines(const RescueStep& step);

// Fills the table with the rows of the before/after comparison: opened, playable seconds,
// frames of every stream either side decoded, decode errors, seekable. `after` may be absent
// (the run has not ended, or it kept nothing).
void FillCompareTable(QTableWidget* table, const DecodeCheck& before, const DecodeCheck* after);

// The line that ends a run: what became of the output and why.
QString ResultText(const RescueReport& report, bool outputExisted);

// Above the progress bars while a step runs: "第 2 步 (共 5 步): 高级修复".
QString RunningStepCaption(std::size_t index, std::size_t planned, const std::string& title);
// After the run: how many of the planned steps ran, "已运行 3 步 (共 5 步)".
QString RanStepsCaption(const std::vector<RescueStep>& steps);

// The name proposed for the rescued copy of `source`.
QString RescueOutputName(const QString& source);

}  // namespace mendery::ui
