// The encoder session file: its 86 lines, their values, escaping, and reading it back.
#include <gtest/gtest.h>

#include "convert/encoder/EncoderEngineSession.h"
#include "convert/SessionFile.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {
SessionSettings Settings() {
    SessionSettings s;
    s.SourcePath = "/media/clips/holiday.wmv";
    s.OutputPath = "/media/clips/holiday.mp43.wmv";
    s.Audio = AudioFormatRow(27);
    s.VideoBitrate = 153600;
    s.Quality = 80;
    s.AvgTimePerFrame = AvgTimePerFrameFor(25);
    s.VideoWidth = 320;
    s.VideoHeight = 240;
    return s;
}
}  // namespace

TEST(SessionFile, AverageTimePerFrameIsRounded) {
    EXPECT_EQ(AvgTimePerFrameFor(25), 400000);
    EXPECT_EQ(AvgTimePerFrameFor(30), 333333);
    EXPECT_EQ(AvgTimePerFrameFor(4), 2500000);
    EXPECT_EQ(AvgTimePerFrameFor(7), 1428571);
    EXPECT_EQ(AvgTimePerFrameFor(29), 344828);  // 344827.58 rounds up
}

TEST(SessionFile, LinesCarryTheirValues) {
    auto s = Settings();
    const auto lines = SessionFileLines(s);
    ASSERT_EQ(lines.size(), 86u);
    auto line = [&](int n) { return lines[static_cast<std::size_t>(n - 1)]; };
    EXPECT_EQ(line(1), "<?xml version=\"1.0\"?>");
    EXPECT_EQ(line(4), "    Name=\"WMEncoder27653\" >");
    EXPECT_EQ(line(7), "        <SourceGroup Name=\"holiday.wmv\" >");
    EXPECT_EQ(line(10), "                InputSource=\"/media/clips/holiday.wmv\" >");
    EXPECT_EQ(line(16), line(10));
    EXPECT_EQ(line(20), "            <EncoderProfile id=\"Mendery Profile\" />");
    EXPECT_EQ(line(23), "    <File LocalFileName=\"/media/clips/holiday.mp43.wmv\" />");
    EXPECT_EQ(line(25), "    <![CDATA[    <profile version=\"458752\"");
    EXPECT_EQ(line(26), "             name=\"Mendery Profile\"");
    EXPECT_EQ(line(32), "                   bitrate=\"96040\"");
    EXPECT_EQ(line(37), "                   lsamplesize=\"2230\">");
    EXPECT_EQ(line(39), "                         nChannels=\"2\"");
    EXPECT_EQ(line(40), "                         nSamplesPerSec=\"44100\"");
    EXPECT_EQ(line(41), "                         nAvgBytesPerSec=\"12005\"");
    EXPECT_EQ(line(42), "                         nBlockAlign=\"2230\"");
    EXPECT_EQ(line(44), "                         codecdata=\"008800000F00B1450000\"/>");
    EXPECT_EQ(line(51), "                   bitrate=\"153600\"");
    EXPECT_EQ(line(54), "                       quality=\"80\"/>");
    EXPECT_EQ(line(59), "       <videoinfoheader dwbitrate=\"153600\"");
    EXPECT_EQ(line(61), "                        avgtimeperframe=\"400000\">");
    EXPECT_EQ(line(64), "                  right=\"320\"");
    EXPECT_EQ(line(65), "                  bottom=\"240\"/>");
    EXPECT_EQ(line(68), line(64));
    EXPECT_EQ(line(69), line(65));
    EXPECT_EQ(line(70), "            <bitmapinfoheader biwidth=\"320\"");
    EXPECT_EQ(line(71), "                              biheight=\"240\"");
    EXPECT_EQ(line(74), "                              bicompression=\"MP43\"");
    EXPECT_EQ(line(84), "    ]]>");
    EXPECT_EQ(line(86), "</WMEncoder>");

    s.AvgTimePerFrame = AvgTimePerFrameFor(30);
    EXPECT_EQ(SessionFileLines(s)[60], "                        avgtimeperframe=\"333333\">");
}

