// A system that gives the process no more threads (a process limit reached), stood for by the
// preloaded fault library: the tools that read ahead on a second thread do the same work on
// one and write the same file, instead of crashing or failing; the re-encoder, which cannot
// work without its thread, says so in the program's language and leaves nothing behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

const std::string kNoThreads = "LD_PRELOAD=" + Quote(MENDERY_READ_FAULT) + " MENDERY_FAULT_THREADS=1 ";

std::string Cli(const std::string& args) { return std::string(MENDERY_CLI) + " " + args; }

}  // namespace

TEST(NoThreads, EveryToolThatReadsAheadWritesWhatItWritesWithThreads) {
    if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    // Three copies of the sample joined: blocks enough for every read-ahead to hand several over.
    const auto sample = (dir / "a.wmv").string();
    fs::copy_file(SampleFile("a_wmv2_wmav2.wmv"), sample);
    const auto source = (dir / "long.wmv").string();
    std::string log;
    ASSERT_EQ(RunCommand(Cli("join " + Quote(sample) + " " + Quote(sample) + " " + Quote(sample) + " -o " + Quote(source)),
                         &log),
              0)
        << log;
    ASSERT_GT(fs::file_size(source), 2u << 20);

    for (const std::string tool : {"avi", "wav", "repair", "recover", "basic"}) {
        SCOPED_TRACE(tool);
        const std::string extension = tool == "avi" || tool == "wav" ? tool : "wmv";
        const auto withThreads = (dir / ("threads." + extension)).string();
        const auto withOne = (dir / ("one." + extension)).string();
        const std::string command = tool + " --yes " + Quote(source) + " -o ";
        ASSERT_EQ(RunCommand(Cli(command + Quote(withThreads)), &log), 0) << log;
        ASSERT_EQ(RunCommand(kNoThreads + Cli(command + Quote(withOne)), &log), 0) << log;
        EXPECT_TRUE(ReadFileBytes(withOne) == ReadFileBytes(withThreads));
    }
    // The joined file once more, each of its inputs now read on one thread.
    const auto joined = (dir / "joined.wmv").string();
    ASSERT_EQ(RunCommand(kNoThreads + Cli("join " + Quote(sample) + " " + Quote(sample) + " " + Quote(sample) + " -o " +
                                          Quote(joined)),
                         &log),
              0)
        << log;
    EXPECT_TRUE(ReadFileBytes(joined) == ReadFileBytes(source));
}

TEST(NoThreads, ReencodeSaysItCannotStartAndLeavesNothing) {
    TempDir dir;
    const auto source = (dir / "a.wmv").string();
    fs::copy_file(SampleFile("a_wmv2_wmav2.wmv"), source);
    const auto out = (dir / "out.wmv").string();
    std::string log;
    EXPECT_EQ(RunCommand(kNoThreads + Cli("reencode --yes " + Quote(source) + " -o " + Quote(out)), &log), 1) << log;
    EXPECT_NE(log.find("无法启动编码线程: 系统不允许再创建线程"), std::string::npos) << log;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"a.wmv"});
}
