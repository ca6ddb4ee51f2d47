// A damaged packet size field that says 2 GB: no tool takes it for a size to allocate. Run
// under an address-space limit, an allocation of that size fails and the program ends with
// an uncaught bad_alloc instead of reporting on the file.
#include <gtest/gtest.h>

#include "asf/AsfObjects.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

std::string HugePacketSizeCopy(const TempDir& dir, const std::string& sample) {
    Bytes file = ReadFileBytes(SampleFile(sample));
    const HeaderWalk walk = WalkHeader(std::span(file).first(HeaderSizeOf(file)));
    const auto props = walk.Find(guids::FileProperties)->offset;
    PutU32(file, props + fp::MinPacketSize, 0x7FFFFFF0);
    PutU32(file, props + fp::MaxPacketSize, 0x7FFFFFF0);
    const auto path = (dir / ("huge-" + sample)).string();
    WriteFileBytes(path, file);
    return path;
}

}  // namespace

TEST(HugeFieldCli, InfoAndRescueStayWithinMemoryOnAHugePacketSize) {
    const std::string cli = MENDERY_CLI;
    TempDir dir;
    // Packets with and without error correction data take different paths through the survey.
    for (const std::string sample : {"a_wmv2_wmav2.wmv", "k_gst_asfmux_wmv2_wmav2.wmv", "l_gst_killed_unfinalized.wmv"}) {
        const std::string source = HugePacketSizeCopy(dir, sample);
        const std::string limit = "ulimit -v 1500000; ";
        std::string log;
        EXPECT_EQ(RunCommand(limit + cli + " info " + Quote(source), &log), 0) << sample << "\n" << log;
        EXPECT_NE(log.find("数据块大小 2147483632"), std::string::npos) << sample << "\n" << log;
        const std::string out = (dir / ("out-" + sample)).string();
        const int rescued = RunCommand(limit + cli + " rescue " + Quote(source) + " -o " + Quote(out), &log);
        EXPECT_TRUE(rescued == 0 || rescued == 1) << sample << " exit " << rescued << "\n" << log;
        EXPECT_EQ(log.find("bad_alloc"), std::string::npos) << sample << "\n" << log;
    }
}
