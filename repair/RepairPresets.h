#pragma once
// The option presets of the advanced repair dialog, shared by the dialog and the command line.
#include <optional>
#include <span>
#include <string_view>

#include "repair/AsfFile.h"

namespace mendery {

enum TRepairPreset { rpCustom, rpRepairBadChunks, rpRepairPartialFile, rpRemoveExtraFrames, rpSetSeekable, rpSetLive, rpVdCompatible };

struct RepairPresetInfo {
    TRepairPreset preset;
    std::string_view cliName;  // mendery-cli --preset NAME
    std::string_view caption;  // item of the "预设选项" group
};
std::span<const RepairPresetInfo> RepairPresets();
std::optional<TRepairPreset> FindRepairPreset(std::string_view cliName);

// Every option back to its initial value (radio groups at item 0, check boxes off).
void ResetOptions(TAsfFile& engine);
// ResetOptions, then the preset's options; rpCustom only resets.
void ApplyPreset(TAsfFile& engine, TRepairPreset preset);

}  // namespace mendery
