#include "convert/AviHeader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "asf/ByteCursor.h"

namespace mendery {

namespace {
constexpr std::uint32_t kPlaceholderAudioFormat = 22;

std::uint32_t HdrlSizeFor(std::uint32_t audioFormatLength) { return 276 + audioFormatLength; }

// Reads a whole text as a number; false when anything but the number is in it.
bool ParseDouble(std::string_view text, double& out) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseTag(std::string_view text, std::uint32_t& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    std::uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}
}  // namespace

std::uint32_t AviHeaderImage::U32(std::uint32_t at) const { return ReadU32At(bytes_, at); }
void AviHeaderImage::SetU32(std::uint32_t at, std::uint32_t v) { BytePatcher(bytes_).U32At(at, v); }
std::uint16_t AviHeaderImage::U16(std::uint32_t at) const { return ReadU16At(bytes_, at); }
void AviHeaderImage::SetU16(std::uint32_t at, std::uint16_t v) { BytePatcher(bytes_).U16At(at, v); }

std::string AviHeaderImage::FourCC(std::uint32_t at) const {
    std::string s;
    for (std::uint32_t i = 0; i < 4 && bytes_.at(at + i) != 0; ++i) s += static_cast<char>(bytes_[at + i]);
    return s;
}

void AviHeaderImage::SetFourCC(std::uint32_t at, std::string_view text) {
    for (std::uint32_t i = 0; i < 4; ++i) bytes_.at(at + i) = i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

void AviHeaderImage::BuildPlaceholder() {
    bytes_.fill(0);
    SetFourCC(0, "RIFF");
    SetFourCC(8, "AVI ");
    SetFourCC(12, "LIST");
    SetU32(avi::HdrlSize, HdrlSizeFor(kPlaceholderAudioFormat));
    SetFourCC(20, "hdrl");
    SetFourCC(24, "avih");
    SetU32(28, 56);
    SetU32(avi::MicroSecPerFrame, 1000000);
    SetU32(avi::AvihFlags, 0x110);  // has index, interleaved
    SetU32(avi::Streams, 2);

    SetFourCC(88, "LIST");
    SetU32(avi::VideoStrlSize, 116);
    SetFourCC(96, "strl");
    SetFourCC(100, "strh");
    SetU32(104, 56);
    SetFourCC(108, "vids");
    SetU32(avi::VideoScale, 100000);
    SetU32(avi::VideoRate, 100000);
    SetU32(avi::VideoBufferSize, 32000);
    SetU32(avi::VideoQuality, 0xFFFFFFFF);
    SetFourCC(164, "strf");
    SetU32(168, avi::BitmapInfoSize);

    SetFourCC(212, "LIST");
    SetU32(avi::AudioStrlSize, 76 + kPlaceholderAudioFormat);
    SetFourCC(220, "strl");
    SetFourCC(224, "strh");
    SetU32(228, 56);
    SetFourCC(232, "auds");
    SetU32(avi::AudioInitialFrames, 1);
    SetU32(avi::AudioLength, 380);
    SetU32(avi::AudioBufferSize, 10000);
    SetU32(avi::AudioQuality, 0xFFFFFFFF);
    SetFourCC(288, "strf");
    SetU32(avi::AudioStrfSize, kPlaceholderAudioFormat);
    PlaceJunk();

    SetFourCC(avi::MoviList, "LIST");
    SetU32(avi::MoviSize, 4);
    SetFourCC(avi::Movi, "movi");
}

void AviHeaderImage::SetVideo(std::span<const std::uint8_t> typeSpecific) {
    // Encoded width (4), height (4), flags (1), format data size (2), BITMAPINFOHEADER (40).
    std::uint8_t data[11 + avi::BitmapInfoSize]{};
    std::copy_n(typeSpecific.begin(), std::min(typeSpecific.size(), sizeof data), data);
    const std::uint32_t width = ReadU32At(data, 0), height = ReadU32At(data, 4);
    SetU32(avi::Width, width);
    SetU32(avi::Height, height);
    SetU16(avi::VideoFrame + 4, static_cast<std::uint16_t>(width));
    SetU16(avi::VideoFrame + 6, static_cast<std::uint16_t>(height));
    std::copy_n(data + 11, avi::BitmapInfoSize, bytes_.begin() + avi::VideoFormat);
    std::copy_n(data + 11 + 16, 4, bytes_.begin() + avi::VideoHandler);  // the compression FourCC
    SetU32(avi::VideoBufferSize, 32000);
}

void AviHeaderImage::SetAudio(std::span<const std::uint8_t> format) {
    const auto length = static_cast<std::uint32_t>(format.size());
    if (length > avi::MaxAudioFormat) throw std::length_error("audio format block too long");
    std::fill(bytes_.begin() + avi::AudioFormat, bytes_.begin() + avi::MoviList, 0);
    std::copy(format.begin(), format.end(), bytes_.begin() + avi::AudioFormat);
    // Missing fields of a short format record read as zero.
    std::uint8_t wfx[14]{};
    std::copy_n(format.begin(), std::min(format.size(), sizeof wfx), wfx);
    const std::uint32_t blockAlign = ReadU16At(wfx, 12), bytesPerSecond = ReadU32At(wfx, 8);
    SetU32(avi::AudioInitialFrames, 1);
    SetU32(avi::AudioScale, blockAlign);
    SetU32(avi::AudioRate, bytesPerSecond);
    SetU32(avi::AudioSampleSize, blockAlign);
    SetU32(avi::AudioLength, 380);
    SetU32(avi::AudioBufferSize, 10000);
    SetU32(avi::AudioStrfSize, length);
    SetU32(avi::AudioStrlSize, 76 + length);
    SetU32(avi::HdrlSize, HdrlSizeFor(length));
}

void AviHeaderImage::PlaceJunk() {
    const std::uint32_t at = 20 + U32(avi::HdrlSize);
    std::fill(bytes_.begin() + at, bytes_.begin() + avi::MoviList, 0);
    SetFourCC(at, "JUNK");
    SetU32(at + 4, avi::MoviList - at - 8);
    std::memcpy(bytes_.data() + at + 8, avi::JunkText, sizeof avi::JunkText - 1);
}

std::string FramesPerSecondText(std::uint32_t microSecPerFrame) {
    if (microSecPerFrame == 0) microSecPerFrame = 1;
    char text[64];
    std::snprintf(text, sizeof text, "%.5f", 1000000.0 / microSecPerFrame);
    return text;
}

AviHeaderFields ShowHeaderValues(const AviHeaderImage& image) {
    AviHeaderFields f;
    f.framesPerSecond = FramesPerSecondText(image.U32(avi::MicroSecPerFrame));
    f.videoHandler = image.FourCC(avi::VideoHandler);
    f.compression = image.FourCC(avi::VideoCompression);
    const std::uint32_t tagAt = image.AudioFormatTagAt();
    char tag[16];
    std::snprintf(tag, sizeof tag, "0x%04X", tagAt ? image.U16(tagAt) : 0);
    f.audioFormatTag = tag;
    const std::int64_t p = 100 + std::int64_t(image.U32(avi::AudioStart)) - std::int64_t(image.U32(avi::VideoStart));
    f.audioToVideo = static_cast<int>(std::clamp<std::int64_t>(p, 0, 200));
    return f;
}

void ApplyHeaderEdits(const AviHeaderFields& fields, AviHeaderImage& image) {
    if (fields.framesPerSecond != FramesPerSecondText(image.U32(avi::MicroSecPerFrame))) {
        double fps = 0;
        // Rates that give no whole positive number of microseconds per frame are ignored.
        if (ParseDouble(fields.framesPerSecond, fps) && fps > 0) {
            const double us = std::round(1000000.0 / fps);
            if (us >= 1 && us <= 4294967295.0) {
                image.SetU32(avi::MicroSecPerFrame, static_cast<std::uint32_t>(us));
                image.SetU32(avi::VideoScale, static_cast<std::uint32_t>(us));
                image.SetU32(avi::VideoRate, 1000000);
            }
        }
    }
    image.SetFourCC(avi::VideoHandler, fields.videoHandler);
    image.SetFourCC(avi::VideoCompression, fields.compression);
    std::uint32_t tag = 0;
    // Without an audio format block there is no tag to change (the JUNK chunk lies there).
    if (image.AudioFormatTagAt() && ParseTag(fields.audioFormatTag, tag))
        image.SetU16(image.AudioFormatTagAt(), static_cast<std::uint16_t>(tag));
    const int p = std::clamp(fields.audioToVideo, 0, 200);
    image.SetU32(avi::VideoStart, p > 100 ? 0 : 100 - p);
    image.SetU32(avi::AudioStart, p > 100 ? p - 100 : 0);
}

std::string DivXFourCC(std::string_view compression) {
    if (compression == "MP42") return "DIV2";
    if (compression == "MP43") return "DIV3";
    return {};
}

}  // namespace mendery
