#pragma once
// clipwright's output: the header of a layout source (its sub-objects in order, the codec list
// left out, the file properties rewritten), the data object with the packets given to it, and
// a rebuilt Simple Index Object. Sizes, counts, durations and flags are written at Finish.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "clipwright/ClipSource.h"
#include "clipwright/SimpleIndexBuilder.h"
#include "asf/BinaryFile.h"

namespace mendery {

struct ClipHeaderFields {
    std::uint64_t fileSize = 0, packets = 0;
    std::uint64_t playDurationMs = 0;  // preroll included
    std::uint64_t sendDurationMs = 0;
};

// The output header object for `header` (a whole header object as read): every sub-object but
// the codec list and padding, the file properties' sizes, counts, durations set and the file
// marked seekable (not broadcast).
std::vector<std::uint8_t> BuildClipHeader(std::span<const std::uint8_t> header, const HeaderWalk& walk,
                                          const ClipHeaderFields& fields);

class ClipWriter {
public:
    // Writes to `path`; a stop is looked at while runs of packets are copied.
    ClipWriter(const std::string& path, const ClipSource& layout, const ClipStopFlag* stop = nullptr);
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;
    std::uint32_t PacketsWritten() const { return packets_; }
    void WritePacket(std::span<const std::uint8_t> packet);
    // A packet that goes to the output exactly as the source holds it at `offset`: runs of
    // such packets are copied file to file inside the kernel, without passing through here.
    void CopyPacket(const std::string& sourcePath, std::uint64_t offset);
    SimpleIndexBuilder& Index() { return index_; }
    // Writes the index, then the header and data object head with their final values.
    void Finish(std::uint64_t playDurationMs, std::uint64_t sendDurationMs);
    std::uint64_t BytesWritten() const { return fileSize_; }

private:
    void Flush(bool all);
    void FlushRun();
    // Copies up to `n` bytes of the run inside the kernel; 0 when the kernel cannot do it for
    // these files (another file system, no support): the run goes on by hand.
    std::uint64_t CopyInKernel(std::int64_t& in, std::int64_t& out, std::uint64_t n);
    std::uint64_t CopyByHand(std::int64_t& in, std::int64_t& out, std::uint64_t n);
    BinaryFile file_;
    std::string path_;
    const ClipStopFlag* stop_ = nullptr;
    int outFd_ = -1, runFd_ = -1;
    bool inKernel_ = true;
    std::vector<std::uint8_t> copyBlock_;
    std::string runPath_;
    std::uint64_t runStart_ = 0, runLength_ = 0;
    std::vector<std::uint8_t> sourceHeader_;
    HeaderWalk walk_;
    Guid fileId_;
    std::uint64_t preroll_ = 0;
    std::uint32_t packetSize_ = 0;
    std::uint64_t headerSize_ = 0;
    std::uint32_t packets_ = 0;
    std::uint64_t fileSize_ = 0;
    std::vector<std::uint8_t> buffer_;
    SimpleIndexBuilder index_;
};

}  // namespace mendery
