#include "gui/repair/BxAdvRepair.h"

#include <QVBoxLayout>

#include "gui/kit/Text.h"
#include "gui/kit/RadioGroup.h"
#include "gui/kit/Widgets.h"
#include "gui/repair/AsfFileFrame.h"

namespace mendery::ui {

namespace {
const ToolDialogTexts kTexts{QStringLiteral("高级修复"), QStringLiteral("高级修复 - "), QStringLiteral("修复"),
                             QStringLiteral("修复"),     QStringLiteral("播放修复文件"), OutputFor::AdvancedRepair,
                             true};
}

TBxAdvRepair::TBxAdvRepair(QWidget* parent)
    : ToolDialog(kTexts, new TAsfFileFrame, parent) {
    OptionsFrame = static_cast<TAsfFileFrame*>(Frame());
    setObjectName(QStringLiteral("BxAdvRepair"));
    QStringList items;
    for (const auto& p : RepairPresets()) items << ToQt(p.caption);
    PresetGroup = new RadioGroup(QStringLiteral("预设选项"), items, static_cast<int>(items.size()), this);
    PresetGroup->setObjectName(QStringLiteral("PresetGroup"));
    ExtraArea()->addWidget(PresetGroup);
    connect(PresetGroup, &RadioGroup::Clicked, this, &TBxAdvRepair::ApplyPresetItem);
    resize(820, 640);
}

void TBxAdvRepair::ApplyPresetItem(int index) {
    const auto preset = RepairPresets()[index].preset;
    OptionsFrame->ResetOptions();
    OptionsFrame->EnableOptions(preset == RepairPreset::Custom);
    if (preset == RepairPreset::Custom) return;
    // The shared preset table sets the engine; the controls then show what it holds.
    ApplyPreset(OptionsFrame->Engine(), preset);
    OptionsFrame->ShowEngineOptions();
}

QString AdvancedRepair(QWidget* parent, const QString& source) {
    TBxAdvRepair dialog(parent);
    return dialog.Execute(source);
}

}  // namespace mendery::ui
