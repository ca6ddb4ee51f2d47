// mendery-cli rescue: exit codes, the --json report, what happens to the source and an
// existing output.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/AsfBuilder.h"
#include "support/Background.h"

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

std::vector<fs::path> WorkFolders(const fs::path& tmp) {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(tmp))
        if (e.path().filename().string().rfind("mendery-rescue-", 0) == 0) found.push_back(e.path());
    return found;
}

bool HoldsAFile(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) return true;
    return false;
}

// Whether `signal` still waits for the process's handler (its shared pending set).
bool Pending(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("ShdPnd:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
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

// A second Ctrl-C ends the program at once. Its work folder (named after the process, in
// TMPDIR) goes with it; one left by a process that was killed is removed by the next rescue.
TEST(CliRescue, SecondCtrlCLeavesNoWorkFolder) {
    TempDir dir;
    const fs::path tmp = dir / "tmp";
    fs::create_directory(tmp);
    const auto src = DamagedCopy(dir);
    const auto out = (dir / "out.wmv").string();
    Background run({MENDERY_CLI, "rescue", src, "-o", out}, (dir / "log.txt").string(), {"TMPDIR=" + tmp.string()});
    ASSERT_GT(run.Pid(), 0);
    // Once an intermediate is being written.
    for (bool writing = false; !writing;) {
        ASSERT_FALSE(run.Ended()) << "the run ended before it could be stopped";
        for (const auto& folder : WorkFolders(tmp)) writing = writing || HoldsAFile(folder);
        if (!writing) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_EQ(WorkFolders(tmp).size(), 1u);
    EXPECT_EQ(WorkFolders(tmp)[0].filename().string().rfind("mendery-rescue-" + std::to_string(run.Pid()) + "-", 0), 0u);
    ::kill(run.Pid(), SIGINT);
    // The second one once the first has reached the handler (two pending ones would be one).
    for (int i = 0; i < 20000 && Pending(run.Pid(), SIGINT); ++i) std::this_thread::sleep_for(std::chrono::microseconds(50));
    ::kill(run.Pid(), SIGINT);
    EXPECT_EQ(run.Wait(), 130);
    EXPECT_EQ(WorkFolders(tmp), std::vector<fs::path>());
    EXPECT_FALSE(fs::exists(out));

    // A folder of a process that no longer runs goes at the next rescue; a foreign one stays.
    const fs::path stale = tmp / ("mendery-rescue-" + std::to_string(run.Pid()) + "-Ab12Cd");
    fs::create_directory(stale);
    WriteFileBytes(stale / "rescue-1-repair.wmv", Bytes(1000, 1));
    const fs::path foreign = tmp / "mendery-rescue-keep";
    fs::create_directory(foreign);
    std::string log;
    ASSERT_EQ(RunCommand("TMPDIR=" + Quote(tmp.string()) + " " + Cli("rescue " + Quote(src) + " --quiet"), &log), 0) << log;
    EXPECT_EQ(WorkFolders(tmp), std::vector<fs::path>{foreign});
}
