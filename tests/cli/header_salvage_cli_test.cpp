// Every tool that copies the header of a file whose header sub-object has a damaged size field:
// the copy walks cleanly and players read every packet, where the source itself is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "asf/AsfObjects.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

// The sample with the size field of its second header sub-object (the header extension) set to
// `size`. 0 and 1 stop every reader; 29 lets a walk step into the middle of the object.
std::string BrokenSubObjectCopy(const TempDir& dir, std::uint64_t size) {
    Bytes file = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    const HeaderWalk walk = WalkHeader(std::span(file).first(HeaderSizeOf(file)));
    PutU64(file, walk.objects.at(1).offset + 16, size);
    const auto path = (dir / ("broken" + std::to_string(size) + ".wmv")).string();
    WriteFileBytes(path, file);
    return path;
}

WalkEnd HeaderWalkEnd(const std::string& path) {
    const Bytes file = ReadFileBytes(path);
    return WalkHeader(std::span(file).first(HeaderSizeOf(file))).end;
}

}  // namespace

TEST(HeaderSalvageCli, RepairRecoverAndClipwrightCarryAMendedHeader) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    const auto expected = ProbePacketCounts(SampleFile("a_wmv2_wmav2.wmv"));
    const std::string cli = MENDERY_CLI;
    const std::string clipwright = std::string(MENDERY_BIN_DIR) + "/clipwright";
    TempDir dir;
    for (const std::uint64_t size : {0ull, 1ull, 29ull}) {
        const std::string source = BrokenSubObjectCopy(dir, size);
        const std::string runs[][2] = {
            {"repair", cli + " repair --preset bad-chunks " + Quote(source) + " -o "},
            {"recover", cli + " recover " + Quote(source) + " -o "},
            {"clipwright", clipwright + " -i " + Quote(source) + " -o "},
        };
        for (const auto& [tool, command] : runs) {
            const std::string out = (dir / (tool + std::to_string(size) + ".wmv")).string();
            std::string log;
            ASSERT_EQ(RunCommand(command + Quote(out), &log), 0) << tool << " size " << size << "\n" << log;
            EXPECT_EQ(HeaderWalkEnd(out), WalkEnd::Complete) << tool << " size " << size;
            EXPECT_EQ(ProbePacketCounts(out), expected) << tool << " size " << size;
            EXPECT_NE(log.find("个对象的大小已按其位置修正"), std::string::npos) << tool << " size " << size << "\n" << log;
        }
    }
}
