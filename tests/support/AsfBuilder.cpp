#include "support/AsfBuilder.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "asf/AsfObjects.h"
#include "asf/ByteCursor.h"

namespace mendery::test {

namespace {

class Writer {
public:
    Bytes bytes;
    void U8(std::uint8_t v) { bytes.push_back(v); }
    void U16(std::uint16_t v) { Le(v, 2); }
    void U32(std::uint32_t v) { Le(v, 4); }
    void U64(std::uint64_t v) { Le(v, 8); }
    void Put(const Guid& g) { bytes.insert(bytes.end(), g.bytes.begin(), g.bytes.end()); }
    void Put(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void Zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    void ByType(unsigned type, std::uint32_t v) { Le(v, LengthTypeWidth(type)); }

private:
    void Le(std::uint64_t v, unsigned width) {
        for (unsigned i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
};

Bytes Object(const Guid& guid, const Bytes& body) {
    Writer w;
    w.Put(guid);
    w.U64(body.size() + kObjectHeaderSize);
    w.Put(body);
    return w.bytes;
}

Bytes StreamObject(int number, const Guid& type, const Bytes& typeSpecific) {
    Writer w;
    w.Put(type);
    w.Put(guids::NoErrorCorrection);
    w.U64(0);
    w.U32(static_cast<std::uint32_t>(typeSpecific.size()));
    w.U32(0);
    w.U16(static_cast<std::uint16_t>(number & 0x7F));
    w.U32(0);
    w.Put(typeSpecific);
    return Object(guids::StreamProperties, w.bytes);
}

}  // namespace

AsfBuilder& AsfBuilder::VideoStream(int number, const char* fourcc) {
    Writer t;
    t.U32(320);
    t.U32(240);
    t.U8(2);
    t.U16(40);
    t.U32(40);  // BITMAPINFOHEADER
    t.U32(320);
    t.U32(240);
    t.U16(1);
    t.U16(24);
    for (int i = 0; i < 4; ++i) t.U8(static_cast<std::uint8_t>(fourcc[i]));
    t.U32(320 * 240 * 3);
    t.Zeros(16);
    streams_.push_back(StreamObject(number, guids::VideoMedia, t.bytes));
    return *this;
}

AsfBuilder& AsfBuilder::AudioStream(int number, std::uint16_t formatTag) {
    Writer t;  // WAVEFORMATEX
    t.U16(formatTag);
    t.U16(2);
    t.U32(44100);
    t.U32(16000);
    t.U16(743);
    t.U16(16);
    t.U16(0);
    streams_.push_back(StreamObject(number, guids::AudioMedia, t.bytes));
    return *this;
}

AsfBuilder& AsfBuilder::ExtraHeaderObject(const Guid& guid, Bytes body) {
    extras_.push_back(Object(guid, body));
    return *this;
}

AsfBuilder& AsfBuilder::SimplePackets(int n, std::uint8_t lengthTypeFlags, int keyEvery) {
    const std::uint32_t base = static_cast<std::uint32_t>(packets_.size());
    for (int i = 0; i < n; ++i) {
        PacketSpec p;
        p.lengthTypeFlags = lengthTypeFlags;
        p.sendTime = (base + i) * 40;
        p.duration = 40;
        PayloadSpec pl;
        pl.object = (base + i) & 0xFF;
        pl.key = keyEvery > 0 && (base + i) % keyEvery == 0;
        pl.pts = p.sendTime + static_cast<std::uint32_t>(preroll_);
        pl.data = Bytes(packetSize_ - 40, static_cast<std::uint8_t>(0x10 + (i % 200)));
        p.payloads = {pl};
        packets_.push_back(p);
    }
    return *this;
}

PacketSpec ManyPayloads(int count, unsigned payloadLengthType, std::size_t bytes, std::uint32_t firstPts) {
    PacketSpec packet;
    packet.lengthTypeFlags = 0x11;
    packet.payloadLengthType = payloadLengthType;
    packet.payloads.clear();
    for (int i = 0; i < count; ++i) {
        PayloadSpec payload;
        payload.stream = 1 + i % 2;
        payload.object = static_cast<std::uint32_t>(i);
        payload.pts = firstPts + 10 * static_cast<std::uint32_t>(i);
        payload.data = Bytes(bytes, static_cast<std::uint8_t>(0x20 + i));
        packet.payloads.push_back(payload);
    }
    return packet;
}

Bytes AsfBuilder::BuildPacket(const PacketSpec& desc, std::uint32_t packetSize) {
    const std::uint8_t t = desc.lengthTypeFlags;
    const bool multiple = (t & 1) != 0;
    const unsigned plType = (t >> 5) & 3, padType = (t >> 3) & 3;
    Writer w;
    if (!desc.noErrorCorrection) {
        w.U8(0x82);
        w.U16(0);
    }
    w.U8(t);
    w.U8(0x5D);  // replicated length byte, offset dword, object number byte, stream number byte
    const std::size_t lengthAt = w.bytes.size();
    w.ByType(plType, packetSize);
    const std::size_t paddingAt = w.bytes.size();
    w.ByType(padType, 0);
    w.U32(desc.sendTime);
    w.U16(desc.duration);
    if (multiple) w.U8(static_cast<std::uint8_t>((desc.payloadLengthType & 3) << 6 | (desc.payloads.size() & 0x3F)));
    for (const auto& pl : desc.payloads) {
        w.U8(static_cast<std::uint8_t>((pl.stream & 0x7F) | (pl.key ? 0x80 : 0)));
        w.U8(static_cast<std::uint8_t>(pl.object));
        w.U32(pl.offset);
        w.U8(8);
        w.U32(pl.objectSize ? pl.objectSize : static_cast<std::uint32_t>(pl.data.size()));
        w.U32(pl.pts);
        if (multiple) w.ByType(desc.payloadLengthType, static_cast<std::uint32_t>(pl.data.size()));
        w.Put(pl.data);
    }
    if (w.bytes.size() > packetSize) throw std::invalid_argument("payloads do not fit the packet size");
    const std::uint32_t padding = packetSize - static_cast<std::uint32_t>(w.bytes.size());
    if (padType == 1 && padding > 0xFF) throw std::invalid_argument("padding does not fit a byte field: use bigger payloads");
    w.Zeros(padding);
    BytePatcher patch(w.bytes);
    patch.ByLengthTypeAt(paddingAt, padType, padding);
    patch.ByLengthTypeAt(lengthAt, plType, packetSize);
    if (desc.firstBytes)
        for (int i = 0; i < 3; ++i) w.bytes[i] = (*desc.firstBytes)[i];
    return w.bytes;
}

Bytes AsfBuilder::HeaderObject(std::uint64_t fileSize, std::uint64_t packetCount, std::uint64_t durationMs) const {
    Writer fp;
    fp.Zeros(16);  // file ID
    fp.U64(unfinalised_ ? 0 : fileSize);
    fp.U64(0);
    fp.U64(unfinalised_ ? 0 : packetCount);
    fp.U64(unfinalised_ ? 0 : (durationMs + preroll_) * 10000);
    fp.U64(unfinalised_ ? 0 : durationMs * 10000);
    fp.U64(preroll_);
    fp.U32(unfinalised_ ? 0x01 : flags_);
    fp.U32(packetSize_);
    fp.U32(packetSize_);
    fp.U32(1000000);
    std::vector<Bytes> children = {Object(guids::FileProperties, fp.bytes)};
    children.insert(children.end(), streams_.begin(), streams_.end());
    if (codecList_) {
        Writer cl;
        cl.Put(guids::Reserved2);
        cl.U32(1);
        cl.U16(1);  // video codec
        cl.U16(5);
        for (char16_t c : std::u16string(u"wmv2")) cl.U16(c);
        cl.U16(0);
        cl.U16(0);
        cl.U16(4);
        cl.Put(Bytes{'W', 'M', 'V', '2'});
        children.push_back(Object(guids::CodecList, cl.bytes));
    }
    children.insert(children.end(), extras_.begin(), extras_.end());
    Writer h;
    h.Put(guids::HeaderObject);
    std::uint64_t size = kHeaderObjectFixedSize;
    for (const auto& c : children) size += c.size();
    h.U64(size);
    h.U32(static_cast<std::uint32_t>(children.size()));
    h.U8(1);
    h.U8(2);
    for (const auto& c : children) h.Put(c);
    return h.bytes;
}

Bytes AsfBuilder::Build() const {
    Bytes data;
    std::uint64_t durationMs = 0;
    for (const auto& p : packets_) {
        Bytes packet = BuildPacket(p, packetSize_);
        data.insert(data.end(), packet.begin(), packet.end());
        durationMs = std::max<std::uint64_t>(durationMs, std::uint64_t(p.sendTime) + p.duration);
    }
    Bytes index;
    if (index_) {
        Writer ix;
        ix.Zeros(16);
        ix.U64(10000000);
        ix.U32(1);
        ix.U32(1);
        ix.U32(0);
        ix.U16(1);
        index = Object(guids::SimpleIndex, ix.bytes);
    }
    // The header size does not depend on the values in it, so build it twice.
    const std::uint64_t headerSize = HeaderObject(0, 0, 0).size();
    const std::uint64_t fileSize = headerSize + kDataObjectHeadSize + data.size() + index.size();
    Writer out;
    out.Put(HeaderObject(fileSize, packets_.size(), durationMs));
    out.Put(guids::DataObject);
    out.U64(unfinalised_ ? kDataObjectHeadSize : kDataObjectHeadSize + data.size());
    out.Zeros(16);
    out.U64(unfinalised_ ? 0 : packets_.size());
    out.U8(1);
    out.U8(1);
    out.Put(data);
    out.Put(index);
    return out.bytes;
}

std::string AsfBuilder::WriteTo(const std::filesystem::path& path) const {
    WriteFileBytes(path, Build());
    return path.string();
}

std::uint64_t HeaderSizeOf(const Bytes& file) { return GetU64(file, 16); }

std::uint64_t PacketOffset(const Bytes& file, std::uint32_t packetSize, std::uint64_t index) {
    return HeaderSizeOf(file) + kDataObjectHeadSize + index * packetSize;
}

void PutU8(Bytes& b, std::uint64_t at, std::uint8_t v) { BytePatcher(b).U8At(at, v); }
void PutU16(Bytes& b, std::uint64_t at, std::uint16_t v) { BytePatcher(b).U16At(at, v); }
void PutU32(Bytes& b, std::uint64_t at, std::uint32_t v) { BytePatcher(b).U32At(at, v); }
void PutU64(Bytes& b, std::uint64_t at, std::uint64_t v) { BytePatcher(b).U64At(at, v); }
std::uint32_t GetU32(const Bytes& b, std::uint64_t at) { return ReadU32At(b, at); }
std::uint64_t GetU64(const Bytes& b, std::uint64_t at) { return ReadU64At(b, at); }

void Truncate(Bytes& b, std::uint64_t size) {
    if (size < b.size()) b.resize(size);
}

void DamagePackets(Bytes& file, std::uint32_t packetSize, std::uint64_t first, std::uint64_t count) {
    std::mt19937 rng(static_cast<unsigned>(first * 7919 + count));
    for (std::uint64_t i = first; i < first + count; ++i) {
        const std::uint64_t at = PacketOffset(file, packetSize, i);
        for (std::uint64_t k = at; k < at + packetSize && k < file.size(); ++k) file[k] = static_cast<std::uint8_t>(rng());
        if (at < file.size()) file[at] = 0x13;  // never 0x82 or 0x90
    }
}

Bytes GstSample(GstDamage damage) {
    Bytes file = ReadFileBytes(SampleFile("k_gst_asfmux_wmv2_wmav2.wmv"));
    switch (damage) {
        case GstDamage::None: break;
        case GstDamage::Garbage: DamagePackets(file, kGstPacketSize, 40, 3); break;
        case GstDamage::Truncated: Truncate(file, file.size() * 7 / 10); break;
        case GstDamage::Inserted: {
            const auto at = static_cast<std::ptrdiff_t>(PacketOffset(file, kGstPacketSize, 20) + 700);
            Bytes extra(777);
            for (std::size_t i = 0; i < extra.size(); ++i) extra[i] = static_cast<std::uint8_t>(i * 37 + 11);
            file.insert(file.begin() + at, extra.begin(), extra.end());
            break;
        }
    }
    return file;
}

Bytes PatternBytes(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return b;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string SampleFile(const std::string& name) { return std::string(MENDERY_TEST_DATA) + "/" + name; }

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mendery-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

bool RecordingHost::HasLine(std::string_view line) const {
    for (const auto& l : lines)
        if (l == line) return true;
    return false;
}

std::string RecordingHost::AllLines() const {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
}

int RunCommand(const std::string& command, std::string* output) {
    std::FILE* pipe = ::popen(("{ " + command + " ; } 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    int status = ::pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& name) { return RunCommand("command -v " + name + " >/dev/null") == 0; }

std::string Quote(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

double ProbeDurationSeconds(const std::string& path) {
    std::string out;
    if (RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(path) + " 2>/dev/null", &out) != 0)
        return -1;
    try {
        return std::stod(out);
    } catch (const std::exception&) {
        return -1;
    }
}

std::vector<int> ProbePacketCounts(const std::string& path) {
    std::string out;
    if (RunCommand("ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 " + Quote(path) + " 2>/dev/null", &out) != 0)
        return {};
    std::vector<int> counts;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) counts.push_back(std::stoi(line));
    return counts;
}

bool DecodesCleanly(const std::string& path, std::string* errors) {
    std::string out;
    int rc = RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -f null -", &out);
    if (errors) *errors = out;
    return rc == 0 && out.empty();
}

bool DiscovererAccepts(const std::string& path, std::string* report) {
    std::string out;
    int rc = RunCommand("timeout 60 gst-discoverer-1.0 " + Quote(path) + " 2>&1", &out);
    if (report) *report = out;
    return rc == 0 && out.find("Seekable: yes") != std::string::npos;
}

}  // namespace mendery::test
