#pragma once
// The 34 Windows Media Audio v2 formats the re-encoder offers, one per position of its
// audio bitrate track bar, and the automatic choice of a row from the source's audio.
#include <array>
#include <cstdint>
#include <string>

namespace mendery {

struct TAudioFormat {
    std::int32_t Bitrate = 0;        // bits per second
    std::int32_t BlockAlign = 0;     // bytes per block
    std::int32_t Channels = 0;
    std::int32_t SamplesPerSec = 0;
    std::string CodecData;           // the 10-byte codec-specific block as 20 upper-case hex digits
    friend bool operator==(const TAudioFormat&, const TAudioFormat&) = default;
};

inline constexpr int kAudioFormatRows = 34;

// Row r of the table; r must lie in 0..33.
const TAudioFormat& AudioFormatRow(int row);

// The row proposed for a source with `channels` channels at `samplesPerSec` Hz: row 0 when
// either is 0 (no audio), otherwise by sample rate, mono (1 channel) or stereo (any other).
int AutomaticAudioRow(std::int32_t channels, std::int32_t samplesPerSec);

// "96 kbps, 44100 Hz, 立体声": bitrate div 1000, sample rate, "Mono" or "立体声".
std::string AudioFormatText(const TAudioFormat& format);

}  // namespace mendery
