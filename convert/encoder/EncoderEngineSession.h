#pragma once
// Reading an encoder session file back: the sources, the output file and the profile held
// in its CDATA section, as the settings one encode needs.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace mendery {

// Raised by the encoder engine's Load, PrepareToEncode and Start.
struct EncoderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct EncodeJob {
    std::string AudioSource, VideoSource, OutputPath, ProfileName;
    // Audio stream of the profile (absent when Bitrate is 0).
    std::int32_t AudioBitrate = 0, AudioChannels = 0, AudioSamplesPerSec = 0, AudioBlockAlign = 0;
    std::int32_t AudioFormatTag = 0;
    // Video stream of the profile.
    std::int32_t VideoBitrate = 0, VideoWidth = 0, VideoHeight = 0, Quality = 100;
    std::int64_t AvgTimePerFrame = 0;      // 100-ns units
    std::int64_t MaxKeyFrameSpacing = 0;   // 100-ns units
    std::int32_t VideoBufferWindowMs = 0;
    std::string VideoFourCC;
};

// Parses the session file's text. Throws EncoderError naming what is missing or malformed.
EncodeJob ParseSessionText(const std::string& text);
// Reads and parses the file at path. Throws EncoderError.
EncodeJob LoadSessionFile(const std::string& path);

}  // namespace mendery
