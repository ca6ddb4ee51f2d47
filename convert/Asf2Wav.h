#pragma once
// TAsf2Wav: takes the audio stream out of an ASF file and stores it, still compressed, in a
// RIFF WAVE file. The WAVE format block is the stream's own format record from the ASF
// header; the sample data are the stream's media objects laid end to end.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "convert/ConvertCommon.h"
#include "convert/RiffOutput.h"
#include "asf/BinaryFile.h"
#include "asf/Host.h"

namespace mendery {

class TAsf2Wav {
public:
    // Fixed working buffers of one run.
    static constexpr std::size_t kHeaderBodyLimit = 64001;
    static constexpr std::size_t kChunkBufferSize = 65536;
    static constexpr std::size_t kAssemblyBufferSize = 65536;
    static constexpr std::size_t kFormatBlockLimit = 1048;

    std::string FileName, OutFileName;
    // Stop request, set by the host at any time; a run ends after the chunk it is at and
    // clears the request when it returns.
    bool Aborted = false;

    void AttachHost(IHost& host) { host_ = &host; }
    // Progress 0, log cleared.
    void Reset();
    // One extraction from FileName to OutFileName. Errors opening the files propagate (IoError).
    // After a failure, or when no audio data was extracted, no output file remains.
    void Convert();

    // Results of the last run.
    Outcome LastOutcome() const { return outcome_; }
    std::uint16_t StreamNumber() const { return streamNumber_; }
    std::uint32_t ChunkSize() const { return chunkSize_; }
    std::int32_t HeaderLength() const { return headerLength_; }
    // objects: audio media objects (or compressed sub-payloads) written; after a stop, what
    // the partial file holds. outputSize: the size of the file kept, 0 when none was.
    struct Summary {
        std::int64_t chunks = 0, abandoned = 0, objects = 0, outputSize = 0;
    };
    const Summary& LastSummary() const { return summary_; }

    // The description lines logged for an audio stream's format record (a WAVEFORMATEX).
    static std::vector<std::string> DescribeAudioStream(std::uint16_t flags, std::span<const std::uint8_t> format);

private:
    void ReadHeader();
    void Extract();
    void ParseChunk(std::span<const std::uint8_t> chunk);
    void WriteObject(std::span<const std::uint8_t> data);
    void Close();
    void FinishOutput();
    IHost& Host() const;

    IHost* host_ = nullptr;
    Outcome outcome_ = Outcome::NotRun;
    Summary summary_;
    std::uint16_t streamNumber_ = 0;
    std::uint32_t chunkSize_ = 0;
    PacketLayout layout_;
    std::int32_t headerLength_ = 20;
    std::vector<std::uint8_t> format_;  // the chosen stream's format block
    bool headerWritten_ = false;
    BinaryFile source_;
    RiffOutput out_;
    std::unique_ptr<MediaObjectAssembler> assembler_;
};

}  // namespace mendery
