#include "repair/AsfFile.h"

#include <algorithm>
#include <memory>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/ByteCursor.h"
#include "asf/Format.h"
#include "asf/HeaderSalvage.h"
#include "asf/PageCopy.h"
#include "asf/PacketLayout.h"
#include "asf/ReadAhead.h"
#include "asf/StagedOutput.h"

namespace mendery {

namespace {
bool KeptByCleaning(const Guid& g) {
    return g == guids::FileProperties || g == guids::HeaderExtension || g == guids::StreamProperties ||
           g == guids::CodecList || g == guids::ContentDescription || g == guids::ExtendedContentDescription ||
           g == guids::ExtendedContentEncryption;
}
}  // namespace

// Hands out the chunks of the source in order, read a block of whole chunks (about a megabyte)
// at a time: one read call per block instead of one per chunk, the next block read ahead while
// this one is used. A whole chunk is repaired where it lies in the block, without copying it,
// and runs of kept chunks are written from there before the next block is taken. A chunk is shorter than the chunk size only at the end
// of the file, as when read on its own; such a chunk, and every chunk of a file whose chunks
// are smaller than the bytes a detail line shows, is copied into the spare buffer and the
// bytes after it are cleared, as if the buffer had been cleared before a read of it.
class TAsfFile::ChunkBlockReader {
public:
    // Bytes of the spare buffer a chunk is repaired in: the chunk, the two bytes after it that
    // removing a packet length field moves in, and what a detail line shows.
    static constexpr std::size_t kDetailBytes = 32;

    ChunkBlockReader(BufferedInput& source, std::uint32_t chunkSize, std::span<std::uint8_t> spare, BufferedOutput& output)
        : source_(source),
          output_(output),
          chunkSize_(chunkSize),
          blocks_(source.File(), std::max<std::size_t>(1, (1u << 20) / chunkSize) * chunkSize),
          spare_(spare.first(std::max<std::size_t>(chunkSize + 2, kDetailBytes))) {
        std::fill(spare.begin(), spare.end(), 0);
    }

