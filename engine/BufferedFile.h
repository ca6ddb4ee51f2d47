#pragma once
// Sequential reading and writing through a large buffer, so that a pass over many small
// chunks costs few system calls. Positions are 64-bit and always exact.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/BinaryFile.h"

namespace mendery {

class BufferedReader {
public:
    explicit BufferedReader(BinaryFile& file, std::size_t capacity = 1 << 20) : file_(file), buffer_(capacity) {}
    // Reads up to out.size() bytes; fewer only at the end of the file.
    std::size_t Read(std::span<std::uint8_t> out);
    void Seek(std::int64_t pos);
    std::int64_t Position() const { return filePos_ - static_cast<std::int64_t>(end_ - next_); }

private:
    BinaryFile& file_;
    std::vector<std::uint8_t> buffer_;
    std::size_t next_ = 0, end_ = 0;
    std::int64_t filePos_ = 0;  // file position of buffer_[end_]
};

class BufferedWriter {
public:
    explicit BufferedWriter(BinaryFile& file, std::size_t capacity = 1 << 20) : file_(file) { buffer_.reserve(capacity); }
    ~BufferedWriter() = default;  // call Flush(): a destructor cannot report a full disk
    void Write(std::span<const std::uint8_t> data);
    void Seek(std::int64_t pos);
    void Flush();
    std::int64_t Position() const { return filePos_ + static_cast<std::int64_t>(buffer_.size()); }

private:
    BinaryFile& file_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t filePos_ = 0;  // file position where buffer_ begins
};

}  // namespace mendery
