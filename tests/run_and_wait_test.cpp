// The command lines the program passes to clipwright, and starting a program and waiting for it.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ClipwrightCommandLines.h"
#include "app/ProcessRunner.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

TEST(ClipwrightCommandLines, AreTheSixTexts) {
    EXPECT_EQ(BasicRepairNewParameters("/v/a.wmv", "/v/a.bsr.wmv", {}), "-i \"/v/a.wmv\" -o \"/v/a.bsr.wmv\" -y");
    const std::string both = BasicRepairNewParameters("/v/a.wmv", "/v/a.bsr.wmv", {true, true});
    EXPECT_TRUE(both.ends_with(" -y -resync -istart")) << both;
    EXPECT_EQ(BasicRepairReplaceParameters("/v/a.wmv", {false, true}), "-i \"/v/a.wmv\" -o \"/v/a.wmv.tmp\" -y -istart");
    EXPECT_EQ(JoinParameters({"/v/c1.wmv", "/v/c 2.wmv", "/v/c3.wmv"}, "/v/c1-3.wmv", false),
              " -i \"/v/c1.wmv\" -i \"/v/c 2.wmv\" -i \"/v/c3.wmv\" -o \"/v/c1-3.wmv\" -y -b");
    EXPECT_EQ(JoinParameters({"/v/c1.wmv"}, "/v/o.wmv", true), " -i \"/v/c1.wmv\" -o \"/v/o.wmv\" -y");
    EXPECT_EQ(CutCopyParameters("/v/a.wmv", "/v/a.cut.wmv", 10, 20), "-i \"/v/a.wmv\" -o \"/v/a.cut.wmv\" -start 10 -dur 10 -y");
    const std::string except = CutExceptParameters("/v/a.wmv", "/v/a.cut.wmv", 10, 20);
    EXPECT_TRUE(except.ends_with(" -start 0 -dur 10 -start 20 -y")) << except;
    EXPECT_EQ(ShrinkExtraParameters("/v/a.shr.wmv"), "-i \"/v/a.shr.wmv\" -o \"/v/a.shr.wmv.tmp\" -y");
}

TEST(ClipwrightCommandLines, ToolLiesBesideTheRunningProgram) {
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(ClipwrightPath(), exe.substr(0, exe.find_last_of('/')) + "/clipwright");
}

TEST(RunAndWait, RunsTheProgramWithTheSplitParametersAndWaits) {
    TempDir dir;
    const auto marker = (dir / "with space.txt").string();
    RecordingHost host;
    int exitCode = 0;
    RunOptions o;
    o.exitCode = &exitCode;
    // Runs for a while so that several 100 ms steps pass with events handled.
    ASSERT_TRUE(RunAndWait(host, "/bin/sh", "-c \"sleep 0.35; printf %s \\\"$0\\\" > \\\"$1\\\"; exit 7\" hello \"" + marker + "\"", o));
    EXPECT_EQ(exitCode, 7);
    EXPECT_GE(host.processCalls, 2);
    EXPECT_TRUE(host.messages.empty());
    std::string text;
    ASSERT_TRUE(std::filesystem::exists(marker));
    const Bytes b = ReadFileBytes(marker);
    EXPECT_EQ(std::string(b.begin(), b.end()), "hello");
}

TEST(RunAndWait, AFailedStartShowsTheWindowsWording) {
    RecordingHost host;
    EXPECT_FALSE(RunAndWait(host, "/nonexistent/clipwright", "-i \"a.wmv\" -y"));
    RunOptions split;
    split.wording = RunWording::SplitWindow;
    EXPECT_FALSE(RunAndWait(host, "/nonexistent/clipwright", "-i \"a.wmv\" -y", split));
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0], "运行Clipwright错误.\r路径:/nonexistent/clipwright\r参数:-i \"a.wmv\" -y");
    EXPECT_EQ(host.messages[1], "运行Clipwright错误. 路径:/nonexistent/clipwrightParams:-i \"a.wmv\" -y");
}

TEST(RunAndWait, StopsWaitingWhenTheProgramShutsDown) {
    RecordingHost host;
    RunOptions o;
    int steps = 0;
    o.shuttingDown = [&] { return ++steps >= 2; };
    ASSERT_TRUE(RunAndWait(host, "/bin/sleep", "1", o));
    EXPECT_EQ(steps, 2);
}
