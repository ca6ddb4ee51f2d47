#pragma once
// TBxAdvRepair: the advanced repair dialog, with the preset group that locks the options frame
// and sets the options each preset names.
#include "gui/kit/ToolDialog.h"
#include "repair/RepairPresets.h"

namespace mendery::ui {

class TAsfFileFrame;
class RadioGroup;

class TBxAdvRepair : public ToolDialog {
    Q_OBJECT
public:
    explicit TBxAdvRepair(QWidget* parent = nullptr);
    TAsfFileFrame* OptionsFrame;
    RadioGroup* PresetGroup;

    void ApplyPresetItem(int index);
};

// The entry operation: returns the output path the frame shows at the end.
QString AdvancedRepair(QWidget* parent, const QString& source);

}  // namespace mendery::ui
