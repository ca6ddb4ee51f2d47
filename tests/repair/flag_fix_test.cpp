// The flag fixer rewrites exactly the four flag bytes in place, and nothing on refusal.
#include <gtest/gtest.h>
#include <unistd.h>

#include "asf/AsfObjects.h"
#include "repair/FlagFixer.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

constexpr std::uint64_t kFlagsAt = 30 + fp::Flags;  // the file properties object comes first

struct FlagRun {
    TempDir dir;
    std::string path;
    RecordingHost host;
    Bytes before;

    explicit FlagRun(std::uint32_t flags) : FlagRun(AsfBuilder().VideoStream(1).SimplePackets(3).Flags(flags).Build()) {}
    explicit FlagRun(const Bytes& file) : path((dir / "f.wmv").string()), before(file) { WriteFileBytes(path, file); }

    FlagFixResult Fix(std::deque<Answer> answers = {}) {
        host.answers = std::move(answers);
        host.messages.clear();
        host.questions.clear();
        before = ReadFileBytes(path);
        return FlagFixer(host).FixFlags(path);
    }
    Bytes Now() const { return ReadFileBytes(path); }
    // Every byte but the four flag bytes is as before.
    bool OnlyFlagsChanged() const {
        Bytes a = before, b = Now();
        if (a.size() != b.size()) return false;
        for (int i = 0; i < 4; ++i) a[kFlagsAt + i] = b[kFlagsAt + i] = 0;
        return a == b;
    }
};

const std::string kSeekableDone = "\n标记设置为 \"可定位\".";

}  // namespace

TEST(FlagFix, NotSeekableOrBroadcastBecomesSeekableOnly) {
    for (std::uint32_t flags : {0u, 1u, 3u}) {
        FlagRun run(flags);
        EXPECT_EQ(run.Fix(), FlagFixResult::SetSeekable) << flags;
        EXPECT_EQ(GetU32(run.Now(), kFlagsAt), 2u);
        EXPECT_TRUE(run.OnlyFlagsChanged());
        EXPECT_TRUE(run.host.questions.empty()) << "flags " << flags << " must not ask about live";
        EXPECT_EQ(run.host.messages, std::vector<std::string>{"文件: \"" + run.path + "\"" + kSeekableDone});
    }
}

TEST(FlagFix, SeekableAsksAboutLiveAndOnlyYesWrites) {
    for (Answer a : {Answer::No, Answer::Cancel}) {
        FlagRun run(2);
        EXPECT_EQ(run.Fix({a}), FlagFixResult::Declined);
        EXPECT_EQ(run.host.questions, std::vector<std::string>{"文件已经可定位. 您希望将其设置为直播?"});
        EXPECT_TRUE(run.host.messages.empty());
        EXPECT_EQ(run.Now(), run.before);
    }
    FlagRun run(2);
    EXPECT_EQ(run.Fix({Answer::Yes}), FlagFixResult::SetLive);
    EXPECT_EQ(GetU32(run.Now(), kFlagsAt), 1u);
    EXPECT_TRUE(run.OnlyFlagsChanged());
    EXPECT_EQ(run.host.messages, std::vector<std::string>{"文件: \"" + run.path + "\"\n标记设置为 \"直播\"."});
}

TEST(FlagFix, RunsCycleSeekableLiveSeekable) {
    FlagRun run(0);
    EXPECT_EQ(run.Fix(), FlagFixResult::SetSeekable);
    EXPECT_EQ(run.Fix({Answer::Yes}), FlagFixResult::SetLive);
    EXPECT_EQ(run.Fix(), FlagFixResult::SetSeekable);
    EXPECT_EQ(GetU32(run.Now(), kFlagsAt), 2u);
    EXPECT_TRUE(run.OnlyFlagsChanged());
}

TEST(FlagFix, OtherFlagBitsAreReportedAndLeftAlone) {
    FlagRun run(6);
    EXPECT_EQ(run.Fix(), FlagFixResult::NewStyle);
    EXPECT_EQ(run.host.messages,
              std::vector<std::string>{"\"新样式\" 标记侦测.\n使用\"丢失的数据块\" 工具制做可定位标记."});
    EXPECT_EQ(run.Now(), run.before);
}

TEST(FlagFix, RefusalsWriteNothing) {
    const Bytes good = AsfBuilder().VideoStream(1).SimplePackets(2).Flags(0).Build();
    {
        Bytes f = good;
        f[3] ^= 0xFF;
        FlagRun run(f);
        EXPECT_EQ(run.Fix(), FlagFixResult::NotAsf);
        EXPECT_EQ(run.host.messages, std::vector<std::string>{"文件: \"" + run.path + "\"\nAsf标题无效."});
        EXPECT_EQ(run.Now(), f);
    }
    {
        Bytes f = good;
        PutU64(f, 16, 24 + 64001);  // a body larger than the buffer
        FlagRun run(f);
        EXPECT_EQ(run.Fix(), FlagFixResult::Refused);
        ASSERT_EQ(run.host.messages.size(), 1u);
        EXPECT_EQ(run.Now(), f);
    }
    {
        Bytes f = good;
        PutU64(f, 30 + 16, 0);  // the first sub-object claims size 0
        FlagRun run(f);
        EXPECT_EQ(run.Fix(), FlagFixResult::Refused);
        EXPECT_EQ(run.host.messages.size(), 1u);
        EXPECT_EQ(run.Now(), f);
    }
    for (std::size_t keep : {std::size_t{29}, std::size_t{100}}) {
        Bytes f(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));  // cut inside the header
        FlagRun run(f);
        EXPECT_EQ(run.Fix(), FlagFixResult::NoFileProperties) << keep;
        EXPECT_EQ(run.Now(), f);
    }
    {
        Bytes f = good;
        f[30] ^= 0xFF;  // the file properties GUID is no longer one
        FlagRun run(f);
        EXPECT_EQ(run.Fix(), FlagFixResult::NoFileProperties);
        EXPECT_TRUE(run.host.messages.empty());
        EXPECT_EQ(run.Now(), f);
    }
}

TEST(FlagFix, InputOutputErrorsGiveTheAccessMessage) {
    RecordingHost host;
    TempDir dir;
    EXPECT_EQ(FlagFixer(host).FixFlags((dir / "missing.wmv").string()), FlagFixResult::IoFailed);
    const auto shortFile = (dir / "short.wmv").string();
    WriteFileBytes(shortFile, Bytes(10, 0x30));
    EXPECT_EQ(FlagFixer(host).FixFlags(shortFile), FlagFixResult::IoFailed);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"访问文件出错.", "访问文件出错."}));
    EXPECT_EQ(ReadFileBytes(shortFile), Bytes(10, 0x30));
}
