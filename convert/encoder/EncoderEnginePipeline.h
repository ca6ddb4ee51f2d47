#pragma once
// The work inside the encoder engine: decode the source, scale and resample to the
// profile, encode MPEG-4 v3 video and WMA v2 audio and mux them into ASF. One object is one
// encode; it is used by one thread at a time.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/encoder/EncoderEngineSession.h"

namespace mendery {

class EncodePipeline {
public:
    // Opens the source and its decoders, the encoders and the output file, and writes the
    // output's header. Throws IoError when the source cannot be opened (it must be a regular
    // file) or the output cannot be created, EncoderError for anything else; an output it
    // created is removed again then.
    explicit EncodePipeline(const EncodeJob& job);
    ~EncodePipeline();
    EncodePipeline(const EncodePipeline&) = delete;
    EncodePipeline& operator=(const EncodePipeline&) = delete;

    // A flag another thread sets to stop the run: long stretches inside one step (a timestamp
    // gap filled with repeated pictures) end early when it is set.
    void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
    // Reads, decodes and encodes one source packet. False at the end of the source. Throws
    // IoError when the source cannot be read or the output cannot be written.
    bool Step();
    // Drains decoders and encoders and finishes the file. Throws IoError or EncoderError.
    void Finish();

    std::int64_t PositionUs() const { return positionUs_; }    // source time reached
    std::int64_t WrittenMs() const { return writtenMs_; }      // output time written
    std::int64_t WrittenBytes() const;                          // output bytes written
    std::int64_t VideoFrames() const { return videoFrames_; }   // video packets written
    std::int64_t AudioPackets() const { return audioPackets_; } // audio packets written
    bool HasVideo() const;
    bool HasAudio() const;
    // Where the encode differs from the profile because the codecs cannot do it, for the log.
    const std::vector<std::string>& Notes() const { return notes_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::int64_t positionUs_ = 0, writtenMs_ = 0, videoFrames_ = 0, audioPackets_ = 0;
    const std::atomic<bool>* stop_ = nullptr;
    bool Stopping() const { return stop_ && stop_->load(); }
    std::vector<std::string> notes_;
    friend struct Impl;
};

}  // namespace mendery
