// mendery-cli basic, join and cut running the real clipwright.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "asf/AsfObjects.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

std::string Cli(const std::string& args) { return std::string(MENDERY_CLI) + " " + args; }

bool HasCodecList(const std::string& path) {
    const Bytes b = ReadFileBytes(path);
    return WalkHeader(std::span(b).first(HeaderSizeOf(b))).Find(guids::CodecList) != nullptr;
}

class CliClipwright : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
        fs::copy_file(SampleFile("a_wmv2_wmav2.wmv"), source);
    }
    TempDir dir;
    std::string source = (dir / "a.wmv").string();
};

}  // namespace

TEST_F(CliClipwright, BasicRepairAsNewFileAndReplacingTheSource) {
    std::string log;
    ASSERT_EQ(RunCommand(Cli("basic " + Quote(source) + " --resync"), &log), 0) << log;
    const auto out = (dir / "a.bsr.wmv").string();
    EXPECT_NE(log.find("基础修复完成.\n输出文件: " + out), std::string::npos) << log;
    EXPECT_TRUE(HasCodecList(out));  // copied back from the source
    EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(source));
    EXPECT_TRUE(DecodesCleanly(out));

    const Bytes original = ReadFileBytes(source);
    ASSERT_EQ(RunCommand(Cli("basic " + Quote(source) + " --replace"), &log), 0) << log;
    EXPECT_EQ(ReadFileBytes(source + ".旧"), original);
    EXPECT_TRUE(HasCodecList(source));
    EXPECT_TRUE(DecodesCleanly(source));
    EXPECT_FALSE(fs::exists(source + ".tmp"));
    // The backup is now the user's original: a second replacement keeps it unless --yes.
    const Bytes repaired = ReadFileBytes(source);
    EXPECT_EQ(RunCommand(Cli("basic " + Quote(source) + " --replace"), &log), 1) << log;
    EXPECT_NE(log.find("--yes"), std::string::npos) << log;
    EXPECT_EQ(ReadFileBytes(source + ".旧"), original);
    EXPECT_EQ(ReadFileBytes(source), repaired);
}

TEST_F(CliClipwright, AnExistingOutputIsKeptUnlessYes) {
    std::string log;
    const auto out = (dir / "mine.wmv").string();
    WriteFileBytes(out, Bytes(20, 'm'));
    for (const std::string& command : {"basic " + Quote(source) + " -o " + Quote(out),
                                       "join " + Quote(source) + " " + Quote(source) + " -o " + Quote(out),
                                       "cut " + Quote(source) + " --start 2 --end 4 -o " + Quote(out)}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(RunCommand(Cli(command), &log), 1) << log;
        EXPECT_NE(log.find("输出文件已存在: " + out + " (用 --yes 覆盖它)"), std::string::npos) << log;
        EXPECT_EQ(ReadFileBytes(out), Bytes(20, 'm'));
    }
    ASSERT_EQ(RunCommand(Cli("cut " + Quote(source) + " --start 2 --end 4 --yes -o " + Quote(out)), &log), 0) << log;
    EXPECT_TRUE(DecodesCleanly(out));
}

