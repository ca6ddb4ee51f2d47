#pragma once
// TLostChunk: lost-chunk recovery. Copies an ASF file whose chunk grid is broken (chunks lost,
// cut short or overwritten) chunk by chunk into a new file. When a block is not a good chunk (no
// chunk signature; for packets without error correction data, no packet that parses), the chunk
// written last is dropped and the input is searched byte by byte for the next chunk start. Send times become the running sum of chunk durations; presentation
// times are shifted by an offset that is re-based after every re-synchronisation and whenever
// they drift more than 15 s from the send clock. The header is patched at the end so that sizes,
// counts and durations match what was written, and the copy is marked seekable.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "asf/Outcome.h"
#include "asf/AsfPacket.h"
#include "asf/ByteCursor.h"
#include "asf/BinaryFile.h"
#include "asf/Host.h"
#include "asf/BufferedInput.h"
#include "asf/BufferedOutput.h"
#include "asf/PacketLayout.h"

namespace mendery {

class TLostChunk {
public:
    static constexpr std::size_t kHeaderBufferSize = 64000;
    static constexpr std::size_t kChunkBufferSize = 65536;
    static constexpr std::size_t kFilePropsSize = 80;  // body of the file properties object
    static constexpr std::int64_t kMaxDriftMs = 15000;

    std::string FileName, OutFileName;
    bool Aborted = false;  // set by the host while the run lets events run

    void AttachHost(IHost& host) { host_ = &host; }
    void Reset();    // progress 0, log cleared
    void Recover();  // one whole run

    struct Summary {
        std::int64_t chunksWritten = 0, resyncs = 0, sendClockMs = 0, outputSize = 0;
    };
    const Summary& LastSummary() const { return summary_; }
    Outcome LastOutcome() const { return outcome_; }

private:
    bool ReadHeader();
    void CopyChunks();
    void CopyDataObjectHead();
    void WriteChunk(std::span<std::uint8_t> chunk, std::size_t length);
    bool SkipDamage(std::span<const std::uint8_t> block);  // false: the chunks end here
    bool FindNextChunk();
    bool CandidateAt(std::int64_t hit);  // the search stands just after the byte at `hit`
    bool ChunkStartsAt(std::int64_t at);
    bool ParsesAt(std::int64_t at, bool& pastEnd);
    void FixChunkTimes(std::span<std::uint8_t> chunk);
    void FixPresentationTime(BytePatcher& patch, const PacketPayload& payload, std::int64_t sendTime);
    void FinishOutput();
    void RemoveOutput();

    void Log(const std::string& line);
    void SetStatus(const std::string& text);
    void Pump();

    IHost* host_ = nullptr;
    Outcome outcome_ = Outcome::NotRun;
    Summary summary_;
    BufferedInput in_;
    BufferedOutput out_;
    bool headerGood_ = false;

    std::vector<std::uint8_t> header_ = std::vector<std::uint8_t>(kHeaderBufferSize);
    std::vector<std::uint8_t> chunk_ = std::vector<std::uint8_t>(kChunkBufferSize);
    std::vector<std::uint8_t> probe_ = std::vector<std::uint8_t>(kChunkBufferSize);  // search candidates
    std::array<std::uint8_t, kFilePropsSize> fileProps_{};
    std::int64_t filePropsPos_ = 0, dataObjectPos_ = 0;
    std::uint64_t totalPackets_ = 0;
    std::uint32_t chunkSize_ = 0;
    PacketLayout layout_;

    std::int64_t sendClock_ = 0;   // ms
    bool clockStarted_ = false;
    std::uint16_t lastDuration_ = 0;          // of the chunk written last
    std::uint32_t lastSourceSendTime_ = 0;    // its send time in the source
    std::int64_t timeOffset_ = 0;  // ms, added to every presentation time
    bool timeInSync_ = true;
    std::int64_t chunkIndex_ = 0, chunksWritten_ = 0;
    std::int64_t lastGoodStart_ = 0, lastWritePos_ = 0;
    std::int64_t outEnd_ = 0;  // end of the last counted chunk in the output
};

}  // namespace mendery
