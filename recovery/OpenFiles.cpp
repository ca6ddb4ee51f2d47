#include "recovery/OpenFiles.h"

#include <array>
#include <vector>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/ByteCursor.h"

namespace mendery {

std::optional<Outcome> OpenSourceAndOutput(const std::string& source, const std::string& output, BufferedInput& in,
                                                  BufferedOutput& out, IHost* host) {
    auto log = [host](const std::string& line) {
        if (host) host->Log(line);
    };
    if (host) host->ClearLog();
    log("打开中" + source);
    const std::string refusal = OutputRefusalLine(source, output);
    if (!refusal.empty()) {
        log(refusal);
        return Outcome::Refused;
    }
    try {
        in.Open(source);
        out.Create(output);
        // Both tools write at most about what they read; what they leave out is given back.
        out.Reserve(in.Size());
    } catch (const IoError& e) {
        log(std::string("访问文件出错: ") + e.what());
        if (in.IsOpen()) in.Close();
        return Outcome::Failed;
    }
    return std::nullopt;
}

std::optional<HeaderObjectSize> ReadHeaderObjectHead(BufferedInput& in, std::size_t limit, IHost* host) {
    auto log = [host](const std::string& line) {
        if (host) host->Log(line);
    };
    std::array<std::uint8_t, kObjectHeaderSize> head{};
    in.Seek(0);
    if (in.Read(head) < head.size() || FindGuid(std::span(head).first(16), guids::HeaderObject) != 0) {
        log("无效的文件头对象ID");
        return std::nullopt;
    }
    log("文件头对象ID正常");
    const std::uint32_t declared = ReadU32At(head, 16);
    // The header as far as it may reach, and the GUID of the object after it.
    std::vector<std::uint8_t> start(limit + 16);
    in.Seek(0);
    start.resize(in.Read(start));
    if (declared >= kHeaderObjectFixedSize && declared <= limit && DataObjectAt(start, declared))
        return HeaderObjectSize{declared, false};
    if (const auto walked = HeaderSizeFromChildren(start); walked && *walked <= limit) {
        log("文件头大小无效:" + std::to_string(ReadU64At(head, 16)) + ", 按子对象计算为:" + std::to_string(*walked));
        return HeaderObjectSize{static_cast<std::uint32_t>(*walked), true};
    }
    if (declared > limit) {
        log("文件头太大 (" + std::to_string(declared) + "字节, 最多" + std::to_string(limit) + "字节), 不能处理此文件!");
        return std::nullopt;
    }
    if (declared < kHeaderObjectFixedSize) {
        log("文件头对象大小无效 (" + std::to_string(declared) + "字节), 不能处理此文件!");
        return std::nullopt;
    }
    return HeaderObjectSize{declared, false};
}

void PatchHeaderObjectSize(std::span<std::uint8_t> header, std::uint64_t size) { BytePatcher(header).U64At(16, size); }

}  // namespace mendery
