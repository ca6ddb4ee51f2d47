#pragma once
// An independent decode of a media file, by FFmpeg's decoders in the encoder plugin: every
// packet is read and decoded, and what played is counted. Loaded from the plugin like the
// encoder engine, so the other tools never map the codec libraries.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mendery {

struct DecodedStream {
    int number = 0;          // ASF stream number (the demuxer's stream id)
    std::string kind;        // "视频", "音频" or "其他"
    std::int64_t frames = 0; // decoded pictures or audio frames
};

struct DecodeResult {
    bool opened = false;         // the file opened and holds at least one decodable stream
    std::string whyNot;          // why it did not open, in the program's language
    bool stopped = false;        // the stop callback asked to end; the counts are partial
    double firstSeconds = 0;     // timestamp of the first decoded frame
    double endSeconds = 0;       // end of the last decoded frame
    std::vector<DecodedStream> streams;
    // Errors reported while reading and decoding (one per packet decoded, however many lines
    // its decoder writes), and packets whose timestamp does not come after the one before it
    // in their stream.
    std::int64_t decodeErrors = 0;
    bool seekable = false;       // a seek to the middle landed near its target
    double PlayableSeconds() const { return endSeconds > firstSeconds ? endSeconds - firstSeconds : 0; }
};

// How far a seek to the middle may land from its target and still count as working.
inline constexpr double kSeekToleranceSeconds = 5.0;
// How often (in packets read) the decode asks whether to stop.
inline constexpr int kDecodeStopCheckPackets = 64;

// The plugin's decode entry: `stop`, when not null and set, is called every
// kDecodeStopCheckPackets packets; true ends the decode early (result.stopped).
using DecodeCheckEntry = void (*)(const char* path, const std::function<bool()>* stop, DecodeResult* result);
inline constexpr const char* kDecodeCheckEntry = "mendery_check_decode";

// Decodes `path` through the plugin. False (with the reason in `whyNot`) when the plugin or
// its entry cannot be loaded; then `result` is untouched.
bool CheckDecode(const std::string& path, DecodeResult& result, const std::function<bool()>& stop = {},
                 std::string* whyNot = nullptr);

}  // namespace mendery
