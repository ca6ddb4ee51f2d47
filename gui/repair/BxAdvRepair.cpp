#include "gui/repair/BxAdvRepair.h"

#include <QVBoxLayout>

#include "gui/kit/Widgets.h"
#include "gui/repair/AsfFileFrame.h"

namespace mendery::ui {

namespace {
const ToolDialogTexts kTexts{QStringLiteral("高级修复"), QStringLiteral("高级修复 - "), QStringLiteral("修复"),
                             QStringLiteral("修复"),     QStringLiteral("播放修复文件"), OutputFor::AdvancedRepair,
                             true};
}

TBxAdvRepair::TBxAdvRepair(QWidget* parent)
    : TToolDialog(kTexts, new TAsfFileFrame, parent) {
    AsfFileFrame1 = static_cast<TAsfFileFrame*>(Frame());
    setObjectName(QStringLiteral("BxAdvRepair"));
    QStringList items;
    for (const auto& p : RepairPresets()) items << QString::fromUtf8(p.caption.data(), p.caption.size());
    PresetGroup = new TRadioGroup(QStringLiteral("预设选项"), items, static_cast<int>(items.size()), this);
    PresetGroup->setObjectName(QStringLiteral("PresetGroup"));
    ExtraArea()->addWidget(PresetGroup);
    connect(PresetGroup, &TRadioGroup::Clicked, this, &TBxAdvRepair::ApplyPresetItem);
    resize(820, 640);
}

void TBxAdvRepair::ApplyPresetItem(int index) {
    const auto preset = RepairPresets()[index].preset;
    AsfFileFrame1->ResetOptions();
    AsfFileFrame1->EnableOptions(preset == RepairPreset::Custom);
    if (preset == RepairPreset::Custom) return;
    // The shared preset table sets the engine; the controls then show what it holds.
    ApplyPreset(AsfFileFrame1->Engine(), preset);
    AsfFileFrame1->ShowEngineOptions();
}

QString AdvancedRepair(QWidget* parent, const QString& source) {
    TBxAdvRepair dialog(parent);
    return dialog.Execute(source);
}

}  // namespace mendery::ui
