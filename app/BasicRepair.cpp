#include "app/BasicRepair.h"

#include <filesystem>

#include "app/CodecListTransplant.h"
#include "app/OutputNames.h"
#include "engine/BinaryFile.h"
#include "engine/Format.h"

namespace mendery {
namespace {

namespace fs = std::filesystem;

const char* kSameName = "文件名称必须不同! 请换一个再试.";

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Deletes `path` when it exists; false (with a message) when it exists and cannot be deleted.
bool DeleteIfPresent(IHost& host, const std::string& path, const std::string& consequence) {
    std::error_code ec;
    if (!Exists(path) || fs::remove(path, ec)) return true;
    host.Message("不能删除文件: " + path + " (" + ec.message() + ").\r" + consequence, MessageKind::Error);
    return false;
}

bool Rename(IHost& host, const std::string& from, const std::string& to, const std::string& consequence) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    host.Message("不能将文件 " + from + " 重命名为 " + to + " (" + ec.message() + ").\r" + consequence, MessageKind::Error);
    return false;
}

}  // namespace

bool SizesClose(std::int64_t size, std::int64_t reference) {
    if (size == 0 || reference == 0) return false;
    const std::int64_t diff = size > reference ? size - reference : reference - size;
    // diff / reference <= 0.05, in integers.
    return diff * 100 <= reference * 5;
}

std::optional<std::string> BasicRepairToNewFile(IHost& host, const ToolRun& run, const std::string& source,
                                                const std::string& output, const BasicRepairOptions& options) {
    if (output == source || IsSameFile(source, output)) {
        host.Message(kSameName, MessageKind::Warning);
        return std::nullopt;
    }
    run(BasicRepairNewParameters(source, output, options));
    TransplantCodecList(host, source, output);
    if (FileSizeOf(output) > 0 || FileExists(output)) return output;
    return std::nullopt;
}

std::optional<std::string> BasicRepairReplacingSource(IHost& host, const ToolRun& run, const std::string& source,
                                                      const BasicRepairOptions& options) {
    const std::string temp = ToolOutputName(source, OutputFor::BasicRepairTemp);
    run(BasicRepairReplaceParameters(source, options));
    TransplantCodecList(host, source, temp);
    const std::int64_t a = FileSizeOf(temp), b = FileSizeOf(source);
    bool replace = SizesClose(a, b);
    if (!replace) {
        Answer answer = host.Ask("警告: 源文件的大小为 " + FormatSize(b) + "\r且已修复文件的大小为 " + FormatSize(a) +
                                     ".\r您仍然希望重置已修复文件的源文件?",
                                 Buttons::YesNoCancel, MessageKind::Warning);
        replace = answer == Answer::Yes;
    }
    const std::string keep = "\r该源文件是完好的.";
    // Without a repaired file there is nothing to put in the source's place or to keep,
    // whatever the answer.
    if (a == 0) {
        host.Message("没有生成已修复的文件: " + temp + "." + keep, MessageKind::Error);
        return std::nullopt;
    }
    if (!replace) {
        const std::string declined = ToolOutputName(source, OutputFor::BasicRepairDeclined);
        if (!DeleteIfPresent(host, declined, "已修复的文件保留为: " + temp + "." + keep)) return std::nullopt;
        if (!Rename(host, temp, declined, "已修复的文件保留为: " + temp + "." + keep)) return std::nullopt;
        host.Message("已修复的文件被重命名为: " + declined + ".\r该源文件是完好的.", MessageKind::Information);
        return declined;
    }
    // On this system a rename replaces its target, so each step is checked before the next:
    // an unchecked failed backup followed by the final rename would overwrite the source.
    const std::string backup = ToolOutputName(source, OutputFor::BasicRepairBackup);
    const std::string kept = "已修复的文件保留为: " + temp + "." + keep;
    if (!DeleteIfPresent(host, backup, kept)) return std::nullopt;
    if (!Rename(host, source, backup, kept)) return std::nullopt;
    if (!Rename(host, temp, source, "源文件保留为: " + backup + ", 已修复的文件保留为: " + temp + ".")) {
        // Put the source back under its own name.
        std::error_code ec;
        fs::rename(backup, source, ec);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> JoinListedFiles(IHost& host, const ToolRun& run, const std::vector<std::string>& files,
                                           const std::string& output, bool allowIncompatibleBitrates) {
    if (files.empty()) return std::nullopt;
    for (const auto& f : files)
        if (f == output || IsSameFile(f, output)) {
            host.Message(kSameName, MessageKind::Warning);
            return std::nullopt;
        }
    std::int64_t total = 0;
    for (const auto& f : files) total += FileSizeOf(f);
    run(JoinParameters(files, output, allowIncompatibleBitrates));
    TransplantCodecList(host, files.front(), output);
    std::optional<std::string> added;
    if (FileExists(output)) added = output;
    const std::int64_t a = FileSizeOf(output);
    if (!SizesClose(a, total)) {
        host.Message("警告:源文件全部大小为 " + FormatSize(total) + "\r但是合并文件的大小为" + FormatSize(a) +
                         "\r可能的原因:\r1-文件间互相不兼容.\r2- 某些文件出现 \"坏点\" 需要被修复.",
                     MessageKind::Information);
    }
    return added;
}

}  // namespace mendery
