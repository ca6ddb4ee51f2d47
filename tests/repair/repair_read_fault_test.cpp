// A source whose reads fail part way through (a failing disk, stood for by a library preloaded
// into mendery-cli): the repair reads its blocks ahead of the chunks it works on, and the error
// must still end the run, with its reason and no output, whichever block meets it.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

TEST(RepairReadFault, ReadErrorInAnyBlockEndsTheRunAndKeepsNoOutput) {
    TempDir dir;
    const auto source = (dir / "long.wmv").string();
    WriteFileBytes(source, ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv")));  // 947 KB: one block
    Bytes twice = ReadFileBytes(source);
    const auto longSource = (dir / "longer.wmv").string();
    {
        // Three blocks and more: the packets again behind the file (chunks the repair walks).
        const Bytes again(twice.begin() + 6000, twice.end());
        for (int i = 0; i < 3; ++i) twice.insert(twice.end(), again.begin(), again.end());
        WriteFileBytes(longSource, twice);
    }
    struct Case {
        std::string file;
        std::int64_t faultAt;
    };
    for (const Case& c : {Case{source, 600000}, Case{longSource, 1100000}, Case{longSource, 2500000}}) {
        SCOPED_TRACE(c.file + " from byte " + std::to_string(c.faultAt));
        const auto out = (dir / "out.wmv").string();
        std::string log;
        const std::string faulty = "LD_PRELOAD=" + Quote(MENDERY_READ_FAULT) + " MENDERY_FAULT_FILE=" + Quote(c.file) +
                                   " MENDERY_FAULT_AT=" + std::to_string(c.faultAt) + " ";
        EXPECT_NE(RunCommand(faulty + MENDERY_CLI + " repair --preset partial " + Quote(c.file) + " -o " + Quote(out), &log), 0)
            << log;
        EXPECT_NE(log.find("输入/输出错误"), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(out)) << log;
        // Without the fault the same command succeeds: the failure above is the read error's.
        EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " repair --preset partial " + Quote(c.file) + " -o " + Quote(out), &log), 0)
            << log;
        fs::remove(out);
    }
}
