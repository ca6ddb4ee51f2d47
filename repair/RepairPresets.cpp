#include "repair/RepairPresets.h"

namespace mendery {

std::span<const RepairPresetInfo> RepairPresets() {
    static const RepairPresetInfo table[] = {
        {RepairPreset::Custom, "custom", "自定义"},
        {RepairPreset::RepairBadChunks, "bad-chunks", "修复坏点"},
        {RepairPreset::RepairPartialFile, "partial", "修复部分文件"},
        {RepairPreset::RemoveExtraFrames, "remove-frames", "移除附加的帧"},
        {RepairPreset::SetSeekable, "seekable", "设置可定位"},
        {RepairPreset::SetLive, "live", "设置直播"},
        {RepairPreset::VdCompatible, "vd", "VD兼容"},
    };
    return table;
}

std::optional<RepairPreset> FindRepairPreset(std::string_view cliName) {
    for (const auto& p : RepairPresets())
        if (p.cliName == cliName) return p.preset;
    return std::nullopt;
}

void ResetOptions(TAsfFile& e) {
    e.WriteLog = false;
    e.FixPad08 = e.FixPad10 = e.FixPad40 = false;
    e.FixFileSize = e.FixDataSize = e.FixChunkCount = false;
    e.FixTimeCodes = e.FixTotalTime = e.FixPlayTime = false;
    e.StripHeader = e.StripIndex = e.CleanHeader = false;
    e.FileSeekableFlag = SeekableFlagChange::Keep;
    e.LiveFlag = LiveFlagChange::Keep;
    e.OtherFlags = OtherFlagsChange::Keep;
    e.FixForBadChunk = BadChunkAction::DoNothing;
}

void ApplyPreset(TAsfFile& e, RepairPreset preset) {
    ResetOptions(e);
    switch (preset) {
        case RepairPreset::Custom: break;
        case RepairPreset::RepairBadChunks:
            e.FixForBadChunk = BadChunkAction::Delete;
            e.FixFileSize = e.FixDataSize = true;
            break;
        case RepairPreset::RepairPartialFile:
            e.FixFileSize = e.FixDataSize = e.FixTotalTime = e.FixPlayTime = e.FixChunkCount = true;
            break;
        case RepairPreset::RemoveExtraFrames:
            e.StripIndex = e.CleanHeader = true;
            break;
        case RepairPreset::SetSeekable:
            e.FileSeekableFlag = SeekableFlagChange::Enable;
            e.LiveFlag = LiveFlagChange::Reset;
            break;
        case RepairPreset::SetLive:
            e.FileSeekableFlag = SeekableFlagChange::Disable;
            e.LiveFlag = LiveFlagChange::Set;
            break;
        case RepairPreset::VdCompatible:
            e.FixPad08 = e.FixPad10 = e.FixPad40 = e.FixFileSize = e.FixDataSize = true;
            break;
    }
}

}  // namespace mendery
