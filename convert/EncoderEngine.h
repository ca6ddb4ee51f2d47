#pragma once
// The encoder engine: stands in for an external media encoder driven by a session file.
// It loads a session file, gets ready, and encodes on its own thread while its owner polls
// its run state and statistics. Video becomes MPEG-4 v3 (FourCC MP43), audio Windows Media
// Audio v2 (format tag 0x161), both muxed into an ASF file.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>


namespace mendery {

// Run states as the encoder reports them.
enum EncoderRunState : int {
    rsStarting = 1,
    rsRunning = 2,
    rsPaused = 3,
    rsStopping = 4,
    rsStopped = 5,
};

// The statistics in the units their readers scale them by: EncodingTime × 100 is the source
// position reached in tenths of a second; FileDuration × 10,000 is the duration written so far
// in milliseconds; FileSize × 10,000 is the number of bytes written so far.
struct EncoderStatistics {
    double EncodingTime = 0;
    struct {
        double FileDuration = 0;
        double FileSize = 0;
    } FileArchiveStats;
};

// What one run put into its output file.
struct EncoderOutput {
    std::int64_t VideoFrames = 0;   // encoded video frames
    std::int64_t AudioPackets = 0;  // encoded audio packets
    std::int64_t Packets() const { return VideoFrames + AudioPackets; }
};

// What the re-encoder frame uses of an encoder; tests drive the frame with a scripted one.
class IMediaEncoderEngine {
public:
    virtual ~IMediaEncoderEngine() = default;
    virtual void Load(const std::string& sessionPath) = 0;
    // Throws IoError when the source cannot be opened (also: it is not a regular file) or the
    // output cannot be created, another exception for anything else that keeps it from running.
    virtual void PrepareToEncode(bool prepare) = 0;
    virtual void Start() = 0;
    // Asks a run to wind down. A stop requested before Start is kept: that run ends at once.
    virtual void Stop() = 0;
    virtual int RunState() const = 0;
    virtual EncoderStatistics Statistics() const = 0;
    // Why the last run ended early, or empty.
    virtual std::string LastError() const { return {}; }
    // Whether that was the source failing to be read or the output failing to be written.
    virtual bool LastErrorIsIo() const { return false; }
    // What the last run wrote. A run that ended on an error, or wrote no packet, leaves no
    // output file: the engine removes what it created.
    virtual EncoderOutput Written() const = 0;
    // Where the prepared encode differs from the profile (a bitrate the codec cannot do).
    virtual std::vector<std::string> Notes() const { return {}; }
    // Waits up to `timeout` for the run to end, so a poller sees the end without delay.
    virtual void WaitUntilStopped(std::chrono::milliseconds timeout) { std::this_thread::sleep_for(timeout); }
};

// The engine lives in a plugin beside the program (libmendery-encoder.so, built on FFmpeg's
// libraries), loaded the first time a re-encode needs it, so the other tools never map the
// codec libraries. Returns nothing, with the reason in `whyNot`, when it cannot be loaded.
std::unique_ptr<IMediaEncoderEngine> LoadEncoderEngine(std::string* whyNot = nullptr);
inline constexpr const char* kEncoderPluginName = "libmendery-encoder.so";
inline constexpr const char* kEncoderPluginEntry = "mendery_create_encoder_engine";

}  // namespace mendery
