// Basic repair in both modes and the join, with a stand-in for the cutting tool that writes an
// output of a chosen size.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>

#include "launch/BasicRepair.h"
#include "launch/LibraryCheck.h"
#include "asf/ParameterText.h"
#include "asf/Format.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

// Writes `size` bytes to the path after -o, as the tool would, and ends with `exitCode`
// saying `messages`; `stopAfterRun` is a stop the user asks for once the tool has run.
struct FakeTool {
    explicit FakeTool(std::int64_t outputSize) : size(outputSize) {}
    std::int64_t size = 0;
    int exitCode = 0;
    std::vector<std::string> messages;
    int stopAfterRun = 0;
    int stop = 0;
    std::vector<std::string> calls;
    ToolRunner Run() {
        ToolRunner t;
        t.run = [this](const std::string& parameters) {
            calls.push_back(parameters);
            RunResult r;
            r.started = true;
            r.exitCode = exitCode;
            r.messages = messages;
            auto t = SplitParameterText(parameters);
            for (std::size_t i = 0; i + 1 < t.size(); ++i)
                if (t[i] == "-o" && size > 0 && exitCode == 0) WriteFileBytes(t[i + 1], Bytes(static_cast<std::size_t>(size), 7));
            stop = stopAfterRun;
            return r;
        };
        t.stopSignal = [this] { return stop; };
        return t;
    }
};

// A tool that ran to its end (its output already in place).
ToolRunner Ran() {
    ToolRunner t;
    t.run = [](const std::string&) {
        RunResult r;
        r.started = true;
        r.exitCode = 0;
        return r;
    };
    return t;
}

struct ReplaceCase {
    TempDir dir;
    std::string source = (dir / "a.wmv").string();
    Bytes original = Bytes(10000, 1);
    ReplaceCase() { WriteFileBytes(source, original); }
};

}  // namespace

TEST(BasicRepair, SizesCloseMeansWithinFivePercent) {
    EXPECT_TRUE(SizesClose(10400, 10000));
    EXPECT_TRUE(SizesClose(9500, 10000));
    EXPECT_FALSE(SizesClose(10600, 10000));
    EXPECT_FALSE(SizesClose(0, 10000));
    EXPECT_FALSE(SizesClose(10000, 0));
}

TEST(BasicRepair, ReplaceWithinFivePercentKeepsTheOldFileAsBackup) {
    ReplaceCase c;
    FakeTool tool{10400};
    RecordingHost host;
    EXPECT_FALSE(BasicRepairReplacingSource(host, tool.Run(), c.source, {}));
    EXPECT_TRUE(host.questions.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "基础修复完成. 源文件已被替换为修复后的文件.\r原来的文件保留为: " + c.source + ".旧");
    EXPECT_EQ(ReadFileBytes(c.source), Bytes(10400, 7));
    EXPECT_EQ(ReadFileBytes(c.source + ".旧"), c.original);
    EXPECT_FALSE(fs::exists(c.source + ".tmp"));
    ASSERT_EQ(tool.calls.size(), 1u);
    EXPECT_EQ(tool.calls[0], "-i \"" + c.source + "\" -o \"" + c.source + ".tmp\" -y");
}

TEST(BasicRepair, ReplaceAtSixPercentAsksAndNoKeepsTheSource) {
    ReplaceCase c;
    FakeTool tool{10600};
    RecordingHost host;
    host.answers = {Answer::No};
    auto added = BasicRepairReplacingSource(host, tool.Run(), c.source, {true, false});
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0], "警告: 源文件的大小为 " + FormatSize(10000) + "\r且已修复文件的大小为 " + FormatSize(10600) +
                                     ".\r您仍然希望重置已修复文件的源文件?");
    const std::string declined = (c.dir / "a已修复.wmv").string();
    ASSERT_TRUE(added);
    EXPECT_EQ(*added, declined);
    EXPECT_EQ(ReadFileBytes(c.source), c.original);
    EXPECT_EQ(ReadFileBytes(declined), Bytes(10600, 7));
    EXPECT_EQ(host.messages, std::vector<std::string>{"已修复的文件被重命名为: " + declined + ".\r该源文件是完好的."});
    // Yes replaces after all.
    FakeTool again{10600};
    RecordingHost yes;
    yes.answers = {Answer::Yes};
    BasicRepairReplacingSource(yes, again.Run(), c.source, {});
    EXPECT_EQ(ReadFileBytes(c.source), Bytes(10600, 7));
    EXPECT_EQ(ReadFileBytes(c.source + ".旧"), c.original);
}

