// mendery-cli basic, join and cut running the real clipwright.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/AsfObjects.h"
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
    EXPECT_NE(log.find("输出文件: " + out), std::string::npos) << log;
    EXPECT_TRUE(HasCodecList(out));  // copied back from the source
    EXPECT_EQ(ProbePacketCounts(out), ProbePacketCounts(source));
    EXPECT_TRUE(DecodesCleanly(out));

    const Bytes original = ReadFileBytes(source);
    ASSERT_EQ(RunCommand(Cli("basic " + Quote(source) + " --replace"), &log), 0) << log;
    EXPECT_EQ(ReadFileBytes(source + ".旧"), original);
    EXPECT_TRUE(HasCodecList(source));
    EXPECT_TRUE(DecodesCleanly(source));
    EXPECT_FALSE(fs::exists(source + ".tmp"));
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
