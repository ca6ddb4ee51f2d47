// Shared text helpers and output names.
#include <gtest/gtest.h>

#include "asf/OutputNames.h"
#include "asf/Format.h"

using namespace mendery;

TEST(FormatSize, UsesTheThreeRanges) {
    EXPECT_EQ(FormatSize(512), "512");
    EXPECT_EQ(FormatSize(1023), "1023");
    EXPECT_EQ(FormatSize(1024), "1KB");
    EXPECT_EQ(FormatSize(1048575), "1023KB");
    EXPECT_EQ(FormatSize(1048576), "1.0MB");
    EXPECT_EQ(FormatSize(1294467072), "1,234.5MB");
    EXPECT_EQ(FormatSize(5368709120LL), "5,120.0MB");  // beyond 32 bits
}

TEST(FormatClock, PadsEachPartAndKeepsLongHours) {
    EXPECT_EQ(FormatClock(3725), "01:02:05");
    EXPECT_EQ(FormatClock(0), "00:00:00");
    EXPECT_EQ(FormatClock(100 * 3600 + 59), "100:00:59");
    EXPECT_EQ(FormatTenths(37257), "01:02:05.7");
}

TEST(FormatLine, FollowsTheLogConvention) {
    EXPECT_EQ(Fmt("CH:%4x,  %02X %02X, Bad chunk signature!", 0x1A, 0x13, 0), "CH:  1A,  13  0, Bad chunk signature!");
    EXPECT_EQ(Fmt("%02X", 5), " 5");
    EXPECT_EQ(Fmt("%x", -1), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Fmt("%4x|%d|%s|%%", 0xABCDE, -7, "t"), "ABCDE|-7|t|%");
    EXPECT_THROW(Fmt("%x %x", 1), std::invalid_argument);
}

TEST(ToolOutputName, GivesEveryNameOfTheTable) {
    const std::string in = "/v/a.wmv";
    EXPECT_EQ(ToolOutputName(in, OutputFor::AdvancedRepair), "/v/a.adv.wmv");
    EXPECT_EQ(ToolOutputName(in, OutputFor::LostChunk), "/v/a.lch.wmv");
    EXPECT_EQ(ToolOutputName(in, OutputFor::Shrinker), "/v/a.shr.wmv");
    EXPECT_EQ(ToolOutputName(in, OutputFor::ReEncoder), "/v/a.mp43.wmv");
    EXPECT_EQ(ToolOutputName(in, OutputFor::Avi), "/v/a.avi");
    EXPECT_EQ(ToolOutputName(in, OutputFor::Wav), "/v/a.wav");
    EXPECT_EQ(ToolOutputName(in, OutputFor::Split), "/v/a.cut.wmv");
    EXPECT_EQ(ToolOutputName(in, OutputFor::BasicRepairNew), "/v/a.bsr.wmv");
    EXPECT_EQ(ToolOutputName(in, OutputFor::BasicRepairTemp), "/v/a.wmv.tmp");
    EXPECT_EQ(ToolOutputName(in, OutputFor::BasicRepairBackup), "/v/a.wmv.旧");
    EXPECT_EQ(ToolOutputName(in, OutputFor::BasicRepairDeclined), "/v/a已修复.wmv");
    EXPECT_EQ(ToolOutputName(in, OutputFor::Sample), "/v/a.wmv.sam");
    EXPECT_EQ(ToolOutputName("/v/a.shr.wmv", OutputFor::ShrinkTemp), "/v/a.shr.wmv.tmp");
    EXPECT_EQ(ToolOutputName("/v/a.bsr.wmv", OutputFor::TransplantTemp), "/v/a.bsr.wmv.pop");
    EXPECT_EQ(ToolOutputName("/v/a.asf", OutputFor::AdvancedRepair), "/v/a.adv.asf");
    EXPECT_EQ(ToolOutputName("/v/a.asf", OutputFor::Avi), "/v/a.avi");
}

TEST(ToolOutputName, KeepsNamesWithoutAThreeLetterExtensionWhole) {
    EXPECT_EQ(ToolOutputName("/v/movie", OutputFor::AdvancedRepair), "/v/movie.adv");
    EXPECT_EQ(ToolOutputName("/v.d/movie", OutputFor::Avi), "/v.d/movie.avi");
    EXPECT_EQ(ToolOutputName("/v/a.mpeg", OutputFor::Split), "/v/a.cut.mpeg");
}

TEST(JoinedOutputName, MatchesTheExamples) {
    EXPECT_EQ(JoinedOutputName("/v/clip01.wmv", "/v/clip05.wmv"), "/v/clip01-5.wmv");
    EXPECT_EQ(JoinedOutputName("/v/part1.wmv", "/v/part12.wmv"), "/v/part1-2.wmv");
    EXPECT_EQ(JoinedOutputName("/v/abc.wmv", "/v/xyz.wmv"), "/v/abc-xyz.wmv");
    EXPECT_EQ(JoinedOutputName("/v/a1b1.wmv", "/v/a2b2.wmv"), "/v/a1-2b2.wmv");
    EXPECT_EQ(JoinedOutputName("/v/第1集.wmv", "/v/第3集.wmv"), "/v/第1-3集.wmv");
}
