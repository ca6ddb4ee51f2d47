#pragma once
// The work inside the encoder engine: decode the source, scale and resample to the
// profile, encode MPEG-4 v3 video and WMA v2 audio and mux them into ASF. One object is one
// encode; it is used by one thread at a time.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/EncoderEngineSession.h"

namespace mendery {

class EncodePipeline {
public:
    // Opens the source and its decoders, the encoders and the output file, and writes the
    // output's header. Throws EncoderError.
    explicit EncodePipeline(const TEncodeJob& job);
    ~EncodePipeline();
    EncodePipeline(const EncodePipeline&) = delete;
    EncodePipeline& operator=(const EncodePipeline&) = delete;

    // Reads, decodes and encodes one source packet. False at the end of the source.
    bool Step();
    // Drains decoders and encoders and finishes the file. Throws EncoderError.
    void Finish();

    std::int64_t PositionUs() const { return positionUs_; }    // source time reached
    std::int64_t WrittenMs() const { return writtenMs_; }      // output time written
    std::int64_t WrittenBytes() const;                          // output bytes written
    bool HasVideo() const;
    bool HasAudio() const;
    // Where the encode differs from the profile because the codecs cannot do it, for the log.
    const std::vector<std::string>& Notes() const { return notes_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::int64_t positionUs_ = 0, writtenMs_ = 0;
    std::vector<std::string> notes_;
    friend struct Impl;
};

}  // namespace mendery
