// mendery-cli rescue: exit codes, the --json report, what happens to the source and an
// existing output.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

std::string Cli(const std::string& args) { return std::string(MENDERY_CLI) + " " + args; }

std::string DamagedCopy(const TempDir& dir) {
    Bytes file = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    DamagePackets(file, 3200, 150, 4);
    const auto path = (dir / "in.wmv").string();
    WriteFileBytes(path, file);
    return path;
}

}  // namespace

TEST(CliRescue, DamagedFileIsRescuedWithTheWholeReportInJson) {
    TempDir dir;
    const auto src = DamagedCopy(dir);
    const Bytes before = ReadFileBytes(src);
    std::string out;
    ASSERT_EQ(RunCommand(Cli("rescue " + Quote(src) + " --json 2>/dev/null"), &out), 0) << out;
    const auto j = nlohmann::json::parse(out);
    EXPECT_EQ(j["result"], "done");
    EXPECT_EQ(j["output"], (dir / "in.rsc.wmv").string());
    EXPECT_FALSE(j["diagnosis"].empty());
    ASSERT_FALSE(j["steps"].empty());
    for (const auto& step : j["steps"]) {
        EXPECT_TRUE(step.contains("outcome"));
        EXPECT_TRUE(step.contains("kept"));
        EXPECT_TRUE(step.contains("note"));
        EXPECT_FALSE(step["log"].empty());
    }
    EXPECT_TRUE(j["before"]["opened"].get<bool>());
    EXPECT_GE(j["after"]["frames"].get<long>() - j["after"]["decodeErrors"].get<long>(),
              j["before"]["frames"].get<long>() - j["before"]["decodeErrors"].get<long>());
    EXPECT_TRUE(DecodesCleanly((dir / "in.rsc.wmv").string()));
    EXPECT_EQ(ReadFileBytes(src), before);
}

TEST(CliRescue, ProgressLinesAndTheTable) {
    TempDir dir;
    const auto src = DamagedCopy(dir);
    std::string out;
    ASSERT_EQ(RunCommand(Cli("rescue " + Quote(src) + " -o " + Quote((dir / "r.wmv").string())), &out), 0) << out;
    EXPECT_NE(out.find("诊断:"), std::string::npos) << out;
    EXPECT_NE(out.find("步骤 1: 高级修复 ..."), std::string::npos) << out;
    EXPECT_NE(out.find("可播放秒数"), std::string::npos) << out;
    EXPECT_NE(out.find("输出文件: " + (dir / "r.wmv").string()), std::string::npos) << out;
}

TEST(CliRescue, ExitCodesForUnusableMissingAndExistingOutputs) {
    TempDir dir;
    const auto junk = (dir / "junk.wmv").string();
    WriteFileBytes(junk, Bytes(10000, 0x20));
    std::string out;
    EXPECT_EQ(RunCommand(Cli("rescue " + Quote(junk)), &out), 1) << out;
    EXPECT_FALSE(fs::exists(dir / "junk.rsc.wmv"));

    EXPECT_EQ(RunCommand(Cli("rescue " + Quote((dir / "missing.wmv").string())), &out), 3) << out;
    EXPECT_EQ(RunCommand(Cli("rescue " + Quote(dir.path().string())), &out), 3) << out;
    EXPECT_EQ(RunCommand(Cli("rescue"), &out), 2) << out;

    const auto src = DamagedCopy(dir);
    const auto target = (dir / "in.rsc.wmv").string();
    WriteFileBytes(target, Bytes{9, 9, 9});
    EXPECT_EQ(RunCommand(Cli("rescue " + Quote(src)), &out), 1) << out;
    EXPECT_EQ(ReadFileBytes(target), (Bytes{9, 9, 9}));
    EXPECT_EQ(RunCommand(Cli("rescue " + Quote(src) + " --overwrite --quiet"), &out), 0) << out;
    EXPECT_GT(fs::file_size(target), 3u);
    EXPECT_EQ(RunCommand(Cli("rescue " + Quote(src) + " -o " + Quote(src) + " --yes"), &out), 1) << out;
    EXPECT_EQ(RunCommand(Cli("rescue " + Quote(src) + " --reference " + Quote((dir / "nope.wmv").string())), &out), 3) << out;
}

TEST(CliRescue, SigtermStopsTheRunWithNoOutput) {
    TempDir dir;
    // A file long enough that the run is still going when the signal comes.
    Bytes one = ReadFileBytes(SampleFile("d_wmv2_2audio.wmv"));
    DamagePackets(one, 3200, 50, 2);
    const auto src = (dir / "long.wmv").string();
    WriteFileBytes(src, one);
    std::string out;
    const int code = RunCommand("timeout --preserve-status -s TERM 0.3 " + Cli("rescue " + Quote(src) + " --quiet"), &out);
    if (code == 0) GTEST_SKIP() << "the run ended before the signal";
    EXPECT_EQ(code, 143) << out;
    EXPECT_FALSE(fs::exists(dir / "long.rsc.wmv"));
    for (const auto& e : fs::directory_iterator(dir.path())) EXPECT_EQ(e.path(), fs::path(src)) << "left over";
}

// A copy whose header was cut off: without --reference the run is refused and says what to
// give it; with one the header is rebuilt and the steps planned from the rebuilt file follow.
TEST(CliRescue, LostHeaderNeedsAReferenceAndIsRebuiltWithOne) {
    TempDir dir;
    const std::string reference = SampleFile("a_wmv2_wmav2.wmv");
    const Bytes whole = ReadFileBytes(reference);
    const auto src = (dir / "headless.wmv").string();
    WriteFileBytes(src, Bytes(whole.begin() + static_cast<std::ptrdiff_t>(HeaderSizeOf(whole) + 50), whole.end()));
    std::string out;
    EXPECT_EQ(RunCommand(Cli("rescue " + Quote(src) + " 2>&1"), &out), 1) << out;
    EXPECT_NE(out.find("请选择一个用同样设置录制的完好文件作为参考文件"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir / "headless.rsc.wmv"));

    ASSERT_EQ(RunCommand(Cli("rescue " + Quote(src) + " --reference " + Quote(reference) + " 2>&1"), &out), 0) << out;
    EXPECT_NE(out.find("步骤 1: 从参考文件重建文件头 - 完成, 已采用"), std::string::npos) << out;
    EXPECT_NE(out.find("重新诊断:"), std::string::npos) << out;
    EXPECT_NE(out.find("接下来的步骤:\n  2. "), std::string::npos) << out;
    EXPECT_TRUE(DecodesCleanly((dir / "headless.rsc.wmv").string()));
}
