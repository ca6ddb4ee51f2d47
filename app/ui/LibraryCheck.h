#pragma once
// The start-up check for the external cutting tool that join, split and basic repair run.
#include <QString>

namespace mendery::ui {

// The cutting tool's path, or empty when it cannot be found: beside the program first (that is
// the one the commands run), then in the current folder and each folder of PATH.
QString FindCuttingTool();
// The path the commands run: the tool beside the program.
QString CuttingToolPath();
// The warning shown when it is missing ("\r" separates its lines).
const char* LibraryWarning();

}  // namespace mendery::ui
