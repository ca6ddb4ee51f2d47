// ChunkLoop::RunTimeScan: a pass that only looks at payload times reads and parses its blocks on
// two threads. Each thread reads a block of chunks into a buffer of its own and parses it there,
// so the bytes never cross to the other core; only what the parse found (a few bytes a payload)
// does, and the loop's thread takes it in file order.
#include <exception>
#include <memory>

#include "convert/ConvertCommon.h"
#include "asf/PageCopy.h"
#include "asf/SideThread.h"

namespace mendery {

// What the chunks of one block held, as the loop needs it to replay them.
struct ChunkLoop::BlockFindings {
    struct Chunk {
        BlockKind kind = BlockKind::Bad;
        std::uint8_t head[3]{};  // the first bytes, for the line of a chunk that is no packet
        std::size_t length = 0;  // bytes of the file it holds
        std::size_t timesEnd = 0;  // its times end here in `times`
        bool damaged = false;  // the parse threw after its times: logged as a damaged chunk
        std::exception_ptr thrown;  // the parse threw what ends the pass
    };
    std::vector<Chunk> chunks;
    std::vector<PayloadTime> times;
    std::exception_ptr readFailure;
};

namespace {

// Reads one block at a given position and finds what its chunks hold.
class BlockFinder {
public:
    BlockFinder(const BinaryFile& file, std::uint32_t chunkSize, const PacketLayout& layout,
                const ChunkLoop::TimeFinder& find)
        : file_(file),
          chunkSize_(chunkSize),
          layout_(layout),
          find_(find),
          blockSize_(ChunkBlockSize(chunkSize)),
          block_(blockSize_),
          shortChunk_(std::max<std::size_t>(chunkSize, 3)) {}

    // The chunks of the block at `pos` that begin before `end`. Never throws: a failure is kept
    // in `out` for the loop's thread.
    void Find(std::int64_t pos, std::int64_t end, ChunkLoop::BlockFindings& out) noexcept {
        out.chunks.clear();
        out.times.clear();
        out.readFailure = nullptr;
        try {
            const std::size_t got = file_.ReadAt(pos, block_.Place(pos, blockSize_));
            for (std::size_t at = 0; at < got && pos + static_cast<std::int64_t>(at) < end;) {
                const std::size_t length = std::min<std::size_t>(chunkSize_, got - at);
                if (!FindInChunk(ChunkAt(at, length), length, out)) return;
                at += length;
            }
        } catch (...) {
            out.readFailure = std::current_exception();
        }
    }

private:
    // A whole chunk where it lies; the short last chunk of a cut file with zeros after it.
    std::span<const std::uint8_t> ChunkAt(std::size_t at, std::size_t length) {
        const std::span<const std::uint8_t> chunk = block_.Bytes().subspan(at, length);
        if (length == chunkSize_ && length >= 3) return chunk;
        std::fill(shortChunk_.begin(), shortChunk_.end(), 0);
        std::copy(chunk.begin(), chunk.end(), shortChunk_.begin());
        return shortChunk_;
    }

    // False when the pass ends at this chunk (the index begins, or the parse threw what ends it).
    bool FindInChunk(std::span<const std::uint8_t> chunk, std::size_t length, ChunkLoop::BlockFindings& out) {
        auto& found = out.chunks.emplace_back();
        found.kind = ClassifyPacket(chunk, length, chunkSize_, layout_);
        std::copy_n(chunk.begin(), 3, found.head);
        found.length = length;
        if (found.kind == BlockKind::Good) {
            try {
                find_(chunk.first(chunkSize_), out.times);
            } catch (const IoError&) {
                found.thrown = std::current_exception();
            } catch (const ConvertRefusal&) {
                found.thrown = std::current_exception();
            } catch (const std::exception&) {
                found.damaged = true;
            }
        }
        found.timesEnd = out.times.size();
        return found.kind != BlockKind::Index && !found.thrown;
    }

