#include "recovery/LostChunk.h"

#include <algorithm>

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
// Field positions inside the 80-byte body of the file properties object.
constexpr std::uint32_t Body(std::uint32_t objectOffset) { return objectOffset - kObjectHeaderSize; }

// Time arithmetic on values read from the file wraps around in 64 bits instead of overflowing.
std::int64_t Plus(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t Minus(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

bool StartsWith(std::span<const std::uint8_t> bytes, const Guid& g) {
    return bytes.size() >= 16 && std::equal(g.bytes.begin(), g.bytes.end(), bytes.begin());
}
}  // namespace

void TLostChunk::Log(const std::string& line) {
    if (host_) host_->Log(line);
}
void TLostChunk::SetStatus(const std::string& text) {
    if (host_) host_->SetStatus(text);
}
void TLostChunk::Pump() {
    if (host_) host_->ProcessMessages();
}

void TLostChunk::Reset() {
    if (!host_) return;
    host_->SetProgress(0);
    host_->ClearLog();
}

void TLostChunk::Recover() {
    Aborted = false;
    summary_ = {};
    headerGood_ = false;
    outEnd_ = 0;
    if (const auto stop = OpenSourceAndOutput(FileName, OutFileName, in_, out_, host_)) {
        outcome_ = *stop;
        return;
    }

    outcome_ = Outcome::Done;
    try {
        if (ReadHeader()) {
            headerGood_ = true;
            CopyChunks();
        } else {
            Log("--->> 文件头出错. 正在退出..");
            outcome_ = Outcome::Refused;
        }
    } catch (const IoError& e) {
        Log("--->> 处理时出错");
        Log(std::string("访问文件出错: ") + e.what());
        outcome_ = Outcome::Failed;
    } catch (const TruncatedData& e) {
        Log("--->> 处理时出错");
        outcome_ = Outcome::Failed;
    }
    FinishOutput();
}

bool TLostChunk::ReadHeader() {
    fileProps_.fill(0);
    const auto headerSize = ReadHeaderObjectHead(in_, kHeaderBufferSize, host_);
    if (!headerSize) return false;
    in_.Seek(0);
    const std::size_t n = in_.Read(std::span(header_).first(headerSize->size));
    dataObjectPos_ = in_.Tell();
    if (headerSize->fromChildren) PatchHeaderObjectSize(std::span(header_).first(n), headerSize->size);
    // A sub-object whose size field was damaged would break the walk of every reader of the copy.
    if (n == headerSize->size) WalkAndMendHeader(std::span(header_).first(n), host_);

    std::array<std::uint8_t, kObjectHeaderSize> dataHead{};
    if (in_.Read(dataHead) < dataHead.size() || !StartsWith(dataHead, guids::DataObject)) {
        Log("无效的数据对象ID");
        return false;
    }
    Log("数据对象ID正常");

    const auto held = std::span<const std::uint8_t>(header_).first(n);
    const HeaderWalk walk = WalkHeader(held);
    const SubObject* props = walk.Find(guids::FileProperties);
    if (props && props->size >= kFilePropertiesSize) {
        std::copy_n(held.begin() + static_cast<std::ptrdiff_t>(props->offset + kObjectHeaderSize), kFilePropsSize,
                    fileProps_.begin());
        filePropsPos_ = static_cast<std::int64_t>(props->offset + kObjectHeaderSize);
        Log("已定位: 文件属性对象");
    } else if (walk.end == WalkEnd::SizeTooSmall) {
        // The walk cannot step over an object that claims less than its own 24-byte head.
        Log("文件头中的子对象大小无效 (小于24字节), 不能处理此文件!");
        return false;
    }

    chunkSize_ = ReadU32At(fileProps_, Body(fp::MinPacketSize));
    if (chunkSize_ == 0) {
        Log("--> 不能定位文件属性 Obj");
        return false;
    }
    if (chunkSize_ < sizeof kChunkSignature) {
        // A block shorter than the signature never passes the test: every search would find
        // the same start again.
        Log("数据块大小为" + std::to_string(chunkSize_) + ", 不足3字节, 不能处理此文件!");
        return false;
    }
    if (chunkSize_ > kChunkBufferSize) {
        Log("数据块大小为" + std::to_string(chunkSize_) + ", 超过" + std::to_string(kChunkBufferSize) +
            "字节, 不能处理此文件!");
        return false;
    }
    out_.Write(held);
    out_.Write(dataHead);
    return true;
}

void TLostChunk::CopyChunks() {
    CopyDataObjectHead();
    const auto chunk = std::span(chunk_).first(chunkSize_);
    while (!in_.AtEnd()) {
        if (host_) host_->SetProgress(chunkIndex_);
        SetStatus(std::to_string(chunkIndex_ + 1) + "/" + std::to_string(totalPackets_));
        std::fill(chunk.begin(), chunk.end(), 0);
        const std::size_t length = in_.Read(chunk);
        if (ClassifyPacket(chunk, length, chunkSize_, layout_) == BlockKind::Good) WriteChunk(chunk, length);
        else if (!SkipDamage(chunk)) break;
        Pump();
        if (Aborted) {
            Log("--->>已中止");
            outcome_ = Outcome::Aborted;
            break;
        }
        ++chunkIndex_;
    }
    if (host_) host_->SetProgress(0);
    SetStatus("");
    Log("");
    Log("找到" + std::to_string(chunksWritten_) + " 数据块");
}

void TLostChunk::CopyDataObjectHead() {
    std::array<std::uint8_t, kDataObjectHeadSize - kObjectHeaderSize> rest{};
    in_.Read(rest);
    if (in_.Tell() < dataObjectPos_ + static_cast<std::int64_t>(kDataObjectHeadSize))
        throw IoError("文件在数据对象头中结束: \"" + FileName + "\"");
    out_.Write(rest);
    outEnd_ = out_.Tell();
    lastGoodStart_ = in_.Tell();

    totalPackets_ = ReadU64At(rest, dobj::TotalPackets - kObjectHeaderSize);
    Log("数据头中包含的数据块数目:" + std::to_string(totalPackets_));
    layout_ = DetectPacketLayout(in_, in_.Tell(), chunkSize_);
    if (!layout_.errorCorrection) Log(kNoErrorCorrectionLine);
    if (host_) host_->SetProgressRange(static_cast<std::uint32_t>(totalPackets_));
    Aborted = false;

    sendClock_ = 0;
    clockStarted_ = false;
    lastDuration_ = 0;
    lastSourceSendTime_ = 0;
    timeOffset_ = 0;
    chunkIndex_ = 0;
    chunksWritten_ = 0;
    timeInSync_ = true;
    lastWritePos_ = 0;
}

void TLostChunk::WriteChunk(std::span<std::uint8_t> chunk, std::size_t length) {
    FixChunkTimes(chunk);
    lastWritePos_ = out_.Tell();
    out_.Write(chunk.first(length));
    outEnd_ = lastWritePos_ + static_cast<std::int64_t>(length);
    ++chunksWritten_;
    lastGoodStart_ = in_.Tell() - static_cast<std::int64_t>(length);
}

bool TLostChunk::SkipDamage(std::span<const std::uint8_t> block) {
    // The chunks end at the simple index object, or at an index object of the other kind (VLC
    // writes one): taking that for damage would drop the last good chunk.
    if (IsIndexMarker4(block) || StartsWith(block, guids::Index)) return false;
    if (lastWritePos_ != 0) {
        // The chunk written last may have been cut short by the damage: drop it; the search
        // re-scans it and whatever is found overwrites it.
        out_.Seek(lastWritePos_);
        outEnd_ = lastWritePos_;
        --chunksWritten_;
    }
    return FindNextChunk();
}

bool TLostChunk::FindNextChunk() {
    Log("");
    Log("->发现无效的数据块 ID (#" + std::to_string(chunkIndex_) + ")");
    Log(" 正在搜索下一个无效的数据块...");
    // The search goes one byte at a time; p is the position after the byte just looked at.
    // Events run whenever p reaches a multiple of 1000. Between those points the window is
    // scanned with memchr for the byte a chunk start is known by, which looks at the same
    // bytes in the same order: 0x82, the first byte of error-correction data; for packets
    // without it, the file's property flags, the second byte of every packet.
    const bool marked = layout_.errorCorrection || layout_.propertyFlags.has_value();
    const std::uint8_t mark = layout_.errorCorrection ? 0x82 : layout_.propertyFlags.value_or(0);
    std::int64_t p = lastGoodStart_ + 1;
    in_.Seek(p);
    for (;;) {
        const std::int64_t boundary = (p / 1000 + 1) * 1000;
        std::int64_t hit = -1;
        if (marked) {
            hit = in_.FindByte(mark, boundary);
        } else if (in_.ReadByte() >= 0) {
            hit = in_.Tell() - 1;  // every byte is a candidate
        }
        p = in_.Tell();
        if (hit < 0 && p < boundary) break;  // the end of the input
        if (p % 1000 == 0) {
            SetStatus("Pos: " + std::to_string(p / 1024) + "k");
            Pump();
            if (Aborted) {
                Log(" 中止搜索");
                outcome_ = Outcome::Aborted;
                return false;
            }
        }
        if (hit < 0) continue;
        if (CandidateAt(hit)) {
            in_.Seek(layout_.errorCorrection || !marked ? p - 1 : p - 2);
            timeInSync_ = false;
            ++summary_.resyncs;
            Log(" 已找到部分丢失的数据块. 正在覆盖...");
            return true;
        }
        in_.Seek(p);
    }
    Log(" 找不到任何无效数据块.");
    return false;
}

bool TLostChunk::CandidateAt(std::int64_t hit) {
    if (layout_.errorCorrection) {
        // Two zero bytes of error-correction data must follow; a start too close to the end of
        // the file to hold them is no start.
        return in_.ReadByte() == 0 && in_.ReadByte() == 0 && ChunkStartsAt(hit);
    }
    // The property flags were found: the packet starts the byte before, which cannot lie
    // before the search's start.
    const std::int64_t start = layout_.propertyFlags ? hit - 1 : hit;
    return start > lastGoodStart_ && ChunkStartsAt(start);
}

bool TLostChunk::ParsesAt(std::int64_t at, bool& past) {
    const auto block = std::span(probe_).first(chunkSize_);
    std::fill(block.begin(), block.end(), 0);
    in_.Seek(at);
    const std::size_t r = in_.Read(block);
    past = r == 0;
    if (r == 0) return false;
    if (!layout_.errorCorrection) return ClassifyPacket(block.first(r), chunkSize_, layout_) == BlockKind::Good;
    const ParsedPacket packet = ParsePacket(block, chunkSize_);
    return ClassifyBlock(block) == BlockKind::Good && packet.ok && !packet.payloads.empty();
}

bool TLostChunk::ChunkStartsAt(std::int64_t at) {
    // What marks a chunk start occurs inside payload data too. A chunk found there would bring a
    // garbage duration into the send clock, so a start must parse as a packet of the chunk size, and
    // the next chunk must start right where it ends (or the index object, or the end of the
    // input: a last chunk stands alone).
    bool past = false;
    if (!ParsesAt(at, past)) return false;
    const std::int64_t next = at + chunkSize_;
    if (ParsesAt(next, past) || past) return true;
    std::array<std::uint8_t, 16> head{};
    in_.Seek(next);
    in_.Read(head);
    return IsIndexMarker4(head) || StartsWith(head, guids::Index);
}

void TLostChunk::FixChunkTimes(std::span<std::uint8_t> chunk) {
    const ParsedPacket packet = ParsePacket(chunk, chunkSize_);
    if (packet.parsingInfoRead) {
        // The chunk before moved the clock by its duration; one of duration 0 moved it by
        // nothing, and without error correction data its step to this chunk's send time stands
        // in for the duration.
        if (clockStarted_ && lastDuration_ == 0)
            sendClock_ += SendClockStep(layout_, 0, lastSourceSendTime_, packet.sendTime);
        clockStarted_ = true;
        lastDuration_ = packet.duration;
        lastSourceSendTime_ = packet.sendTime;
        BytePatcher patch(chunk);
        patch.U32At(packet.sendTimeAt, static_cast<std::uint32_t>(sendClock_));
        const std::int64_t sendTime = sendClock_;
        sendClock_ += packet.duration;
        // Payloads whose replicated data is exactly media object size and presentation time.
        for (const PacketPayload& payload : packet.payloads)
            if (payload.replicatedLength == 8) FixPresentationTime(patch, payload, sendTime);
    }
    // A field lies outside the chunk: the chunk is copied as it is, with what was fixed before
    // that field.
    if (packet.errorKind == PacketError::Truncated)
        Log(" 数据块 # " + std::to_string(chunksWritten_) + ": 负载字段超出数据块, 其余显示时间未修正");
}

void TLostChunk::FixPresentationTime(BytePatcher& patch, const PacketPayload& payload, std::int64_t sendTime) {
    const auto preroll = static_cast<std::int64_t>(ReadU64At(fileProps_, Body(fp::Preroll)));
    const std::int64_t time = payload.presentationTime;
    const std::int64_t drift = Minus(Plus(time, timeOffset_), Plus(sendTime, preroll));
    if (drift > kMaxDriftMs || drift < -kMaxDriftMs) timeInSync_ = false;  // also catches a wrapped sum
    if (!timeInSync_) {
        timeOffset_ = Minus(Plus(sendTime, preroll), time);
        Log(" PrTime 修正于 # " + std::to_string(chunksWritten_) + " (" + FormatClock(sendClock_ / 1000) + ")");
        timeInSync_ = true;
    }
    patch.U32At(payload.presentationTimeAt, static_cast<std::uint32_t>(Plus(time, timeOffset_)));
}

void TLostChunk::RemoveOutput() {
    try {
        out_.Close();
    } catch (const IoError&) {
    }
    DiscardOutput(OutFileName, host_);
}

void TLostChunk::FinishOutput() {
    try {
        in_.Close();
    } catch (const IoError&) {
    }
    if (headerGood_ && outEnd_ != 0 && chunksWritten_ <= 0) {
        // A header without a single chunk plays nothing; it would only look like a rescue.
        Log(layout_.errorCorrection ? "没有找到以82 00 00开始的数据块, 不生成输出文件."
                                    : "没有找到可以解析的数据块, 不生成输出文件.");
        if (outcome_ == Outcome::Done) outcome_ = Outcome::NothingUsable;
        RemoveOutput();
        Log("文件已关闭");
        return;
    }
    if (!headerGood_ || outEnd_ == 0) {
        // Nothing usable was written: the header check failed, or the output could not take
        // the header.
        RemoveOutput();
        Log("文件已关闭");
        return;
    }
    try {
        // What follows the last counted chunk is a dropped chunk, the part of a chunk whose write
        // failed, or nothing: cut it off so that the data object ends the file.
        const std::int64_t end = outEnd_;
        out_.Truncate(end);
        BytePatcher props(fileProps_);
        const auto preroll = static_cast<std::int64_t>(ReadU64At(fileProps_, Body(fp::Preroll)));
        props.U64At(Body(fp::SendDuration), static_cast<std::uint64_t>(sendClock_) * 10000);
        props.U64At(Body(fp::PlayDuration), static_cast<std::uint64_t>(Plus(sendClock_, preroll)) * 10000);
        props.U8At(Body(fp::Flags), fp::FlagSeekable);
        props.U64At(Body(fp::FileSize), static_cast<std::uint64_t>(end));
        props.U64At(Body(fp::DataPacketsCount), static_cast<std::uint64_t>(chunksWritten_));
        out_.Seek(filePropsPos_);
        out_.Write(fileProps_);

        std::array<std::uint8_t, 8> field{};
        BytePatcher(field).U64At(0, static_cast<std::uint64_t>(chunksWritten_) * chunkSize_ + kDataObjectHeadSize);
        out_.Seek(dataObjectPos_ + dobj::Size);
        out_.Write(field);
        BytePatcher(field).U64At(0, static_cast<std::uint64_t>(chunksWritten_));
        out_.Seek(dataObjectPos_ + dobj::TotalPackets);
        out_.Write(field);
        out_.Close();
        summary_.outputSize = end;
    } catch (const IoError& e) {
        Log(std::string("访问文件出错: ") + e.what());
        outcome_ = Outcome::Failed;
        RemoveOutput();
    }
    summary_.chunksWritten = chunksWritten_;
    summary_.sendClockMs = sendClock_;
    Log("文件已关闭");
}

}  // namespace mendery
