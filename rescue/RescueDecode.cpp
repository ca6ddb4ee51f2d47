#include "rescue/RescueDecode.h"

#include <cmath>

#include "convert/DecodeChecker.h"

namespace mendery {

std::int64_t DecodeCheck::Frames() const {
    std::int64_t total = 0;
    for (const auto& s : streams) total += s.frames;
    return total;
}

DecodeCheck DecodeFile(const std::string& path, const std::function<bool()>& stop, bool* pluginMissing) {
    DecodeCheck check;
    DecodeResult result;
    std::string why;
    if (!CheckDecode(path, result, stop, &why)) {
        check.whyNot = why;
        if (pluginMissing) *pluginMissing = true;
        return check;
    }
    check.opened = result.opened;
    check.whyNot = result.whyNot;
    check.playableSeconds = result.PlayableSeconds();
    for (const auto& s : result.streams) check.streams.push_back({s.number, s.kind, s.frames});
    check.decodeErrors = result.decodeErrors;
    check.seekable = result.seekable;
    return check;
}

int CompareDecodes(const DecodeCheck& a, const DecodeCheck& b) {
    if (a.opened != b.opened) return a.opened ? 1 : -1;
    if (a.Frames() != b.Frames()) return a.Frames() > b.Frames() ? 1 : -1;
    if (std::fabs(a.playableSeconds - b.playableSeconds) > kSameSecondsSlack)
        return a.playableSeconds > b.playableSeconds ? 1 : -1;
    if (a.seekable != b.seekable) return a.seekable ? 1 : -1;
    if (a.decodeErrors != b.decodeErrors) return a.decodeErrors < b.decodeErrors ? 1 : -1;
    return 0;
}

}  // namespace mendery
