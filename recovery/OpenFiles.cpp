#include "recovery/OpenFiles.h"

#include <array>

#include "engine/AsfGuid.h"
#include "engine/AsfObjects.h"
#include "engine/ByteCursor.h"

namespace mendery {

std::optional<TRepairOutcome> OpenSourceAndOutput(const std::string& source, const std::string& output, BufferedInput& in,
                                                  BufferedOutput& out, IHost* host) {
    auto log = [host](const std::string& line) {
        if (host) host->Log(line);
    };
    if (host) host->ClearLog();
    log("打开中" + source);
    const std::string refusal = OutputRefusalLine(source, output);
    if (!refusal.empty()) {
        log(refusal);
        return TRepairOutcome::Refused;
    }
    try {
        in.Open(source);
        out.Create(output);
    } catch (const IoError& e) {
        log(std::string("访问文件出错: ") + e.what());
        if (in.IsOpen()) in.Close();
        return TRepairOutcome::IoFailed;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ReadHeaderObjectHead(BufferedInput& in, std::size_t limit, IHost* host) {
    auto log = [host](const std::string& line) {
        if (host) host->Log(line);
    };
    std::array<std::uint8_t, kObjectHeaderSize> head{};
    if (in.Read(head) < head.size() || FindGuid(std::span(head).first(16), guids::HeaderObject) != 0) {
        log("无效的文件头对象ID");
        return std::nullopt;
    }
    log("文件头对象ID正常");
    const std::uint32_t declared = ReadU32At(head, 16);
    if (declared > limit) {
        log("文件头太大 (" + std::to_string(declared) + "字节, 最多" + std::to_string(limit) + "字节), 不能处理此文件!");
        return std::nullopt;
    }
    if (declared < kHeaderObjectFixedSize) {
        log("文件头对象大小无效 (" + std::to_string(declared) + "字节), 不能处理此文件!");
        return std::nullopt;
    }
    return declared;
}

}  // namespace mendery
