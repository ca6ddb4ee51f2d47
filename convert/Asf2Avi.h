#pragma once
// TAsf2Avi: rewraps the video and audio of an ASF file into an AVI 1.0 file without decoding.
// Every media object becomes one AVI chunk. ASF carries presentation times and AVI a constant
// frame rate, so a first pass measures the intervals between presentation times and chooses a
// frame duration; the second pass writes the chunks and inserts empty video chunks (a repeat of
// the previous frame to a player) wherever the video falls behind the time line. Afterwards a
// few header values of the finished file may be edited in place.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "convert/AviHeader.h"
#include "convert/AviTiming.h"
#include "convert/ConvertCommon.h"
#include "convert/RiffOutput.h"
#include "asf/BinaryFile.h"
#include "asf/Host.h"

namespace mendery {

// The header panel's states: fields emptied, locked (read-only), or open for editing.
enum TEditMode { emClear, emLock, emUnlock };

class TAsf2Avi {
public:
    // Fixed working buffers of one run.
    static constexpr std::size_t kHeaderBodyLimit = 63977;
    static constexpr std::size_t kChunkBufferSize = 65536;
    static constexpr std::size_t kAssemblyBufferSize = 131073;
    static constexpr std::int64_t kDefaultFrameDuration = 500000;  // µs, until a pass has measured one

    std::string FileName, OutFileName;
    // Stop request, set by the host at any time; a run ends after the chunk it is at and
    // clears the request when it returns.
    bool Aborted = false;
    TTimingMethod TimingMethod = tmFewestDuplicates;
    bool QuickReSync = false;  // "快速再同步": burst insertion of empty frames at key frames

    // The header panel: its fields, whether they may be edited, whether "制做DivX" may be pressed.
    AviHeaderFields Fields;
    TEditMode EditMode() const { return editMode_; }
    bool DivXEnabled() const { return divXEnabled_; }

    void AttachHost(IHost& host) { host_ = &host; }
    // Timing method 0, quick resync off, header fields emptied and locked, progress 0, log cleared.
    void Reset();
    // One conversion from FileName to OutFileName. Errors opening the files propagate (IoError).
    // After a failure, or when no video frame was converted, neither the AVI nor its temporary
    // index file remains.
    void Convert();

    // Header editing after a run.
    void ShowHeaderValues();
    void ApplyHeaderEdits();
    void SetEditMode(TEditMode mode);
    // "编辑Avi文件头(慎用)" checked or unchecked; false when there is nothing to edit.
    bool SetHeaderEditing(bool on);
    // "升级Avi": writes the edited header over the finished file's first 2,060 bytes.
    void UpgradeAvi(bool logIt = true);
    // "制做DivX": MP42 → DIV2, MP43 → DIV3 in both video FourCCs; false for other FourCCs.
    bool MakeDivX();

    // Results of the last run.
    Outcome LastOutcome() const { return outcome_; }
    const AviHeaderImage& HeaderImage() const { return image_; }
    std::uint16_t VideoStream() const { return videoStream_; }
    std::uint16_t AudioStream() const { return audioStream_; }
    std::uint32_t ChunkSize() const { return chunkSize_; }
    std::uint64_t VideoFrames() const { return videoFrames_; }
    std::uint32_t AddedFrames() const { return addedFrames_; }
    std::int64_t FrameDuration() const { return frameDuration_; }
    const IntervalHistogram& Histogram() const { return histogram_; }
    // Chunks written to the AVI: video (empty repeat frames included, see VideoFrames()),
    // audio and other streams; after a stop, what the partial file holds. outputSize: the
    // size of the file kept, 0 when none was.
    struct Summary {
        std::int64_t chunks = 0, abandoned = 0, avChunks = 0, otherChunks = 0, audioChunks = 0, outputSize = 0;
    };
    const Summary& LastSummary() const { return summary_; }

    // The question asked before converting WMV1/WMV2 video, whose codec data AVI cannot carry.
    static std::string WmvWarning(const std::string& fourcc);
    // "12.3": a share in percent with three significant digits and one decimal.
    static std::string PercentText(double percent);

private:
    enum class Pass { Analyse, Write };
    void ReadHeader();
    void Run();
    // The steps of Run: the header image with placeholder values, the question about WMV
    // video (false: declined), the frame duration from the analysis, the writing pass (the
    // header counts the frames written, also when it fails), its closing lines.
    void WritePlaceholder();
    bool VideoCodecAccepted();
    void SetFrameDuration();
    ChunkPass WritePass(std::int64_t total);
    void ReportConversion(const ChunkPass& conversion);
    ChunkPass RunPass(Pass pass, std::int64_t total);
    // The write pass's work on a chunk: its times noted, its objects put together and written.
    void ParseChunk(std::span<const std::uint8_t> chunk);
    void WriteMediaObject(std::span<const std::uint8_t> data, std::uint8_t streamByte);
    void InsertEmptyFrame();
    void WriteChunk(const char* fourcc, std::span<const std::uint8_t> data, bool key);
    void Close();
    void FinishOutput();
    IHost& Host() const;

    IHost* host_ = nullptr;
    Outcome outcome_ = Outcome::NotRun;
    Summary summary_;
    TEditMode editMode_ = emClear;
    bool divXEnabled_ = false;
    AviHeaderImage image_;
    std::uint16_t videoStream_ = 0, audioStream_ = 0;
    std::uint32_t chunkSize_ = 0;
    PacketLayout layout_;
    std::int64_t moviBase_ = avi::Movi;
    std::uint64_t videoFrames_ = 0;
    std::uint32_t addedFrames_ = 0;
    std::int64_t frameDuration_ = kDefaultFrameDuration;
    IntervalHistogram histogram_;
    Timeline timeline_;
    bool placeholderWritten_ = false;
    bool converting_ = false;  // the writing pass has begun
    BinaryFile source_;
    RiffOutput out_;
    // The idx1 entries, spooled to OutFileName + ".idx" while the chunks are written.
    BufferedOutput indexOut_{64 * 1024};
    std::unique_ptr<MediaObjectAssembler> audioObjects_, otherObjects_;
};

}  // namespace mendery
