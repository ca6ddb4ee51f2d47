#pragma once
// A RIFF file (AVI, WAVE) written through the one buffered output: four-character codes,
// 32-bit little-endian fields, chunks with their pad byte, size fields patched once the length
// is known, and the 4 GiB that RIFF's 32-bit sizes can describe.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "asf/BufferedOutput.h"
#include "asf/Host.h"
#include "asf/Outcome.h"

namespace mendery {

// The largest RIFF file whose 32-bit size fields still hold its length.
inline constexpr std::int64_t kRiffLimit = 0xFFFFFFFFLL;

class RiffOutput {
public:
    // A converter writes a chunk per media object (up to 128 KiB each).
    static constexpr std::size_t kBufferSize = 1024 * 1024;

    void Create(const std::string& path) {
        out_.Create(path);
        limitReached_ = false;
    }
    bool IsOpen() const { return out_.IsOpen(); }
    // Sets disk space aside for what the run expects to write, no more than RIFF can hold.
    void Reserve(std::int64_t bytes) { out_.Reserve(std::min(bytes, kRiffLimit)); }
    void Write(std::span<const std::uint8_t> data) { out_.Write(data); }
    void WriteFourCC(const char* fourcc) { out_.Write(std::span(reinterpret_cast<const std::uint8_t*>(fourcc), 4)); }
    void WriteU32(std::uint32_t v);
    // A chunk: its code, its size, its data, and a zero byte after an odd size.
    void WriteChunk(const char* fourcc, std::span<const std::uint8_t> data);
    // A chunk whose data were spooled to a file of their own.
    void AppendChunk(const char* fourcc, BufferedOutput& spool);
    // Writes a 32-bit field over the file at `pos` at once.
    void PatchU32(std::int64_t pos, std::uint32_t v);
    void Patch(std::int64_t pos, std::span<const std::uint8_t> data) { out_.Patch(pos, data); }

    std::int64_t Tell() const { return out_.Tell(); }
    std::int64_t Size() { return out_.Size(); }
    void Close() { out_.Close(); }
    void CloseUnflushed() { out_.CloseUnflushed(); }

    // Refuses (ConvertRefusal) when `bytes` more would take the file past the 32-bit sizes of
    // RIFF. What was written before stays a whole file: LimitReached() tells the run so.
    void EnsureRiffRoom(std::int64_t bytes);
    bool LimitReached() const { return limitReached_; }

private:
    BufferedOutput out_{kBufferSize};
    bool limitReached_ = false;
};

// Ends a converter's output. When `keep`, `finish` completes the file (headers, index) first;
// what is pending is not written after that, since a file that is not kept is removed anyway.
// An input/output error is logged, makes the outcome Failed and the file one not kept. Returns
// whether the file is kept.
bool EndOutput(RiffOutput& out, bool keep, const std::function<void()>& finish, ILogSink& log, Outcome& outcome);

}  // namespace mendery
