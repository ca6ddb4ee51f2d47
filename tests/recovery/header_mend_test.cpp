// Header fields that contradict the file, mended from the file: damaged copies of real files
// come back with their original header, and players read every packet of them again.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "asf/AsfObjects.h"
#include "recovery/HeaderMend.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

const char* const kSamples[] = {"a_wmv2_wmav2.wmv", "b_msmpeg4v3_wmav2.asf", "d_wmv2_2audio.wmv"};

struct Damage {
    std::string name;
    std::function<void(Bytes& file, const HeaderWalk& walk)> apply;
};

std::uint64_t Offset(const HeaderWalk& walk, const Guid& g, std::size_t nth = 0) { return walk.FindAll(g).at(nth)->offset; }

void SetPacketSizes(Bytes& file, const HeaderWalk& walk, std::uint32_t min, std::uint32_t max) {
    const std::uint64_t props = Offset(walk, guids::FileProperties);
    PutU32(file, props + fp::MinPacketSize, min);
    PutU32(file, props + fp::MaxPacketSize, max);
}

// Every damage the mend takes back from the file alone.
std::vector<Damage> Damages() {
    std::vector<Damage> d;
    for (const std::int64_t delta : {+1, -1})
        d.push_back({"packet size " + std::to_string(delta), [delta](Bytes& f, const HeaderWalk& w) {
                         SetPacketSizes(f, w, 3200 + delta, 3200 + delta);
                     }});
    d.push_back({"packet size halved", [](Bytes& f, const HeaderWalk& w) { SetPacketSizes(f, w, 1600, 1600); }});
    d.push_back({"packet size doubled", [](Bytes& f, const HeaderWalk& w) { SetPacketSizes(f, w, 6400, 6400); }});
    d.push_back({"packet size 0", [](Bytes& f, const HeaderWalk& w) { SetPacketSizes(f, w, 0, 0); }});
    d.push_back({"max packet size differs", [](Bytes& f, const HeaderWalk& w) { SetPacketSizes(f, w, 3200, 3232); }});
    for (const std::uint16_t number : {0, 7})
        d.push_back({"stream number " + std::to_string(number), [number](Bytes& f, const HeaderWalk& w) {
                         const std::uint64_t at = Offset(w, guids::StreamProperties, 1) + 72;
                         PutU16(f, at, static_cast<std::uint16_t>((GetU32(f, at) & 0xFF80) | number));
                     }});
    for (const std::uint64_t size : {0ull, 1ull, ~0ull})
        d.push_back({"stream properties size " + std::to_string(size), [size](Bytes& f, const HeaderWalk& w) {
                         PutU64(f, Offset(w, guids::StreamProperties, 0) + 16, size);
                     }});
    for (const std::uint32_t count : {0u, 5u, 200u})
        d.push_back({"object count " + std::to_string(count), [count](Bytes& f, const HeaderWalk&) { PutU32(f, 24, count); }});
    d.push_back({"header size", [](Bytes& f, const HeaderWalk&) { PutU64(f, 16, GetU64(f, 16) + 40); }});
    // Bits flipped in the GUIDs of objects every reader looks up (players find no file
    // properties, no stream, and give up).
    d.push_back({"file properties GUID, 1 bit", [](Bytes& f, const HeaderWalk& w) {
                     f[Offset(w, guids::FileProperties)] ^= 0x08;
                 }});
    d.push_back({"file properties GUID, 3 bits", [](Bytes& f, const HeaderWalk& w) {
                     const std::uint64_t at = Offset(w, guids::FileProperties);
                     f[at + 2] ^= 0x01;
                     f[at + 9] ^= 0x40;
                     f[at + 15] ^= 0x80;
                 }});
    d.push_back({"stream properties GUID, 2 bits", [](Bytes& f, const HeaderWalk& w) {
                     f[Offset(w, guids::StreamProperties, 1) + 5] ^= 0x24;
                 }});
    d.push_back({"header extension GUID, 1 bit", [](Bytes& f, const HeaderWalk& w) {
                     f[Offset(w, guids::HeaderExtension) + 11] ^= 0x02;
                 }});
    d.push_back({"count and packet size", [](Bytes& f, const HeaderWalk& w) {
                     PutU32(f, 24, 9);
                     SetPacketSizes(f, w, 3201, 3201);
                 }});
    return d;
}

}  // namespace

TEST(HeaderMend, TakesDamagedFieldsBackFromTheFile) {
    const bool probe = HaveProgram("ffprobe");
    TempDir dir;
    for (const char* sample : kSamples) {
        const Bytes original = ReadFileBytes(SampleFile(sample));
        const HeaderWalk walk = WalkHeader(std::span(original).first(HeaderSizeOf(original)));
        const auto expectedPackets = probe ? ProbePacketCounts(SampleFile(sample)) : std::vector<int>{};
        for (const Damage& damage : Damages()) {
            Bytes damaged = original;
            damage.apply(damaged, walk);
            ASSERT_NE(damaged, original) << damage.name;
            const auto source = (dir / "damaged.wmv").string(), output = (dir / "mended.wmv").string();
            WriteFileBytes(source, damaged);
            std::filesystem::remove(output);
            RecordingHost host;
            bool changed = false;
            EXPECT_EQ(MendHeaderFields(source, output, host, &changed), Outcome::Done) << sample << ": " << damage.name
                                                                                       << "\n" << host.AllLines();
            EXPECT_TRUE(changed);
            EXPECT_EQ(ReadFileBytes(source), damaged) << "the source is never changed";
            EXPECT_TRUE(ReadFileBytes(output) == original) << sample << ": " << damage.name << "\n" << host.AllLines();
            if (probe && damage.name.starts_with("packet size")) {
                EXPECT_EQ(ProbePacketCounts(output), expectedPackets) << sample << ": " << damage.name;
            }
        }
    }
}

