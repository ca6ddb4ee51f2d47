#include "convert/RiffOutput.h"

#include "asf/ByteCursor.h"
#include "convert/ConvertCommon.h"

namespace mendery {

namespace {
const std::uint8_t kPad[1]{};
}  // namespace

void RiffOutput::WriteU32(std::uint32_t v) {
    std::uint8_t b[4];
    BytePatcher(b).U32At(0, v);
    out_.Write(b);
}

void RiffOutput::WriteChunk(const char* fourcc, std::span<const std::uint8_t> data) {
    WriteFourCC(fourcc);
    WriteU32(static_cast<std::uint32_t>(data.size()));
    out_.Write(data);
    if (data.size() & 1) out_.Write(kPad);
}

void RiffOutput::AppendChunk(const char* fourcc, BufferedOutput& spool) {
    const std::int64_t size = spool.Size();
    WriteFourCC(fourcc);
    WriteU32(static_cast<std::uint32_t>(size));
    spool.AppendTo(out_);
    if (size & 1) out_.Write(kPad);
}

void RiffOutput::PatchU32(std::int64_t pos, std::uint32_t v) {
    std::uint8_t b[4];
    BytePatcher(b).U32At(0, v);
    out_.Patch(pos, b);
}

void RiffOutput::EnsureRiffRoom(std::int64_t bytes) {
    if (bytes <= kRiffLimit - Tell()) return;
    limitReached_ = true;
    throw ConvertRefusal("输出文件将超过4 GB (RIFF文件大小字段的上限), 转换在此结束.");
}

bool EndOutput(RiffOutput& out, bool keep, const std::function<void()>& finish, ILogSink& log, Outcome& outcome) {
    try {
        if (keep) finish();
        out.CloseUnflushed();
        return keep;
    } catch (const IoError& e) {
        log.Log(std::string("访问文件出错: ") + e.what());
        outcome = Outcome::Failed;
        try {
            out.CloseUnflushed();
        } catch (const IoError&) {
        }
        return false;
    }
}

}  // namespace mendery
