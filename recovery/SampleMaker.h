#pragma once
// The sample maker: copies the first 512 KiB of a damaged file into PATH + ".sam", so that the
// start of the file (header and first chunks) can be sent for diagnosis. The checklist the user
// ticks before is the desktop page's business, not this unit's.
#include <cstdint>
#include <string>

#include "asf/Host.h"

namespace mendery {

struct SampleResult {
    bool ok = false;
    std::string samplePath;
    std::int64_t bytes = 0;  // bytes in the sample
    std::string error;       // why it failed (for logs; the user sees the fixed message)
};

class SampleMaker {
public:
    static constexpr std::size_t kSampleSize = 524288;
    static constexpr const char* kEmptySource = "源文件是空的";

    explicit SampleMaker(IHost& host) : host_(host) {}
    // Makes the sample; on failure shows "创建样本文件失败." through the host.
    SampleResult MakeSample(const std::string& damagedFile);
    // The result line: 样本文件是 "PATH.sam".
    static std::string ResultText(const std::string& damagedFile);

private:
    IHost& host_;
};

}  // namespace mendery
