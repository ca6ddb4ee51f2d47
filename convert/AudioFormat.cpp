#include "convert/AudioFormat.h"

#include <stdexcept>

namespace mendery {

namespace {
// bitrate, block alignment, channels, samples per second, codec data.
const std::array<TAudioFormat, kAudioFormatRows> kAudioFormatTable = {{
    {128, 1, 1, 8000, "00220000000000000000"},
    {5000, 40, 1, 8000, "00220000000000000000"},
    {6000, 48, 1, 8000, "00220000000000000000"},
    {8000, 64, 1, 8000, "00220000000000000000"},
    {8104, 47, 1, 11025, "00220000000000000000"},
    {10168, 59, 1, 11025, "00220000000000000000"},
    {10000, 400, 1, 16000, "002200000600B0040000"},
    {12000, 96, 2, 8000, "00220000000000000000"},
    {12000, 480, 1, 16000, "002200000600A0050000"},
    {16000, 640, 1, 16000, "002200000E0080070000"},
    {16000, 640, 2, 16000, "002200000E0080070000"},
    {16024, 651, 1, 22050, "004400000E002D0A0000"},
    {20000, 800, 2, 16000, "00220000160060090000"},
    {20008, 813, 1, 22050, "004400001600B50C0000"},
    {20008, 813, 2, 22050, "004400000E00B50C0000"},
    {20000, 800, 1, 32000, "008800001600C0120000"},
    {22008, 894, 2, 22050, "004400000E00F90D0000"},
    {32048, 744, 2, 22050, "00440000170041170000"},
    {32000, 768, 2, 32000, "008800001700001E0000"},
    {32048, 744, 1, 44100, "008800000F0041170000"},
    {31960, 742, 2, 44100, "008800001700612E0000"},
    {40000, 960, 2, 32000, "00880000170080250000"},
    {48000, 1152, 2, 32000, "008800001700002D0000"},
    {48024, 1115, 1, 44100, "008800000F00D9220000"},
    {48024, 1115, 2, 44100, "008800001F00B1450000"},
    {64040, 1487, 2, 44100, "008800000F00792E0000"},
    {80024, 1858, 2, 44100, "008800000F00113A0000"},
    {96040, 2230, 2, 44100, "008800000F00B1450000"},
    {128040, 2973, 2, 44100, "008800000F00E95C0000"},
    {128016, 2731, 2, 48000, "008800000F0059550000"},
    {160040, 3716, 2, 44100, "008800000F0021740000"},
    {160032, 3414, 2, 48000, "008800000F00B16A0000"},
    {192040, 4459, 2, 44100, "008800000F00598B0000"},
    {192000, 4096, 2, 48000, "008800000F0000800000"},
}};

// Upper bound of each sample rate band and its mono and stereo rows.
struct RateBand {
    std::int32_t upTo;
    int monoRow, stereoRow;
};
constexpr RateBand kRateBands[] = {
    {8000, 3, 7}, {11025, 5, 14}, {16000, 9, 12}, {22050, 13, 17}, {32000, 15, 22}, {44100, 23, 27},
};
constexpr int kAboveAllBandsRow = 31;
}  // namespace

const TAudioFormat& AudioFormatRow(int row) {
    if (row < 0 || row >= kAudioFormatRows) throw std::out_of_range("audio format row " + std::to_string(row));
    return kAudioFormatTable[static_cast<std::size_t>(row)];
}

int AutomaticAudioRow(std::int32_t channels, std::int32_t samplesPerSec) {
    // A product of 0 means the source has no audio stream (or no usable format).
    if (static_cast<std::int64_t>(channels) * samplesPerSec == 0) return 0;
    const bool mono = channels == 1;
    for (const auto& band : kRateBands)
        if (samplesPerSec <= band.upTo) return mono ? band.monoRow : band.stereoRow;
    return kAboveAllBandsRow;
}

std::string AudioFormatText(const TAudioFormat& f) {
    return std::to_string(f.Bitrate / 1000) + " kbps, " + std::to_string(f.SamplesPerSec) + " Hz, " +
           (f.Channels == 1 ? "Mono" : "立体声");
}

}  // namespace mendery
