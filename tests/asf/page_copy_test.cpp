// Where blocks are put in memory so that the kernel's copy between the page cache and the
// buffer never runs with its destination 1 to 31 bytes past its source within their pages
// (five to six times slower on some processors), and that writes from such memory still land.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "asf/BufferedInput.h"
#include "asf/BufferedOutput.h"
#include "asf/PageCopy.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

const void* AtPageOffset(std::uintptr_t offset) { return reinterpret_cast<const void*>(0x7f0000000000 + offset); }

// The first page boundary inside `b`, which has a page to spare.
std::uint8_t* PageAligned(Bytes& b) {
    const auto at = reinterpret_cast<std::uintptr_t>(b.data());
    return b.data() + ((4096 - at % 4096) % 4096);
}

}  // namespace

// The slow case as measured: a read is slow when the buffer lies 1 to 31 bytes past the file
// offset, a write when the file offset lies 1 to 31 bytes past the buffer; both wrap at a page.
TEST(PageCopy, SlowCaseIsADestinationOneTo31BytesPastTheSource) {
    struct Case {
        std::uintptr_t address;
        std::int64_t filePos;
        bool slowRead, slowWrite;
    };
    const Case cases[] = {
        {0, 0, false, false},        {16, 0, true, false},         {31, 0, true, false},
        {32, 0, false, false},       {0, 16, false, true},         {16, 4096 + 16, false, false},
        {0, 4085, true, false},      {4095, 0, false, true},       {0, 4095, true, false},
        {41, 809, false, false},     {0, 4064, false, false},      {100, (1LL << 40) + 84, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("address offset " + std::to_string(c.address) + ", file " + std::to_string(c.filePos));
        EXPECT_EQ(SlowPageCopy(AtPageOffset(c.address), c.filePos, false), c.slowRead);
        EXPECT_EQ(SlowPageCopy(AtPageOffset(c.address), c.filePos, true), c.slowWrite);
    }
}

// A block placed for any file position is read at full speed, and one that is also to be
// written out elsewhere is written at full speed too, whatever the two positions; the block
// keeps its length and the room it was given.
TEST(PageCopy, PlacedBlocksAvoidTheSlowCaseForEveryPosition) {
    constexpr std::size_t kBlock = 3 * 4096;
    BlockBuffer buffer(kBlock);
    for (std::int64_t pos = 0; pos < 2 * 4096; pos += 7) {
        const auto block = buffer.Place(pos, kBlock);
        ASSERT_EQ(block.size(), kBlock);
        ASSERT_FALSE(SlowPageCopy(block.data(), pos, false)) << "read at " << pos;
        for (std::int64_t to = pos % 64; to < 4096 + 64; to += 61) {
            const auto both = buffer.Place(pos, kBlock, to);
            ASSERT_FALSE(SlowPageCopy(both.data(), pos, false)) << "read at " << pos << ", write at " << to;
            ASSERT_FALSE(SlowPageCopy(both.data(), to, true)) << "read at " << pos << ", write at " << to;
            EXPECT_EQ(buffer.Bytes().data(), both.data());
            both.front() = both.back() = 0xA5;  // the ends are the buffer's own memory
        }
    }
}

// Memory at page offsets that meet the slow case and ones that do not is written in place
// after a header of odd length, and read back in large reads: the file holds what was written,
// and the reads give it.
TEST(PageCopy, LargeCopiesFromAndToMemoryAtAnyOffsetKeepTheBytes) {
    constexpr std::int64_t kPage = BufferedOutput::kPageSize;
    const std::int64_t offsets[] = {0, 1, 16, 31, 32, 100, 4064, 4065, 4080, 4095};
    TempDir dir;
    const auto path = dir / "out.bin";
    const Bytes piece = PatternBytes(6 * kPage + 123);
    Bytes memory(3 * BufferedInput::kWindowSize + 3 * kPage);
    std::uint8_t* const page = PageAligned(memory);
    Bytes expected = PatternBytes(77);
    int slow = 0;
    {
        BufferedOutput out(2 * kPage);
        out.Create(path.string());
        out.Write(expected);
        for (const std::int64_t offset : offsets) {
            // The pages handed over start where the lead up to the next page boundary ends:
            // there, the memory is at `offset` within its page.
            const std::int64_t lead = (kPage - out.Tell() % kPage) % kPage;
            std::uint8_t* const at = page + ((offset - lead) % kPage + kPage) % kPage;
            slow += SlowPageCopy(at + lead, out.Tell() + lead, true);
            std::copy(piece.begin(), piece.end(), at);
            out.WriteInPlace(std::span(at, piece.size()));
            expected.insert(expected.end(), piece.begin(), piece.end());
        }
        out.Close();
    }
    EXPECT_EQ(slow, 3);  // at 4065, 4080 and 4095 the page boundary lies 1 to 31 bytes on
    ASSERT_EQ(ReadFileBytes(path), expected);

    BufferedInput in;
    in.Open(path.string());
    slow = 0;
    for (const std::int64_t offset : offsets) {
        const std::int64_t from = offset * 997 % 5000;
        in.Seek(from);
        const std::span into(page + (from + offset) % kPage, 3 * BufferedInput::kWindowSize);
        slow += SlowPageCopy(into.data(), from, false);
        ASSERT_EQ(in.Read(into), into.size());
        EXPECT_TRUE(std::equal(into.begin(), into.end(), expected.begin() + from)) << "read at " << from;
    }
    EXPECT_EQ(slow, 3);  // 1, 16 and 31 bytes past the file offset
}
