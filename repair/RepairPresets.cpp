#include "repair/RepairPresets.h"

namespace mendery {

std::span<const RepairPresetInfo> RepairPresets() {
    static const RepairPresetInfo table[] = {
        {rpCustom, "custom", "自定义"},
        {rpRepairBadChunks, "bad-chunks", "修复坏点"},
        {rpRepairPartialFile, "partial", "修复部分文件"},
        {rpRemoveExtraFrames, "remove-frames", "移除附加的帧"},
        {rpSetSeekable, "seekable", "设置可定位"},
        {rpSetLive, "live", "设置直播"},
        {rpVdCompatible, "vd", "VD兼容"},
    };
    return table;
}

std::optional<TRepairPreset> FindRepairPreset(std::string_view cliName) {
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
    e.FileSeekableFlag = fsDontChange;
    e.LiveFlag = lfDontChange;
    e.OtherFlags = ofDontChange;
    e.FixForBadChunk = fbDoNothing;
}

void ApplyPreset(TAsfFile& e, TRepairPreset preset) {
    ResetOptions(e);
    switch (preset) {
        case rpCustom: break;
        case rpRepairBadChunks:
            e.FixForBadChunk = fbDeleteThem;
            e.FixFileSize = e.FixDataSize = true;
            break;
        case rpRepairPartialFile:
            e.FixFileSize = e.FixDataSize = e.FixTotalTime = e.FixPlayTime = e.FixChunkCount = true;
            break;
        case rpRemoveExtraFrames:
            e.StripIndex = e.CleanHeader = true;
            break;
        case rpSetSeekable:
            e.FileSeekableFlag = fsEnableSeek;
            e.LiveFlag = lfResetLive;
            break;
        case rpSetLive:
            e.FileSeekableFlag = fsDisableSeek;
            e.LiveFlag = lfSetLive;
            break;
        case rpVdCompatible:
            e.FixPad08 = e.FixPad10 = e.FixPad40 = e.FixFileSize = e.FixDataSize = true;
            break;
    }
}

}  // namespace mendery