TEST(BasicRepair, ReplaceNeverLosesTheSource) {
    {
        // The tool wrote nothing: whatever the answer, the source stays where it is.
        ReplaceCase c;
        FakeTool tool{0};
        RecordingHost host;
        host.answers = {Answer::Yes};
        EXPECT_FALSE(BasicRepairReplacingSource(host, tool.Run(), c.source, {}));
        EXPECT_EQ(ReadFileBytes(c.source), c.original);
        EXPECT_FALSE(fs::exists(c.source + ".旧"));
        EXPECT_EQ(host.messages.size(), 1u);
    }
    {
        // The old backup cannot be deleted (a folder with content stands there): stop before
        // any rename, the source and the repaired file both stay.
        ReplaceCase c;
        fs::create_directories(c.source + ".旧/keep");
        FakeTool tool{10100};
        RecordingHost host;
        BasicRepairReplacingSource(host, tool.Run(), c.source, {});
        EXPECT_EQ(ReadFileBytes(c.source), c.original);
        EXPECT_TRUE(fs::exists(c.source + ".tmp"));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].find(".旧"), std::string::npos);
    }
    if (::geteuid() != 0) {
        // A folder we may not change: the backup rename fails, nothing else happens.
        ReplaceCase c;
        FakeTool tool{10100};
        tool.Run().run("-o \"" + c.source + ".tmp\"");
        ::chmod(c.dir.path().c_str(), 0555);
        RecordingHost host;
        BasicRepairReplacingSource(host, Ran(), c.source, {});
        ::chmod(c.dir.path().c_str(), 0755);
        EXPECT_EQ(ReadFileBytes(c.source), c.original);
    }
}

TEST(BasicRepair, NewFileRefusesTheSourcesOwnName) {
    ReplaceCase c;
    FakeTool tool{10000};
    RecordingHost host;
    EXPECT_FALSE(BasicRepairToNewFile(host, tool.Run(), c.source, c.source, {}));
    EXPECT_EQ(host.messages, std::vector<std::string>{"文件名称必须不同! 请换一个再试."});
    EXPECT_TRUE(tool.calls.empty());
    const auto out = (c.dir / "a.bsr.wmv").string();
    EXPECT_EQ(*BasicRepairToNewFile(host, tool.Run(), c.source, out, {false, true}), out);
    EXPECT_EQ(tool.calls.back(), "-i \"" + c.source + "\" -o \"" + out + "\" -y -istart");
    EXPECT_EQ(host.messages.back(), "基础修复完成.\r输出文件: " + out);
}

TEST(BasicRepair, AFailedOrStoppedRunIsNeverTakenForAResult) {
    {
        // clipwright refused: its own reason is shown, and a repaired file left from an
        // earlier run does not replace the source.
        ReplaceCase c;
        WriteFileBytes(c.source + ".tmp", Bytes(10100, 9));
        FakeTool tool{10100};
        tool.exitCode = 1;
        tool.messages = {"\"" + c.source + "\" 的文件头中没有可用的流属性对象"};
        RecordingHost host;
        EXPECT_FALSE(BasicRepairReplacingSource(host, tool.Run(), c.source, {}));
        EXPECT_EQ(ReadFileBytes(c.source), c.original);
        EXPECT_FALSE(fs::exists(c.source + ".旧"));
        EXPECT_EQ(host.messages, std::vector<std::string>{"Clipwright 未能完成基础修复:\r" + tool.messages[0]});
        // The new-file mode does not hand back an output of that name from before either.
        const auto out = (c.dir / "a.bsr.wmv").string();
        WriteFileBytes(out, Bytes(100, 1));
        EXPECT_FALSE(BasicRepairToNewFile(host, tool.Run(), c.source, out, {}));
    }
    for (const int signal : {SIGINT, SIGTERM}) {
        // A stop that comes while the codec list is copied or the question is open: the source
        // stays, and the repaired file (ours) goes.
        ReplaceCase c;
        FakeTool tool{10600};
        tool.stopAfterRun = signal;
        RecordingHost host;
        host.answers = {Answer::Yes};
        EXPECT_FALSE(BasicRepairReplacingSource(host, tool.Run(), c.source, {}));
        EXPECT_EQ(ReadFileBytes(c.source), c.original);
        EXPECT_FALSE(fs::exists(c.source + ".旧"));
        EXPECT_FALSE(fs::exists(c.source + ".tmp"));
        EXPECT_EQ(host.messages.back(), std::string(kStoppedSourceKept));
    }
    {
        // clipwright itself says it was stopped.
        ReplaceCase c;
        FakeTool tool{0};
        tool.exitCode = 130;
        RecordingHost host;
        EXPECT_FALSE(BasicRepairReplacingSource(host, tool.Run(), c.source, {}));
        EXPECT_EQ(host.messages, std::vector<std::string>{kStoppedSourceKept});
        EXPECT_TRUE(host.questions.empty());
    }
}

