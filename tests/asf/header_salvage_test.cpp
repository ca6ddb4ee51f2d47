// Mending a header whose sub-object walk broke at a damaged size field.
#include <gtest/gtest.h>

#include "asf/AsfObjects.h"
#include "asf/HeaderSalvage.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

Bytes HeaderOf(const std::string& sample) {
    const Bytes file = ReadFileBytes(SampleFile(sample));
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(ReadU64At(file, 16)));
}


}  // namespace

// Every size field of every top-level object of two real headers, broken in the ways damage
// breaks them: the mended header is the original again, byte for byte.
TEST(HeaderSalvage, RestoresEveryBrokenSizeOfRealHeaders) {
    for (const char* sample : {"a_wmv2_wmav2.wmv", "d_wmv2_2audio.wmv", "h_wmv1_wmav1_meta.wmv"}) {
        const Bytes original = HeaderOf(sample);
        const HeaderWalk clean = WalkHeader(original);
        ASSERT_EQ(clean.end, WalkEnd::Complete) << sample;
        int mended = 0;
        for (const SubObject& o : clean.objects) {
            for (const std::uint64_t bad : std::initializer_list<std::uint64_t>{0, 1, 23, 29, o.size + 1, ~0ull, o.size * 3}) {
                Bytes header = original;
                PutU64(header, o.offset + 16, bad);
                HeaderWalk walk = WalkHeader(header);
                if (walk.end == WalkEnd::Complete) continue;  // a size that happens to walk on
                const HeaderSalvage s = SalvageHeaderWalk(header, walk);
                ASSERT_TRUE(s.needed);
                EXPECT_EQ(header, original) << sample << " object at " << o.offset << " size " << bad;
                EXPECT_EQ(WalkHeader(header).end, WalkEnd::Complete);
                EXPECT_EQ(walk.objects.size(), clean.objects.size());
                ++mended;
            }
        }
        EXPECT_GT(mended, static_cast<int>(clean.objects.size()) * 4) << sample;
    }
}

TEST(HeaderSalvage, StretchesAnObjectWhoseGuidAndSizeAreBothDamaged) {
    const Bytes original = HeaderOf("a_wmv2_wmav2.wmv");
    const HeaderWalk clean = WalkHeader(original);
    const SubObject& second = clean.objects[1];
    Bytes header = original;
    header[second.offset] ^= 0xFF;  // no longer a known GUID
    PutU64(header, second.offset + 16, 0);
    HeaderWalk walk = WalkHeader(header);
    ASSERT_EQ(walk.end, WalkEnd::SizeTooSmall);
    const HeaderSalvage s = SalvageHeaderWalk(header, walk);
    EXPECT_EQ(s.resized, 1u);
    EXPECT_EQ(ReadU64At(header, second.offset + 16), second.size);
    EXPECT_EQ(WalkHeader(header).end, WalkEnd::Complete);
    // The walk is trusted up to the start of the last object it took whole (the file properties).
    EXPECT_EQ(HeaderSalvageNote(s), "文件头在第 30 字节之后损坏; 找到并保留了其后的 " +
                                        std::to_string(clean.objects.size() - 1) + " 个对象, 其中 1 个对象的大小已按其位置修正");
}

TEST(HeaderSalvage, LeavesAWalkThatEndedCleanlyOrOnMissingBytesAlone) {
    Bytes header = HeaderOf("a_wmv2_wmav2.wmv");
    const Bytes original = header;
    HeaderWalk walk = WalkHeader(header);
    EXPECT_FALSE(SalvageHeaderWalk(header, walk).needed);
    const Bytes cut(header.begin(), header.begin() + 400);
    HeaderWalk partial = WalkHeader(cut);
    Bytes held = cut;
    EXPECT_FALSE(SalvageHeaderWalk(held, partial).needed);
    EXPECT_EQ(held, cut);
    EXPECT_EQ(header, original);
}
