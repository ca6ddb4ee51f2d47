#pragma once
// What the re-encoder reads of its source before encoding: the file properties and the last
// video and audio stream properties objects of the header.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "asf/AsfObjects.h"
#include "asf/Host.h"

namespace mendery {

struct MediaSourceInfo {
    std::optional<FileProperties> FileProps;
    std::vector<std::uint8_t> VideoStream;  // first 126 body bytes of the video stream properties object
    std::vector<std::uint8_t> AudioStream;  // whole body of the (last) other stream properties object

    // Source length in tenths of a second: play duration less preroll, 0 without file properties.
    std::int32_t SourceLengthTenths() const;
    // Encoded image size and the BITMAPINFOHEADER compression FourCC of the video stream.
    std::int32_t VideoWidth() const;
    std::int32_t VideoHeight() const;
    std::string VideoFourCC() const;
    // WAVEFORMATEX fields of the audio stream; 0 without one.
    std::int32_t AudioChannels() const;
    std::int32_t AudioSamplesPerSec() const;
    std::int32_t AudioBlockAlign() const;
};

// Largest header object the re-encoder reads into memory.
inline constexpr std::uint64_t kMaxSourceHeaderSize = 16 * 1024 * 1024;

// Reads the source's header and the data object's identifier, logging each step. Returns
// nothing when the file is not a readable ASF file (the reason is logged). An error opening
// the file propagates as IoError.
std::optional<MediaSourceInfo> ReadMediaSource(const std::string& path, ILogSink& log);

}  // namespace mendery
