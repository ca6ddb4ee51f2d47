// The RIFF layer over the buffered writer: chunk layout with its pad byte, a spooled chunk,
// size fields patched at the end, and the 4 GiB limit of 32-bit sizes, which belongs to one
// run only.
#include <gtest/gtest.h>

#include "convert/ConvertCommon.h"
#include "convert/RiffOutput.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

TEST(RiffOutput, ChunksArePaddedToEvenSizesAndSizesPatchedInPlace) {
    TempDir dir;
    const std::string path = (dir / "out.riff").string();
    RiffOutput out;
    out.Create(path);
    out.WriteFourCC("RIFF");
    out.WriteU32(0);
    const Bytes odd = {1, 2, 3};
    out.WriteChunk("00dc", odd);
    out.WriteChunk("00dc", {});  // an empty frame: header only
    BufferedOutput spool(8);
    spool.Create((dir / "spool").string());
    spool.Write(Bytes(20, 0x11));
    out.AppendChunk("idx1", spool);
    spool.Close();
    const std::int64_t size = out.Size();
    out.PatchU32(4, static_cast<std::uint32_t>(size - 8));
    out.Close();

    const Bytes expected = {'R', 'I', 'F', 'F', 48, 0, 0, 0,                           //
                            '0', '0', 'd', 'c', 3, 0, 0, 0, 1, 2, 3, 0,                // padded
                            '0', '0', 'd', 'c', 0, 0, 0, 0,                            //
                            'i', 'd', 'x', '1', 20, 0, 0, 0};
    Bytes withIndex = expected;
    withIndex.insert(withIndex.end(), 20, 0x11);
    EXPECT_EQ(size, 56);
    EXPECT_EQ(ReadFileBytes(path), withIndex);
}

// A run that reached the limit keeps its file whole (LimitReached); the converter's next run
// writes a new file and must not take that for its own ending.
TEST(RiffOutput, TheSizeLimitRefusesMoreAndIsForgottenByTheNextFile) {
    TempDir dir;
    const std::string path = (dir / "big.riff").string();
    RiffOutput out;
    out.Create(path);
    // Stand just below the limit without writing 4 GiB: the file is sparse up to there.
    out.PatchU32(kRiffLimit - 8, 0);
    EXPECT_EQ(out.Tell(), kRiffLimit - 4);
    EXPECT_NO_THROW(out.EnsureRiffRoom(4));
    EXPECT_FALSE(out.LimitReached());
    EXPECT_THROW(out.EnsureRiffRoom(5), ConvertRefusal);
    EXPECT_TRUE(out.LimitReached());
    out.CloseUnflushed();

    out.Create(path);
    EXPECT_FALSE(out.LimitReached());
    EXPECT_EQ(out.Size(), 0);
    out.Close();
}
