#include "convert/encoder/EncoderEngineSession.h"

#include <pugixml.hpp>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "asf/BinaryFile.h"

namespace mendery {

namespace {
constexpr const char* kAudioMajorType = "{73647561-0000-0010-8000-00AA00389B71}";
constexpr const char* kVideoMajorType = "{73646976-0000-0010-8000-00AA00389B71}";

std::int64_t Number(const pugi::xml_node& node, const char* attribute, std::int64_t fallback = 0) {
    auto a = node.attribute(attribute);
    if (!a) return fallback;
    std::string text = a.value();
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        throw EncoderError(std::string("会话文件中的数值无效: ") + attribute + "=\"" + text + "\"");
    return v;
}

std::int32_t Number32(const pugi::xml_node& node, const char* attribute, std::int32_t fallback = 0) {
    auto v = Number(node, attribute, fallback);
    if (v < INT32_MIN || v > INT32_MAX) throw EncoderError(std::string("会话文件中的数值超出范围: ") + attribute);
    return static_cast<std::int32_t>(v);
}

bool SameGuid(const char* a, const char* b) {
    std::string x = a, y = b;
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(x[i])) != std::toupper(static_cast<unsigned char>(y[i]))) return false;
    return true;
}

void ReadAudioConfig(const pugi::xml_node& config, EncodeJob& job) {
    job.AudioBitrate = Number32(config, "bitrate");
    auto wave = config.child("wmmediatype").child("waveformatex");
    if (!wave) throw EncoderError("会话文件的音频流缺少 waveformatex");
    job.AudioFormatTag = Number32(wave, "wFormatTag");
    job.AudioChannels = Number32(wave, "nChannels");
    job.AudioSamplesPerSec = Number32(wave, "nSamplesPerSec");
    job.AudioBlockAlign = Number32(wave, "nBlockAlign");
}

void ReadVideoConfig(const pugi::xml_node& config, EncodeJob& job) {
    job.VideoBitrate = Number32(config, "bitrate");
    job.VideoBufferWindowMs = Number32(config, "bufferwindow");
    auto props = config.child("videomediaprops");
    job.Quality = Number32(props, "quality", 100);
    job.MaxKeyFrameSpacing = Number(props, "maxkeyframespacing");
    auto info = config.child("wmmediatype").child("videoinfoheader");
    if (!info) throw EncoderError("会话文件的视频流缺少 videoinfoheader");
    job.AvgTimePerFrame = Number(info, "avgtimeperframe");
    auto bmi = info.child("bitmapinfoheader");
    job.VideoWidth = Number32(bmi, "biwidth");
    job.VideoHeight = Number32(bmi, "biheight");
    job.VideoFourCC = bmi.attribute("bicompression").value();
}

void ReadProfile(const std::string& profileText, EncodeJob& job) {
    pugi::xml_document doc;
    auto result = doc.load_string(profileText.c_str());
    if (!result) throw EncoderError(std::string("会话文件中的配置无法解析: ") + result.description());
    auto profile = doc.child("profile");
    if (!profile) throw EncoderError("会话文件中没有配置 (profile)");
    job.ProfileName = profile.attribute("name").value();
    for (auto config : profile.children("streamconfig")) {
        const char* major = config.attribute("majortype").value();
        if (SameGuid(major, kAudioMajorType)) ReadAudioConfig(config, job);
        else if (SameGuid(major, kVideoMajorType)) ReadVideoConfig(config, job);
    }
}
}  // namespace

EncodeJob ParseSessionText(const std::string& text) {
    pugi::xml_document doc;
    auto result = doc.load_string(text.c_str());
    if (!result)
        throw EncoderError(std::string("会话文件无法解析: ") + result.description() + " (偏移 " +
                           std::to_string(result.offset) + ")");
    auto root = doc.child("WMEncoder");
    if (!root) throw EncoderError("会话文件中没有 WMEncoder 元素");
    EncodeJob job;
    auto group = root.child("SourceGroups").child("SourceGroup");
    for (auto source : group.children("Source")) {
        std::string type = source.attribute("Type").value();
        if (type == "WMENC_AUDIO") job.AudioSource = source.attribute("InputSource").value();
        else if (type == "WMENC_VIDEO") job.VideoSource = source.attribute("InputSource").value();
    }
    if (job.AudioSource.empty() && job.VideoSource.empty()) throw EncoderError("会话文件中没有源文件");
    job.OutputPath = root.child("File").attribute("LocalFileName").value();
    if (job.OutputPath.empty()) throw EncoderError("会话文件中没有输出文件");
    // The profile is an XML document of its own, held as text in a CDATA section.
    std::string profileText;
    for (auto node : root.child("WMEncoder_Profile").children())
        if (node.type() == pugi::node_cdata || node.type() == pugi::node_pcdata) profileText += node.value();
    if (profileText.empty()) throw EncoderError("会话文件中没有配置 (WMEncoder_Profile)");
    ReadProfile(profileText, job);
    return job;
}

EncodeJob LoadSessionFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EncoderError("无法打开会话文件 \"" + path + "\": " + SystemReason(errno));
    std::stringstream buffer;
    buffer << in.rdbuf();
    return ParseSessionText(buffer.str());
}

}  // namespace mendery
