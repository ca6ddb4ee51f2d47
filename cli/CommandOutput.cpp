#include "cli/CommandOutput.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdint>

#include "asf/AsfObjects.h"
#include "asf/BinaryFile.h"

namespace mendery::cli {

std::optional<int> CheckSource(CliHost& host, const std::string& source) {
    const std::string why = CheckInputFile(source);
    if (why.empty()) return std::nullopt;
    host.Message("无法读取输入文件 \"" + source + "\": " + why, MessageKind::Error);
    return kExitIo;
}

std::int64_t DataPacketsIn(const std::string& asfPath) {
    try {
        BinaryFile file(asfPath, BinaryFile::Mode::Read);
        std::array<std::uint8_t, kObjectHeaderSize> head{};
        if (file.Read(head) < head.size()) return -1;
        ByteCursor headCursor(head);
        const ObjectHeader header = ObjectHeader::Read(headCursor);
        if (header.guid != guids::HeaderObject || header.size > static_cast<std::uint64_t>(file.Size())) return -1;
        file.Seek(static_cast<std::int64_t>(header.size));
        std::array<std::uint8_t, kDataObjectHeadSize> data{};
        if (file.Read(data) < data.size()) return -1;
        const DataObjectHead dataHead = DataObjectHead::Read(ByteCursor(data));
        if (!std::equal(guids::DataObject.bytes.begin(), guids::DataObject.bytes.end(), data.begin())) return -1;
        return static_cast<std::int64_t>(std::min<std::uint64_t>(dataHead.totalPackets, INT64_MAX));
    } catch (const IoError&) {
        return -1;
    }
}

CommandOutput::~CommandOutput() { SetOutputToRemoveOnKill({}); }

std::optional<int> CommandOutput::Open(const std::string& source, const std::string& target) {
    target_ = target;
    if (auto code = CheckSource(host_, source)) return code;
    // The temporary name never matches the source, so the tool's own check would pass it:
    // the real target is checked here, also through links.
    if (const std::string refusal = OutputRefusalLine(source, target); !refusal.empty()) {
        host_.Message(refusal, MessageKind::Error);
        return kExitRefused;
    }
    if (const std::string refusal = ExistingOutputRefusal(target, common_.MayReplaceOutput()); !refusal.empty()) {
        host_.Message(refusal + ", 未做任何改动.", MessageKind::Error);
        return kExitRefused;
    }
    try {
        staged_ = std::make_unique<StagedOutput>(target);
    } catch (const IoError& e) {
        host_.Message(e.what(), MessageKind::Error);
        return kExitIo;
    }
    SetOutputToRemoveOnKill(staged_->TempPath());
    return std::nullopt;
}

const std::string& CommandOutput::WorkPath() const { return staged_->TempPath(); }

void CommandOutput::Close(const std::string& line) {
    host_.FinishProgress();
    host_.Log(line);
}

RunResult CommandOutput::Finish(RunEnd end) {
    end_ = end;
    host_.FinishProgress();
    const std::string unit = end.unit;
    const std::string reason = host_.LastReasonLine();
    if (end_.result == RunResult::Done && end_.mediaWritten == 0) end_.result = RunResult::NothingUsable;
    const bool hasMedia = end_.mediaWritten > 0 || (end_.mediaWritten < 0 && FileSizeOf(WorkPath()) > 0);
    const bool keep = end_.result == RunResult::Done || (end_.result == RunResult::Stopped && hasMedia);
    if (keep) {
        try {
            staged_->Commit();
            kept_ = true;
        } catch (const IoError& e) {
            host_.Message(e.what(), MessageKind::Error);
            end_.result = RunResult::IoError;
        }
    }
    if (!kept_) staged_->Discard();
    SetOutputToRemoveOnKill({});

    if (kept_) host_.Say("输出文件: " + target_);
    const std::string partial = end_.mediaWritten >= 0 ? "已停止: 输出文件不完整, 只含 " + std::to_string(end_.mediaWritten) + " 个" + unit + "."
                                                       : "已停止: 输出文件不完整, 只含停止前写入的部分.";
    const std::string why = reason.empty() ? "" : " 原因: " + reason;
    switch (end_.result) {
        case RunResult::Done: break;
        case RunResult::Stopped:
            Close(kept_ ? partial : "已停止: 尚未写入任何" + unit + ", 未保留输出文件.");
            break;
        case RunResult::NothingUsable: Close("失败: 输出文件中没有任何" + unit + ", 未保留输出文件."); break;
        case RunResult::Declined: Close("已取消: 未创建输出文件."); break;
        case RunResult::IoError: Close("失败: 访问文件出错, 未保留输出文件." + why); break;
        default: Close("失败: 无法处理此文件, 未创建输出文件." + why); break;
    }
    return end_.result;
}

void CommandOutput::AddToJson(nlohmann::json& summary) const {
    summary["output"] = kept_ ? nlohmann::json(target_) : nlohmann::json(nullptr);
    summary["result"] = ResultName(end_.result);
    summary["partial"] = Partial();
    summary["packetsWritten"] = end_.mediaWritten >= 0 ? nlohmann::json(end_.mediaWritten) : nlohmann::json(nullptr);
}

}  // namespace mendery::cli
