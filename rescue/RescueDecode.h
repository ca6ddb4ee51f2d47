#pragma once
// The rescue's view of the independent decode: a file's DecodeCheck, and which of two checks
// is the better file.
#include <functional>
#include <string>

#include "rescue/Rescue.h"

namespace mendery {

// Decodes `path` through the encoder plugin. When the plugin cannot be loaded the check is
// not opened and `whyNot` says so; `pluginMissing` (when given) is set then.
DecodeCheck DecodeFile(const std::string& path, const std::function<bool()>& stop, bool* pluginMissing = nullptr);

struct DecodeResult;
// The rescue's view of the plugin's result.
DecodeCheck ToDecodeCheck(const DecodeResult& result);

// Seconds within which two playable spans count as the same (audio frame ends, rounding).
inline constexpr double kSameSecondsSlack = 0.5;

// Frames that decoded cleanly: a frame decoded from damaged bytes comes with a decode error
// and is no gain, so a result that drops it for a clean file is not worse.
std::int64_t CleanFrames(const DecodeCheck& check);

// >0 when `a` is the better file, <0 when `b` is, 0 when they are as good. What counts, in
// order: it opens; clean frames; playable seconds; a working seek; fewer decode errors.
int CompareDecodes(const DecodeCheck& a, const DecodeCheck& b);

}  // namespace mendery
