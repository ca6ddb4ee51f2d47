// The diagnosis behind `mendery-cli info`: problems in the program's language, a damaged
// header size, and a survey that stops when asked.
#include <gtest/gtest.h>

#include "asf/AsfInfo.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {
constexpr std::uint32_t kPacket = 512;

AsfInfo InspectBytes(const TempDir& dir, const Bytes& file, const std::function<bool()>& stop = {}) {
    const auto path = (dir / "in.wmv").string();
    WriteFileBytes(path, file);
    return InspectAsf(path, stop);
}
}  // namespace

TEST(AsfInfo, ProblemsAreToldInChinese) {
    TempDir dir;
    const Bytes good = AsfBuilder().PacketSize(kPacket).VideoStream(1).SimplePackets(3).Build();
    Bytes cut = good;
    Truncate(cut, 200);
    EXPECT_EQ(InspectBytes(dir, cut).problem, "文件在文件头对象中结束");
    Bytes noData = good;
    PutU8(noData, HeaderSizeOf(noData), 0);
    EXPECT_EQ(InspectBytes(dir, noData).problem, "文件头对象后面没有数据对象");
    Bytes notAsf = good;
    notAsf[0] ^= 0xFF;
    EXPECT_EQ(InspectBytes(dir, notAsf).problem, "文件开始处没有ASF文件头对象");
    Bytes damaged = good;
    DamagePackets(damaged, kPacket, 1);
    const AsfInfo info = InspectBytes(dir, damaged);
    ASSERT_EQ(info.damage.size(), 1u);
    EXPECT_TRUE(info.damage[0].reason.starts_with("数据块标识无效, 不能解析: ")) << info.damage[0].reason;
    EXPECT_STREQ(DescribeWalkEnd(WalkEnd::SizeTooSmall), "停在一个小于24字节的对象");
}

TEST(AsfInfo, DamagedHeaderSizeIsTakenFromTheSubObjects) {
    TempDir dir;
    const Bytes good = AsfBuilder().PacketSize(kPacket).VideoStream(1).SimplePackets(3).Build();
    for (const std::uint64_t field : {0ull, ~0ull}) {
        Bytes file = good;
        PutU64(file, 16, field);
        const AsfInfo info = InspectBytes(dir, file);
        EXPECT_EQ(info.problem, "") << field;
        EXPECT_TRUE(info.headerSizeFromChildren);
        EXPECT_EQ(info.headerSizeField, field);
        EXPECT_EQ(info.headerSize, HeaderSizeOf(good));
        EXPECT_EQ(info.headerWalkEnd, WalkEnd::Complete);
        EXPECT_EQ(info.packets, 3);
    }
    Bytes broken = good;
    PutU64(broken, 16, 0);
    PutU64(broken, 30 + 16, 0);
    EXPECT_EQ(InspectBytes(dir, broken).problem, "文件头对象大小小于30字节");
}

TEST(AsfInfo, SurveyStopsWhenAsked) {
    TempDir dir;
    const Bytes file = AsfBuilder().PacketSize(kPacket).VideoStream(1).SimplePackets(300).Build();
    int asked = 0;
    const AsfInfo info = InspectBytes(dir, file, [&] { return ++asked == 3; });
    EXPECT_TRUE(info.stopped);
    EXPECT_EQ(info.packets, 2 * kInspectStopCheckPackets);
    EXPECT_EQ(asked, 3);
    const AsfInfo whole = InspectBytes(dir, file, [] { return false; });
    EXPECT_FALSE(whole.stopped);
    EXPECT_EQ(whole.packets, 300);
}

// In a file whose packets carry no error correction data, a zero-filled packet parses (as an
// empty packet of stream 0): the survey must still count it as damage, as every tool treats it.
TEST(AsfInfo, ZeroedPacketsWithoutErrorCorrectionAreDamage) {
    TempDir dir;
    Bytes file = GstSample(GstDamage::None);
    const AsfInfo intact = InspectBytes(dir, file);
    ASSERT_TRUE(intact.problem.empty()) << intact.problem;
    EXPECT_EQ(intact.damaged, 0);
    for (int i = 30; i < 32; ++i) {
        const auto at = static_cast<std::ptrdiff_t>(PacketOffset(file, kGstPacketSize, i));
        std::fill(file.begin() + at, file.begin() + at + kGstPacketSize, 0);
    }
    const AsfInfo zeroed = InspectBytes(dir, file);
    EXPECT_EQ(zeroed.damaged, 2);
    ASSERT_EQ(zeroed.damage.size(), 2u);
    EXPECT_EQ(zeroed.damage[0].index, 30);
    EXPECT_EQ(zeroed.packets, intact.packets);
}

// The survey reads a block of packets at a time: damage on either side of a block boundary and
// in later blocks is found at its own index and offset, the index object after the last block
// ends it, and a file cut inside its last packet counts that packet as short.
TEST(AsfInfo, SurveyAcrossBlocksFindsEveryPacketWhereItLies) {
    TempDir dir;
    constexpr std::uint32_t kSize = 3000;  // 349 packets to a megabyte block
    const Bytes intact = AsfBuilder().PacketSize(kSize).VideoStream(1).AudioStream(2).SimplePackets(1200).Index().Build();
    Bytes file = intact;
    const std::uint64_t damagedAt[] = {10, 348, 349, 1000, 1199};
    for (const auto i : damagedAt) DamagePackets(file, kSize, i);
    const AsfInfo whole = InspectBytes(dir, intact);
    const AsfInfo info = InspectBytes(dir, file);
    EXPECT_EQ(info.packets, 1200);
    EXPECT_EQ(info.indexOffset, static_cast<std::int64_t>(PacketOffset(intact, kSize, 1200)));
    ASSERT_EQ(info.damage.size(), std::size(damagedAt));
    for (std::size_t k = 0; k < std::size(damagedAt); ++k) {
        EXPECT_EQ(info.damage[k].index, static_cast<std::int64_t>(damagedAt[k]));
        EXPECT_EQ(info.damage[k].offset, static_cast<std::int64_t>(PacketOffset(file, kSize, damagedAt[k])));
    }
    EXPECT_EQ(whole.damaged, 0);
    EXPECT_EQ(whole.packets, 1200);

    Bytes cut = intact;
    Truncate(cut, PacketOffset(intact, kSize, 1199) + kSize / 2);
    const AsfInfo shortened = InspectBytes(dir, cut);
    EXPECT_EQ(shortened.packets, 1200);
    EXPECT_EQ(shortened.shortLast, 1);
    EXPECT_EQ(shortened.indexOffset, -1);
}
