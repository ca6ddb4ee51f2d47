#include "repair/FlagFixer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/BinaryFile.h"
#include "asf/ByteCursor.h"

namespace mendery {

namespace {
std::string FileLine(const std::string& path) { return "文件: \"" + path + "\""; }

void WriteFlags(BinaryFile& f, std::uint64_t at, std::uint32_t flags) {
    std::array<std::uint8_t, 4> bytes{};
    BytePatcher(bytes).U32At(0, flags);
    f.Seek(static_cast<std::int64_t>(at));
    f.Write(bytes);
}
}  // namespace

FlagFixResult FlagFixer::FixFlags(const std::string& path) {
    FlagFixResult result;
    try {
        result = Run(path);
    } catch (const IoError&) {
        host_.Message("访问文件出错.", MessageKind::Plain);
        result = FlagFixResult::IoFailed;
    }
    lastPath_ = path;
    host_.ProcessMessages();
    return result;
}

FlagFixResult FlagFixer::Run(const std::string& path) {
    BinaryFile f(path, BinaryFile::Mode::ReadWrite);
    // The object header and the body of the header object, in one buffer for the walk.
    std::vector<std::uint8_t> header(kObjectHeaderSize + kHeaderBufferSize);
    std::size_t held = 0;
    if (const auto refusal = ReadHeaderObject(f, path, header, held)) {
        f.Close();
        return *refusal;
    }
    const HeaderWalk walk = WalkHeader(std::span<const std::uint8_t>(header).first(held));
    const SubObject* props = walk.Find(guids::FileProperties);
    if (!props || props->size < fp::Flags + 4) {
        f.Close();
        if (walk.end == WalkEnd::SizeTooSmall) {
            // An object smaller than its own head: the walk cannot go on, so the file properties
            // object (if any) cannot be found safely.
            host_.Message(FileLine(path) + "\n文件头中的子对象大小无效 (小于24字节). 标记未修改.", MessageKind::Warning);
            return FlagFixResult::Refused;
        }
        return FlagFixResult::NoFileProperties;
    }
    return ChangeFlags(f, path, props->offset + fp::Flags, ReadU32At(header, props->offset + fp::Flags));
}

std::optional<FlagFixResult> FlagFixer::ReadHeaderObject(BinaryFile& f, const std::string& path,
                                                           std::vector<std::uint8_t>& header, std::size_t& held) {
    const auto head = std::span(header).first(kObjectHeaderSize);
    f.ReadExact(head);
    if (!std::equal(guids::HeaderObject.bytes.begin(), guids::HeaderObject.bytes.end(), head.begin())) {
        host_.Message(FileLine(path) + "\nAsf标题无效.", MessageKind::Plain);
        return FlagFixResult::NotAsf;
    }
    const std::uint64_t size = ReadU64At(head, 16);
    if (size < kHeaderObjectFixedSize || size - kObjectHeaderSize > kHeaderBufferSize) {
        host_.Message(FileLine(path) + "\n文件头对象大小为" + std::to_string(size) + "字节, 超出可处理的范围 (最多" +
                          std::to_string(kHeaderBufferSize + kObjectHeaderSize) + "字节). 标记未修改.",
                      MessageKind::Warning);
        return FlagFixResult::Refused;
    }
    const std::size_t body = f.Read(std::span(header).subspan(kObjectHeaderSize, size - kObjectHeaderSize));
    // The file ends before the first sub-object could begin: there is nothing to walk.
    if (body < kHeaderObjectFixedSize - kObjectHeaderSize) return FlagFixResult::NoFileProperties;
    held = kObjectHeaderSize + body;
    return std::nullopt;
}

FlagFixResult FlagFixer::ChangeFlags(BinaryFile& f, const std::string& path, std::uint64_t flagsAt, std::uint32_t flags) {
    if (flags > 3) {
        f.Close();
        host_.Message("\"新样式\" 标记侦测.\n使用\"丢失的数据块\" 工具制做可定位标记.", MessageKind::Plain);
        return FlagFixResult::NewStyle;
    }
    if (flags != fp::FlagSeekable) {
        WriteFlags(f, flagsAt, fp::FlagSeekable);
        f.Close();
        host_.Message(FileLine(path) + "\n标记设置为 \"可定位\".", MessageKind::Plain);
        return FlagFixResult::SetSeekable;
    }
    if (host_.Ask("文件已经可定位. 您希望将其设置为直播?", Buttons::YesNoCancel, MessageKind::Confirmation) != Answer::Yes) {
        f.Close();
        return FlagFixResult::Declined;
    }
    WriteFlags(f, flagsAt, fp::FlagBroadcast);
    f.Close();
    host_.Message(FileLine(path) + "\n标记设置为 \"直播\".", MessageKind::Plain);
    return FlagFixResult::SetLive;
}

}  // namespace mendery