TEST(SessionFile, FileEndsEveryLineWithCrLf) {
    TempDir dir;
    const auto path = (dir / kSessionFileName).string();
    WriteFileBytes(path, Bytes(5000, 'x'));  // an existing file is replaced
    WriteSessionFile(path, Settings());
    const Bytes bytes = ReadFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    std::string expected;
    for (const auto& l : SessionFileLines(Settings())) expected += l + "\r\n";
    EXPECT_EQ(text, expected);
    std::size_t crlf = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(text[i - 1], '\r');
            ++crlf;
        }
    }
    EXPECT_EQ(crlf, 86u);
}

TEST(SessionFile, PathsWithXmlCharactersAreEscapedAndReadBackUnchanged) {
    auto s = Settings();
    s.SourcePath = "/home/u/Tom & Jerry/\"best\" <cut>.wmv";
    s.OutputPath = "/home/u/Tom & Jerry/out\n2.wmv";
    const auto lines = SessionFileLines(s);
    EXPECT_EQ(lines[6], "        <SourceGroup Name=\"&quot;best&quot; &lt;cut&gt;.wmv\" >");
    EXPECT_EQ(lines[9], "                InputSource=\"/home/u/Tom &amp; Jerry/&quot;best&quot; &lt;cut&gt;.wmv\" >");
    EXPECT_EQ(lines[22], "    <File LocalFileName=\"/home/u/Tom &amp; Jerry/out&#10;2.wmv\" />");

    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    const EncodeJob job = ParseSessionText(text);
    EXPECT_EQ(job.AudioSource, s.SourcePath);
    EXPECT_EQ(job.VideoSource, s.SourcePath);
    EXPECT_EQ(job.OutputPath, s.OutputPath);
}

TEST(SessionFile, ReadsBackTheProfileFromTheCdataSection) {
    std::string text;
    for (const auto& l : SessionFileLines(Settings())) text += l + "\r\n";
    const EncodeJob job = ParseSessionText(text);
    EXPECT_EQ(job.ProfileName, "Mendery Profile");
    EXPECT_EQ(job.AudioBitrate, 96040);
    EXPECT_EQ(job.AudioChannels, 2);
    EXPECT_EQ(job.AudioSamplesPerSec, 44100);
    EXPECT_EQ(job.AudioBlockAlign, 2230);
    EXPECT_EQ(job.AudioFormatTag, 353);
    EXPECT_EQ(job.VideoBitrate, 153600);
    EXPECT_EQ(job.VideoBufferWindowMs, 5000);
    EXPECT_EQ(job.Quality, 80);
    EXPECT_EQ(job.MaxKeyFrameSpacing, 100000000);
    EXPECT_EQ(job.AvgTimePerFrame, 400000);
    EXPECT_EQ(job.VideoWidth, 320);
    EXPECT_EQ(job.VideoHeight, 240);
    EXPECT_EQ(job.VideoFourCC, "MP43");
}

TEST(SessionFile, BrokenFilesAreRefusedWithAReason) {
    std::string text;
    for (const auto& l : SessionFileLines(Settings())) text += l + "\r\n";
    EXPECT_THROW(ParseSessionText(text.substr(0, text.size() / 2)), EncoderError);
    std::string unescaped = text;
    unescaped.replace(unescaped.find("/media/clips/holiday.wmv"), 5, "/a\"b");  // a raw quote ends the attribute
    EXPECT_THROW(ParseSessionText(unescaped), EncoderError);
    std::string badNumber = text;
    badNumber.replace(badNumber.find("\"96040\""), 7, "\"96k\"");
    EXPECT_THROW(ParseSessionText(badNumber), EncoderError);
    EXPECT_THROW(LoadSessionFile("/nonexistent/Mendery.wme"), EncoderError);
}
