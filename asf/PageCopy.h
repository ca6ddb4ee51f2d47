#pragma once
// Where file blocks are put in memory. The kernel copies between the page cache and a buffer
// several times slower on some processors when the buffer's address lies 1 to 31 bytes past the
// file offset within a 4 KiB page: on an AMD EPYC host a 1 MiB read took 5.5 times as long. The
// whole-file jobs read and write blocks at steps of whole packets, so one unlucky data start
// (a header ending just before a page boundary) put every block of a file in that case and made
// a repair pass take 2.3 times as long as on the same file with a shorter title.
// A block placed in a BlockBuffer (read into it, or gathered there to be written) lies at an
// address equal to its file position modulo 64; a write from memory that would meet the slow
// case is told apart by SlowPageCopy.
#include <cstdint>
#include <memory>
#include <span>

namespace mendery {

// True when the kernel's copy of bytes at `address` to or from the file at `filePos` would run
// with the destination 1 to 31 bytes past the source within their pages. `toFile`: a write.
inline bool SlowPageCopy(const void* address, std::int64_t filePos, bool toFile) {
    const auto a = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(address) & 4095);
    const std::int64_t f = filePos & 4095;
    const std::int64_t ahead = ((toFile ? f - a : a - f) % 4096 + 4096) % 4096;
    return ahead >= 1 && ahead <= 31;
}

// Memory for blocks of a file: a block of up to Capacity() bytes for any position.
class BlockBuffer {
public:
    static constexpr std::size_t kAlignment = 64;

    explicit BlockBuffer(std::size_t capacity = 0) { Resize(capacity); }
    // Makes room for blocks of `capacity` bytes; what the buffer held is gone.
    void Resize(std::size_t capacity) {
        if (storage_ && capacity == capacity_) return;
        // Its bytes are only ever used after a read or a write put them there: no need to
        // clear them. The spare bytes take the alignment, the file position's offset and the
        // step for a write.
        storage_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity + 3 * kAlignment);
        capacity_ = capacity;
        Place(0, 0);
    }
    std::size_t Capacity() const { return capacity_; }

    // The memory that a read of `n` bytes (at most Capacity()) from file position `pos` is to
    // fill. It stays Bytes() until the next Place. When the block is to be written out as it is
    // at file position `writePos` of another file, the write is kept out of the slow case too:
    // half the alignment further on, the read's copy still runs at full speed.
    std::span<std::uint8_t> Place(std::int64_t pos, std::size_t n, std::int64_t writePos = -1) {
        const auto start = reinterpret_cast<std::uintptr_t>(storage_.get());
        const std::uintptr_t aligned = (start + kAlignment - 1) & ~std::uintptr_t(kAlignment - 1);
        std::uint8_t* at = storage_.get() + (aligned - start) + static_cast<std::size_t>(pos & (kAlignment - 1));
        if (writePos >= 0 && SlowPageCopy(at, writePos, true)) at += kAlignment / 2;
        bytes_ = {at, n};
        return bytes_;
    }
    // The block placed last; a caller that read fewer bytes takes first(read).
    std::span<std::uint8_t> Bytes() const { return bytes_; }

private:
    std::unique_ptr<std::uint8_t[]> storage_;
    std::size_t capacity_ = 0;
    std::span<std::uint8_t> bytes_;
};

}  // namespace mendery
