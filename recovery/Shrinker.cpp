#include "recovery/Shrinker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/ByteCursor.h"
#include "asf/Format.h"
#include "asf/HeaderSalvage.h"
#include "asf/PacketLayout.h"
#include "asf/StagedOutput.h"
#include "recovery/OpenFiles.h"

namespace mendery {

namespace {
constexpr std::uint32_t Body(std::uint32_t objectOffset) { return objectOffset - kObjectHeaderSize; }

bool StartsWith(std::span<const std::uint8_t> bytes, const Guid& g) {
    return bytes.size() >= 16 && std::equal(g.bytes.begin(), g.bytes.end(), bytes.begin());
}

std::string Hex2(std::uint8_t b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

// Largest value a field of the given ASF length type can hold.
std::uint64_t MaxForLengthType(unsigned lengthType) {
    switch (lengthType & 3) {
        case 1: return 0xFF;
        case 2: return 0xFFFF;
        case 3: return 0xFFFFFFFF;
        default: return 0;
    }
}
}  // namespace

void TShrinker::Log(const std::string& line) {
    if (host_) host_->Log(line);
}
void TShrinker::SetStatus(const std::string& text) {
    if (host_) host_->SetStatus(text);
}
void TShrinker::SetRatio(const std::string& text) {
    if (OnRatioText) OnRatioText(text);
}
void TShrinker::Pump() {
    if (host_) host_->ProcessMessages();
}

void TShrinker::Reset() {
    if (host_) {
        host_->SetProgress(0);
        host_->ClearLog();
    }
    SetRatio("");
}

void TShrinker::RemoveOutput() {
    try {
        out_.Close();
    } catch (const IoError&) {
    }
    DiscardOutput(OutFileName, host_);
}

void TShrinker::Shrink() {
    Aborted = false;
    summary_ = {};
    if (const auto stop = OpenSourceAndOutput(FileName, OutFileName, in_, out_, host_)) {
        outcome_ = *stop;
        return;
    }

    outcome_ = Outcome::Refused;
    try {
        RunPasses();
    } catch (const IoError& e) {
        Log("--->> 压缩中出错");
        Log(std::string("访问文件出错: ") + e.what());
        outcome_ = Outcome::Failed;
        RemoveOutput();
    } catch (const TruncatedData& e) {
        Log("--->> 压缩中出错");
        outcome_ = Outcome::Failed;
        RemoveOutput();
    }
    try {
        in_.Close();
    } catch (const IoError&) {
    }
    Log("文件已关闭");
}

void TShrinker::RunPasses() {
    if (!ReadHeader()) {
        RemoveOutput();
        return;
    }
    usedLength_ = 0;
    if (host_) host_->SetProgressRange(static_cast<std::uint32_t>(ReadU64At(dataHead_, dobj::TotalPackets)));
    if (!Analyse()) {
        if (Aborted) outcome_ = Outcome::Aborted;
        out_.Close();
        std::error_code ec;
        std::filesystem::remove(OutFileName, ec);
        return;
    }
    const bool completed = Compress();
    if (chunksWritten_ == 0) {
        // Not one chunk holds the used length (a short last chunk alone): a header over no
        // chunk plays nothing.
        Log("输出文件中没有任何数据块, 不生成输出文件.");
        outcome_ = completed ? Outcome::NothingUsable : Outcome::Aborted;
        RemoveOutput();
        return;
    }
    out_.Close();
    outcome_ = completed ? Outcome::Done : Outcome::Aborted;
    if (!Aborted && ExtraCompression) {
        ExtraCompress();
        // A stop during the extra stage keeps the complete pass-2 file, but the run still ends
        // as stopped.
        if (Aborted) outcome_ = Outcome::Aborted;
    }
    if (host_) host_->SetProgress(0);
    SetStatus("");
    SetRatio("");
    LogSizes();
}

void TShrinker::LogSizes() {
    summary_.inputSize = in_.Size();
    summary_.outputSize = FileSizeOf(OutFileName);
    const double ratio = static_cast<double>(summary_.outputSize) / static_cast<double>(summary_.inputSize) * 100;
    Log("  旧文件是" + FormatSize(summary_.inputSize) + ",  新文件是" + FormatSize(summary_.outputSize) + " (" +
        std::to_string(static_cast<std::int64_t>(std::nearbyint(ratio))) + "%)");
}

bool TShrinker::ReadHeader() {
    const auto headerSize = ReadHeaderObjectHead(in_, kHeaderBufferSize, host_);
    if (!headerSize) return false;
    in_.Seek(0);
    headerSize_ = in_.Read(std::span(header_).first(headerSize->size));
    if (headerSize->fromChildren) PatchHeaderObjectSize(std::span(header_).first(headerSize_), headerSize->size);
    // A sub-object whose size field was damaged would stop the walk that rebuilds the header.
    if (headerSize_ == headerSize->size) WalkAndMendHeader(std::span(header_).first(headerSize_), host_);
    if (in_.Read(dataHead_) < dataHead_.size() || !StartsWith(dataHead_, guids::DataObject)) {
        Log("无效的数据对象ID");
        return false;
    }
    Log("数据对象ID正常");
    firstChunkPos_ = in_.Tell();

    const auto held = std::span<const std::uint8_t>(header_).first(headerSize_);
    const HeaderWalk walk = WalkHeader(held);
    if (walk.end == WalkEnd::SizeTooSmall) {
        // The rebuilt header is made by walking every child; one that claims less than its own
        // 24-byte head cannot be stepped over.
        Log("文件头中的子对象大小无效 (小于24字节), 不能处理此文件!");
        return false;
    }
    const SubObject* props = walk.Find(guids::FileProperties);
    if (!props || props->size < kFilePropertiesSize) {
        Log("--> 不能定位文件属性 Obj");
        return false;
    }
    std::copy_n(held.begin() + static_cast<std::ptrdiff_t>(props->offset + kObjectHeaderSize), kFilePropsSize,
                fileProps_.begin());
    Log("已定位: 文件属性对象");
    chunkSize_ = ReadU32At(fileProps_, Body(fp::MinPacketSize));
    if (chunkSize_ == 0 || chunkSize_ > kChunkBufferSize) {
        Log("数据块大小为" + std::to_string(chunkSize_) + ", 应在1到" + std::to_string(kChunkBufferSize) +
            "字节之间, 不能处理此文件!");
        return false;
    }
    summary_.chunkSize = chunkSize_;
    layout_ = DetectPacketLayout(in_, firstChunkPos_, chunkSize_);
    if (!layout_.errorCorrection) Log(kNoErrorCorrectionLine);
    out_.Write(held);
    return true;
}

bool TShrinker::Analyse() {
    Log("步骤 1, 正在分析...");
    chunkIndex_ = 0;
    streamsSeen_.reset();
    const std::uint64_t total = ReadU64At(dataHead_, dobj::TotalPackets);
    const auto chunk = std::span(chunk_).first(chunkSize_);
    while (!in_.AtEnd()) {
        if (host_) host_->SetProgress(chunkIndex_);
        SetStatus(std::to_string(chunkIndex_ + 1) + "/" + std::to_string(total));
        std::fill(chunk.begin(), chunk.end(), 0);
        std::size_t length = 0;
        try {
            length = in_.Read(chunk);
        } catch (const IoError& e) {
            Log("--->>数据块错误 #" + std::to_string(chunkIndex_));
            Log(std::string("访问文件出错: ") + e.what());
            return false;
        }
        const BlockKind kind = ClassifyPacket(chunk, length, chunkSize_, layout_);
        if (kind == BlockKind::Index) break;
        if (kind == BlockKind::Good) {
            MeasureChunk(chunk);
        } else {
            Log("无效的 ID: " + Hex2(chunk[0]) + Hex2(chunk[1]) + Hex2(chunk[2]) + ",  Chunk #" + std::to_string(chunkIndex_));
        }
        SetRatio("  Shrink ratio (so far): " + std::to_string(usedLength_ * 100 / chunkSize_) + "%");
        Pump();
        if (Aborted) {
            Log("--->>已中止");
            return false;
        }
        if (usedLength_ >= static_cast<std::int64_t>(chunkSize_) - 2) {
            Log("  已分析,");
            Log("  此文件没有待移除的垃圾数据.");
            Log(" 没有可以压缩的数据, 退出中...");
            return false;
        }
        ++chunkIndex_;
    }
    if (usedLength_ == 0) {
        // Not one chunk could be measured: a chunk size of 0 would make an unreadable file.
        Log(layout_.errorCorrection ? "  没有找到可以分析的数据块 (以82 00 00开始), 不能压缩此文件."
                                    : "  没有找到可以分析的数据块 (可以解析的数据包), 不能压缩此文件.");
        return false;
    }
    std::string list;
    for (int s = 0; s < 128; ++s) {
        if (!streamsSeen_.test(s)) continue;
        if (!list.empty()) list += ", ";
        list += "#" + std::to_string(s);
        summary_.streams.push_back(s);
    }
    Log("  文件中的流: " + list);
    Log("  数据块大小为:" + std::to_string(chunkSize_) + ",  将被:" + std::to_string(usedLength_) + " (" +
        std::to_string(usedLength_ * 100 / chunkSize_) + "%)");
    summary_.usedLength = static_cast<std::uint32_t>(usedLength_);
    summary_.chunks = chunkIndex_;
    return true;
}

void TShrinker::MeasureChunk(std::span<const std::uint8_t> chunk) {
    const ParsedPacket packet = ParsePacket(chunk, chunkSize_);
    for (const PacketPayload& payload : packet.payloads) streamsSeen_.set(payload.streamNumber);
    if (packet.ok) {
        usedLength_ = std::max(usedLength_, static_cast<std::int64_t>(packet.usedEnd));
    } else if (packet.errorKind == PacketError::ZeroPayloadCount) {
        // No payload: the chunk uses its fields up to the payload flags.
        usedLength_ = std::max(usedLength_, static_cast<std::int64_t>(packet.payloadFlagsAt + 1));
    } else {
        // Fields that do not fit the chunk (or each other): it is damaged like a chunk with a
        // bad signature, and is cut to the used length like one.
        Log("负载字段超出数据块,  Chunk #" + std::to_string(chunkIndex_));
    }
}

bool TShrinker::Compress() {
    Log("步骤 2, 正在压缩...");
    const std::int64_t n = chunkIndex_;
    if (host_) host_->SetProgressRange(n);
    RebuildHeader();

    BytePatcher head(dataHead_);
    head.U64At(dobj::TotalPackets, static_cast<std::uint64_t>(n));
    head.U64At(dobj::Size, static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(usedLength_) + kDataObjectHeadSize);
    out_.Write(dataHead_);

    in_.Seek(firstChunkPos_);
    chunksWritten_ = 0;
    const auto chunk = std::span(chunk_).first(chunkSize_);
    const auto used = static_cast<std::size_t>(usedLength_);
    bool completed = true;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::size_t r = in_.Read(chunk);
        if (used > r) break;  // a final chunk shorter than the new size is left out
        FitPadding(chunk, r, used);
        out_.Write(chunk.first(used));
        ++chunksWritten_;
        if (host_) host_->SetProgress(i);
        SetStatus(std::to_string(i + 1) + "/" + std::to_string(n));
        Pump();
        if (Aborted) {
            Log("--->>已中止");
            completed = false;
            break;
        }
    }
    if (completed) completed = CopyTail();
    if (completed) Log("  数据块已压缩: " + std::to_string(n));
    FixCounts();
    summary_.chunksWritten = chunksWritten_;
    return completed;
}

bool TShrinker::CopyTail() {
    // The index object and anything else after the chunks, unchanged. A stop leaves it out
    // whole: part of an index is worse than none.
    const std::int64_t chunksEnd = out_.Tell();
    for (;;) {
        const std::size_t r = in_.Read(chunk_);
        if (r == 0) return true;
        out_.Write(std::span(chunk_).first(r));
        Pump();
        if (Aborted) {
            Log("--->>已中止");
            out_.Seek(chunksEnd);
            return false;
        }
    }
}

void TShrinker::FitPadding(std::span<std::uint8_t> chunk, std::size_t length, std::size_t used) const {
    // The cut bytes were padding: the padding-length field must stop counting them, or readers
    // take the last payload for short. A packet-length field, where present, gets the new size.
    if (ClassifyPacket(chunk, length, chunkSize_, layout_) != BlockKind::Good) return;
    const ParsedPacket packet = ParsePacket(chunk, chunkSize_);
    if (!packet.parsingInfoRead) return;
    const unsigned lengthType = (packet.lengthTypeFlags >> 5) & 3, paddingType = (packet.lengthTypeFlags >> 3) & 3;
    const std::int64_t cut = static_cast<std::int64_t>(packet.packetLength) - usedLength_;
    const std::int64_t newPadding = static_cast<std::int64_t>(packet.paddingLength) - cut;
    // A chunk whose fields do not add up keeps them as they are.
    if (newPadding < 0 || static_cast<std::uint64_t>(newPadding) > MaxForLengthType(paddingType)) return;
    if (lengthType && static_cast<std::uint64_t>(usedLength_) > MaxForLengthType(lengthType)) return;
    // Both fields lie within the bytes kept.
    if (packet.paddingLengthAt + packet.paddingLengthWidth > used) return;
    BytePatcher patch(chunk.first(used));
    patch.ByLengthTypeAt(packet.paddingLengthAt, paddingType, static_cast<std::uint32_t>(newPadding));
    patch.ByLengthTypeAt(packet.packetLengthAt, lengthType, static_cast<std::uint32_t>(usedLength_));
}

void TShrinker::FixCounts() {
    // The header describes what was written: chunks left out at the end (a short last chunk,
    // a stop) are not counted, and the file size is the output's.
    const std::int64_t end = out_.Tell();
    out_.Truncate(end);
    std::array<std::uint8_t, 8> field{};
    auto put = [&](std::int64_t at, std::uint64_t value) {
        BytePatcher(field).U64At(0, value);
        out_.Seek(at);
        out_.Write(field);
    };
    const std::int64_t dataPos = newHeaderSize_;
    put(dataPos + dobj::Size, static_cast<std::uint64_t>(chunksWritten_) * static_cast<std::uint64_t>(usedLength_) +
                                  kDataObjectHeadSize);
    put(dataPos + dobj::TotalPackets, static_cast<std::uint64_t>(chunksWritten_));
    if (newFilePropsPos_ >= 0) {
        put(newFilePropsPos_ + fp::FileSize, static_cast<std::uint64_t>(end));
        put(newFilePropsPos_ + fp::DataPacketsCount, static_cast<std::uint64_t>(chunksWritten_));
    }
    out_.Seek(end);
}

void TShrinker::RebuildHeader() {
    BytePatcher props(fileProps_);
    props.U32At(Body(fp::MinPacketSize), static_cast<std::uint32_t>(usedLength_));
    props.U32At(Body(fp::MaxPacketSize), static_cast<std::uint32_t>(usedLength_));

    const auto old = std::span<const std::uint8_t>(header_).first(headerSize_);
    std::vector<std::uint8_t> fresh(headerSize_);
    std::copy_n(old.begin(), kHeaderObjectFixedSize, fresh.begin());
    std::uint64_t size = kHeaderObjectFixedSize;
    std::uint32_t count = 0;
    newFilePropsPos_ = -1;
    for (const SubObject& o : WalkHeader(old).objects) {
        const auto child = old.subspan(o.offset, o.size);
        if (o.guid == guids::StreamProperties && child.size() >= 74 &&
            !streamsSeen_.test(ReadU16At(child, 72) & 0x7F))
            continue;
        if (o.guid == guids::ExtendedContentDescription || o.guid == guids::BitrateMutualExclusion) continue;
        std::copy(child.begin(), child.end(), fresh.begin() + static_cast<std::ptrdiff_t>(size));
        if (o.guid == guids::FileProperties && o.size >= kFilePropertiesSize) {
            std::copy(fileProps_.begin(), fileProps_.end(),
                      fresh.begin() + static_cast<std::ptrdiff_t>(size + kObjectHeaderSize));
            if (newFilePropsPos_ < 0) newFilePropsPos_ = static_cast<std::int64_t>(size);
        }
        size += o.size;
        ++count;
    }
    BytePatcher w(fresh);
    w.U64At(16, size);
    w.U32At(24, count);
    out_.Seek(0);
    out_.Write(std::span(fresh).first(size));
    newHeaderSize_ = static_cast<std::int64_t>(size);
}

}  // namespace mendery
