#include "convert/ConvertCommon.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include "asf/AsfGuid.h"
#include "asf/PageCopy.h"
#include "asf/ReadAhead.h"

namespace mendery {

namespace {
std::size_t ReadUpTo(BinaryFile& f, std::span<std::uint8_t> out) {
    std::size_t got = 0;
    while (got < out.size()) {
        std::size_t n = f.Read(out.subspan(got));
        if (n == 0) break;
        got += n;
    }
    return got;
}
}  // namespace

SourceHead ReadSourceHead(BinaryFile& source, ILogSink& log, std::size_t maxBody) {
    SourceHead head;
    std::uint8_t objectHeader[kObjectHeaderSize]{};
    std::size_t got = ReadUpTo(source, objectHeader);
    const bool headerId = got == sizeof objectHeader && Guid::FromBytes(std::span(objectHeader).first(16)) == guids::HeaderObject;
    log.Log(headerId ? "文件头对象ID正常" : "无效的文件头对象ID");
    if (got < sizeof objectHeader) throw ConvertRefusal("文件太短, 不能转换此文件!");
    const std::uint64_t size = ReadU64At(objectHeader, 16);
    if (size < kHeaderObjectFixedSize) throw ConvertRefusal("文件头对象大小无效, 不能转换此文件!");
    if (size - kObjectHeaderSize > maxBody)
        throw ConvertRefusal("文件头对象太大 (" + std::to_string(size) + " 字节, 上限 " +
                             std::to_string(maxBody + kObjectHeaderSize) + "), 不能转换此文件!");
    head.header.assign(objectHeader, objectHeader + kObjectHeaderSize);
    head.header.resize(size);
    if (ReadUpTo(source, std::span(head.header).subspan(kObjectHeaderSize)) < size - kObjectHeaderSize)
        throw ConvertRefusal("文件在文件头中截断, 不能转换此文件!");

    std::uint8_t dataHeader[kObjectHeaderSize]{};
    got = ReadUpTo(source, dataHeader);
    const bool dataId = got == sizeof dataHeader && Guid::FromBytes(std::span(dataHeader).first(16)) == guids::DataObject;
    log.Log(dataId ? "数据对象ID正常" : "无效的数据对象ID");
    head.walk = WalkHeader(head.header);
    return head;
}

std::uint64_t ReadDataObjectTotal(BinaryFile& source) {
    std::uint8_t rest[kDataObjectHeadSize - kObjectHeaderSize]{};
    if (ReadUpTo(source, rest) < sizeof rest) return 0;
    return ReadU64At(rest, 16);
}

std::uint32_t CheckedChunkSize(std::uint32_t minPacketSize, std::size_t chunkBufferSize) {
    if (minPacketSize == 0 || minPacketSize > chunkBufferSize)
        throw ConvertRefusal("数据块大小无效 (" + std::to_string(minPacketSize) + "), 不能转换此文件!");
    return minPacketSize;
}

PacketLayout ReadPacketLayout(BinaryFile& source, std::uint32_t chunkSize, ILogSink& log) {
    const PacketLayout layout = DetectPacketLayout(source, source.Tell(), chunkSize);
    if (!layout.errorCorrection) log.Log(kNoErrorCorrectionLine);
    return layout;
}

ChunkLoop::ChunkLoop(BinaryFile& source, std::uint32_t chunkSize, const PacketLayout& layout, IHost& host, bool& aborted)
    // Never shorter than the three signature bytes that every chunk is tested and logged by.
    : source_(source),
      chunkSize_(chunkSize),
      layout_(layout),
      host_(host),
      aborted_(aborted),
      buffer_(std::max<std::size_t>(chunkSize, 3)) {}

namespace {
// Reads the source in blocks of whole chunks (about a megabyte), the next one ahead while the
// current one is used: one read call per block, and a chunk that lies whole inside its block is
// handed on where it lies, without copying. Only the short last chunk of a cut file is copied
// into the zeroed chunk buffer.
class ChunkBlocks {
public:
    ChunkBlocks(const BinaryFile& f, std::int64_t pos, std::uint32_t chunkSize)
        : pos_(pos), chunkSize_(chunkSize), blocks_(f, ChunkBlockSize(chunkSize)) {}
    // The next chunk, or an empty span at the end of the file.
    std::span<const std::uint8_t> Next(std::span<std::uint8_t> shortChunk) {
        if (at_ == block_.size()) {
            // pos_ is where the next block starts: every chunk handed out so far was read.
            block_ = blocks_.Read(pos_);
            at_ = 0;
            if (block_.empty()) return {};
        }
        const std::size_t n = std::min<std::size_t>(chunkSize_, block_.size() - at_);
        std::span<const std::uint8_t> chunk = block_.subspan(at_, n);
        at_ += n;
        pos_ += static_cast<std::int64_t>(n);
        valid_ = n;
        if (n == chunkSize_ && n >= 3) return chunk;
        // A short read at the end of the file leaves the rest of the chunk zero.
        std::fill(shortChunk.begin(), shortChunk.end(), 0);
        std::copy(chunk.begin(), chunk.end(), shortChunk.begin());
        return shortChunk;
    }
    std::int64_t Pos() const { return pos_; }
    // How many bytes of the chunk handed out last came from the file.
    std::size_t Valid() const { return valid_; }

private:
    std::int64_t pos_;
    std::uint32_t chunkSize_;
    ReadAheadBlocks blocks_;
    std::span<const std::uint8_t> block_;
    std::size_t at_ = 0, valid_ = 0;
};

}  // namespace

std::size_t ChunkBlockSize(std::uint32_t chunkSize) { return std::max<std::size_t>(1, (1 << 20) / chunkSize) * chunkSize; }

std::string_view CountText(std::int64_t done, std::int64_t total, std::span<char, 48> out) {
    char* end = std::to_chars(out.data(), out.data() + 23, done).ptr;
    *end++ = '/';
    end = std::to_chars(end, out.data() + out.size(), total).ptr;
    return {out.data(), static_cast<std::size_t>(end - out.data())};
}

std::string InvalidChunkLine(std::span<const std::uint8_t> chunk, std::int64_t index) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X%02X%02X", chunk[0], chunk[1], chunk[2]);
    return std::string("无效的 ID: ") + hex + ",  Chunk #" + std::to_string(index);
}

