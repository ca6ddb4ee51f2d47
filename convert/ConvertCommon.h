#pragma once
// Pieces both rewrapping converters (AVI and WAV) share: how a run ended, the reading of the
// source's head, the chunk loop and media object assembly.
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "asf/Outcome.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/Host.h"
#include "asf/PacketLayout.h"

namespace mendery {

// Input that does not fit the converter's fixed buffers or limits: the run ends with the
// exception's text as its log line.
struct ConvertRefusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A run's stop request: one that arrived before the run started (Ctrl-C while the files were
// being opened, or during a question) is kept, and the run clears it when it returns, so it
// never carries over to the next run.
class AbortRequestScope {
public:
    explicit AbortRequestScope(bool& aborted) : aborted_(aborted) {}
    ~AbortRequestScope() { aborted_ = false; }
    AbortRequestScope(const AbortRequestScope&) = delete;
    AbortRequestScope& operator=(const AbortRequestScope&) = delete;

private:
    bool& aborted_;
};

// The header object as a converter reads it, sequentially from the start of the file.
struct SourceHead {
    std::vector<std::uint8_t> header;  // the whole header object, its 24-byte object header included
    HeaderWalk walk;
};

// Reads the header object (its body limited to maxBody bytes) and the data object's 24-byte
// object header, logging the two identifier checks. A wrong identifier is logged and reading
// goes on; a header that cannot be held throws ConvertRefusal.
SourceHead ReadSourceHead(BinaryFile& source, ILogSink& log, std::size_t maxBody);

// The rest of the data object's head (file identifier, packet total, reserved): its packet
// total, or 0 when the file ends first.
std::uint64_t ReadDataObjectTotal(BinaryFile& source);

// The packet layout of the chunks from the source's position on (the source stays there);
// logged when the packets carry no error correction data.
PacketLayout ReadPacketLayout(BinaryFile& source, std::uint32_t chunkSize, ILogSink& log);

// The chunk size taken from a file properties object, refused when the chunk buffer cannot
// hold it (or it is 0, which would never advance through the file).
std::uint32_t CheckedChunkSize(std::uint32_t minPacketSize, std::size_t chunkBufferSize);

// One pass over the chunks from the current source position to the end of the file or the
// index object: every chunk-sized block is read into a zeroed buffer, tested as a packet of the
// file's layout and handed to `parse`; progress, events and the abort request are served after
// every chunk. A pass asked to stop before it began reads nothing.
struct ChunkPass {
    std::int64_t count = 0, abandoned = 0;
    bool aborted = false;
};
// A payload's presentation time and the send time of its packet.
struct PayloadTime {
    std::uint32_t presentation = 0, send = 0;
};

class ChunkLoop {
public:
    using Parser = std::function<void(std::span<const std::uint8_t> chunk)>;
    ChunkLoop(BinaryFile& source, std::uint32_t chunkSize, const PacketLayout& layout, IHost& host, bool& aborted);
    // `total` is what the counter shows after the slash. An input/output error leaves the loop;
    // any other exception out of `parse` is logged as a damaged chunk and the loop goes on.
    ChunkPass Run(std::int64_t total, const Parser& parse);

    // Appends the times a good chunk holds to `found`, from the chunk's bytes alone (it runs on
    // either of two threads); what it throws counts as thrown by a parser after those times.
    using TimeFinder = std::function<void(std::span<const std::uint8_t> chunk, std::vector<PayloadTime>& found)>;
    using TimeTaker = std::function<void(const PayloadTime&)>;
    // Run with a parser that finds a chunk's times and takes them in order, with the reading and
    // finding shared by two threads, a block of chunks each; the times are taken, and the log,
    // progress, counts and stop handled, on this thread in file order, as Run does.
    ChunkPass RunTimeScan(std::int64_t total, const TimeFinder& find, const TimeTaker& take);
    // What the chunks of one block held (RunTimeScan's reader fills it).
    struct BlockFindings;

private:
    // Replays a block's findings; true when the pass ends there.
    bool Replay(const BlockFindings& block, std::int64_t total, std::int64_t& index, std::int64_t& pos, ChunkPass& pass,
                const TimeTaker& take);

    BinaryFile& source_;
    std::uint32_t chunkSize_;
    PacketLayout layout_;
    IHost& host_;
    bool& aborted_;
    std::vector<std::uint8_t> buffer_;
};

// "done/total" in `out`, without allocating: the status is set for every chunk.
std::string_view CountText(std::int64_t done, std::int64_t total, std::span<char, 48> out);
// The log line of a chunk that is not a packet, by its first three bytes.
std::string InvalidChunkLine(std::span<const std::uint8_t> chunk, std::int64_t index);
// Bytes of source read at a time: whole chunks, about a megabyte.
std::size_t ChunkBlockSize(std::uint32_t chunkSize);

// Parses one chunk (with the project's packet parser) and hands its payloads to `each` in
// order, with the packet they came in. When the chunk is damaged part way, the payloads that
// parsed whole before the damage are still handed on; then the damage is thrown as
// TruncatedData.
using PayloadHandler = std::function<void(std::span<const std::uint8_t> chunk, const ParsedPacket& packet,
                                          const PacketPayload& payload)>;
void ForEachPayload(std::span<const std::uint8_t> chunk, std::uint32_t chunkSize, const PayloadHandler& each);

// Reassembles media objects from their fragments in one fixed buffer. The buffer is reused
// from one object to the next without clearing.
class MediaObjectAssembler {
public:
    explicit MediaObjectAssembler(std::size_t capacity) : buffer_(capacity) {}
    enum class Result { Stored, Complete, TooLarge };
    // Copies a fragment to its offset. Complete when it ends exactly at the object's size;
    // then Object() holds the whole object.
    Result Put(std::uint32_t offset, std::span<const std::uint8_t> data, std::uint32_t objectSize);
    std::span<const std::uint8_t> Object() const { return {buffer_.data(), objectSize_}; }
    std::size_t Capacity() const { return buffer_.size(); }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t objectSize_ = 0;
};

// Runs a converter's work. A refusal, a read or write error (logged with its reason), or
// header objects that contradict their own sizes end it with its log line, and `outcome` says
// which.
void RunConversion(IHost& host, Outcome& outcome, const std::function<void()>& work);

}  // namespace mendery