// An intact file (with or without error correction data, finished or not): nothing contradicts
// it, so nothing is written.
TEST(HeaderMend, LeavesAnIntactFileAloneAndWritesNothing) {
    TempDir dir;
    for (const auto& entry : std::filesystem::directory_iterator(MENDERY_TEST_DATA)) {
        const std::string name = entry.path().filename().string();
        const char* sample = name.c_str();
        const auto output = (dir / (std::string(sample) + ".mended")).string();
        RecordingHost host;
        bool changed = true;
        EXPECT_EQ(MendHeaderFields(SampleFile(sample), output, host, &changed), Outcome::NotRun) << sample << "\n"
                                                                                                 << host.AllLines();
        EXPECT_FALSE(changed);
        EXPECT_FALSE(std::filesystem::exists(output)) << sample;
        EXPECT_TRUE(host.HasLine("文件头字段与文件内容一致, 无需修正; 未创建输出文件.")) << sample << host.AllLines();
    }
}

// Where the file does not say which field is wrong, nothing is guessed: two stream numbers
// broken at once, a packet size that no grid confirms, a file that starts with packets.
TEST(HeaderMend, GuessesNothingTheFileDoesNotSay) {
    TempDir dir;
    const Bytes original = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    const HeaderWalk walk = WalkHeader(std::span(original).first(HeaderSizeOf(original)));
    const auto source = (dir / "damaged.wmv").string(), output = (dir / "mended.wmv").string();

    Bytes twoStreams = original;
    PutU16(twoStreams, Offset(walk, guids::StreamProperties, 0) + 72, 5);
    PutU16(twoStreams, Offset(walk, guids::StreamProperties, 1) + 72, 6);
    WriteFileBytes(source, twoStreams);
    RecordingHost host;
    bool changed = true;
    EXPECT_EQ(MendHeaderFields(source, output, host, &changed), Outcome::NotRun);
    EXPECT_FALSE(changed);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_TRUE(host.HasLine("数据包中的流编号与文件头中的流属性对象不符, 无法唯一确定应修正哪一个, 流编号未修改."));

    Bytes noGrid = original;
    SetPacketSizes(noGrid, walk, 3201, 3201);
    for (std::uint64_t at = HeaderSizeOf(original) + kDataObjectHeadSize; at < noGrid.size(); at += 3200) noGrid[at] = 0;
    WriteFileBytes(source, noGrid);
    std::filesystem::remove(output);
    RecordingHost noGridHost;
    EXPECT_EQ(MendHeaderFields(source, output, noGridHost, &changed), Outcome::NotRun);
    EXPECT_FALSE(std::filesystem::exists(output));

    const Bytes packetsOnly(original.begin() + static_cast<std::ptrdiff_t>(HeaderSizeOf(original) + kDataObjectHeadSize),
                            original.end());
    WriteFileBytes(source, packetsOnly);
    std::filesystem::remove(output);
    RecordingHost packetsHost;
    EXPECT_EQ(MendHeaderFields(source, output, packetsHost, &changed), Outcome::Refused);
    EXPECT_FALSE(changed);
    EXPECT_FALSE(std::filesystem::exists(output));
}

// A stop during the copy ends it, and no part of a file is left behind.
TEST(HeaderMend, AStopEndsTheCopyWithoutAnOutput) {
    TempDir dir;
    Bytes damaged = ReadFileBytes(SampleFile("d_wmv2_2audio.wmv"));
    PutU32(damaged, 24, 3);
    const auto source = (dir / "damaged.wmv").string(), output = (dir / "mended.wmv").string();
    WriteFileBytes(source, damaged);
    RecordingHost host;
    bool stop = false, changed = true;
    host.onProcessMessages = [&] { stop = true; };
    EXPECT_EQ(MendHeaderFields(source, output, host, &changed, [&] { return stop; }), Outcome::Aborted);
    EXPECT_FALSE(changed);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

// Zeroed packets parse as packets of stream 0 without error correction data: they are damage,
// not a stream the header lacks, and the stream number broken beside them is still mended.
TEST(HeaderMend, ZeroedPacketsAreNoStream) {
    TempDir dir;
    const Bytes original = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    const HeaderWalk walk = WalkHeader(std::span(original).first(HeaderSizeOf(original)));
    Bytes zeroed = original;
    std::fill_n(zeroed.begin() + static_cast<std::ptrdiff_t>(HeaderSizeOf(original) + kDataObjectHeadSize + 40 * 3200),
                4 * 3200, 0);
    const Bytes withZeros = zeroed;
    PutU16(zeroed, Offset(walk, guids::StreamProperties, 1) + 72, 7);
    const auto source = (dir / "damaged.wmv").string(), output = (dir / "mended.wmv").string();
    WriteFileBytes(source, zeroed);
    RecordingHost host;
    bool changed = false;
    EXPECT_EQ(MendHeaderFields(source, output, host, &changed), Outcome::Done) << host.AllLines();
    EXPECT_TRUE(ReadFileBytes(output) == withZeros) << host.AllLines();
}
