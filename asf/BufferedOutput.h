#pragma once
// A new output file written through one fixed buffer: the tools write a chunk, a media object
// or a few header bytes at a time, and the buffer turns that into one system call per buffer
// length. Seeking, sizing, patching and truncating write out what is pending first, so
// positions are always those of the file.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "asf/BinaryFile.h"

namespace mendery {

class BufferedOutput {
public:
    static constexpr std::size_t kBufferSize = 131072;

    explicit BufferedOutput(std::size_t capacity = kBufferSize)
        // Never read before it is written: no need to clear it.
        : buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity)), capacity_(capacity) {}

    // Creates (or empties) the file at `path`; nothing is pending afterwards.
    void Create(const std::string& path) {
        file_.Open(path, BinaryFile::Mode::Create);
        base_ = 0;
        pending_ = 0;
    }
    bool IsOpen() const { return file_.IsOpen(); }

    // Copies into the buffer; a write as large as the buffer goes to the file directly.
    void Write(std::span<const std::uint8_t> data) {
        if (data.size() <= capacity_ - pending_ && data.size() < capacity_ && !data.empty()) {
            std::memcpy(buffer_.get() + pending_, data.data(), data.size());
            pending_ += data.size();
            return;
        }
        WriteAround(data);
    }
    std::int64_t Tell() const { return base_ + static_cast<std::int64_t>(pending_); }
    // The file's size with what is pending written out.
    std::int64_t Size() {
        Flush();
        return file_.Size();
    }
    void Seek(std::int64_t pos) {
        Flush();
        file_.Seek(pos);
        base_ = pos;
    }
    // Writes `data` over the file at `pos` at once (a size field, a header image); the
    // position is then behind it.
    void Patch(std::int64_t pos, std::span<const std::uint8_t> data) {
        Seek(pos);
        file_.Write(data);
        base_ += static_cast<std::int64_t>(data.size());
    }
    void Truncate(std::int64_t size) {
        Flush();
        file_.Truncate(size);
    }
    // Writes out what is pending. What a failed write held is dropped, not retried.
    void Flush();
    // Writes out what is pending, then appends the whole file, from its start, to `to`: for a
    // part spooled to a file of its own while the main output was written.
    void AppendTo(BufferedOutput& to);
    // Writes out what is pending and closes; a failure throws IoError (the file is closed).
    void Close();
    // Closes without writing out what is pending: the file is left as written so far, for a
    // run that does not keep it.
    void CloseUnflushed() {
        pending_ = 0;
        if (file_.IsOpen()) file_.Close();
    }

private:
    void WriteAround(std::span<const std::uint8_t> data);

    BinaryFile file_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_;
    std::int64_t base_ = 0;  // file position of buffer_[0]
    std::size_t pending_ = 0;
};

}  // namespace mendery
