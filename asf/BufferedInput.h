#pragma once
// A read-only file seen through one fixed 64 KiB window. The recovery tools step through their
// input a chunk or a single byte at a time and seek back a few bytes while searching; the
// window turns that into one system call per 64 KiB while keeping exact file positions.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "asf/BinaryFile.h"
#include "asf/PageCopy.h"

namespace mendery {

class BufferedInput {
public:
    static constexpr std::size_t kWindowSize = 65536;

    void Open(const std::string& path);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }

    // Reads up to out.size() bytes; fewer only at the end of the file. What the window does
    // not hold of a request of a window or more is read directly into `out`.
    std::size_t Read(std::span<std::uint8_t> out);
    // One byte, or -1 at the end of the file.
    int ReadByte() {
        if (pos_ >= windowStart_ && pos_ < windowStart_ + static_cast<std::int64_t>(windowLength_))
            return window_.Bytes()[static_cast<std::size_t>(pos_++ - windowStart_)];
        return ReadByteSlow();
    }
    // Looks for `value` at the positions from Tell() up to `limit` (exclusive). Found: returns
    // its position and stands just after it. Not found: returns -1 and stands at `limit`, or
    // at the end of the file when that comes first.
    std::int64_t FindByte(std::uint8_t value, std::int64_t limit);
    void Seek(std::int64_t pos) { pos_ = pos; }
    std::int64_t Tell() const { return pos_; }
    std::int64_t Size() const { return size_; }
    bool AtEnd() const { return pos_ >= size_; }
    // The file itself, for reads at given positions (BinaryFile::ReadAt) that bypass the window.
    const BinaryFile& File() const { return file_; }

private:
    int ReadByteSlow();
    void Fill(std::int64_t at);

    BinaryFile file_;
    BlockBuffer window_{kWindowSize};
    std::int64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
    std::int64_t pos_ = 0, size_ = 0;
};

}  // namespace mendery
