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
enum TEncoderRunState : int {
    rsStarting = 1,
    rsRunning = 2,
    rsPaused = 3,
    rsStopping = 4,
    rsStopped = 5,
};

// The statistics in the units their readers scale them by: EncodingTime × 100 is the source
// position reached in tenths of a second; FileDuration × 10,000 is the duration written so far
// in milliseconds; FileSize × 10,000 is the number of bytes written so far.
struct TEncoderStatistics {
    double EncodingTime = 0;
    struct {
        double FileDuration = 0;
        double FileSize = 0;
    } FileArchiveStats;
};

// What the re-encoder frame uses of an encoder; tests drive the frame with a scripted one.
class IMediaEncoderEngine {
public:
    virtual ~IMediaEncoderEngine() = default;
    virtual void Load(const std::string& sessionPath) = 0;
    virtual void PrepareToEncode(bool prepare) = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual int RunState() const = 0;
    virtual TEncoderStatistics Statistics() const = 0;
    // Why the last run ended early, or empty.
    virtual std::string LastError() const { return {}; }
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
