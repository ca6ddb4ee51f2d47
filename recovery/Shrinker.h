#pragma once
// TShrinker: the empty-data shrinker. Pass 1 finds the largest number of bytes any chunk really
// uses and which stream numbers occur; pass 2 writes a copy whose chunk size is that used
// length: every chunk is cut to it (its padding and packet-length fields follow the cut), the
// header object is rebuilt without the stream properties of streams that never occur and without
// the extended content description and bitrate mutual exclusion objects, and the packet-size and
// data-object fields are set to match. An optional pass 3 hands the result to the cutting tool.
#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "asf/Outcome.h"
#include "asf/BinaryFile.h"
#include "asf/Host.h"
#include "asf/BufferedInput.h"
#include "asf/BufferedOutput.h"
#include "asf/PacketLayout.h"

namespace mendery {

class TShrinker {
public:
    static constexpr std::size_t kHeaderBufferSize = 64000;
    static constexpr std::size_t kChunkBufferSize = 65536;
    static constexpr std::size_t kFilePropsSize = 80;

    std::string FileName, OutFileName;
    bool Aborted = false;
    // The "应用加强缩减 (慎用)" box: run pass 3 through the cutting tool after pass 2.
    bool ExtraCompression = true;
    // Folder that holds the cutting tool (the running program's folder); used by pass 3.
    std::string ToolDirectory;
    // The panel beside the counter that shows the running shrink ratio.
    std::function<void(const std::string&)> OnRatioText;

    void AttachHost(IHost& host) { host_ = &host; }
    void Reset();   // progress 0, log and ratio panel cleared
    void Shrink();  // one whole run

    struct Summary {
        std::int64_t inputSize = 0, outputSize = 0;
        std::uint32_t chunkSize = 0, usedLength = 0;
        std::int64_t chunks = 0, chunksWritten = 0;
        std::vector<int> streams;
        bool extraRan = false;
    };
    const Summary& LastSummary() const { return summary_; }
    Outcome LastOutcome() const { return outcome_; }

private:
    void RunPasses();
    void LogSizes();
    bool ReadHeader();
    bool Analyse();
    void MeasureChunk(std::span<const std::uint8_t> chunk);
    bool Compress();
    bool CopyTail();
    void RebuildHeader();
    void FitPadding(std::span<std::uint8_t> chunk, std::size_t length, std::size_t used) const;
    void FixCounts();
    void ExtraCompress();  // ShrinkerExtra.cpp
    void RemoveOutput();

    void Log(const std::string& line);
    void SetStatus(const std::string& text);
    void SetRatio(const std::string& text);
    void Pump();

    IHost* host_ = nullptr;
    Outcome outcome_ = Outcome::NotRun;
    Summary summary_;
    BufferedInput in_;
    BufferedOutput out_;

    std::vector<std::uint8_t> header_ = std::vector<std::uint8_t>(kHeaderBufferSize);
    std::vector<std::uint8_t> chunk_ = std::vector<std::uint8_t>(kChunkBufferSize);
    std::array<std::uint8_t, 50> dataHead_{};
    std::array<std::uint8_t, kFilePropsSize> fileProps_{};
    std::size_t headerSize_ = 0;
    std::int64_t firstChunkPos_ = 0;
    std::uint32_t chunkSize_ = 0;
    PacketLayout layout_;
    std::int64_t usedLength_ = 0;
    std::bitset<128> streamsSeen_;
    std::int64_t chunkIndex_ = 0, chunksWritten_ = 0;
    std::int64_t newHeaderSize_ = 0, newFilePropsPos_ = -1;
};

}  // namespace mendery
