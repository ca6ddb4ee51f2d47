#pragma once
// A new output file written through one fixed buffer: the recovery tools write a chunk at a
// time (a few KB), and the buffer turns that into one system call per 128 KiB. Seeking, sizing
// and truncating write out what is pending first, so positions are always those of the file.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "asf/BinaryFile.h"

namespace mendery {

class BufferedOutput {
public:
    static constexpr std::size_t kBufferSize = 131072;

    void Create(const std::string& path) {
        file_.Open(path, BinaryFile::Mode::Create);
        base_ = 0;
        pending_ = 0;
    }
    bool IsOpen() const { return file_.IsOpen(); }
    void Write(std::span<const std::uint8_t> data);
    std::int64_t Tell() const { return base_ + static_cast<std::int64_t>(pending_); }
    void Seek(std::int64_t pos) {
        Flush();
        file_.Seek(pos);
        base_ = pos;
    }
    void Truncate(std::int64_t size) {
        Flush();
        file_.Truncate(size);
    }
    void Flush();
    // Writes out what is pending and closes; a failure throws IoError.
    void Close() {
        if (!file_.IsOpen()) return;
        try {
            Flush();
        } catch (const IoError&) {
            pending_ = 0;
            try {
                file_.Close();
            } catch (const IoError&) {
            }
            throw;
        }
        file_.Close();
    }

private:
    BinaryFile file_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kBufferSize);
    std::int64_t base_ = 0;  // file position of buffer_[0]
    std::size_t pending_ = 0;
};

}  // namespace mendery