TEST(Join, WarnsWhenTheJoinedSizeIsFarFromTheTotal) {
    TempDir dir;
    std::vector<std::string> files;
    for (int i = 1; i <= 3; ++i) {
        files.push_back((dir / ("clip0" + std::to_string(i) + ".wmv")).string());
        WriteFileBytes(files.back(), Bytes(1000, 1));
    }
    const auto out = (dir / "clip01-3.wmv").string();
    FakeTool close{3100};
    RecordingHost host;
    EXPECT_EQ(*JoinListedFiles(host, close.Run(), files, out, false), out);
    EXPECT_EQ(host.messages, std::vector<std::string>{"合并完成.\r输出文件: " + out});
    EXPECT_TRUE(close.calls[0].starts_with(" -i \"" + files[0] + "\" -i \"" + files[1]));
    EXPECT_TRUE(close.calls[0].ends_with(" -o \"" + out + "\" -y -b"));

    FakeTool far{2000};
    RecordingHost warned;
    EXPECT_TRUE(JoinListedFiles(warned, far.Run(), files, out, true));
    EXPECT_FALSE(far.calls[0].ends_with("-b"));
    EXPECT_EQ(warned.messages, std::vector<std::string>{"警告:源文件全部大小为 " + FormatSize(3000) + "\r但是合并文件的大小为" +
                                                        FormatSize(2000) +
                                                        "\r可能的原因:\r1-文件间互相不兼容.\r2- 某些文件出现 \"坏点\" 需要被修复."});

    // A refusal says clipwright's reason, not the size warning, and hands back nothing.
    FakeTool refused{0};
    refused.exitCode = 1;
    refused.messages = {"无法合并 \"a\" 与 \"b\": 流的布局不同 (流、编解码器或画面大小)"};
    RecordingHost told;
    EXPECT_FALSE(JoinListedFiles(told, refused.Run(), files, out, false));
    EXPECT_EQ(told.messages, std::vector<std::string>{"Clipwright 未能完成合并:\r" + refused.messages[0]});
    // A full disk likewise; a run that ended without a word gives its exit code.
    FakeTool silent{0};
    silent.exitCode = 3;
    RecordingHost code;
    EXPECT_FALSE(JoinListedFiles(code, silent.Run(), files, out, false));
    EXPECT_EQ(code.messages, std::vector<std::string>{"Clipwright 未能完成合并 (退出代码 3)."});
}

TEST(LibraryCheck, SearchOrderAndSeparators) {
    LibrarySearch s{"clipwright", "/opt/a;;/opt/b/:/opt/c", "/win", {}};
    EXPECT_EQ(LibrarySearchOrder(s), (std::vector<std::string>{"clipwright", "/opt/a/clipwright", "/opt/b/clipwright",
                                                                "/opt/c/clipwright", "/win/clipwright", "/win/system/clipwright",
                                                                "/win/system32/clipwright"}));
    std::vector<std::string> looked;
    s.exists = [&](const std::string& p) {
        looked.push_back(p);
        return p == "/opt/b/clipwright" || p == "/win/clipwright";
    };
    EXPECT_EQ(*FindLibrary(s), "/opt/b/clipwright");
    EXPECT_EQ(looked.size(), 3u);  // the first match ends the search
    s.exists = [](const std::string&) { return false; };
    EXPECT_FALSE(FindLibrary(s));
    EXPECT_EQ(LibrarySearchOrder({"x", "", "", {}}), std::vector<std::string>{"x"});
    // clipwright is built beside the test program's folder's neighbour, the command-line program.
    EXPECT_NE(MissingLibraryWarning().find("您可以继续使用但某些功能会被禁用."), std::string::npos);
}
