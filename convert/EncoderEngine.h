#pragma once
// The encoder engine: stands in for an external media encoder driven by a session file.
// It loads a session file, gets ready, and encodes on its own thread while its owner polls
// its run state and statistics. Video becomes MPEG-4 v3 (FourCC MP43), audio Windows Media
// Audio v2 (format tag 0x161), both muxed into an ASF file.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "convert/EncoderEngineSession.h"

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

class TEncoderEngine : public IMediaEncoderEngine {
public:
    TEncoderEngine();
    ~TEncoderEngine() override;  // stops a running encode and waits for it
    TEncoderEngine(const TEncoderEngine&) = delete;
    TEncoderEngine& operator=(const TEncoderEngine&) = delete;

    void Load(const std::string& sessionPath) override;
    // Opens the source, its decoders, the output file and the encoders; writes the output's
    // header. prepare = false releases what an earlier call opened.
    void PrepareToEncode(bool prepare) override;
    // Begins encoding on the engine's own thread; PrepareToEncode runs first if it has not.
    void Start() override;
    // Asks the thread to wind down: encoders are drained and the file is finished, so what
    // was encoded so far plays. Returns at once; RunState reaches rsStopped when done.
    void Stop() override;
    int RunState() const override { return runState_.load(); }
    TEncoderStatistics Statistics() const override;
    std::string LastError() const override;
    std::vector<std::string> Notes() const override { return notes_; }
    void WaitUntilStopped(std::chrono::milliseconds timeout) override;

    const TEncodeJob& Job() const { return job_; }
    // Waits until the encoding thread has ended.
    void Wait();

private:
    struct Pipeline;
    void Run();

    TEncodeJob job_;
    bool loaded_ = false;
    std::unique_ptr<Pipeline> pipeline_;
    std::thread thread_;
    std::atomic<int> runState_{rsStopped};
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::int64_t> positionUs_{0}, writtenMs_{0}, writtenBytes_{0};
    std::mutex stateMutex_;
    std::condition_variable stopped_;
    mutable std::mutex errorMutex_;
    std::string lastError_;
    std::vector<std::string> notes_;
};

}  // namespace mendery