TEST_F(CliClipwright, RefusalsSayTheRealReasonWithTheirExitCode) {
    std::string log;
    // A missing input cannot be read: 3, from every command.
    const auto none = (dir / "none.wmv").string();
    for (const std::string& command : {"basic " + Quote(none), "join " + Quote(source) + " " + Quote(none),
                                       "cut " + Quote(none) + " --start 1 --end 2"}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(RunCommand(Cli(command), &log), 3) << log;
        EXPECT_NE(log.find("文件或文件夹不存在"), std::string::npos) << log;
    }
    // Files that cannot be joined: clipwright's reason, not the size warning.
    fs::copy_file(SampleFile("c_wmav2.wma"), dir / "c.wma");
    EXPECT_EQ(RunCommand(Cli("join " + Quote(source) + " " + Quote((dir / "c.wma").string()) + " -o " +
                             Quote((dir / "x.wmv").string())),
                         &log),
              1);
    EXPECT_NE(log.find("流的布局不同"), std::string::npos) << log;
    EXPECT_EQ(log.find("1-文件间互相不兼容"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(dir / "x.wmv"));
    // An output folder that is not there.
    EXPECT_EQ(RunCommand(Cli("basic " + Quote(source) + " -o " + Quote((dir / "no" / "x.wmv").string())), &log), 3) << log;
    EXPECT_NE(log.find("文件或文件夹不存在"), std::string::npos) << log;
    // Names without an extension join into a name of their own, not "-".
    fs::copy_file(source, dir / "clip");
    ASSERT_EQ(RunCommand(Cli("join " + Quote((dir / "clip").string()) + " " + Quote((dir / "clip").string())), &log), 0) << log;
    EXPECT_TRUE(fs::exists(dir / "clip-"));
    EXPECT_FALSE(fs::exists(dir / "-"));
}

// 17 zero bytes right after the data object's head: every packet lies off the grid. The plain
// basic repair once wrote one garbage packet and said "基础修复完成"; it now fails with the
// way out, and --resync rescues the file whole.
TEST_F(CliClipwright, BasicRepairOfAShiftedFileNeedsResync) {
    Bytes file = ReadFileBytes(source);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(HeaderSizeOf(file) + 50), 17, 0);
    const auto shifted = (dir / "shifted.wmv").string();
    WriteFileBytes(shifted, file);
    const auto out = (dir / "shifted.bsr.wmv").string();
    std::string log;
    EXPECT_EQ(RunCommand(Cli("basic " + Quote(shifted)), &log), 1) << log;
    EXPECT_NE(log.find("数据包没有对齐数据包网格"), std::string::npos) << log;
    EXPECT_NE(log.find("--resync"), std::string::npos) << log;
    EXPECT_EQ(log.find("基础修复完成"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(ReadFileBytes(shifted), file);

    ASSERT_EQ(RunCommand(Cli("basic " + Quote(shifted) + " --resync"), &log), 0) << log;
    EXPECT_TRUE(DecodesCleanly(out));
    EXPECT_EQ(GetU64(ReadFileBytes(out), HeaderSizeOf(ReadFileBytes(out)) + 40), 303u);
}

TEST_F(CliClipwright, JoinAndCut) {
    std::string log;
    const auto joined = (dir / "j.wmv").string();
    ASSERT_EQ(RunCommand(Cli("join " + Quote(source) + " " + Quote(source) + " -o " + Quote(joined)), &log), 0) << log;
    EXPECT_TRUE(HasCodecList(joined));
    EXPECT_EQ(log.find("警告"), std::string::npos) << log;  // about twice the size: no warning
    EXPECT_TRUE(DecodesCleanly(joined));

    ASSERT_EQ(RunCommand(Cli("cut " + Quote(source) + " --start 5 --end 10"), &log), 0) << log;
    const auto cut = (dir / "a.cut.wmv").string();
    EXPECT_TRUE(HasCodecList(cut));
    EXPECT_TRUE(DecodesCleanly(cut));
    // Everything except the first 5 s: the most common use of that mode.
    const auto tail = (dir / "tail.wmv").string();
    ASSERT_EQ(RunCommand(Cli("cut " + Quote(source) + " --start 0 --end 5 --except -o " + Quote(tail)), &log), 0) << log;
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(tail, &errors)) << errors;
    EXPECT_TRUE(HasCodecList(tail));
    std::string seconds;
    RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(tail), &seconds);
    EXPECT_NEAR(std::atof(seconds.c_str()), 15.2 - 5, 0.6) << seconds;
    // The whole file selected, and an unseekable file, are refused before clipwright runs.
    EXPECT_EQ(RunCommand(Cli("cut " + Quote(source) + " --start 0 --end 16 -o " + Quote((dir / "x.wmv").string())), &log), 1);
    EXPECT_NE(log.find("文件被全选"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(dir / "x.wmv"));
    Bytes live = ReadFileBytes(source);
    PutU32(live, 30 + fp::Flags, fp::FlagBroadcast);
    WriteFileBytes(dir / "live.wmv", live);
    EXPECT_EQ(RunCommand(Cli("cut " + Quote((dir / "live.wmv").string()) + " --start 1 --end 2"), &log), 1);
    EXPECT_NE(log.find("必须被 \"可定位\""), std::string::npos) << log;
}
