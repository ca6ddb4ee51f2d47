// The block reader of whole-file passes, which reads the next block on a thread of its own while
// the current one is used: every block holds the file's bytes at its position, in order or not,
// and a block stays as read, also when the caller changes it, until the next one is asked for.
#include <gtest/gtest.h>

#include <algorithm>

#include "asf/ReadAhead.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

struct BlockFile {
    explicit BlockFile(std::size_t size) : bytes(PatternBytes(size)) {
        WriteFileBytes(path, bytes);
        file.Open(path.string(), BinaryFile::Mode::Read);
    }
    void ExpectBlock(std::span<const std::uint8_t> block, std::int64_t pos, std::size_t length) const {
        SCOPED_TRACE("block at " + std::to_string(pos));
        ASSERT_EQ(block.size(), length);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), bytes.begin() + pos));
    }
    TempDir dir;
    std::filesystem::path path = dir / "in.bin";
    Bytes bytes;
    BinaryFile file;
};

constexpr std::size_t kBlock = 64 * 1024;

}  // namespace

// Blocks asked for in order (each one read ahead while the one before was used), changed by
// the caller as the repair pass changes chunks in place, then a short last block and the end.
TEST(ReadAheadBlocks, BlocksInOrderHoldTheFileUntilTheNextIsAskedFor) {
    const BlockFile f(4 * kBlock + 1000);
    ReadAheadBlocks blocks(f.file, kBlock);
    for (std::int64_t pos = 0; pos < static_cast<std::int64_t>(4 * kBlock); pos += kBlock) {
        const std::span<std::uint8_t> block = blocks.Read(pos);
        f.ExpectBlock(block, pos, kBlock);
        std::fill(block.begin(), block.end(), 0xEE);  // what the read ahead must not touch
        EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0xEE; }));
    }
    f.ExpectBlock(blocks.Read(4 * kBlock), 4 * kBlock, 1000);
    EXPECT_TRUE(blocks.Read(4 * kBlock + 1000).empty());
}

// A pass that goes back (a second pass over the same reader) or jumps drops the block read
// ahead and reads the one asked for; positions off the block grid read as well.
TEST(ReadAheadBlocks, BlocksAskedForOutOfOrderAreReadWhereAsked) {
    const BlockFile f(5 * kBlock);
    ReadAheadBlocks blocks(f.file, kBlock);
    f.ExpectBlock(blocks.Read(kBlock), kBlock, kBlock);
    f.ExpectBlock(blocks.Read(0), 0, kBlock);               // back: the read ahead is dropped
    f.ExpectBlock(blocks.Read(3 * kBlock + 7), 3 * kBlock + 7, kBlock);
    f.ExpectBlock(blocks.Read(4 * kBlock + 7), 4 * kBlock + 7, kBlock - 7);
    f.ExpectBlock(blocks.Read(2 * kBlock), 2 * kBlock, kBlock);
    f.ExpectBlock(blocks.Read(3 * kBlock), 3 * kBlock, kBlock);
}
