#pragma once
// The encoder engine built on FFmpeg's libraries: loads a session file, gets ready, and encodes
// on its own thread while its owner polls its run state and statistics.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "convert/EncoderEngine.h"
#include "convert/encoder/EncoderEngineSession.h"

namespace mendery {

class EncoderEngine : public IMediaEncoderEngine {
public:
    EncoderEngine();
    ~EncoderEngine() override;  // stops a running encode and waits for it
    EncoderEngine(const EncoderEngine&) = delete;
    EncoderEngine& operator=(const EncoderEngine&) = delete;

    void Load(const std::string& sessionPath) override;
    // Opens the source, its decoders, the output file and the encoders; writes the output's
    // header. prepare = false releases what an earlier call opened.
    void PrepareToEncode(bool prepare) override;
    // Begins encoding on the engine's own thread; PrepareToEncode runs first if it has not.
    void Start() override;
    // Asks the thread to wind down: encoders are drained and the file is finished, so what
    // was encoded so far plays. Returns at once; RunState reaches rsStopped when done. A stop
    // requested before Start is kept, and the run it starts ends at once; the run that
    // honours a stop uses it up.
    void Stop() override;
    int RunState() const override { return runState_.load(); }
    EncoderStatistics Statistics() const override;
    std::string LastError() const override;
    bool LastErrorIsIo() const override { return lastErrorIsIo_.load(); }
    EncoderOutput Written() const override;
    std::vector<std::string> Notes() const override { return notes_; }
    void WaitUntilStopped(std::chrono::milliseconds timeout) override;

    const EncodeJob& Job() const { return job_; }
    // Waits until the encoding thread has ended.
    void Wait();

private:
    struct Pipeline;
    void Run();

    EncodeJob job_;
    bool loaded_ = false;
    std::unique_ptr<Pipeline> pipeline_;
    std::thread thread_;
    std::atomic<int> runState_{rsStopped};
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::int64_t> positionUs_{0}, writtenMs_{0}, writtenBytes_{0};
    std::atomic<std::int64_t> videoFrames_{0}, audioPackets_{0};
    std::atomic<bool> lastErrorIsIo_{false};
    std::mutex stateMutex_;
    std::condition_variable stopped_;
    mutable std::mutex errorMutex_;
    std::string lastError_;
    std::vector<std::string> notes_;
};

}  // namespace mendery
