#include "launch/SplitPrecheck.h"

#include <algorithm>
#include <vector>

#include "launch/BasicRepair.h"
#include "launch/ClipwrightCommandLines.h"
#include "launch/CodecListTransplant.h"
#include "asf/AsfObjects.h"
#include "asf/BinaryFile.h"
#include "asf/ByteCursor.h"

namespace mendery {
namespace {

// Stepping from offset 30 by each sub-object's size; a size of 0 or one running past the
// header object ends the walk without a find.
std::optional<std::uint64_t> FindSubObject(std::span<const std::uint8_t> header, const Guid& g) {
    std::uint64_t pos = kHeaderObjectFixedSize;
    while (pos + kObjectHeaderSize <= header.size()) {
        ByteCursor c(header);
        c.Seek(pos);
        auto oh = ObjectHeader::Read(c);
        const std::uint64_t step = oh.size & 0xFFFFFFFFu;
        if (step == 0 || step > header.size() - pos) return std::nullopt;
        if (oh.guid == g) return pos;
        pos += step;
    }
    return std::nullopt;
}

bool Fail(IHost& host, const std::string& message) {
    host.Message(message, MessageKind::Warning);
    return false;
}

}  // namespace

bool SplitPrecheck(IHost& host, const std::string& path, SizeMatchMode mode) {
    BinaryFile f;
    std::int64_t actual = 0;
    std::vector<std::uint8_t> header(kObjectHeaderSize);
    try {
        f.Open(path, BinaryFile::Mode::Read);
        actual = f.Size();
        if (f.Read(header) != header.size() || Guid::FromBytes(std::span(header).first(16)) != guids::HeaderObject)
            return Fail(host, "无效的文件头对象ID");
        const std::uint64_t size = ReadU64At(header, 16);
        if (size > kSplitHeaderBuffer)
            return Fail(host, "文件头对象太大 (" + std::to_string(size) + " 字节), 不能分割此文件.");
        if (size < kHeaderObjectFixedSize) return Fail(host, "无效的文件头对象ID");
        header.resize(size);
        std::uint8_t dataHead[kDataObjectHeadSize];
        const std::size_t restWanted = size - kObjectHeaderSize;
        if (f.Read(std::span(header).subspan(kObjectHeaderSize)) != restWanted || f.Read(dataHead) != sizeof dataHead ||
            Guid::FromBytes(std::span(dataHead, 16)) != guids::DataObject)
            return Fail(host, "无效的数据对象ID");

        auto fpAt = FindSubObject(header, guids::FileProperties);
        if (!fpAt || header.size() - *fpAt < kFilePropertiesSize) return Fail(host, "不能定位文件属性对象");
        auto props = FileProperties::Read(ByteCursor(std::span<const std::uint8_t>(header).subspan(*fpAt)));
        if (props.minPacketSize == 0) return Fail(host, "不能定位文件属性对象");

        if ((props.flags & 7) != 2) return Fail(host, "文件 \"" + path + "\" 必须被 \"可定位\"");

        const std::uint64_t h = props.fileSize;
        const std::uint64_t a = static_cast<std::uint64_t>(actual);
        bool warn = false;
        if (mode == SizeMatchMode::Differs) warn = h != 0 && (a > h ? a - h : h - a) > h / 100;  // more than 1 %
        else if (mode == SizeMatchMode::Shorter) warn = a < h;
        if (warn) {
            const std::string text = "警告: 文件大小小于原始文件!\r标题信息显示文件大小应该为 '" + std::to_string(h) +
                                     "' 字节但实际的文件大小为 '" + std::to_string(a) +
                                     "' 字节.  此问题会发生在 \"局部文件\" 中，或文件按" + "多种比特率编码时. 无论哪一种情形,它将在交付" +
                                     "分割前修复文件. 否则,您可能得到错误的调速." + "\r\r您希望忽略此警告并继续?";
            if (host.Ask(text, Buttons::YesNoCancel, MessageKind::Warning) != Answer::Yes) return false;
        }
        if (DataObjectHead::Read(ByteCursor(dataHead)).totalPackets == 0) return Fail(host, "\"某些数据块无效.\r请先修复.");
        return true;
    } catch (const IoError& e) {
        return Fail(host, e.what());
    } catch (const TruncatedData&) {
        return Fail(host, "无效的文件头对象ID");
    }
}

std::int64_t RoundMsToSeconds(std::int64_t ms) {
    std::int64_t q = ms / 1000, r = ms % 1000;
    if (r < 0) {
        r += 1000;
        --q;
    }
    if (r > 500 || (r == 500 && (q & 1))) ++q;
    return q;
}

std::int64_t SplitTotalSeconds(std::int64_t lengthMs) { return RoundMsToSeconds(lengthMs) + 1; }

void SplitMarks::Reset(std::int64_t total) {
    total_ = std::max<std::int64_t>(total, 0);
    start_ = 0;
    end_ = total_;
}

bool SplitMarks::SetStart(std::int64_t v) {
    if (v < 0 || v > total_) return false;
    start_ = v;
    return true;
}

bool SplitMarks::SetEnd(std::int64_t v) {
    if (v < 0 || v > total_) return false;
    end_ = v;
    return true;
}

void SplitMarks::NextSelection() {
    if (end_ == total_) return;
    const std::int64_t oldStart = start_, oldEnd = end_;
    SetStart(oldEnd);
    SetEnd(std::min(2 * oldEnd - oldStart, total_));
}

std::optional<std::string> CutRangeRefusal(std::int64_t start, std::int64_t end, std::int64_t total) {
    if (start >= end) return "选定的范围无效, 起点必须在终点之前. ";
    if (start == 0 && end == total) return "选定的范围无效, 文件被全选.\r请选择一个更小的范围.";
    return std::nullopt;
}

bool RunSplitCut(IHost& host, const ToolRunner& tool, const std::string& source, const std::string& output,
                 const SplitMarks& marks, bool except) {
    if (auto refusal = CutRangeRefusal(marks.Start(), marks.End(), marks.Total())) {
        host.Message(*refusal, MessageKind::Warning);
        return false;
    }
    const std::string parameters = except ? CutExceptParameters(source, output, marks.Start(), marks.End())
                                          : CutCopyParameters(source, output, marks.Start(), marks.End());
    RunResult result;
    if (!RunFinished(host, tool, parameters, "分割", kStoppedNoOutput, result)) return false;
    if (CopyCodecListAfterRun(host, tool, source, output)) host.Message(DoneText("分割", output, result), MessageKind::Information);
    return true;
}

}  // namespace mendery
