// Finding the packet grid of a file from its packets: the size and the first packet.
#include <gtest/gtest.h>

#include "asf/AsfObjects.h"
#include "asf/PacketGrid.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

struct Sample {
    const char* name;
    std::uint32_t packetSize;
    bool errorCorrection;
};
// With and without error correction data, small, usual and large packets.
const Sample kSamples[] = {{"a_wmv2_wmav2.wmv", 3200, true},
                           {"d_wmv2_2audio.wmv", 3200, true},
                           {"g2_wmv2_wmav2_pkt512.wmv", 512, true},
                           {"g_wmv2_wmav2_pkt16000.wmv", 16000, true},
                           {"k_gst_asfmux_wmv2_wmav2.wmv", 4800, false}};

std::uint64_t FirstPacketOf(const Bytes& file) { return HeaderSizeOf(file) + kDataObjectHeadSize; }

}  // namespace

// The declared size is wrong in every way damage makes it wrong: the grid still gives the true
// size, also where every second packet parses at twice the size.
TEST(PacketGrid, FindsTheTrueSizeFromAWrongDeclaredOne) {
    for (const Sample& s : kSamples) {
        const Bytes file = ReadFileBytes(SampleFile(s.name));
        for (const std::uint32_t declared : {s.packetSize, s.packetSize + 1, s.packetSize - 1, s.packetSize / 2,
                                             s.packetSize * 2, 0u}) {
            GridSearch search;
            search.sizes = {declared};
            search.scanAllSizes = true;
            search.firstFrom = search.firstTo = FirstPacketOf(file);
            const auto grid = FindPacketGrid(file, search);
            ASSERT_TRUE(grid) << s.name << " declared " << declared;
            EXPECT_EQ(grid->packetSize, s.packetSize) << s.name << " declared " << declared;
            EXPECT_EQ(grid->start, FirstPacketOf(file));
            EXPECT_EQ(grid->layout.errorCorrection, s.errorCorrection);
            EXPECT_GE(grid->confirmed, kGridConfirmPackets) << s.name;
        }
    }
}

// Without the scan, only the sizes given are tried: a wrong one finds nothing.
TEST(PacketGrid, TriesOnlyTheGivenSizesWithoutTheScan) {
    const Bytes file = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    GridSearch search;
    search.firstFrom = search.firstTo = FirstPacketOf(file);
    for (const std::uint32_t wrong : {3199u, 3201u, 1600u, 512u}) {
        search.sizes = {wrong};
        EXPECT_FALSE(FindPacketGrid(file, search)) << wrong;
    }
}

// The first packet after bytes that are not packets: a cut-off header, mid-packet garbage,
// zeros. The layout of another file (without error correction data) finds nothing.
TEST(PacketGrid, FindsTheFirstPacketBehindBytesThatAreNotPackets) {
    const Bytes file = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    const std::uint64_t first = FirstPacketOf(file);
    const auto layout = PacketLayoutAt(file, first, 3200);
    ASSERT_TRUE(layout);
    for (const std::uint64_t cut : {std::uint64_t(0), std::uint64_t(100), first, first + 1000}) {
        Bytes damaged(file.begin() + static_cast<std::ptrdiff_t>(cut), file.end());
        std::fill_n(damaged.begin(), std::min<std::size_t>(damaged.size(), 300), 0);
        GridSearch search;
        search.sizes = {3200};
        search.firstTo = 64 * 1024;
        search.layout = *layout;
        const auto grid = FindPacketGrid(damaged, search);
        ASSERT_TRUE(grid) << cut;
        // The first packet whose first bytes survived.
        std::uint64_t expected = first;
        while (expected < cut + 300) expected += 3200;
        EXPECT_EQ(grid->start, expected - cut) << cut;
        PacketLayout other = *layout;
        other.errorCorrection = false;
        other.errorCorrectionFlags = 0;
        search.layout = other;
        EXPECT_FALSE(FindPacketGrid(damaged, search)) << cut;
    }
}

// With a layout, the first packet is looked for at the offsets from firstFrom to firstTo, both
// ends included, and nowhere else.
TEST(PacketGrid, LooksForTheFirstPacketOnlyWithinTheOffsetsGiven) {
    for (const Sample& s : kSamples) {
        const Bytes file = ReadFileBytes(SampleFile(s.name));
        const std::uint64_t first = FirstPacketOf(file);
        const auto layout = PacketLayoutAt(file, first, s.packetSize);
        ASSERT_TRUE(layout) << s.name;
        GridSearch search;
        search.sizes = {s.packetSize};
        search.layout = *layout;
        auto startFrom = [&](std::uint64_t from, std::uint64_t to) -> std::optional<std::uint64_t> {
            search.firstFrom = from;
            search.firstTo = to;
            const auto grid = FindPacketGrid(file, search);
            return grid ? std::optional(grid->start) : std::nullopt;
        };
        EXPECT_EQ(startFrom(0, first), first) << s.name;
        EXPECT_EQ(startFrom(0, first - 1), std::nullopt) << s.name;
        EXPECT_EQ(startFrom(first + 1, first + s.packetSize), first + s.packetSize) << s.name;
        EXPECT_EQ(startFrom(first + 1, first + s.packetSize - 1), std::nullopt) << s.name;
        EXPECT_EQ(startFrom(first, first), first) << s.name;
    }
}

// A grid confirms over the packets there are: a run that ends at the index object or at the end
// of the bytes counts, a damaged packet ends the run.
TEST(PacketGrid, ConfirmRunsUpToTheIndexTheEndOrADamagedPacket) {
    Bytes file = ReadFileBytes(SampleFile("c_wmav2.wma"));
    const std::uint64_t first = FirstPacketOf(file);
    const GridRun all = ConfirmGrid(file, first, 3200, 1000);
    EXPECT_EQ(all.packets, 108u);
    EXPECT_TRUE(all.reachedEnd);
    file[first + 5 * 3200] = 0x00;  // the error correction flags of packet 5
    const GridRun cut = ConfirmGrid(file, first, 3200, 1000);
    EXPECT_EQ(cut.packets, 5u);
    EXPECT_FALSE(cut.reachedEnd);
    // Four packets of a file that holds no more are a grid; four of a longer file are not.
    const Bytes shortFile(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(first + 4 * 3200));
    GridSearch search;
    search.sizes = {3200};
    search.firstFrom = search.firstTo = first;
    EXPECT_TRUE(FindPacketGrid(shortFile, search));
    Bytes damagedFifth = file;
    damagedFifth[first + 4 * 3200] = 0x00;
    EXPECT_FALSE(FindPacketGrid(damagedFifth, search));
}
