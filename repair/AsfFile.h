#pragma once
// TAsfFile: the advanced repair engine. Copies an ASF file chunk by chunk into a new file,
// classifies every chunk-sized block, decides on chunks with a bad signature, rewrites send
// times and padding fields and finally the sizes, counts, durations and flags of the copy's
// header. The source is never changed.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/BufferedInput.h"
#include "asf/BufferedOutput.h"
#include "asf/Host.h"
#include "asf/Outcome.h"
#include "asf/PacketLayout.h"

namespace mendery {

// The copy's file properties flags: the seekable bit, the broadcast (live) bit, the others.
enum class SeekableFlagChange { Keep, Enable, Disable };
enum class LiveFlagChange { Keep, Set, Reset };
enum class OtherFlagsChange { Keep, ClearAll };
// What becomes of a block whose chunk signature is bad. The values are the items of the
// repair dialog's group, in its order.
enum class BadChunkAction { DoNothing, AskOneByOne, Delete, FillWithZero, CopyLastGood, DeletePlusLastGood };

class TAsfFile;
using TNotifyEvent = std::function<void(TAsfFile& sender)>;
// WhatToDo holds DoNothing on entry and the answer on return.
using TDecideForBadChunk = std::function<void(TAsfFile& sender, BadChunkAction& whatToDo, std::int64_t chunkIndex)>;


class TAsfFile {
public:
    static constexpr std::size_t kHeaderBufferSize = 65535;   // bytes of the source read by Open
    static constexpr std::size_t kChunkBufferSize = 65536;
    static constexpr std::size_t kCleanBufferSize = 64001;    // header cleaning's work buffer

    // Published properties.
    std::string FileName, OutFileName;
    bool WriteLog = false;
    bool FixPad08 = false, FixPad10 = false, FixPad40 = false;
    bool FixFileSize = false, FixDataSize = false, FixChunkCount = false;
    bool FixTimeCodes = false, FixTotalTime = false, FixPlayTime = false;
    bool StripHeader = false, StripIndex = false, CleanHeader = false;
    SeekableFlagChange FileSeekableFlag = SeekableFlagChange::Keep;
    LiveFlagChange LiveFlag = LiveFlagChange::Keep;
    OtherFlagsChange OtherFlags = OtherFlagsChange::Keep;
    BadChunkAction FixForBadChunk = BadChunkAction::DoNothing;
    ILogSink* LogBox = nullptr;        // without it the engine cannot be activated
    IProgressSink* ProgBar = nullptr;  // optional
    IHost* Host = nullptr;             // optional: lets pending events run after every block
    TNotifyEvent OnFileOpened;
    TDecideForBadChunk OnDecideForBadChunk;

    // Set by the host to request a stop; cleared by the pass.
    bool Aborted = false;

    // Wires log, progress and event processing to one host.
    void AttachHost(IHost& host) {
        LogBox = &host;
        ProgBar = &host;
        Host = &host;
    }

    bool Active() const { return active_; }
    void SetActive(bool value);
    void Repair();
    // One whole run: activates (opens and checks the source), repairs, deactivates.
    Outcome Run();

    // What the host may report after a pass.
    struct Summary {
        std::int64_t blocks = 0, goodChunks = 0, badChunks = 0, shortChunks = 0, indexBlocks = 0;
        std::int64_t chunkCount = 0, outputSize = 0, sendDurationMs = 0;
        std::vector<std::int64_t> badChunkIndexes;
    };
    const Summary& LastSummary() const { return summary_; }
    Outcome LastOutcome() const { return outcome_; }
    std::uint32_t ChunkSize() const { return chunkSize_; }

    void ClearLog();
    void Log(const std::string& text);
    // A per-chunk detail line, written only when WriteLog is on.
    void Detail(const std::string& text);

private:
    class ChunkBlockReader;
    enum class BlockState { Good, Index, Other, Copied, ZeroFilled };
    struct Timing {
        std::int64_t sendTime = 0;      // running send time
        std::uint16_t lastDuration = 0;
        // The source's send time of the last chunk timed by its own fields.
        bool timed = false;
        std::uint32_t lastSourceSendTime = 0;
        // Values of the last timed chunk, for detail lines of untimed blocks.
        std::int64_t storedSendTime = 0, newSendTime = 0;
        std::uint32_t mediaOffset = 0;
        std::uint16_t duration = 0;
    };

    bool Open();
    void Close();
    bool TrustHeaderSize();
    void MendHeaderObjects(std::uint64_t headerSize);
    bool CleanHeaderInBuffer();
    Outcome RunPass();
    void BeginPass(const std::vector<std::uint8_t>& header);
    bool StopRequested();
    bool TakeBlock(std::span<std::uint8_t> chunk, std::size_t length);
    void TakeGoodChunk(std::span<const std::uint8_t> chunk, std::size_t length);
    void TakeIndexBlock(std::size_t length);
    bool TakeBadChunk(std::span<std::uint8_t> chunk, BlockState previous);
    void RewriteAndWrite(std::size_t length);
    void Emit(std::span<const std::uint8_t> chunk);
    void WriteRun();
    std::int64_t OutputPos() const;
    Outcome EndPass(std::vector<std::uint8_t>& header, bool aborted);
    void RemoveOutput();
    BadChunkAction Decide(std::int64_t chunkIndex);
    const ParsedPacket& ParseKeptBlock();
    void TimeChunk(const ParsedPacket& chunk);
    std::uint32_t ContentLength() const;
    void RepairPadding(const ParsedPacket& chunk, std::uint32_t& contentLength);
    void RemovePacketLength(const ParsedPacket& chunk, std::uint32_t& contentLength);
    void LogDetail(std::uint8_t lengthTypeFlags);
    void FixHeader(std::vector<std::uint8_t>& header, std::int64_t outputSize);
    void FixFlags(std::vector<std::uint8_t>& header) const;
    void CloseAfterError(const std::string& reason);

    bool active_ = false;
    Outcome outcome_ = Outcome::NotRun;
    Summary summary_;
    BufferedInput source_;
    BufferedOutput output_;
    // The largest chunk (65535 bytes) and the two bytes after it that removing a packet length
    // field moves in.
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kChunkBufferSize + 2);
    std::vector<std::uint8_t> lastGood_;
    std::vector<std::uint8_t> signed_;  // a kept block read with its signature put back
    ParsedPacket parsed_;  // the kept block, parsed; its payload list is reused block after block
    // The block being taken, chunk-size bytes: in the source's read block, or in buffer_.
    std::span<std::uint8_t> chunk_;
    // Kept chunks in the read block not yet handed to the output, and the reader of the pass.
    std::span<const std::uint8_t> run_;
    ChunkBlockReader* blocks_ = nullptr;
    static constexpr std::size_t kRunInPlace = 64 * 1024;
    std::size_t headerBytes_ = 0;
    std::int64_t sourceSize_ = 0;
    std::uint32_t chunkSize_ = 0;
    std::uint32_t dataStart_ = 0;
    std::int64_t filePropsPos_ = -1, dataObjectPos_ = -1;
    std::int64_t chunkIndex_ = -1, chunkCount_ = 0;
    std::int64_t rewindPos_ = -1;
    std::int64_t countedEnd_ = 0;  // output position after the last block still counted
    Timing timing_;
    BlockState state_ = BlockState::Other;
    PacketLayout layout_;
};

}  // namespace mendery
