#include "launch/BasicRepair.h"

#include <filesystem>

#include "launch/CodecListTransplant.h"
#include "asf/OutputNames.h"
#include "asf/BinaryFile.h"
#include "asf/Format.h"

namespace mendery {
namespace {

namespace fs = std::filesystem;

const char* kSameName = "文件名称必须不同! 请换一个再试.";
const char* kBasicRepair = "基础修复";
const char* kJoin = "合并";

void RemoveQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

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

std::string DoneText(const std::string& job, const std::string& output, const RunResult& result) {
    std::string text = job + "完成.\r输出文件: " + output;
    for (const auto& m : result.messages) text += "\r" + m;
    return text;
}

bool RunFinished(IHost& host, const ToolRunner& tool, const std::string& parameters, const std::string& job,
                 const std::string& stoppedText, RunResult& result) {
    result = tool.run(parameters);
    if (!result.started) return false;
    // A tool that finished wrote its output, even when a stop reached it too late; the steps
    // after the run look at the stop themselves.
    if (result.exitCode == 0) return true;
    if (result.Stopped()) {
        host.Message(stoppedText, MessageKind::Warning);
        return false;
    }
    host.Message(ToolFailureText(result, job), MessageKind::Error);
    return false;
}

bool CopyCodecListAfterRun(IHost& host, const ToolRunner& tool, const std::string& source, const std::string& output) {
    if (TransplantCodecList(host, source, output, [&tool] { return tool.StopSignal() != 0; }) != TransplantResult::Stopped)
        return true;
    host.Message("已停止. 输出文件已完整写出, 但没有复制编解码器列表:\r" + output, MessageKind::Warning);
    return false;
}

std::optional<std::string> BasicRepairToNewFile(IHost& host, const ToolRunner& tool, const std::string& source,
                                                const std::string& output, const BasicRepairOptions& options) {
    if (output == source || IsSameFile(source, output)) {
        host.Message(kSameName, MessageKind::Warning);
        return std::nullopt;
    }
    RunResult result;
    if (!RunFinished(host, tool, BasicRepairNewParameters(source, output, options), kBasicRepair, kStoppedNoOutput, result))
        return std::nullopt;
    if (CopyCodecListAfterRun(host, tool, source, output)) host.Message(DoneText(kBasicRepair, output, result), MessageKind::Information);
    return output;
}

std::optional<std::string> BasicRepairReplacingSource(IHost& host, const ToolRunner& tool, const std::string& source,
                                                      const BasicRepairOptions& options) {
    const std::string temp = ToolOutputName(source, OutputFor::BasicRepairTemp);
    RunResult result;
    if (!RunFinished(host, tool, BasicRepairReplaceParameters(source, options), kBasicRepair, kStoppedSourceKept, result))
        return std::nullopt;
    // After a stop the source keeps its place, and the repaired file (ours) goes.
    auto stopped = [&] {
        if (tool.StopSignal() == 0) return false;
        RemoveQuietly(temp);
        host.Message(kStoppedSourceKept, MessageKind::Warning);
        return true;
    };
    TransplantCodecList(host, source, temp, [&tool] { return tool.StopSignal() != 0; });
    if (stopped()) return std::nullopt;
    const std::int64_t a = FileSizeOf(temp), b = FileSizeOf(source);
    bool replace = SizesClose(a, b);
    if (!replace) {
        Answer answer = host.Ask("警告: 源文件的大小为 " + FormatSize(b) + "\r且已修复文件的大小为 " + FormatSize(a) +
                                     ".\r您仍然希望重置已修复文件的源文件?",
                                 Buttons::YesNoCancel, MessageKind::Warning);
        replace = answer == Answer::Yes;
        if (stopped()) return std::nullopt;
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
    std::string done = "基础修复完成. 源文件已被替换为修复后的文件.\r原来的文件保留为: " + backup;
    for (const auto& m : result.messages) done += "\r" + m;
    host.Message(done, MessageKind::Information);
    return std::nullopt;
}

std::optional<std::string> JoinListedFiles(IHost& host, const ToolRunner& tool, const std::vector<std::string>& files,
                                           const std::string& output, bool allowIncompatibleBitrates) {
    if (files.empty()) return std::nullopt;
    for (const auto& f : files)
        if (f == output || IsSameFile(f, output)) {
            host.Message(kSameName, MessageKind::Warning);
            return std::nullopt;
        }
    std::int64_t total = 0;
    for (const auto& f : files) total += FileSizeOf(f);
    RunResult result;
    if (!RunFinished(host, tool, JoinParameters(files, output, allowIncompatibleBitrates), kJoin, kStoppedNoOutput, result))
        return std::nullopt;
    if (!CopyCodecListAfterRun(host, tool, files.front(), output)) return output;
    const std::int64_t a = FileSizeOf(output);
    if (!SizesClose(a, total)) {
        host.Message("警告:源文件全部大小为 " + FormatSize(total) + "\r但是合并文件的大小为" + FormatSize(a) +
                         "\r可能的原因:\r1-文件间互相不兼容.\r2- 某些文件出现 \"坏点\" 需要被修复.",
                     MessageKind::Information);
    } else {
        host.Message(DoneText(kJoin, output, result), MessageKind::Information);
    }
    return output;
}

}  // namespace mendery
