// The audio format table and the automatic choice of a row from the source's audio.
#include <gtest/gtest.h>

#include <set>

#include "convert/AudioFormat.h"

using namespace mendery;

TEST(AudioFormatTable, HoldsThirtyFourRowsWithTwentySevenDistinctCodecBlocks) {
    std::set<std::string> blocks;
    for (int row = 0; row < kAudioFormatRows; ++row) {
        const auto& f = AudioFormatRow(row);
        ASSERT_EQ(f.CodecData.size(), 20u) << row;
        for (char c : f.CodecData) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << row;
        EXPECT_TRUE(f.Channels == 1 || f.Channels == 2) << row;
        blocks.insert(f.CodecData);
    }
    EXPECT_EQ(blocks.size(), 27u);
    EXPECT_EQ(AudioFormatRow(0), (TAudioFormat{128, 1, 1, 8000, "00220000000000000000"}));
    EXPECT_EQ(AudioFormatRow(27), (TAudioFormat{96040, 2230, 2, 44100, "008800000F00B1450000"}));
    EXPECT_EQ(AudioFormatRow(33), (TAudioFormat{192000, 4096, 2, 48000, "008800000F0000800000"}));
    EXPECT_THROW(AudioFormatRow(34), std::out_of_range);
    EXPECT_THROW(AudioFormatRow(-1), std::out_of_range);
}

TEST(AudioFormatTable, AutomaticRowFollowsSampleRateBandsAndChannels) {
    struct Case {
        int channels, rate, row;
    };
    const Case cases[] = {
        {0, 44100, 0}, {2, 0, 0},                         // no audio
        {1, 1, 3},     {1, 8000, 3},     {2, 8000, 7},    // band edges are inclusive
        {1, 8001, 5},  {2, 11025, 14},   {1, 11026, 9},  {2, 16000, 12},
        {1, 16001, 13}, {2, 22050, 17},  {1, 22051, 15}, {2, 32000, 22},
        {1, 32001, 23}, {2, 44100, 27},  {6, 44100, 27},  // any other channel count is stereo
        {1, 44101, 31}, {1, 48000, 31},  {2, 96000, 31},  // above 44,100 always row 31 (stereo)
    };
    for (const auto& c : cases)
        EXPECT_EQ(AutomaticAudioRow(c.channels, c.rate), c.row) << c.channels << " ch " << c.rate << " Hz";
}

TEST(AudioFormatTable, TextShowsKilobitsRateAndChannelWord) {
    EXPECT_EQ(AudioFormatText(AudioFormatRow(27)), "96 kbps, 44100 Hz, 立体声");
    EXPECT_EQ(AudioFormatText(AudioFormatRow(0)), "0 kbps, 8000 Hz, Mono");
    EXPECT_EQ(AudioFormatText(AudioFormatRow(4)), "8 kbps, 11025 Hz, Mono");
}
