#include "convert/encoder/EncoderEngine.h"

#include <filesystem>
#include <system_error>

#include "convert/encoder/EncoderEnginePipeline.h"
#include "asf/BinaryFile.h"

extern "C" {
#include <libavutil/log.h>
}

namespace mendery {

struct EncoderEngine::Pipeline : EncodePipeline {
    using EncodePipeline::EncodePipeline;
};

EncoderEngine::EncoderEngine() {
    // The libraries' own console chatter (every damaged frame of a damaged source) is not
    // for the user; the engine reports what matters through LastError.
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_FATAL);
}

EncoderEngine::~EncoderEngine() {
    Stop();
    Wait();
}

void EncoderEngine::Load(const std::string& sessionPath) {
    if (thread_.joinable() && RunState() != rsStopped) throw EncoderError("编码器正在运行");
    Wait();
    pipeline_.reset();
    job_ = LoadSessionFile(sessionPath);
    loaded_ = true;
}

void EncoderEngine::PrepareToEncode(bool prepare) {
    if (thread_.joinable() && RunState() != rsStopped) throw EncoderError("编码器正在运行");
    Wait();
    pipeline_.reset();
    if (!prepare) return;
    if (!loaded_) throw EncoderError("编码器没有加载会话文件");
    // Opening the output empties it: it must never be one of the sources.
    for (const auto* source : {&job_.VideoSource, &job_.AudioSource})
        if (!source->empty() && (*source == job_.OutputPath || IsSameFile(*source, job_.OutputPath)))
            throw EncoderError("输出文件不能是源文件: " + job_.OutputPath);
    positionUs_ = 0;
    writtenMs_ = 0;
    writtenBytes_ = 0;
    videoFrames_ = 0;
    audioPackets_ = 0;
    {
        std::lock_guard lock(errorMutex_);
        lastError_.clear();
        lastErrorIsIo_ = false;
    }
    notes_.clear();
    pipeline_ = std::make_unique<Pipeline>(job_);
    pipeline_->SetStopFlag(&stopRequested_);
    notes_ = pipeline_->Notes();
}

void EncoderEngine::Start() {
    if (thread_.joinable() && RunState() != rsStopped) throw EncoderError("编码器正在运行");
    Wait();
    if (!pipeline_) PrepareToEncode(true);
    // A stop that came before the start is not cleared here: the run ends at once.
    runState_ = rsStarting;
    try {
        thread_ = std::thread(&EncoderEngine::Run, this);
    } catch (const std::system_error&) {
        // A process limit reached: the run never starts, and the files it opened are closed.
        pipeline_.reset();
        runState_ = rsStopped;
        throw EncoderError("无法启动编码线程: 系统不允许再创建线程");
    }
}

void EncoderEngine::Stop() {
    stopRequested_ = true;
    int state = rsRunning;
    if (!runState_.compare_exchange_strong(state, rsStopping)) {
        state = rsStarting;
        runState_.compare_exchange_strong(state, rsStopping);
    }
}

void EncoderEngine::Wait() {
    if (thread_.joinable()) thread_.join();
}

void EncoderEngine::Run() {
    int starting = rsStarting;
    runState_.compare_exchange_strong(starting, rsRunning);
    auto note = [this] {
        positionUs_ = pipeline_->PositionUs();
        writtenMs_ = pipeline_->WrittenMs();
        writtenBytes_ = pipeline_->WrittenBytes();
        videoFrames_ = pipeline_->VideoFrames();
        audioPackets_ = pipeline_->AudioPackets();
    };
    auto fail = [this](const std::exception& e, bool io) {
        std::lock_guard lock(errorMutex_);
        lastError_ = e.what();
        lastErrorIsIo_ = io;
    };
    try {
        while (!stopRequested_ && pipeline_->Step()) note();
        note();
        runState_ = rsStopping;
        pipeline_->Finish();
        note();
    } catch (const IoError& e) {
        fail(e, true);
    } catch (const std::exception& e) {
        fail(e, false);
    }
    pipeline_.reset();  // closes the source and the output
    // An output cut off by an error, or one without a single packet, is no result.
    if (!LastError().empty() || videoFrames_ + audioPackets_ == 0) {
        std::error_code ec;
        std::filesystem::remove(job_.OutputPath, ec);
    }
    writtenBytes_ = FileSizeOf(job_.OutputPath);
    stopRequested_ = false;  // this run has honoured it
    {
        std::lock_guard lock(stateMutex_);
        runState_ = rsStopped;
    }
    stopped_.notify_all();
}

EncoderOutput EncoderEngine::Written() const {
    EncoderOutput out;
    out.VideoFrames = videoFrames_.load();
    out.AudioPackets = audioPackets_.load();
    return out;
}

void EncoderEngine::WaitUntilStopped(std::chrono::milliseconds timeout) {
    std::unique_lock lock(stateMutex_);
    stopped_.wait_for(lock, timeout, [this] { return runState_.load() == rsStopped; });
}

EncoderStatistics EncoderEngine::Statistics() const {
    EncoderStatistics s;
    // Scaled so that EncodingTime × 100 gives tenths of a second, FileDuration × 10,000
    // milliseconds and FileSize × 10,000 bytes.
    s.EncodingTime = static_cast<double>(positionUs_.load()) / 10'000'000.0;
    s.FileArchiveStats.FileDuration = static_cast<double>(writtenMs_.load()) / 10'000.0;
    s.FileArchiveStats.FileSize = static_cast<double>(writtenBytes_.load()) / 10'000.0;
    return s;
}

std::string EncoderEngine::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

}  // namespace mendery
