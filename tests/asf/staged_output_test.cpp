// Outputs written under a temporary name and put in place only on success; inputs that are
// not regular files refused without blocking.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "asf/BinaryFile.h"
#include "asf/StagedOutput.h"
#include "support/AsfBuilder.h"

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

// A tool staging its output inside a run that staged it already (a command hands the tool its
// temporary name): the tool's result reaches the outer temporary file, the user's file changes
// only when the outer run commits, and no temporary file is left either way.
TEST(StagedOutput, StagedInsideAStagedRunReachesTheTargetOnlyThroughBoth) {
    Scratch s;
    const std::string target = s.Write("movie.wmv", "what the user had");
    for (const bool outerCommits : {false, true}) {
        StagedOutput outer(target);
        {
            StagedOutput inner(outer.TempPath());
            std::ofstream(inner.TempPath(), std::ios::binary) << "rebuilt";
            inner.Commit();
        }
        EXPECT_EQ(Read(outer.TempPath()), "rebuilt");
        EXPECT_EQ(Read(target), "what the user had");
        EXPECT_EQ(s.Entries(), 2u);
        if (outerCommits) outer.Commit();
        else outer.Discard();
        EXPECT_EQ(Read(target), outerCommits ? "rebuilt" : "what the user had");
        EXPECT_EQ(s.Entries(), 1u);
    }
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

// A tool that removes its unfinished output knows only the name it wrote to; the user asked for
// the target. The line names the target while the staging lasts, the file itself otherwise,
// and nothing is said when there was nothing to remove.
TEST(StagedOutput, DiscardedOutputIsNamedByItsTarget) {
    Scratch s;
    const std::string target = s.Write("movie.avi", "what the user had");
    test::RecordingHost host;
    std::string temp;
    {
        StagedOutput out(target);
        temp = out.TempPath();
        EXPECT_EQ(UserOutputName(temp), target);
        std::ofstream(temp, std::ios::binary) << "half a result";
        DiscardOutput(temp, &host);
        EXPECT_FALSE(fs::exists(temp));
        DiscardOutput(temp, &host, DiscardReason::Empty);  // already gone: no second line
        StagedOutput empty((s.dir / "new.wav").string());
        DiscardOutput(empty.TempPath(), &host, DiscardReason::Empty);
        DiscardOutput(empty.TempPath(), nullptr);  // a tool without a host
    }
    EXPECT_EQ(host.lines, (std::vector<std::string>{"未完成的输出文件已删除: " + target,
                                                    "未写入任何内容, 输出文件已删除: " + (s.dir / "new.wav").string()}));
    EXPECT_EQ(Read(target), "what the user had");
    EXPECT_EQ(s.Entries(), 1u);
    EXPECT_EQ(UserOutputName(temp), temp) << "forgotten with its staging";
    const std::string plain = s.Write("plain.wmv", "x");
    DiscardOutput(plain, &host);
    EXPECT_EQ(host.lines.back(), "未完成的输出文件已删除: " + plain);
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

// Create empties a file that holds bytes, starts a missing one, and leaves an empty one (a
// staged output reserved beforehand) as it is; whatever it had, what is written replaces it.
TEST(OutputFiles, CreateEmptiesExistingBytesAndStartsMissingFiles) {
    Scratch s;
    const std::string full = s.Write("full.wmv", "old content that is longer");
    const std::string empty = s.Write("empty.wmv", "");
    const std::string missing = (s.dir / "missing.wmv").string();
    for (const std::string& path : {full, empty, missing}) {
        BinaryFile f(path, BinaryFile::Mode::Create);
        EXPECT_EQ(f.Size(), 0) << path;
        const std::string text = "new";
        f.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        f.Close();
        EXPECT_EQ(Read(path), "new") << path;
    }
    // A file that cannot be written is not emptied either.
    const std::string locked = s.Write("locked.wmv", "keep");
    ::chmod(locked.c_str(), 0400);
    if (::geteuid() != 0) {
        EXPECT_THROW(BinaryFile(locked, BinaryFile::Mode::Create), IoError);
        EXPECT_EQ(Read(locked), "keep");
    }
}