ChunkPass ChunkLoop::Run(std::int64_t total, const Parser& parse) {
    ChunkPass pass;
    std::array<char, 48> status;
    const std::int64_t end = source_.Size();
    ChunkBlocks in(source_, source_.Tell(), chunkSize_);
    if (aborted_) {
        host_.Log("--->>已中止");
        pass.aborted = true;
        return pass;
    }
    for (std::int64_t index = 0; in.Pos() < end; ++index) {
        host_.SetProgress(index);
        host_.SetStatus(CountText(index + 1, total, status));
        const std::span<const std::uint8_t> block = in.Next(buffer_);
        if (block.empty()) break;
        const BlockKind kind = ClassifyPacket(block, in.Valid(), chunkSize_, layout_);
        if (kind == BlockKind::Index) break;
        try {
            if (kind == BlockKind::Good) {
                parse(block.first(chunkSize_));
            } else {
                host_.Log(InvalidChunkLine(block, index));
                ++pass.abandoned;
            }
        } catch (const IoError&) {
            throw;
        } catch (const ConvertRefusal&) {
            throw;
        } catch (const std::exception&) {
            host_.Log("--->>数据块错误 #" + std::to_string(index));
        }
        host_.ProcessMessages();
        if (aborted_) {
            // Left before the index counts the chunk, as the summary lines always have.
            host_.Log("--->>已中止");
            pass.aborted = true;
            break;
        }
        pass.count = index + 1;
    }
    // The source stands behind the last chunk read, as if read chunk by chunk.
    source_.Seek(in.Pos());
    return pass;
}

void ForEachPayload(std::span<const std::uint8_t> chunk, std::uint32_t chunkSize, const PayloadHandler& each) {
    // One per thread (the analysis parses on two), its payload list reused chunk after chunk.
    thread_local ParsedPacket packet;
    ParsePacket(chunk, chunkSize, packet);
    for (const auto& payload : packet.payloads) {
        // The sub-payloads of a compressed payload are split only once the whole packet parsed.
        if (!packet.ok && payload.compressed) continue;
        each(chunk, packet, payload);
    }
    // A multiple-payload chunk that declares no payload simply holds nothing.
    if (!packet.ok && packet.errorKind != PacketError::ZeroPayloadCount) throw TruncatedData(packet.error);
}

MediaObjectAssembler::Result MediaObjectAssembler::Put(std::uint32_t offset, std::span<const std::uint8_t> data,
                                                         std::uint32_t objectSize) {
    if (offset > buffer_.size() || data.size() > buffer_.size() - offset) return Result::TooLarge;
    std::memcpy(buffer_.data() + offset, data.data(), data.size());
    if (std::uint64_t(offset) + data.size() != objectSize) return Result::Stored;
    objectSize_ = objectSize;
    return Result::Complete;
}

void RunConversion(IHost& host, Outcome& outcome, const std::function<void()>& work) {
    try {
        work();
    } catch (const ConvertRefusal& e) {
        host.Log(e.what());
        outcome = Outcome::Refused;
    } catch (const IoError& e) {
        host.Log("--->> 转换中写入错误");
        // The fixed line does not say which file failed or why (a read error ends up here too).
        host.Log(std::string("访问文件出错: ") + e.what());
        outcome = Outcome::Failed;
    } catch (const std::exception&) {
        // Header objects that contradict their own sizes: the input, not the disk, failed.
        host.Log("--->> 转换中写入错误");
        outcome = Outcome::Refused;
    }
}

}  // namespace mendery
