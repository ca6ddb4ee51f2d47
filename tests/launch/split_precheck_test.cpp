// The split window's precheck, marks and cut, without a window.
#include <gtest/gtest.h>

#include "launch/SplitPrecheck.h"
#include "asf/AsfObjects.h"
#include "asf/Format.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

AsfBuilder Cuttable() {
    AsfBuilder b;
    b.PacketSize(512).VideoStream(1).SimplePackets(20, 0x10);
    return b;
}

// Runs the precheck on `file`; returns the messages and questions it showed.
struct Outcome {
    bool ok;
    std::vector<std::string> messages, questions;
};
Outcome Check(const Bytes& file, SizeMatchMode mode, Answer answer = Answer::No) {
    TempDir dir;
    const auto path = (dir / "f.wmv").string();
    WriteFileBytes(path, file);
    RecordingHost host;
    host.answers = {answer};
    bool ok = SplitPrecheck(host, path, mode);
    return {ok, host.messages, host.questions};
}

}  // namespace

TEST(SplitPrecheck, EachFailingCheckShowsItsMessage) {
    const Bytes good = Cuttable().Build();
    EXPECT_TRUE(Check(good, SizeMatchMode::None).ok);

    Bytes b = good;
    b[0] ^= 0xFF;
    EXPECT_EQ(Check(b, SizeMatchMode::None).messages, std::vector<std::string>{"无效的文件头对象ID"});

    b = good;
    b[HeaderSizeOf(good)] ^= 0xFF;
    EXPECT_EQ(Check(b, SizeMatchMode::None).messages, std::vector<std::string>{"无效的数据对象ID"});

    b = good;
    PutU32(b, 30 + fp::MinPacketSize, 0);
    EXPECT_EQ(Check(b, SizeMatchMode::None).messages, std::vector<std::string>{"不能定位文件属性对象"});

    for (std::uint32_t flags : {0x03u, 0x06u, 0x00u}) {
        b = good;
        PutU32(b, 30 + fp::Flags, flags);
        TempDir dir;
        const auto path = (dir / "f.wmv").string();
        WriteFileBytes(path, b);
        RecordingHost host;
        EXPECT_FALSE(SplitPrecheck(host, path, SizeMatchMode::None));
        EXPECT_EQ(host.messages, std::vector<std::string>{"文件 \"" + path + "\" 必须被 \"可定位\""});
    }

    b = good;
    PutU64(b, HeaderSizeOf(good) + 40, 0);
    EXPECT_EQ(Check(b, SizeMatchMode::None).messages, std::vector<std::string>{"\"某些数据块无效.\r请先修复."});

    // A header larger than the 64,001-byte buffer is refused.
    const auto big = Check(Cuttable().ExtraHeaderObject(guids::ExtendedContentDescription, Bytes(70000, 0)).Build(), SizeMatchMode::None);
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.messages.size(), 1u);
}

TEST(SplitPrecheck, SizeMatchModes) {
    Bytes b = Cuttable().Build();
    const std::uint64_t real = b.size();
    auto withHeaderSize = [&](std::uint64_t h) {
        Bytes c = b;
        PutU64(c, 30 + fp::FileSize, h);
        return c;
    };
    // Mode 2: 10 bytes longer than the header says, no warning; 10 bytes shorter, warning.
    EXPECT_TRUE(Check(withHeaderSize(real - 10), SizeMatchMode::Shorter).questions.empty());
    auto shorter = Check(withHeaderSize(real + 10), SizeMatchMode::Shorter);
    EXPECT_FALSE(shorter.ok);
    ASSERT_EQ(shorter.questions.size(), 1u);
    EXPECT_EQ(shorter.questions[0], "警告: 文件大小小于原始文件!\r标题信息显示文件大小应该为 '" + std::to_string(real + 10) +
                                        "' 字节但实际的文件大小为 '" + std::to_string(real) +
                                        "' 字节.  此问题会发生在 \"局部文件\" 中，或文件按多种比特率编码时. 无论哪一种情形,它将在交付"
                                        "分割前修复文件. 否则,您可能得到错误的调速.\r\r您希望忽略此警告并继续?");
    EXPECT_TRUE(Check(withHeaderSize(real + 10), SizeMatchMode::Shorter, Answer::Yes).ok);
    EXPECT_FALSE(Check(withHeaderSize(real + 10), SizeMatchMode::Shorter, Answer::Cancel).ok);
    // Mode 1: a header size of 0 never warns; more than 1 % off either way does.
    EXPECT_TRUE(Check(withHeaderSize(0), SizeMatchMode::Differs).questions.empty());
    EXPECT_TRUE(Check(withHeaderSize(real - real / 200), SizeMatchMode::Differs).questions.empty());
    EXPECT_EQ(Check(withHeaderSize(real - real / 50), SizeMatchMode::Differs).questions.size(), 1u);
    // Mode 0: nothing.
    EXPECT_TRUE(Check(withHeaderSize(real * 2), SizeMatchMode::None).ok);
}

