#include "rescue/RescueDecode.h"

#include <algorithm>
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
    return ToDecodeCheck(result);
}

DecodeCheck ToDecodeCheck(const DecodeResult& result) {
    DecodeCheck check;
    check.opened = result.opened;
    check.whyNot = result.whyNot;
    check.playableSeconds = result.PlayableSeconds();
    for (const auto& s : result.streams) check.streams.push_back({s.number, s.kind, s.frames});
    check.decodeErrors = result.decodeErrors;
    check.seekable = result.seekable;
    return check;
}

std::int64_t CleanFrames(const DecodeCheck& check) {
    return std::max<std::int64_t>(0, check.Frames() - check.decodeErrors);
}

int CompareDecodes(const DecodeCheck& a, const DecodeCheck& b) {
    if (a.opened != b.opened) return a.opened ? 1 : -1;
    if (CleanFrames(a) != CleanFrames(b)) return CleanFrames(a) > CleanFrames(b) ? 1 : -1;
    if (std::fabs(a.playableSeconds - b.playableSeconds) > kSameSecondsSlack)
        return a.playableSeconds > b.playableSeconds ? 1 : -1;
    if (a.seekable != b.seekable) return a.seekable ? 1 : -1;
    if (a.decodeErrors != b.decodeErrors) return a.decodeErrors < b.decodeErrors ? 1 : -1;
    return 0;
}

}  // namespace mendery
