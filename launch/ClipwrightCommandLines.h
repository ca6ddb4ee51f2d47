#pragma once
// The parameter texts the program passes to clipwright for each use, and where clipwright lies.
#include <cstdint>
#include <string>
#include <vector>

#include "asf/BinaryFile.h"

namespace mendery {

struct BasicRepairOptions {
    bool resync = false;  // "重新同步流媒体"
    bool istart = false;  // "不等待关键帧"
};

// " -resync" and/or " -istart", each with its leading space.
std::string BasicRepairOptionText(const BasicRepairOptions& options);
std::string BasicRepairNewParameters(const std::string& source, const std::string& output, const BasicRepairOptions& options);
std::string BasicRepairReplaceParameters(const std::string& source, const BasicRepairOptions& options);
// Begins with a space: " -i \"F1\" -i \"F2\" -o \"O\" -y" + (" -b" unless incompatible bitrates are allowed).
std::string JoinParameters(const std::vector<std::string>& files, const std::string& output, bool allowIncompatibleBitrates);
// s and e in whole seconds, e > s.
std::string CutCopyParameters(const std::string& source, const std::string& output, std::int64_t s, std::int64_t e);
std::string CutExceptParameters(const std::string& source, const std::string& output, std::int64_t s, std::int64_t e);
std::string ShrinkExtraParameters(const std::string& shrinkerOutput);

// clipwright in `folder` (given with or without its trailing slash).
std::string ClipwrightIn(const std::string& folder);
// clipwright beside the running program.
std::string ClipwrightPath();

}  // namespace mendery