TEST(SplitMarks, TotalAndMarkRules) {
    EXPECT_EQ(SplitTotalSeconds(59500), 61);  // 59.5 s rounds to 60 (ties to even), plus 1
    EXPECT_EQ(SplitTotalSeconds(58500), 59);
    EXPECT_EQ(SplitTotalSeconds(0), 1);
    SplitMarks m(SplitTotalSeconds(59500));
    EXPECT_EQ(m.Start(), 0);
    EXPECT_EQ(m.End(), 61);
    m.StartDown();
    EXPECT_EQ(m.Start(), 0);
    m.EndUp();
    EXPECT_EQ(m.End(), 61);
    EXPECT_FALSE(m.SetStart(62));
    m.SetStartFromPosition(12499);
    EXPECT_EQ(m.Start(), 12);
    m.SetEndFromPosition(12500);
    EXPECT_EQ(m.End(), 12);
    m.SetStart(40);  // beyond the end: stored, the cut refuses it
    EXPECT_EQ(m.Start(), 40);

    SplitMarks n(100);
    n.SetStart(10);
    n.SetEnd(20);
    n.NextSelection();
    EXPECT_EQ(n.Start(), 20);
    EXPECT_EQ(n.End(), 30);
    n.SetStart(10);
    n.SetEnd(95);
    n.NextSelection();
    EXPECT_EQ(n.Start(), 95);
    EXPECT_EQ(n.End(), 100);
    n.NextSelection();  // end = total: nothing
    EXPECT_EQ(n.Start(), 95);
}

TEST(SplitCut, RefusesBadRangesAndRunsTheChosenCommandLine) {
    EXPECT_EQ(*CutRangeRefusal(20, 20, 100), "选定的范围无效, 起点必须在终点之前. ");
    EXPECT_EQ(*CutRangeRefusal(0, 100, 100), "选定的范围无效, 文件被全选.\r请选择一个更小的范围.");
    EXPECT_FALSE(CutRangeRefusal(0, 99, 100));

    TempDir dir;
    const auto src = (dir / "a.wmv").string(), out = (dir / "a.cut.wmv").string();
    Cuttable().WriteTo(src);
    SplitMarks m(100);
    RecordingHost host;
    std::vector<std::string> runs;
    ToolRunner run;
    run.run = [&](const std::string& p) {
        runs.push_back(p);
        RunResult r;
        r.started = true;
        r.exitCode = 0;
        return r;
    };
    EXPECT_FALSE(RunSplitCut(host, run, src, out, m, false));  // everything selected
    EXPECT_TRUE(runs.empty());
    m.SetStart(10);
    m.SetEnd(20);
    EXPECT_TRUE(RunSplitCut(host, run, src, out, m, true));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].ends_with(" -start 0 -dur 10 -start 20 -y")) << runs[0];
    EXPECT_EQ(FormatClock(3600), "01:00:00");
}
