#pragma once
// A new output file written through one fixed buffer: the tools write a chunk, a media object
// or a few header bytes at a time, and the buffer turns that into one system call per buffer
// length. Seeking, sizing, patching and truncating write out what is pending first, so
// positions are always those of the file.
// A buffer of a page or more is written out when it reaches a page boundary of the file, not
// when the next piece no longer fits: the kernel copies whole pages into its cache, where a
// write ending inside a page makes it take that page up twice (a pass writing chunks of a
// few kilobytes spent about a third more time in the kernel than a copy with the same amount
// of data).
// Writes are made by the calling thread. A writer thread that took full buffers over was tried
// and dropped: its copy into the page cache read a megabyte the reading core had just written,
// and on hosts whose two cores share no close cache that copy took several times as long as
// the same copy made by the core that had the bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "asf/BinaryFile.h"
#include "asf/PageCopy.h"

namespace mendery {

class BufferedOutput {
public:
    static constexpr std::size_t kBufferSize = 1024 * 1024;
    static constexpr std::size_t kPageSize = 4096;

    explicit BufferedOutput(std::size_t capacity = kBufferSize)
        : storage_(capacity),
          capacity_(capacity),
          // A buffer smaller than a page cannot reach a page boundary every time.
          alignment_(capacity >= kPageSize ? kPageSize : 1) {
        MoveTo(0);
    }

    // Creates (or empties) the file at `path`; nothing is pending afterwards.
    void Create(const std::string& path) {
        file_.Open(path, BinaryFile::Mode::Create);
        pending_ = 0;
        MoveTo(0);
    }
    bool IsOpen() const { return file_.IsOpen(); }
    // Sets disk space aside for the bytes the run expects to write (see BinaryFile::Reserve).
    void Reserve(std::int64_t bytes) { file_.Reserve(bytes); }

    // Copies into the buffer; what a write as large as the buffer holds of whole pages goes to
    // the file directly.
    void Write(std::span<const std::uint8_t> data) {
        if (data.size() <= limit_ - pending_ && !data.empty()) {
            std::memcpy(buffer_ + pending_, data.data(), data.size());
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
        MoveTo(pos);
    }
    // Writes `data` over the file at `pos` at once (a size field, a header image); the
    // position is then behind it.
    void Patch(std::int64_t pos, std::span<const std::uint8_t> data) {
        Seek(pos);
        file_.Write(data);
        MoveTo(base_ + static_cast<std::int64_t>(data.size()));
    }
    void Truncate(std::int64_t size) {
        Flush();
        file_.Truncate(size);
    }
    // Writes a large piece without copying it: its whole pages go to the file as they are,
    // the rest through the buffer.
    void WriteInPlace(std::span<const std::uint8_t> data);
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
    // Whole pages from the caller's memory, with nothing pending.
    void WritePages(std::span<const std::uint8_t> pages);
    // The buffer now starts at file position `base` (nothing pending): it takes bytes up to
    // the last page boundary it reaches, and holds them at an address equal to their file
    // position modulo the copy alignment, so that the kernel's copy never meets its slow case.
    void MoveTo(std::int64_t base) {
        base_ = base;
        buffer_ = storage_.Place(base, capacity_).data();
        const auto reach = static_cast<std::size_t>((base + static_cast<std::int64_t>(capacity_)) %
                                                    static_cast<std::int64_t>(alignment_));
        limit_ = capacity_ - reach;
    }

    BinaryFile file_;
    BlockBuffer storage_;
    std::uint8_t* buffer_ = nullptr;  // where the pending bytes start, placed in storage_
    std::size_t capacity_;
    std::size_t alignment_;
    std::int64_t base_ = 0;  // file position of buffer_[0]
    std::size_t limit_ = 0;  // bytes the buffer takes before it is written out
    std::size_t pending_ = 0;
};

}  // namespace mendery
