#pragma once
// The option presets of the advanced repair dialog, shared by the dialog and the command line.
#include <optional>
#include <span>
#include <string_view>

#include "repair/AsfFile.h"

namespace mendery {

enum class RepairPreset { Custom, RepairBadChunks, RepairPartialFile, RemoveExtraFrames, SetSeekable, SetLive, VdCompatible };

struct RepairPresetInfo {
    RepairPreset preset;
    std::string_view cliName;  // mendery-cli --preset NAME
    std::string_view caption;  // item of the "预设选项" group
};
std::span<const RepairPresetInfo> RepairPresets();
std::optional<RepairPreset> FindRepairPreset(std::string_view cliName);

// Every option back to its initial value (radio groups at item 0, check boxes off).
void ResetOptions(TAsfFile& engine);
// ResetOptions, then the preset's options; RepairPreset::Custom only resets.
void ApplyPreset(TAsfFile& engine, RepairPreset preset);

}  // namespace mendery
