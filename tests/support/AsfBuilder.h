#pragma once
// Builds ASF files in memory or on disk from a short description, so that each edge case of
// a reader is a few readable lines; plus mutators and small test utilities.
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "asf/AsfGuid.h"
#include "asf/Host.h"

namespace mendery::test {

using Bytes = std::vector<std::uint8_t>;

struct PayloadSpec {
    int stream = 1;
    bool key = false;
    std::uint32_t object = 0;       // media object number
    std::uint32_t offset = 0;       // offset into the media object
    std::uint32_t objectSize = 0;   // 0: the size of data
    std::uint32_t pts = 0;          // presentation time, ms
    Bytes data = Bytes(100, 0x55);
};

struct PacketSpec {
    // One of the ten known layouts: 0x00 0x01 0x08 0x09 0x10 0x11 0x48 0x49 0x50 0x51
    // (bit 0 multiple payloads, 0x08/0x10 byte/word padding field, 0x40 word packet length).
    std::uint8_t lengthTypeFlags = 0x08;
    std::uint32_t sendTime = 0;
    std::uint16_t duration = 40;
    std::vector<PayloadSpec> payloads = {PayloadSpec{}};
    // Width of each payload's length field in a multiple-payload packet: 1 byte, 2 word, 3 dword.
    unsigned payloadLengthType = 2;
    std::optional<std::array<std::uint8_t, 3>> firstBytes;  // e.g. {0x13,0,0} for a bad signature
    bool noErrorCorrection = false;                         // packets as GStreamer writes them
};

// A multiple-payload packet (word padding field) of `count` payloads on streams 1 and 2 in
// turn, each `bytes` long and filled with its own byte, payload i presented at firstPts + 10 i;
// the payload lengths are fields of the given length type.
PacketSpec ManyPayloads(int count, unsigned payloadLengthType, std::size_t bytes, std::uint32_t firstPts = 0);

class AsfBuilder {
public:
    AsfBuilder& PacketSize(std::uint32_t size) { packetSize_ = size; return *this; }
    AsfBuilder& Preroll(std::uint64_t ms) { preroll_ = ms; return *this; }
    AsfBuilder& Flags(std::uint32_t flags) { flags_ = flags; return *this; }
    AsfBuilder& VideoStream(int number, const char* fourcc = "WMV2");
    AsfBuilder& AudioStream(int number, std::uint16_t formatTag = 0x0161);
    AsfBuilder& ExtraHeaderObject(const Guid& guid, Bytes body);
    AsfBuilder& CodecList(bool on = true) { codecList_ = on; return *this; }
    AsfBuilder& Packet(PacketSpec desc) { packets_.push_back(std::move(desc)); return *this; }
    // n single-payload packets on stream 1, 40 ms apart, a key frame every `keyEvery`.
    AsfBuilder& SimplePackets(int n, std::uint8_t lengthTypeFlags = 0x08, int keyEvery = 10);
    AsfBuilder& Index(bool on = true) { index_ = on; return *this; }
    // Leaves the header unfinalised as a killed recorder does: sizes, counts, durations 0.
    AsfBuilder& Unfinalised(bool on = true) { unfinalised_ = on; return *this; }

    Bytes Build() const;
    std::string WriteTo(const std::filesystem::path& path) const;

    std::uint32_t packetSize() const { return packetSize_; }
    static Bytes BuildPacket(const PacketSpec& desc, std::uint32_t packetSize);

private:
    Bytes HeaderObject(std::uint64_t fileSize, std::uint64_t packetCount, std::uint64_t durationMs) const;
    std::uint32_t packetSize_ = 1024;
    std::uint64_t preroll_ = 0;
    std::uint32_t flags_ = 0x02;
    bool codecList_ = false, index_ = false, unfinalised_ = false;
    std::vector<Bytes> streams_, extras_;
    std::vector<PacketSpec> packets_;
};

// Positions inside a built file.
std::uint64_t HeaderSizeOf(const Bytes& file);
std::uint64_t PacketOffset(const Bytes& file, std::uint32_t packetSize, std::uint64_t index);

// Mutators.
void PutU8(Bytes& b, std::uint64_t at, std::uint8_t v);
void PutU16(Bytes& b, std::uint64_t at, std::uint16_t v);
void PutU32(Bytes& b, std::uint64_t at, std::uint32_t v);
void PutU64(Bytes& b, std::uint64_t at, std::uint64_t v);
std::uint32_t GetU32(const Bytes& b, std::uint64_t at);
std::uint64_t GetU64(const Bytes& b, std::uint64_t at);
void Truncate(Bytes& b, std::uint64_t size);
// Overwrites `count` packets from `first` with garbage that fails the signature test.
void DamagePackets(Bytes& file, std::uint32_t packetSize, std::uint64_t first, std::uint64_t count = 1);

// The GStreamer sample k_ (165 packets of 4800 bytes without error correction data), as it is
// or damaged: packets 40 to 42 overwritten with garbage, cut at 70 % (inside packet 115), or
// 777 bytes inserted 700 bytes into packet 20.
enum class GstDamage { None, Garbage, Truncated, Inserted };
inline constexpr std::uint32_t kGstPacketSize = 4800;
inline constexpr int kGstPackets = 165;
Bytes GstSample(GstDamage damage);

Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);
// `n` bytes in which no short run repeats at a nearby offset: a copy that lands a few bytes off
// shows.
Bytes PatternBytes(std::size_t n);
std::string SampleFile(const std::string& name);  // tests/data/NAME

// A fresh folder removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A host that records everything and answers questions from a script.
class RecordingHost : public IHost {
public:
    std::vector<std::string> lines, messages, questions;
    std::deque<Answer> answers;  // answers to Ask, in order; No when empty
    std::int64_t progressMax = -1, progress = -1, processCalls = 0;
    std::vector<std::string> statuses;
    std::function<void()> onProcessMessages;

    void Log(std::string_view line) override { lines.emplace_back(line); }
    void ClearLog() override { lines.clear(); }
    void SetProgressRange(std::int64_t m) override { progressMax = m; }
    void SetProgress(std::int64_t p) override { progress = p; }
    void SetStatus(std::string_view s) override { statuses.emplace_back(s); }
    void ProcessMessages() override {
        ++processCalls;
        if (onProcessMessages) onProcessMessages();
    }
    void Message(std::string_view text, MessageKind) override { messages.emplace_back(text); }
    Answer Ask(std::string_view text, Buttons, MessageKind) override {
        questions.emplace_back(text);
        if (answers.empty()) return Answer::No;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool HasLine(std::string_view line) const;
    std::string AllLines() const;
};

// Runs a shell command; returns its exit status and puts stdout and stderr (unless the command
// redirects it) into `output`.
int RunCommand(const std::string& command, std::string* output = nullptr);
bool HaveProgram(const std::string& name);
std::string Quote(const std::string& path);  // for the shell

// ffprobe's per-stream packet counts ("-count_packets"), in stream order; empty on failure.
std::vector<int> ProbePacketCounts(const std::string& path);
// ffprobe's duration of the file in seconds; -1 on failure.
double ProbeDurationSeconds(const std::string& path);
// True when `ffmpeg -v error -i path -f null -` decodes with no error output.
bool DecodesCleanly(const std::string& path, std::string* errors = nullptr);
// True when gst-discoverer-1.0 reads the file and finds it seekable; `report` gets its output.
bool DiscovererAccepts(const std::string& path, std::string* report = nullptr);

}  // namespace mendery::test
