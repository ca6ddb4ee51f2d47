// Outputs written under a temporary name and put in place only on success; inputs that are
// not regular files refused without blocking.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "asf/BinaryFile.h"
#include "asf/StagedOutput.h"

namespace fs = std::filesystem;
using namespace mendery;

namespace {

struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("staged-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Scratch() { fs::create_directories(dir); }
    ~Scratch() { fs::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }
    std::size_t Entries() const { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); }
};

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(StagedOutput, TemporaryFileBesideTargetKeepsExtensionAndReplacesOnlyOnCommit) {
    Scratch s;
    const std::string target = s.Write("movie.avi", "what the user had");
    {
        StagedOutput out(target);
        EXPECT_EQ(fs::path(out.TempPath()).parent_path(), s.dir);
        EXPECT_EQ(fs::path(out.TempPath()).extension(), ".avi");
        std::ofstream(out.TempPath(), std::ios::binary) << "new result";
        EXPECT_EQ(Read(target), "what the user had");
        out.Commit();
    }
    EXPECT_EQ(Read(target), "new result");
    EXPECT_EQ(s.Entries(), 1u);
    struct stat st{};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "the output is as readable as any new file";
}

TEST(StagedOutput, RunWithoutCommitLeavesExistingFileAndNothingElse) {
    Scratch s;
    const std::string target = s.Write("movie.wmv", "what the user had");
    {
        StagedOutput out(target);
        std::ofstream(out.TempPath(), std::ios::binary) << "half a result";
    }
    EXPECT_EQ(Read(target), "what the user had");
    EXPECT_EQ(s.Entries(), 1u);
    {
        StagedOutput out((s.dir / "new.wmv").string());
    }
    EXPECT_EQ(s.Entries(), 1u);
}

TEST(StagedOutput, UnwritableFolderAndExistingOutputAreRefusedWithReason) {
    Scratch s;
    try {
        StagedOutput out((s.dir / "missing" / "x.wmv").string());
        FAIL() << "a missing folder must be refused";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("不存在"), std::string::npos) << e.what();
    }
    const std::string existing = s.Write("a.wmv", "x");
    EXPECT_NE(ExistingOutputRefusal(existing, false).find("--yes"), std::string::npos);
    EXPECT_TRUE(ExistingOutputRefusal(existing, true).empty());
    EXPECT_TRUE(ExistingOutputRefusal((s.dir / "b.wmv").string(), false).empty());
}

TEST(InputFiles, FifoDeviceAndFolderAreRefusedWithoutBlocking) {
    Scratch s;
    const std::string fifo = (s.dir / "pipe.wmv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null"), s.dir.string()}) {
        EXPECT_FALSE(CheckInputFile(path).empty()) << path;
        EXPECT_THROW(BinaryFile(path, BinaryFile::Mode::Read), IoError) << path;
    }
    EXPECT_NE(CheckInputFile(fifo).find("管道"), std::string::npos);
    EXPECT_NE(CheckInputFile((s.dir / "none.wmv").string()).find("不存在"), std::string::npos);
    EXPECT_TRUE(CheckInputFile(s.Write("ok.wmv", "x")).empty());
}
