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
#include "asf/BufferedOutput.h"

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
    // Writes to `path`. Every packet passes through here, also those that go out unchanged:
    // they are in memory already (the reader parsed them), and writing them from there costs
    // less than copying them file to file again inside the kernel (measured on ext4, warm cache).
    ClipWriter(const std::string& path, const ClipSource& layout);
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;
    std::uint32_t PacketsWritten() const { return packets_; }
    // Sets disk space aside for the output the job expects (see BinaryFile::Reserve).
    void Reserve(std::int64_t bytes) { out_.Reserve(bytes); }
    void WritePacket(std::span<const std::uint8_t> packet);
    // A packet changed where the reader read it and written from there: packets that follow
    // one another in one read window go out together, their whole pages in one write and with
    // no copy in this process. They wait in the window until WriteLent, or any other write.
    void WritePacketInPlace(const LentBytes& packet);
    // Writes out the lent packets that wait; called before their window may go away (at the
    // end of a range, the reader may be rewound or closed).
    void WriteLent();
    SimpleIndexBuilder& Index() { return index_; }
    // Writes the index, then the header and data object head with their final values.
    void Finish(std::uint64_t playDurationMs, std::uint64_t sendDurationMs);
    std::uint64_t BytesWritten() const { return fileSize_; }

private:
    // Header, rebuilt packets and the ends of runs of lent packets a megabyte at a time.
    BufferedOutput out_;
    std::vector<std::uint8_t> sourceHeader_;
    HeaderWalk walk_;
    Guid fileId_;
    std::uint64_t preroll_ = 0;
    std::uint32_t packetSize_ = 0;
    std::uint32_t packets_ = 0;
    std::uint64_t fileSize_ = 0;
    SimpleIndexBuilder index_;
    LentBytes lent_;  // the run of lent packets not yet written
};

}  // namespace mendery
