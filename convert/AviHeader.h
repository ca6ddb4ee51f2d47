#pragma once
// The first 2,060 bytes of the AVI file the converter writes: RIFF and hdrl with the main
// header, one video and one audio stream list, a JUNK chunk up to offset 2,048, and the head
// of the movi list. Built in memory, written once as a placeholder and again at the end, and
// edited afterwards through the header panel's fields.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace mendery {

// Byte positions inside the header image.
namespace avi {
inline constexpr std::uint32_t RiffSize = 4, HdrlSize = 16, MicroSecPerFrame = 32, AvihFlags = 44, TotalFrames = 48,
                               Streams = 56, Width = 64, Height = 68;
inline constexpr std::uint32_t VideoStrlSize = 92, VideoHandler = 112, VideoScale = 128, VideoRate = 132,
                               VideoStart = 136, VideoLength = 140, VideoBufferSize = 144, VideoQuality = 148,
                               VideoFrame = 156, VideoFormat = 172, VideoCompression = 188;
inline constexpr std::uint32_t AudioStrlSize = 216, AudioInitialFrames = 248, AudioScale = 252, AudioRate = 256,
                               AudioStart = 260, AudioLength = 264, AudioBufferSize = 268, AudioQuality = 272,
                               AudioSampleSize = 276, AudioStrfSize = 292, AudioFormat = 296;
inline constexpr std::uint32_t MoviList = 2048, MoviSize = 2052, Movi = 2056, HeaderSize = 2060;
inline constexpr std::uint32_t BitmapInfoSize = 40;
// The JUNK chunk must end at the movi list, with room for its text.
inline constexpr std::uint32_t MaxAudioFormat = 1713;
inline constexpr char JunkText[] = "Converted by Mendery v3.10";
}  // namespace avi

class AviHeaderImage {
public:
    using Bytes = std::array<std::uint8_t, avi::HeaderSize>;

    // Every constant in place, timing placeholders (1,000,000 µs per frame, video scale and
    // rate 100,000), room for a 22-byte audio format, movi list size 4.
    void BuildPlaceholder();
    // The video stream's type-specific data: encoded width and height, a flags byte, the format
    // data size, then the BITMAPINFOHEADER (missing bytes read as zero).
    void SetVideo(std::span<const std::uint8_t> typeSpecific);
    // The audio stream's format record, copied whole; L = its length (at most MaxAudioFormat).
    // Without an audio stream L stays 0 and the auds header keeps zero format values.
    void SetAudio(std::span<const std::uint8_t> format);
    // The JUNK chunk right behind the hdrl list, so that the movi list starts at 2,048.
    void PlaceJunk();

    std::uint32_t U32(std::uint32_t at) const;
    void SetU32(std::uint32_t at, std::uint32_t v);
    std::uint16_t U16(std::uint32_t at) const;
    void SetU16(std::uint32_t at, std::uint16_t v);
    std::string FourCC(std::uint32_t at) const;            // up to the first zero byte
    void SetFourCC(std::uint32_t at, std::string_view text);  // first four characters, zero padded

    std::uint32_t AudioFormatLength() const { return U32(avi::AudioStrfSize); }
    // Where the audio format tag lies, or 0 when there is no audio format block.
    std::uint32_t AudioFormatTagAt() const { return AudioFormatLength() >= 2 ? avi::AudioFormat : 0; }

    const Bytes& Data() const { return bytes_; }
    Bytes& Data() { return bytes_; }

private:
    Bytes bytes_{};
};

// The header panel's controls as text, the way the user sees and edits them.
struct AviHeaderFields {
    std::string framesPerSecond;  // "帧/秒": 1,000,000 ÷ microseconds per frame, 5 decimals
    std::string videoHandler;     // "v.fcc处理器"
    std::string compression;      // "v.压缩"
    std::string audioFormatTag;   // "a.格式标签": "0x" + four upper-case hex digits
    int audioToVideo = 100;       // track bar "音频至视频:" 0..200; 100 means no offset
    bool Empty() const { return framesPerSecond.empty(); }
};

// 1,000,000 ÷ microseconds per frame with 5 decimals (27.93296).
std::string FramesPerSecondText(std::uint32_t microSecPerFrame);
AviHeaderFields ShowHeaderValues(const AviHeaderImage& image);
void ApplyHeaderEdits(const AviHeaderFields& fields, AviHeaderImage& image);
// The DivX-labelled twin of an MPEG-4 v2/v3 FourCC ("MP42" → "DIV2", "MP43" → "DIV3"), or empty.
std::string DivXFourCC(std::string_view compression);

}  // namespace mendery
