#include "convert/MediaEncoderSource.h"

#include <algorithm>
#include <limits>

#include "asf/BinaryFile.h"

namespace mendery {

namespace {
constexpr std::size_t kStreamBodyFixed = 54;      // type GUIDs, time offset, lengths, flags, reserved
constexpr std::size_t kVideoBodyKept = 126;
constexpr std::size_t kVideoWidthAt = kStreamBodyFixed + 0;
constexpr std::size_t kVideoHeightAt = kStreamBodyFixed + 4;
constexpr std::size_t kBitmapInfoAt = kStreamBodyFixed + 11;  // after width, height, flags, format size
constexpr std::size_t kFourCCAt = kBitmapInfoAt + 16;
constexpr std::size_t kWaveFormatAt = kStreamBodyFixed;

std::int64_t FieldOr0(const std::vector<std::uint8_t>& body, std::size_t at, unsigned width) {
    if (body.size() < at + width) return 0;
    return width == 2 ? ReadU16At(body, at) : ReadU32At(body, at);
}

std::int32_t Clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::int32_t>::max()));
}
}  // namespace

std::int32_t MediaSourceInfo::SourceLengthTenths() const {
    if (!FileProps) return 0;
    // Play duration is in 100-ns units and includes the preroll, given in milliseconds.
    const std::uint64_t play = FileProps->playDuration / 1'000'000;
    const std::uint64_t preroll = FileProps->preroll / 100;
    return Clamp32(play > preroll ? static_cast<std::int64_t>(std::min<std::uint64_t>(play - preroll, INT64_MAX)) : 0);
}

std::int32_t MediaSourceInfo::VideoWidth() const { return Clamp32(FieldOr0(VideoStream, kVideoWidthAt, 4)); }
std::int32_t MediaSourceInfo::VideoHeight() const { return Clamp32(FieldOr0(VideoStream, kVideoHeightAt, 4)); }

std::string MediaSourceInfo::VideoFourCC() const {
    std::string out;
    if (VideoStream.size() < kFourCCAt + 4) return out;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = static_cast<char>(VideoStream[kFourCCAt + i]);
        out += c;
    }
    return out;
}

std::int32_t MediaSourceInfo::AudioChannels() const { return Clamp32(FieldOr0(AudioStream, kWaveFormatAt + 2, 2)); }
std::int32_t MediaSourceInfo::AudioSamplesPerSec() const { return Clamp32(FieldOr0(AudioStream, kWaveFormatAt + 4, 4)); }
std::int32_t MediaSourceInfo::AudioBlockAlign() const { return Clamp32(FieldOr0(AudioStream, kWaveFormatAt + 12, 2)); }

std::optional<MediaSourceInfo> ReadMediaSource(const std::string& path, ILogSink& log) {
    BinaryFile file(path, BinaryFile::Mode::Read);  // an open error reaches the caller
    try {
        std::vector<std::uint8_t> head(kObjectHeaderSize);
        if (file.Read(head) != head.size() || Guid::FromBytes(std::span(head).first(16)) != guids::HeaderObject) {
            log.Log("无效的文件头对象ID. 正在退出.");
            return std::nullopt;
        }
        log.Log("文件头对象ID正常");
        const std::uint64_t headerSize = ReadU64At(head, 16);
        if (headerSize < kHeaderObjectFixedSize || headerSize > kMaxSourceHeaderSize) {
            log.Log("文件头对象大小无效: " + std::to_string(headerSize));
            return std::nullopt;
        }
        std::vector<std::uint8_t> header(headerSize);
        std::copy(head.begin(), head.end(), header.begin());
        file.ReadExact(std::span(header).subspan(kObjectHeaderSize));

        std::vector<std::uint8_t> dataHead(kObjectHeaderSize);
        if (file.Read(dataHead) != dataHead.size() ||
            Guid::FromBytes(std::span(dataHead).first(16)) != guids::DataObject) {
            log.Log("无效的数据对象ID. 正在退出.");
            return std::nullopt;
        }
        log.Log("数据对象ID正常");

        MediaSourceInfo info;
        const auto walk = WalkHeader(header);
        for (const auto& o : walk.objects) {
            const auto body = std::span(header).subspan(o.offset + kObjectHeaderSize, o.size - kObjectHeaderSize);
            if (o.guid == guids::FileProperties) {
                if (o.size < kFilePropertiesSize) continue;
                info.FileProps = FileProperties::Read(ByteCursor(std::span(header).subspan(o.offset, o.size)));
                log.Log("已定位: 文件属性对象");
            } else if (o.guid == guids::StreamProperties) {
                if (body.size() >= 16 && Guid::FromBytes(body.first(16)) == guids::VideoMedia) {
                    const auto kept = body.first(std::min(body.size(), kVideoBodyKept));
                    info.VideoStream.assign(kept.begin(), kept.end());
                    log.Log("已定位: 视频流对象");
                } else {
                    info.AudioStream.assign(body.begin(), body.end());
                    log.Log("已定位: 音频流对象");
                }
            }
        }
        return info;
    } catch (const IoError&) {
    } catch (const TruncatedData&) {
    }
    return std::nullopt;
}

}  // namespace mendery
