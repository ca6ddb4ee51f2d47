// mendery-cli rebuild-header: output name, exit codes, refusals and the --json summary.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "asf/AsfObjects.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

std::string Cli(const std::string& args) { return std::string(MENDERY_CLI) + " " + args; }

// The sample without its header object: the file begins with its first packet.
std::string HeaderlessCopy(const TempDir& dir, const std::string& sample) {
    const Bytes file = ReadFileBytes(SampleFile(sample));
    const auto path = (dir / ("headerless_" + sample)).string();
    WriteFileBytes(path, Bytes(file.begin() + static_cast<std::ptrdiff_t>(HeaderSizeOf(file) + kDataObjectHeadSize), file.end()));
    return path;
}

}  // namespace

TEST(RebuildHeaderCli, WritesBesideTheSourceAndSummarises) {
    TempDir dir;
    const std::string source = HeaderlessCopy(dir, "a_wmv2_wmav2.wmv");
    const std::string expected = (dir / "headerless_a_wmv2_wmav2.rbh.wmv").string();
    std::string out;
    ASSERT_EQ(RunCommand(Cli("rebuild-header " + Quote(source) + " --reference " + Quote(SampleFile("a_wmv2_wmav2.wmv")) +
                             " --json 2>/dev/null"),
                         &out),
              0)
        << out;
    const auto j = nlohmann::json::parse(out);
    EXPECT_EQ(j["tool"], "rebuild-header");
    EXPECT_EQ(j["result"], "done");
    EXPECT_EQ(j["output"], expected);
    EXPECT_EQ(j["packetsWritten"], 303);
    ASSERT_TRUE(fs::exists(expected));
    if (HaveProgram("ffprobe")) {
        EXPECT_EQ(ProbePacketCounts(expected), ProbePacketCounts(SampleFile("a_wmv2_wmav2.wmv")));
    }

    // An existing output stays as it was without --yes.
    const Bytes before = ReadFileBytes(expected);
    EXPECT_EQ(RunCommand(Cli("rebuild-header -q " + Quote(source) + " --reference " + Quote(SampleFile("a_wmv2_wmav2.wmv")))), 1);
    EXPECT_EQ(ReadFileBytes(expected), before);
}

TEST(RebuildHeaderCli, RefusalsAndMissingInputsLeaveNoOutput) {
    TempDir dir;
    const std::string source = HeaderlessCopy(dir, "a_wmv2_wmav2.wmv");
    const std::string output = (dir / "out.wmv").string();
    std::string log;
    // Another stream layout: exit 1, the reason in the log, no file.
    EXPECT_EQ(RunCommand(Cli("rebuild-header " + Quote(source) + " --reference " + Quote(SampleFile("c_wmav2.wma")) +
                             " -o " + Quote(output)),
                         &log),
              1);
    EXPECT_NE(log.find("参考文件中没有的流编号"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(output));
    // A reference that does not exist, a damaged file that does not exist: exit 3.
    EXPECT_EQ(RunCommand(Cli("rebuild-header -q " + Quote(source) + " --reference " + Quote((dir / "none.wmv").string()) +
                             " -o " + Quote(output))),
              3);
    EXPECT_EQ(RunCommand(Cli("rebuild-header -q " + Quote((dir / "none.wmv").string()) + " --reference " +
                             Quote(SampleFile("a_wmv2_wmav2.wmv")) + " -o " + Quote(output))),
              3);
    EXPECT_FALSE(fs::exists(output));
    // The reference named as the output: refused before anything is written.
    const std::string reference = (dir / "reference.wmv").string();
    fs::copy_file(SampleFile("a_wmv2_wmav2.wmv"), reference);
    EXPECT_EQ(RunCommand(Cli("rebuild-header -q --yes " + Quote(source) + " --reference " + Quote(reference) + " -o " +
                             Quote(reference))),
              1);
    EXPECT_EQ(ReadFileBytes(reference), ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv")));
    // No --reference: a usage error.
    EXPECT_EQ(RunCommand(Cli("rebuild-header -q " + Quote(source))), 2);
}
