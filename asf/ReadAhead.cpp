#include "asf/ReadAhead.h"

#include <utility>

namespace mendery {

ReadAheadBlocks::ReadAheadBlocks(const BinaryFile& file, std::size_t blockSize)
    : file_(file), blockSize_(blockSize), blocks_{BlockBuffer(blockSize), BlockBuffer(blockSize)} {}

std::span<std::uint8_t> ReadAheadBlocks::Read(std::int64_t pos) {
    std::size_t length = 0;
    if (TakeAhead(pos)) {
        current_ ^= 1;
        length = aheadLength_;
    } else {
        length = file_.ReadAt(pos, blocks_[current_].Place(pos, blockSize_));
    }
    if (length == blockSize_) StartAhead(pos + static_cast<std::int64_t>(length));
    return blocks_[current_].Bytes().first(length);
}

bool ReadAheadBlocks::TakeAhead(std::int64_t pos) {
    if (aheadPos_ < 0) return false;
    side_.Wait();
    const bool hit = aheadPos_ == pos;
    aheadPos_ = -1;
    std::exception_ptr failure = std::exchange(aheadFailure_, nullptr);
    if (hit && failure) std::rethrow_exception(failure);
    return hit;
}

void ReadAheadBlocks::StartAhead(std::int64_t pos) {
    aheadPos_ = pos;
    BlockBuffer& other = blocks_[current_ ^ 1];
    side_.Start([this, pos, &other] {
        try {
            aheadLength_ = file_.ReadAt(pos, other.Place(pos, blockSize_));
        } catch (...) {
            aheadFailure_ = std::current_exception();
        }
    });
}

}  // namespace mendery
