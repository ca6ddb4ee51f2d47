// The command lines the program passes to clipwright, and starting a program and waiting for it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>

#include "launch/ClipwrightCommandLines.h"
#include "launch/ProcessRunner.h"
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

TEST(RunAndWait, ClosingTheProgramEndsTheToolAndTheWait) {
    RecordingHost host;
    RunOptions o;
    int steps = 0;
    o.shuttingDown = [&] { return ++steps >= 2; };
    const auto began = std::chrono::steady_clock::now();
    const RunResult r = RunTool(host, "/bin/sleep", "30", o);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
    EXPECT_TRUE(r.started);
    EXPECT_EQ(steps, 2);  // asked until it said so, then the tool was ended
    EXPECT_EQ(r.stopSignal, SIGTERM);
    EXPECT_TRUE(r.Stopped());
    EXPECT_FALSE(r.Done());
}

TEST(RunAndWait, PassesTheUsersStopOnAndReadsWhatTheToolSays) {
    RecordingHost host;
    RunOptions o;
    int asked = 0;
    o.stopSignal = [&] { return ++asked >= 2 ? SIGINT : 0; };
    // A tool that takes Ctrl-C as a stop, says so and ends with 130, as clipwright does.
    const RunResult stopped =
        RunTool(host, "/bin/sh", "-c \"trap 'kill $!; echo clipwright: 已停止 >&2; exit 130' INT; sleep 30 & wait\"", o);
    EXPECT_EQ(stopped.stopSignal, SIGINT);
    EXPECT_EQ(stopped.exitCode, 130);
    EXPECT_EQ(stopped.messages, std::vector<std::string>{"已停止"});
    EXPECT_EQ(stopped.StopSignalSeen(), SIGINT);

    // Log lines, progress lines and messages, each where it belongs.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    RunOptions p;
    p.progress = [&](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); };
    p.output = [&](const std::string& line) { host.Log(line); };
    const RunResult said = RunTool(host,
                                   "/bin/sh",
                                   "-c \"echo 'clipwright: 写入的数据包 5'; echo '@progress 5 10' >&2; "
                                   "printf 'clipwright: 磁盘空间不足' >&2; exit 3\"",
                                   p);
    EXPECT_EQ(said.exitCode, 3);
    EXPECT_EQ(said.stopSignal, 0);
    EXPECT_EQ(host.lines, std::vector<std::string>{"写入的数据包 5"});
    EXPECT_EQ(said.messages, std::vector<std::string>{"磁盘空间不足"});  // also without a last line break
    EXPECT_EQ(progress, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{5, 10}}));
    EXPECT_EQ(ToolFailureText(said, "合并"), "Clipwright 未能完成合并:\r磁盘空间不足");
    // A program that cannot be executed is a failed start, told once.
    RecordingHost failed;
    EXPECT_FALSE(RunTool(failed, "/dev/null", "-y").started);
    EXPECT_EQ(failed.messages.size(), 1u);
}