    const BinaryFile& file_;
    std::uint32_t chunkSize_;
    const PacketLayout& layout_;
    const ChunkLoop::TimeFinder& find_;
    std::size_t blockSize_;
    BlockBuffer block_;
    std::vector<std::uint8_t> shortChunk_;
};

}  // namespace

ChunkPass ChunkLoop::RunTimeScan(std::int64_t total, const TimeFinder& find, const TimeTaker& take) {
    ChunkPass pass;
    if (aborted_) {
        host_.Log("--->>已中止");
        pass.aborted = true;
        return pass;
    }
    const std::int64_t end = source_.Size();
    const auto blockSize = static_cast<std::int64_t>(ChunkBlockSize(chunkSize_));
    BlockFinder mine(source_, chunkSize_, layout_, find), theirs(source_, chunkSize_, layout_, find);
    // The other thread's findings take turns: it finds the next pair's second block into one
    // while this thread replays the other. What it finds for a pair never reached is dropped.
    BlockFindings own, ahead[2];
    int slot = 0;
    std::int64_t aheadPos = -1;  // the block the other thread finds into ahead[slot]
    // Last: it is joined before the finders and findings go.
    SideThread side;
    const auto findAhead = [&](std::int64_t at) {
        aheadPos = at < end ? at : -1;
        if (aheadPos >= 0) side.Start([&theirs, &found = ahead[slot], at, end] { theirs.Find(at, end, found); });
    };
    std::int64_t index = 0, pos = source_.Tell();
    findAhead(pos + blockSize);
    // Blocks in pairs: this thread finds the first, the other thread the second.
    for (bool over = false; !over && pos < end;) {
        const std::int64_t second = pos + blockSize;
        mine.Find(pos, end, own);
        side.Wait();
        BlockFindings* other = second < end ? &ahead[slot] : nullptr;
        // A pair that did not start where whole blocks put it (the file shrank under us).
        if (other && aheadPos != second) theirs.Find(second, end, *other);
        slot ^= 1;
        findAhead(second + 2 * blockSize);
        over = Replay(own, total, index, pos, pass, take) || !other || Replay(*other, total, index, pos, pass, take);
    }
    // The source stands behind the last chunk read, as if read chunk by chunk.
    source_.Seek(pos);
    return pass;
}

bool ChunkLoop::Replay(const BlockFindings& block, std::int64_t total, std::int64_t& index, std::int64_t& pos,
                       ChunkPass& pass, const TimeTaker& take) {
    std::array<char, 48> status;
    if (block.chunks.empty()) {
        // The read found nothing (the file shrank under us) or failed.
        host_.SetProgress(index);
        host_.SetStatus(CountText(index + 1, total, status));
        if (block.readFailure) std::rethrow_exception(block.readFailure);
        return true;
    }
    std::size_t time = 0;
    for (const auto& chunk : block.chunks) {
        host_.SetProgress(index);
        host_.SetStatus(CountText(index + 1, total, status));
        pos += static_cast<std::int64_t>(chunk.length);
        if (chunk.kind == BlockKind::Index) return true;
        if (chunk.kind == BlockKind::Good) {
            for (; time < chunk.timesEnd; ++time) take(block.times[time]);
            if (chunk.thrown) std::rethrow_exception(chunk.thrown);
            if (chunk.damaged) host_.Log("--->>数据块错误 #" + std::to_string(index));
        } else {
            host_.Log(InvalidChunkLine(chunk.head, index));
            ++pass.abandoned;
        }
        host_.ProcessMessages();
        if (aborted_) {
            host_.Log("--->>已中止");
            pass.aborted = true;
            return true;
        }
        pass.count = index + 1;
        ++index;
    }
    // What failed after the chunks found (a read fails before them) ends the pass there.
    if (block.readFailure) std::rethrow_exception(block.readFailure);
    return false;
}

}  // namespace mendery