    // True when the next chunk comes with a new block: the chunks handed out before may be
    // overwritten then.
    bool BlockUsedUp() const { return at_ == block_.size(); }
    // True when the chunk handed out last lies in the block (it stays there until the block
    // is used up), false when it was copied into the spare buffer.
    bool LastInBlock() const { return lastInBlock_; }
    // Writes a run of chunks of the block without copying them.
    void WriteInPlace(std::span<const std::uint8_t> run) { output_.WriteInPlace(run); }
    // The next chunk, chunk-size bytes long (`length` of them from the file); empty at the end.
    std::span<std::uint8_t> Next(std::size_t& length) {
        if (at_ == block_.size()) {
            block_ = blocks_.Read(source_.Tell());
            source_.Seek(source_.Tell() + static_cast<std::int64_t>(block_.size()));
            at_ = 0;
        }
        length = std::min<std::size_t>(chunkSize_, block_.size() - at_);
        const auto chunk = block_.subspan(at_, length);
        at_ += length;
        lastInBlock_ = length == chunkSize_ && length >= kDetailBytes;
        if (length == 0) return {};
        if (lastInBlock_) return chunk;
        std::copy(chunk.begin(), chunk.end(), spare_.begin());
        std::fill(spare_.begin() + static_cast<std::ptrdiff_t>(length), spare_.end(), 0);
        return spare_.first(chunkSize_);
    }

private:
    BufferedInput& source_;
    BufferedOutput& output_;
    std::size_t chunkSize_;
    ReadAheadBlocks blocks_;
    std::span<std::uint8_t> block_;
    std::span<std::uint8_t> spare_;
    std::size_t at_ = 0;
    bool lastInBlock_ = false;
};

void TAsfFile::ClearLog() {
    if (LogBox) LogBox->ClearLog();
}

void TAsfFile::Log(const std::string& text) {
    if (LogBox) LogBox->Log(text);
}

void TAsfFile::Detail(const std::string& text) {
    if (LogBox && WriteLog) LogBox->Log(text);
}

Outcome TAsfFile::Run() {
    SetActive(true);
    if (active_) Repair();
    SetActive(false);
    return outcome_;
}

void TAsfFile::SetActive(bool value) {
    if (value == active_) return;
    if (!value) {
        Close();
        return;
    }
    if (!LogBox || FileName.empty()) return;
    active_ = true;
    outcome_ = Outcome::NotRun;
    bool opened = false;
    try {
        opened = Open();
        if (!opened) outcome_ = Outcome::Refused;
    } catch (const IoError& e) {
        Log(std::string("访问文件出错: ") + e.what());
        outcome_ = Outcome::Failed;
    }
    if (!opened) Close();
}

void TAsfFile::Close() {
    try {
        source_.Close();
    } catch (const IoError&) {
        // A read-only file that fails to close has lost nothing.
    }
    active_ = false;
    Log("文件已关闭");
}

bool TAsfFile::Open() {
    ClearLog();
    Log("打开中" + FileName);
    source_.Open(FileName);
    sourceSize_ = source_.Size();
    std::fill(buffer_.begin(), buffer_.end(), 0);
    headerBytes_ = source_.Read(std::span(buffer_).first(kHeaderBufferSize));
    const auto held = std::span<const std::uint8_t>(buffer_).first(headerBytes_);

    const std::int64_t hp = FindGuid(held, guids::HeaderObject);
    if (hp < 0 || static_cast<std::uint64_t>(hp) + kObjectHeaderSize > headerBytes_) {
        Log("找不到ASF标识!");
        return false;
    }
    if (hp == 0 && !TrustHeaderSize()) return false;
    if (CleanHeader && !CleanHeaderInBuffer()) return false;

    // The first chunk is taken to begin DataStart bytes from the start of the file.
    const std::uint64_t dataStart = std::uint64_t(ReadU32At(held, hp + 16)) + kDataObjectHeadSize;
    if (dataStart > headerBytes_) {
        if (headerBytes_ < kHeaderBufferSize)
            Log("文件头不完整 (文件在文件头或数据对象头中截断), 不能处理此文件!");
        else
            Log("文件头太大 (超过" + std::to_string(kHeaderBufferSize) + "字节), 不能处理此文件!");
        return false;
    }
    dataStart_ = static_cast<std::uint32_t>(dataStart);

    filePropsPos_ = FindGuid(held, guids::FileProperties);
    if (filePropsPos_ < 0 || static_cast<std::uint64_t>(filePropsPos_) + kFilePropertiesSize > headerBytes_) {
        Log("找不到文件头标识!");
        return false;
    }
    chunkSize_ = ReadU32At(held, filePropsPos_ + fp::MinPacketSize);
    if (chunkSize_ == 0 || chunkSize_ > 65535 || ReadU32At(held, filePropsPos_ + fp::MaxPacketSize) != chunkSize_) {
        Log("数据块大小无效, 不能处理此文件!");
        return false;
    }
    Log("数据块大小为" + std::to_string(chunkSize_));
    layout_ = DetectPacketLayout(source_, dataStart_, chunkSize_);
    if (!layout_.errorCorrection) Log(kNoErrorCorrectionLine);

    dataObjectPos_ = FindGuid(held, guids::DataObject);
    if (dataObjectPos_ < 0) {
        Log("找不到数据标识!");
        return false;
    }
    if (OnFileOpened) OnFileOpened(*this);
    return true;
}

bool TAsfFile::TrustHeaderSize() {
    const auto held = std::span<const std::uint8_t>(buffer_).first(headerBytes_);
    const std::uint32_t declared = ReadU32At(held, 16);
    // A size below the header object's own 30 bytes cannot be right, even with the data
    // object's GUID at that offset (the GUID then overlaps the header's own fields).
    if (declared >= kHeaderObjectFixedSize && DataObjectAt(held, declared)) {
        MendHeaderObjects(declared);
        return true;
    }
    // A damaged size field: the sub-objects still tell where the header ends when they lead
    // exactly to the data object. The copy gets the size they give.
    if (const auto walked = HeaderSizeFromChildren(held)) {
        Log("文件头大小无效:" + std::to_string(ReadU64At(held, 16)) + ", 按子对象计算为:" + std::to_string(*walked));
        BytePatcher(buffer_).U64At(16, *walked);
        return true;
    }
    if (declared < kHeaderObjectFixedSize) {
        Log("文件头对象大小无效 (" + std::to_string(declared) + "字节), 不能处理此文件!");
        return false;
    }
    return true;  // the checks below judge a size that is merely unconfirmed
}

void TAsfFile::MendHeaderObjects(std::uint64_t headerSize) {
    // A sub-object whose size field was damaged breaks the walk of every reader of the copy
    // (players refuse the file): the objects after it are found again by their GUIDs and the
    // copy carries mended sizes.
    WalkAndMendHeader(std::span(buffer_).first(headerSize), LogBox);
}

bool TAsfFile::CleanHeaderInBuffer() {
    const auto held = std::span<const std::uint8_t>(buffer_).first(headerBytes_);
    if (headerBytes_ < kHeaderObjectFixedSize || FindGuid(held.first(16), guids::HeaderObject) != 0) {
        Log("文件头不在文件开始处, 不能清除文件头!");
        return false;
    }
    const std::uint64_t size = ReadU64At(held, 16);
    if (size > kCleanBufferSize || size > headerBytes_ || size < kHeaderObjectFixedSize) {
        Log("文件头太大或无效, 不能清除文件头!");
        return false;
    }
    std::vector<std::uint8_t> fresh(size, 0);
    std::copy_n(buffer_.begin(), kHeaderObjectFixedSize, fresh.begin());
    BytePatcher out(fresh);
    std::uint32_t count = 0;
    std::uint64_t write = kHeaderObjectFixedSize;
    for (const auto& object : WalkHeader(held.first(size)).objects) {
        if (!KeptByCleaning(object.guid)) continue;
        std::copy_n(buffer_.begin() + object.offset, object.size, fresh.begin() + write);
        write += object.size;
        ++count;
    }
    // Everything from the write position on was dropped (or could not be walked): one filler
    // object covers it, so the header keeps its size and the chunks their offsets.
    if (size - write >= kObjectHeaderSize) {
        out.U64At(write + 16, size - write);
        ++count;
    }
    out.U32At(24, count);
    std::copy(fresh.begin(), fresh.end(), buffer_.begin());
    return true;
}

BadChunkAction TAsfFile::Decide(std::int64_t chunkIndex) {
    if (FixForBadChunk != BadChunkAction::AskOneByOne) return FixForBadChunk;
    BadChunkAction answer = BadChunkAction::DoNothing;
    if (OnDecideForBadChunk) OnDecideForBadChunk(*this, answer, chunkIndex);
    return answer == BadChunkAction::AskOneByOne ? BadChunkAction::DoNothing : answer;
}

std::uint32_t TAsfFile::ContentLength() const {
    for (std::uint32_t i = chunkSize_ - 1; i >= 1; --i)
        if (chunk_[i] != 0) return i + 1;
    return 1;
}

const ParsedPacket& TAsfFile::ParseKeptBlock() {
    const std::span<const std::uint8_t> chunk = chunk_;
    if (!layout_.errorCorrection) {
        // Packets without error correction data begin with their length type flags. A block
        // whose first byte says otherwise is damage whose fields cannot be placed: it is
        // copied as it is, untimed and unpatched.
        if (chunk[0] & 0x80) parsed_ = ParsedPacket{};
        else ParsePacket(chunk, chunkSize_, parsed_);
        return parsed_;
    }
    // Every kept block is read as a chunk with the usual error correction data 82 00 00: one
    // whose signature is damaged has its fields where an intact chunk has them (its flags
    // byte is byte 3), as does a copy of the last good chunk or a filled one.
    if (ClassifyBlock(chunk) == BlockKind::Good) {
        ParsePacket(chunk, chunkSize_, parsed_);
        return parsed_;
    }
    signed_.assign(chunk.begin(), chunk.end());
    std::copy_n(kChunkSignature, std::min(signed_.size(), sizeof kChunkSignature), signed_.begin());
    ParsePacket(signed_, chunkSize_, parsed_);
    return parsed_;
}

void TAsfFile::TimeChunk(const ParsedPacket& chunk) {
    // Only the layouts writers produce are trusted: other flags (a sequence field, a dword
    // packet length) mostly come from a damaged flags byte, and fields read or written by them
    // would be payload bytes. Such a chunk is timed on the running clock with the duration of
    // the chunk before it, and its bytes are not rewritten.
    const bool known = chunk.parsingInfoRead && FindKnownLayout(chunk.lengthTypeFlags) != nullptr;
    if (!known) Log(Fmt("未知填充标记: %02x", chunk.lengthTypeFlags));
    const std::uint16_t duration = known ? chunk.duration : timing_.lastDuration;
    const std::int64_t step = known && timing_.timed
                                  ? SendClockStep(layout_, timing_.lastDuration, timing_.lastSourceSendTime, chunk.sendTime)
                                  : timing_.lastDuration;
    const std::int64_t fresh = timing_.sendTime + step;
    if (known) {
        timing_.timed = true;
        timing_.lastSourceSendTime = chunk.sendTime;
    }
    if (FixTimeCodes && known) BytePatcher(chunk_).U32At(chunk.sendTimeAt, static_cast<std::uint32_t>(fresh));
    timing_.storedSendTime = static_cast<std::int32_t>(chunk.sendTime);
    timing_.newSendTime = fresh;
    timing_.mediaOffset = known && !chunk.payloads.empty() ? chunk.payloads.front().offsetIntoMediaObject : 0;
    timing_.duration = duration;
    timing_.sendTime = fresh;
    timing_.lastDuration = duration;
}

void TAsfFile::RepairPadding(const ParsedPacket& chunk, std::uint32_t& length) {
    std::uint64_t paddingAt = chunk.paddingLengthAt;
    // Only a two-byte packet length field (type 2) can be removed: type 3 also has bit 0x40
    // set but is four bytes wide.
    if (FixPad40 && chunk.packetLengthWidth == 2) {
        RemovePacketLength(chunk, length);
        paddingAt -= 2;
    }
    if (chunk.paddingLengthWidth == 0) return;  // no padding field, or the chunk ends before it
    // The padding is what follows the last non-zero byte. Of a dword field (both bits set)
    // only the low bytes are rewritten.
    const std::uint32_t padding = chunkSize_ - length;
    BytePatcher patch(chunk_);
    if (FixPad10 && (chunk.lengthTypeFlags & 0x10)) patch.U16At(paddingAt, static_cast<std::uint16_t>(padding));
    if (FixPad08 && (chunk.lengthTypeFlags & 0x08)) patch.U8At(paddingAt, static_cast<std::uint8_t>(padding));
}

void TAsfFile::RemovePacketLength(const ParsedPacket& chunk, std::uint32_t& length) {
    // Everything after the field moves two bytes forward; the two (zero) bytes after the
    // content follow it, so the chunk keeps its size. Past the chunk's end they are zero too:
    // the bytes there belong to the next chunk when it is repaired in the read block.
    const std::uint64_t at = chunk.packetLengthAt;
    if (length > at) {
        const auto moved = std::copy(chunk_.begin() + at + 2, chunk_.begin() + std::min<std::size_t>(length + 2, chunk_.size()),
                                     chunk_.begin() + at);
        std::fill(moved, chunk_.begin() + length, 0);
    }
    chunk_[chunk.lengthTypeFlagsAt] = static_cast<std::uint8_t>(chunk.lengthTypeFlags - 0x40);
    length -= 2;
}

void TAsfFile::LogDetail(std::uint8_t lengthTypeFlags) {
    if (!WriteLog || !LogBox) return;
    const auto& b = chunk_;
    Detail(Fmt("CH:%4x, CC:%4x, TC:%4x-%4x,%4x, I:%x,  P:%02X,  4: %02X %02X %02X %02X - %02X %02X %02X %02X %02X %02X "
               "%02X %02X - %02X %02X %02X %02X %02X %02X %02X %02X",
               chunkIndex_, chunkCount_, timing_.storedSendTime, timing_.newSendTime, timing_.mediaOffset,
               timing_.duration, lengthTypeFlags, b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
               b[15], b[16], b[17], b[18], b[19], b[20], b[21], b[22], b[23]));
}

void TAsfFile::Repair() {
    if (!active_) return;
    summary_ = {};
    const std::string refusal = OutputRefusalLine(FileName, OutFileName);
    if (!refusal.empty()) {
        Log(refusal);
        outcome_ = Outcome::Refused;
        return;
    }
    try {
        outcome_ = RunPass();
    } catch (const IoError& e) {
        CloseAfterError(e.what());
    } catch (const TruncatedData& e) {
        CloseAfterError(e.what());
    }
}

void TAsfFile::CloseAfterError(const std::string& reason) {
    Log("访问文件出错: " + reason);
    outcome_ = Outcome::Failed;
    // An output cut off by an error has no consistent header: remove it rather than leave a
    // file that looks repaired.
    if (output_.IsOpen()) RemoveOutput();
    Close();
}

void TAsfFile::RemoveOutput() {
    try {
        output_.Close();
    } catch (const IoError&) {
    }
    DiscardOutput(OutFileName, LogBox);
}

Outcome TAsfFile::RunPass() {
    // The header as written; the header fixes patch this copy, since the buffer then holds chunks.
    std::vector<std::uint8_t> header(buffer_.begin(), buffer_.begin() + dataStart_);
    BeginPass(header);
    ChunkBlockReader blocks(source_, chunkSize_, buffer_, output_);
    blocks_ = &blocks;
    run_ = {};  // a pass ended by an error may have left one
    std::int64_t sourcePos = dataStart_;
    bool aborted = false;
    while (sourcePos < sourceSize_) {
        if (StopRequested()) {
            aborted = true;
            break;
        }
        std::size_t length = 0;
        if (blocks.BlockUsedUp()) WriteRun();
        chunk_ = blocks.Next(length);
        if (length == 0) break;  // the file shrank under us
        sourcePos += static_cast<std::int64_t>(length);
        if (TakeBlock(chunk_, length)) RewriteAndWrite(length);
        if (Host) Host->ProcessMessages();
    }
    WriteRun();
    blocks_ = nullptr;
    return EndPass(header, aborted);
}

void TAsfFile::Emit(std::span<const std::uint8_t> chunk) {
    // Kept chunks that follow each other in the read block are written together, straight
    // from the block; one repaired in the chunk buffer is written at once, since the next
    // chunk takes its place.
    if (!run_.empty() && chunk.data() == run_.data() + run_.size()) {
        run_ = std::span(run_.data(), run_.size() + chunk.size());
        return;
    }
    WriteRun();
    if (blocks_ && blocks_->LastInBlock()) run_ = chunk;
    else output_.Write(chunk);
}

void TAsfFile::WriteRun() {
    if (run_.empty()) return;
    // A short run costs less to copy than to hand over.
    if (blocks_ && run_.size() >= kRunInPlace) blocks_->WriteInPlace(run_);
    else output_.Write(run_);
    run_ = {};
}

std::int64_t TAsfFile::OutputPos() const { return output_.Tell() + static_cast<std::int64_t>(run_.size()); }

void TAsfFile::BeginPass(const std::vector<std::uint8_t>& header) {
    Aborted = false;
    output_.Create(OutFileName);
    // The repaired file is about as long as the source.
    output_.Reserve(sourceSize_);
    if (!StripHeader) output_.Write(header);
    lastGood_.assign(chunkSize_, 0);
    source_.Seek(dataStart_);
    countedEnd_ = StripHeader ? 0 : dataStart_;
    chunkIndex_ = -1;
    chunkCount_ = 0;
    rewindPos_ = -1;
    timing_ = {};
    state_ = BlockState::Other;
    if (ProgBar) {
        ProgBar->SetProgressRange(std::max<std::int64_t>(0, (sourceSize_ - dataStart_) / chunkSize_));
        ProgBar->SetProgress(0);
    }
}

bool TAsfFile::StopRequested() {
    if (!Aborted) return false;
    Aborted = false;
    Log("");
    Log("-->> 用户请求中止! <<--");
    Log("");
    return true;
}

bool TAsfFile::TakeBlock(std::span<std::uint8_t> chunk, std::size_t length) {
    ++chunkIndex_;
    ++chunkCount_;
    ++summary_.blocks;
    if (ProgBar) ProgBar->SetProgress(chunkIndex_);
    const BlockState previous = state_;
    switch (ClassifyPacket(chunk, length, chunkSize_, layout_)) {
        case BlockKind::Good: TakeGoodChunk(chunk, length); break;
        case BlockKind::Index: TakeIndexBlock(length); break;
        case BlockKind::Bad: return TakeBadChunk(chunk, previous);
    }
    return true;
}

void TAsfFile::TakeGoodChunk(std::span<const std::uint8_t> chunk, std::size_t length) {
    state_ = BlockState::Good;
    ++summary_.goodChunks;
    rewindPos_ = OutputPos();
    if (length != chunkSize_) {
        Log("部分无效的数据块: " + std::to_string(length));
        ++summary_.shortChunks;
    }
    const bool mayCopy = FixForBadChunk == BadChunkAction::AskOneByOne || FixForBadChunk == BadChunkAction::CopyLastGood;
    if (mayCopy && length == chunkSize_) std::copy(chunk.begin(), chunk.end(), lastGood_.begin());
}

void TAsfFile::TakeIndexBlock(std::size_t length) {
    state_ = BlockState::Index;
    ++summary_.indexBlocks;
    --chunkCount_;
    Log("索引对象已找到, 大小:" + std::to_string(length));
    if (StripIndex) Log("索引对象已删除!");
    Log("");
}

bool TAsfFile::TakeBadChunk(std::span<std::uint8_t> chunk, BlockState previous) {
    ++summary_.badChunks;
    summary_.badChunkIndexes.push_back(chunkIndex_);
    Log(Fmt("CH:%4x,  %02X %02X, Bad chunk signature!", chunkIndex_, chunk_[0], chunk_[1]));
    switch (Decide(chunkIndex_)) {
        case BadChunkAction::DoNothing:
        case BadChunkAction::AskOneByOne:
            state_ = BlockState::Other;
            return true;
        case BadChunkAction::Delete:
            state_ = BlockState::Other;
            --chunkCount_;
            return false;
        case BadChunkAction::FillWithZero:
            state_ = BlockState::ZeroFilled;
            // A zero chunk in the file's layout: after error correction data 82 00 00 where the
            // file's packets carry it, otherwise from the first byte (flags 0, one payload of no
            // stream, which readers pass over).
            std::fill(chunk.begin(), chunk.end(), 0);
            if (layout_.errorCorrection) chunk[0] = 0x82;
            return true;
        case BadChunkAction::CopyLastGood:
            state_ = BlockState::Copied;
            std::copy(lastGood_.begin(), lastGood_.end(), chunk.begin());
            return true;
        case BadChunkAction::DeletePlusLastGood:
            --chunkCount_;
            if (previous == BlockState::Good) {
                --chunkCount_;
                countedEnd_ = rewindPos_;
            }
            state_ = BlockState::Other;
            // The output goes back to the end of the last block still counted: the good
            // chunk's start when it was just taken out, otherwise past it (an index block or
            // deleted blocks in between leave it counted, and overwriting it would leave the
            // header counting a chunk the file no longer holds). Before any block there is
            // the start of the chunk area.
            WriteRun();
            output_.Seek(countedEnd_);
            return false;
    }
    return true;
}

void TAsfFile::RewriteAndWrite(std::size_t length) {
    if (state_ != BlockState::Index) {
        std::uint32_t contentLength = ContentLength();
        const ParsedPacket& chunk = ParseKeptBlock();
        if (state_ == BlockState::Good || state_ == BlockState::Copied) TimeChunk(chunk);
        RepairPadding(chunk, contentLength);
        LogDetail(chunk.lengthTypeFlags);
    }
    if (!(state_ == BlockState::Index && StripIndex))
        Emit(chunk_.first(length));
    if (state_ != BlockState::Index) countedEnd_ = OutputPos();
}

Outcome TAsfFile::EndPass(std::vector<std::uint8_t>& header, bool aborted) {
    // A final rewind leaves the removed chunk's bytes past the write position: cut them off.
    const std::int64_t end = output_.Tell();
    output_.Truncate(end);
    summary_.chunkCount = chunkCount_;
    summary_.sendDurationMs = timing_.sendTime + timing_.lastDuration;
    if (chunkCount_ <= 0) {
        // A header over no chunk plays nothing: it would only look like a rescued file.
        Log("输出文件中没有任何数据块, 不生成输出文件.");
        RemoveOutput();
        return aborted ? Outcome::Aborted : Outcome::NothingUsable;
    }
    if (!StripHeader) FixHeader(header, end);
    summary_.outputSize = end;
    output_.Close();
    return aborted ? Outcome::Aborted : Outcome::Done;
}

void TAsfFile::FixHeader(std::vector<std::uint8_t>& header, std::int64_t outputSize) {
    const std::int64_t sendDuration = timing_.sendTime + timing_.lastDuration;
    const std::int64_t fpos = filePropsPos_, dpos = dataObjectPos_;
    const bool fpHeld = fpos + kFilePropertiesSize <= dataStart_;
    const bool dpHeld = dpos + kDataObjectHeadSize <= dataStart_;
    BytePatcher patch(header);
    auto fix = [&](bool enabled, bool held, std::int64_t at, std::int64_t value, const char* label) {
        if (!enabled) return;
        if (!held) {
            Log(std::string(label) + "?  (字段不在文件头内, 未修改)");
            return;
        }
        const auto old = static_cast<std::int64_t>(ReadU64At(header, at));
        Log(label + std::to_string(old) + "  is:" + std::to_string(value));
        patch.U64At(at, static_cast<std::uint64_t>(value));
    };
    fix(FixFileSize, fpHeld, fpos + fp::FileSize, outputSize, "文件大小,   为:");
    fix(FixDataSize, dpHeld, dpos + dobj::Size, chunkCount_ * chunkSize_ + kDataObjectHeadSize, "数据大小,   为:");
    fix(FixChunkCount, dpHeld, dpos + dobj::TotalPackets, chunkCount_, "分块数,   为:");
    // The file properties' data packets count describes the same chunks; readers rely on it.
    if (FixChunkCount && fpHeld) patch.U64At(fpos + fp::DataPacketsCount, static_cast<std::uint64_t>(chunkCount_));
    if (fpHeld) {
        // 64-bit field arithmetic wraps like the field itself; a damaged preroll must not overflow.
        const std::uint64_t preroll = ReadU64At(header, fpos + fp::Preroll);
        const auto total = static_cast<std::int64_t>(preroll * 10000u + static_cast<std::uint64_t>(sendDuration) * 10000u);
        fix(FixTotalTime, true, fpos + fp::PlayDuration, total, "全部时间,        为:");
        fix(FixPlayTime, true, fpos + fp::SendDuration, sendDuration * 10000, "纯播放时间,  为:");
        FixFlags(header);
    }
    output_.Seek(0);
    output_.Write(header);
}

void TAsfFile::FixFlags(std::vector<std::uint8_t>& header) const {
    // Only the low byte of the flags field is touched.
    std::uint8_t& flags = header[filePropsPos_ + fp::Flags];
    if (FileSeekableFlag == SeekableFlagChange::Enable) flags |= 0x02;
    if (FileSeekableFlag == SeekableFlagChange::Disable) flags &= ~0x02;
    if (LiveFlag == LiveFlagChange::Set) flags |= 0x01;
    if (LiveFlag == LiveFlagChange::Reset) flags &= ~0x01;
    if (OtherFlags == OtherFlagsChange::ClearAll) flags &= 0x03;
}

}  // namespace mendery
