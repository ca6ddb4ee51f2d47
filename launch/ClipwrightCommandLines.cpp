#include "launch/ClipwrightCommandLines.h"

#include <unistd.h>

#include <climits>

#include "asf/ParameterText.h"

namespace mendery {

std::string BasicRepairOptionText(const BasicRepairOptions& o) {
    std::string s;
    if (o.resync) s += " -resync";
    if (o.istart) s += " -istart";
    return s;
}

std::string BasicRepairNewParameters(const std::string& source, const std::string& output, const BasicRepairOptions& o) {
    return "-i " + QuotedPath(source) + " -o " + QuotedPath(output) + " -y" + BasicRepairOptionText(o);
}

std::string BasicRepairReplaceParameters(const std::string& source, const BasicRepairOptions& o) {
    return "-i " + QuotedPath(source) + " -o " + QuotedPath(source + ".tmp") + " -y" + BasicRepairOptionText(o);
}

std::string JoinParameters(const std::vector<std::string>& files, const std::string& output, bool allowIncompatibleBitrates) {
    std::string s;
    for (const auto& f : files) s += " -i " + QuotedPath(f);
    s += " -o " + QuotedPath(output) + " -y";
    if (!allowIncompatibleBitrates) s += " -b";
    return s;
}

std::string CutCopyParameters(const std::string& source, const std::string& output, std::int64_t s, std::int64_t e) {
    return "-i " + QuotedPath(source) + " -o " + QuotedPath(output) + " -start " + std::to_string(s) + " -dur " +
           std::to_string(e - s) + " -y";
}

std::string CutExceptParameters(const std::string& source, const std::string& output, std::int64_t s, std::int64_t e) {
    return "-i " + QuotedPath(source) + " -o " + QuotedPath(output) + " -start 0 -dur " + std::to_string(s) + " -start " +
           std::to_string(e) + " -y";
}

std::string ShrinkExtraParameters(const std::string& o) {
    return "-i " + QuotedPath(o) + " -o " + QuotedPath(o + ".tmp") + " -y";
}

std::string ClipwrightIn(const std::string& folder) { return folder + (folder.ends_with('/') ? "" : "/") + "clipwright"; }

std::string ClipwrightPath() { return ClipwrightIn(RunningProgramFolder()); }

}  // namespace mendery
