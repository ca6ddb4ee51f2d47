#include "repair/AsfFile.h"

#include <algorithm>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/ByteCursor.h"
#include "asf/Format.h"
#include "asf/StagedOutput.h"

namespace mendery {

namespace {
bool KeptByCleaning(const Guid& g) {
    return g == guids::FileProperties || g == guids::HeaderExtension || g == guids::StreamProperties ||
           g == guids::CodecList || g == guids::ContentDescription || g == guids::ExtendedContentDescription ||
           g == guids::ExtendedContentEncryption;
}
}  // namespace

void TAsfFile::Log(int level, const std::string& text) {
    if (!LogBox) return;
    if (level < 0) LogBox->ClearLog();
    else if (level == 0 || WriteLog) LogBox->Log(text);
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
        Log(0, std::string("访问文件出错: ") + e.what());
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
    Log(0, "文件已关闭");
}

bool TAsfFile::Open() {
    Log(-1, "");
    Log(0, "打开中" + FileName);
    source_.Open(FileName);
    sourceSize_ = source_.Size();
    std::fill(buffer_.begin(), buffer_.end(), 0);
    headerBytes_ = source_.Read(std::span(buffer_).first(kHeaderBufferSize));
    const auto held = std::span<const std::uint8_t>(buffer_).first(headerBytes_);

    const std::int64_t hp = FindGuid(held, guids::HeaderObject);
    if (hp < 0 || static_cast<std::uint64_t>(hp) + kObjectHeaderSize > headerBytes_) {
        Log(0, "找不到ASF标识!");
        return false;
    }
    if (hp == 0 && !TrustHeaderSize()) return false;
    if (CleanHeader && !CleanHeaderInBuffer()) return false;

    // The first chunk is taken to begin DataStart bytes from the start of the file.
    const std::uint64_t dataStart = std::uint64_t(ReadU32At(held, hp + 16)) + kDataObjectHeadSize;
    if (dataStart > headerBytes_) {
        if (headerBytes_ < kHeaderBufferSize)
            Log(0, "文件头不完整 (文件在文件头或数据对象头中截断), 不能处理此文件!");
        else
            Log(0, "文件头太大 (超过" + std::to_string(kHeaderBufferSize) + "字节), 不能处理此文件!");
        return false;
    }
    dataStart_ = static_cast<std::uint32_t>(dataStart);

    filePropsPos_ = FindGuid(held, guids::FileProperties);
    if (filePropsPos_ < 0 || static_cast<std::uint64_t>(filePropsPos_) + kFilePropertiesSize > headerBytes_) {
        Log(0, "找不到文件头标识!");
        return false;
    }
    chunkSize_ = ReadU32At(held, filePropsPos_ + fp::MinPacketSize);
    if (chunkSize_ == 0 || chunkSize_ > 65535 || ReadU32At(held, filePropsPos_ + fp::MaxPacketSize) != chunkSize_) {
        Log(0, "数据块大小无效, 不能处理此文件!");
        return false;
    }
    Log(0, "数据块大小为" + std::to_string(chunkSize_));

    dataObjectPos_ = FindGuid(held, guids::DataObject);
    if (dataObjectPos_ < 0) {
        Log(0, "找不到数据标识!");
        return false;
    }
    if (OnFileOpened) OnFileOpened(*this);
    return true;
}

bool TAsfFile::TrustHeaderSize() {
    const auto held = std::span<const std::uint8_t>(buffer_).first(headerBytes_);
    const std::uint32_t declared = ReadU32At(held, 16);
    if (DataObjectAt(held, declared)) return true;
    // A damaged size field: the sub-objects still tell where the header ends when they lead
    // exactly to the data object. The copy gets the size they give.
    if (const auto walked = HeaderSizeFromChildren(held)) {
        Log(0, "文件头大小无效:" + std::to_string(ReadU64At(held, 16)) + ", 按子对象计算为:" + std::to_string(*walked));
        BytePatcher(buffer_).U64At(16, *walked);
        return true;
    }
    if (declared < kHeaderObjectFixedSize) {
        Log(0, "文件头对象大小无效 (" + std::to_string(declared) + "字节), 不能处理此文件!");
        return false;
    }
    return true;  // the checks below judge a size that is merely unconfirmed
}

bool TAsfFile::CleanHeaderInBuffer() {
    const auto held = std::span<const std::uint8_t>(buffer_).first(headerBytes_);
    if (headerBytes_ < kHeaderObjectFixedSize || FindGuid(held.first(16), guids::HeaderObject) != 0) {
        Log(0, "文件头不在文件开始处, 不能清除文件头!");
        return false;
    }
    const std::uint64_t size = ReadU64At(held, 16);
    if (size > kCleanBufferSize || size > headerBytes_ || size < kHeaderObjectFixedSize) {
        Log(0, "文件头太大或无效, 不能清除文件头!");
        return false;
    }
    std::vector<std::uint8_t> fresh(size, 0);
    std::copy_n(buffer_.begin(), kHeaderObjectFixedSize, fresh.begin());
    BytePatcher out(fresh);
    std::uint32_t count = 0;
    std::uint64_t write = kHeaderObjectFixedSize;
    for (const auto& o : WalkHeader(held.first(size)).objects) {
        if (!KeptByCleaning(o.guid)) continue;
        std::copy_n(buffer_.begin() + o.offset, o.size, fresh.begin() + write);
        write += o.size;
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

TFixForBadChunk TAsfFile::Decide(std::int64_t chunkIndex) {
    if (FixForBadChunk != fbAskOneByOne) return FixForBadChunk;
    TFixForBadChunk answer = fbDoNothing;
    if (OnDecideForBadChunk) OnDecideForBadChunk(*this, answer, chunkIndex);
    return answer == fbAskOneByOne ? fbDoNothing : answer;
}

std::uint32_t TAsfFile::ContentLength() const {
    for (std::uint32_t i = chunkSize_ - 1; i >= 1; --i)
        if (buffer_[i] != 0) return i + 1;
    return 1;
}

void TAsfFile::TimeBlock(std::uint8_t t) {
    const auto buf = std::span<const std::uint8_t>(buffer_);
    const KnownLayout* layout = FindKnownLayout(t);
    int p, q;
    std::uint16_t d;
    if (layout) {
        p = layout->sendTimeAt;
        q = layout->mediaOffsetAt;
        timing_.lastSendTimePos = p;
        d = ReadU16At(buf, p + 4);
    } else {
        Log(0, Fmt("未知填充标记: %02x", t));
        p = timing_.lastSendTimePos;
        d = timing_.lastDuration;
        q = 0;
    }
    const std::int64_t stored = static_cast<std::int32_t>(ReadU32At(buf, p));
    const std::int64_t fresh = timing_.sendTime + timing_.lastDuration;
    timing_.mediaOffset = ReadU32At(buf, q);
    // An unknown layout gives no trustworthy field positions: its chunk is timed on the
    // running clock but its bytes are not rewritten, since a guessed position would
    // overwrite payload data.
    if (FixTimeCodes && layout) {
        BytePatcher w(buffer_);
        w.U16At(p + 4, d);
        w.U32At(p, static_cast<std::uint32_t>(fresh));
    }
    timing_.storedSendTime = stored;
    timing_.newSendTime = fresh;
    timing_.duration = d;
    timing_.sendTime = fresh;
    timing_.lastDuration = d;
}

void TAsfFile::RepairPadding(std::uint8_t t, std::uint32_t& length) {
    // Only a two-byte packet length field (type 2) can be removed: type 3 also has bit 0x40
    // set but is four bytes wide.
    if (FixPad40 && (t & 0x60) == 0x40) {
        if (length >= 6) std::copy(buffer_.begin() + 7, buffer_.begin() + length + 2, buffer_.begin() + 5);
        buffer_[3] = static_cast<std::uint8_t>(t - 0x40);
        length -= 2;
    }
    const std::uint8_t now = buffer_[3];
    const std::uint32_t padAt = 5 + LengthTypeWidth((now >> 5) & 3) + LengthTypeWidth((now >> 1) & 3);
    const std::uint32_t padding = chunkSize_ - length;
    BytePatcher w(buffer_);
    if (FixPad10 && (t & 0x10)) w.U16At(padAt, static_cast<std::uint16_t>(padding));
    if (FixPad08 && (t & 0x08)) w.U8At(padAt, static_cast<std::uint8_t>(padding));
}

void TAsfFile::LogDetail(std::uint8_t t) {
    if (!WriteLog || !LogBox) return;
    const auto& b = buffer_;
    Log(1, Fmt("CH:%4x, CC:%4x, TC:%4x-%4x,%4x, I:%x,  P:%02X,  4: %02X %02X %02X %02X - %02X %02X %02X %02X %02X %02X "
               "%02X %02X - %02X %02X %02X %02X %02X %02X %02X %02X",
               chunkIndex_, chunkCount_, timing_.storedSendTime, timing_.newSendTime, timing_.mediaOffset,
               timing_.duration, t, b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15], b[16],
               b[17], b[18], b[19], b[20], b[21], b[22], b[23]));
}

void TAsfFile::Repair() {
    if (!active_) return;
    summary_ = {};
    const std::string refusal = OutputRefusalLine(FileName, OutFileName);
    if (!refusal.empty()) {
        Log(0, refusal);
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
    Log(0, "访问文件出错: " + reason);
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
    Aborted = false;
    output_.Create(OutFileName);
    // The header as written; the header fixes patch this copy, since the buffer then holds chunks.
    std::vector<std::uint8_t> header(buffer_.begin(), buffer_.begin() + dataStart_);
    if (!StripHeader) output_.Write(header);
    lastGood_.assign(chunkSize_, 0);
    source_.Seek(dataStart_);
    std::int64_t sourcePos = dataStart_;
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
    bool aborted = false;
    const auto chunk = std::span<std::uint8_t>(buffer_).first(chunkSize_);
    // Only the first bytes of the buffer are ever written (the chunk, and fields below offset
    // 32 of a tiny one), so clearing those before each read keeps the whole buffer clear.
    std::fill(buffer_.begin(), buffer_.end(), 0);
    const auto dirty = std::span<std::uint8_t>(buffer_).first(std::max<std::size_t>(chunkSize_ + 2, 32));
    while (sourcePos < sourceSize_) {
        if (Aborted) {
            Aborted = false;
            Log(0, "");
            Log(0, "-->> 用户请求中止! <<--");
            Log(0, "");
            aborted = true;
            break;
        }
        std::fill(dirty.begin(), dirty.end(), 0);
        const std::size_t r = source_.Read(chunk);
        if (r == 0) break;  // the file shrank under us
        sourcePos += static_cast<std::int64_t>(r);
        ++chunkIndex_;
        ++chunkCount_;
        ++summary_.blocks;
        if (ProgBar) ProgBar->SetProgress(chunkIndex_);

        const BlockState previous = state_;
        bool skip = false;
        switch (ClassifyBlock(chunk)) {
            case BlockKind::Good:
                state_ = BlockState::Good;
                ++summary_.goodChunks;
                rewindPos_ = output_.Tell();
                if (r != chunkSize_) {
                    Log(0, "部分无效的数据块: " + std::to_string(r));
                    ++summary_.shortChunks;
                }
                if ((FixForBadChunk == fbAskOneByOne || FixForBadChunk == fbCopyLastGood) && r == chunkSize_)
                    std::copy(chunk.begin(), chunk.end(), lastGood_.begin());
                break;
            case BlockKind::Index:
                state_ = BlockState::Index;
                ++summary_.indexBlocks;
                --chunkCount_;
                Log(0, "索引对象已找到, 大小:" + std::to_string(r));
                if (StripIndex) Log(0, "索引对象已删除!");
                Log(0, "");
                break;
            case BlockKind::Bad: {
                ++summary_.badChunks;
                summary_.badChunkIndexes.push_back(chunkIndex_);
                Log(0, Fmt("CH:%4x,  %02X %02X, Bad chunk signature!", chunkIndex_, chunk[0], chunk[1]));
                switch (Decide(chunkIndex_)) {
                    case fbDoNothing:
                    case fbAskOneByOne:
                        state_ = BlockState::Other;
                        break;
                    case fbDeleteThem:
                        state_ = BlockState::Other;
                        --chunkCount_;
                        skip = true;
                        break;
                    case fbFillWithZero:
                        state_ = BlockState::ZeroFilled;
                        std::fill(chunk.begin(), chunk.end(), 0);
                        chunk[0] = 0x82;
                        break;
                    case fbCopyLastGood:
                        state_ = BlockState::Copied;
                        std::copy(lastGood_.begin(), lastGood_.end(), chunk.begin());
                        break;
                    case fbDelitPlusLastGood:
                        --chunkCount_;
                        if (previous == BlockState::Good) {
                            --chunkCount_;
                            countedEnd_ = rewindPos_;
                        }
                        state_ = BlockState::Other;
                        // The output goes back to the end of the last block still counted: the
                        // good chunk's start when it was just taken out, otherwise past it (an
                        // index block or deleted blocks in between leave it counted, and
                        // overwriting it would leave the header counting a chunk the file no
                        // longer holds). Before any block there is the start of the chunk area.
                        output_.Seek(countedEnd_);
                        skip = true;
                        break;
                }
                break;
            }
        }
        if (skip) {
            if (Host) Host->ProcessMessages();
            continue;
        }
        std::uint32_t length = ContentLength();
        const std::uint8_t t = buffer_[3];
        if (state_ == BlockState::Good || state_ == BlockState::Copied) TimeBlock(t);
        if (state_ != BlockState::Index) {
            RepairPadding(t, length);
            LogDetail(t);
        }
        if (!(state_ == BlockState::Index && StripIndex)) output_.Write(std::span<const std::uint8_t>(buffer_).first(r));
        if (state_ != BlockState::Index) countedEnd_ = output_.Tell();
        if (Host) Host->ProcessMessages();
    }
    // A final rewind leaves the removed chunk's bytes past the write position: cut them off.
    const std::int64_t end = output_.Tell();
    output_.Truncate(end);
    summary_.chunkCount = chunkCount_;
    summary_.sendDurationMs = timing_.sendTime + timing_.lastDuration;
    if (chunkCount_ <= 0) {
        // A header over no chunk plays nothing: it would only look like a rescued file.
        Log(0, "输出文件中没有任何数据块, 不生成输出文件.");
        RemoveOutput();
        return aborted ? Outcome::Aborted : Outcome::NothingUsable;
    }
    if (!StripHeader) FixHeader(header, end);
    summary_.outputSize = end;
    output_.Close();
    return aborted ? Outcome::Aborted : Outcome::Done;
}

void TAsfFile::FixHeader(std::vector<std::uint8_t>& header, std::int64_t outputSize) {
    const std::int64_t e = timing_.sendTime + timing_.lastDuration;
    const std::int64_t fpos = filePropsPos_, dpos = dataObjectPos_;
    const bool fpHeld = fpos + kFilePropertiesSize <= dataStart_;
    const bool dpHeld = dpos + kDataObjectHeadSize <= dataStart_;
    BytePatcher w(header);
    auto fix = [&](bool enabled, bool held, std::int64_t at, std::int64_t value, const char* label) {
        if (!enabled) return;
        if (!held) {
            Log(0, std::string(label) + "?  (字段不在文件头内, 未修改)");
            return;
        }
        const auto old = static_cast<std::int64_t>(ReadU64At(header, at));
        Log(0, label + std::to_string(old) + "  is:" + std::to_string(value));
        w.U64At(at, static_cast<std::uint64_t>(value));
    };
    fix(FixFileSize, fpHeld, fpos + fp::FileSize, outputSize, "文件大小,   为:");
    fix(FixDataSize, dpHeld, dpos + dobj::Size, chunkCount_ * chunkSize_ + kDataObjectHeadSize, "数据大小,   为:");
    fix(FixChunkCount, dpHeld, dpos + dobj::TotalPackets, chunkCount_, "分块数,   为:");
    // The file properties' data packets count describes the same chunks; readers rely on it.
    if (FixChunkCount && fpHeld) w.U64At(fpos + fp::DataPacketsCount, static_cast<std::uint64_t>(chunkCount_));
    if (fpHeld) {
        // 64-bit field arithmetic wraps like the field itself; a damaged preroll must not overflow.
        const std::uint64_t preroll = ReadU64At(header, fpos + fp::Preroll);
        const auto total = static_cast<std::int64_t>(preroll * 10000u + static_cast<std::uint64_t>(e) * 10000u);
        fix(FixTotalTime, true, fpos + fp::PlayDuration, total, "全部时间,        为:");
        fix(FixPlayTime, true, fpos + fp::SendDuration, e * 10000, "纯播放时间,  为:");
        std::uint8_t flags = header[fpos + fp::Flags];
        if (FileSeekableFlag == fsEnableSeek) flags |= 0x02;
        if (FileSeekableFlag == fsDisableSeek) flags &= ~0x02;
        if (LiveFlag == lfSetLive) flags |= 0x01;
        if (LiveFlag == lfResetLive) flags &= ~0x01;
        if (OtherFlags == ofClearAll) flags &= 0x03;
        header[fpos + fp::Flags] = flags;
    }
    output_.Seek(0);
    output_.Write(header);
}

}  // namespace mendery
