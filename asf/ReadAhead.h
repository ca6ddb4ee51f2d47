#pragma once
// Whole-file passes read a file in blocks of about a megabyte, in order. While the caller works
// through one block, a thread of its own reads the next into a second buffer: the kernel's copy
// into memory is a third of a rewrite's time, and it then overlaps the parsing and writing.
#include <cstdint>
#include <exception>
#include <span>

#include "asf/BinaryFile.h"
#include "asf/PageCopy.h"
#include "asf/SideThread.h"

namespace mendery {

class ReadAheadBlocks {
public:
    ReadAheadBlocks(const BinaryFile& file, std::size_t blockSize);
    ReadAheadBlocks(const ReadAheadBlocks&) = delete;
    ReadAheadBlocks& operator=(const ReadAheadBlocks&) = delete;

    // The block at `pos`: up to the block size, fewer only at the end of the file, placed as
    // BlockBuffer places it. It stays as read (and may be changed by the caller) until the
    // next call. A whole block starts the read of the one after it. A read ahead that failed
    // throws here, when its block is asked for; one never asked for is dropped unseen.
    std::span<std::uint8_t> Read(std::int64_t pos);

private:
    void StartAhead(std::int64_t pos);
    // Waits for the read ahead; true when it read the block at `pos`.
    bool TakeAhead(std::int64_t pos);

    const BinaryFile& file_;
    std::size_t blockSize_;
    BlockBuffer blocks_[2];
    int current_ = 0;
    std::int64_t aheadPos_ = -1;  // the block being read ahead starts here; -1: none
    std::size_t aheadLength_ = 0;
    std::exception_ptr aheadFailure_;
    // Last: it is joined before the buffers and the read-ahead state go.
    SideThread side_;
};

}  // namespace mendery
