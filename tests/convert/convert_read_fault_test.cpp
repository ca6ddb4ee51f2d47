// A source whose reads fail part way (a failing disk, stood for by a library preloaded into
// mendery-cli that makes reads of one file fail from a byte on): the AVI converter, the WAV
// extractor and the re-encoder each report the read error and keep no output.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

// Packets of one small audio payload each, for `megabytes` read blocks and a few chunks more;
// returns how many.
std::uint64_t AddAudioMegabytes(AsfBuilder& b, std::uint64_t megabytes) {
    PacketSpec p;
    p.lengthTypeFlags = 0x10;  // a word padding field: the small payload leaves much padding
    PayloadSpec pl;
    pl.stream = 1;
    pl.key = true;
    pl.objectSize = 64;
    pl.data = Bytes(64, 0x41);
    p.payloads = {pl};
    const std::uint64_t chunks = megabytes * ((1u << 20) / b.packetSize()) + 10;
    for (std::uint64_t i = 0; i < chunks; ++i) b.Packet(p);
    return chunks;
}

}  // namespace

TEST(ConvertReadFault, ReadErrorInTheMiddleOfTheSourceFailsEveryConverterAndKeepsNoOutput) {
    TempDir dir;
    const auto source = (dir / "a.wmv").string();
    WriteFileBytes(source, ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv")));  // 947 KB
    const std::string faulty = "LD_PRELOAD=" + Quote(MENDERY_READ_FAULT) + " MENDERY_FAULT_FILE=" + Quote(source) +
                               " MENDERY_FAULT_AT=600000 ";
    struct Case {
        const char* tool;
        const char* extension;
        bool ioExit;  // the command line's exit status for an input/output error (3)
    };
    for (const Case& c : {Case{"avi", "avi", true}, Case{"wav", "wav", true}, Case{"reencode", "wmv", false}}) {
        SCOPED_TRACE(c.tool);
        const auto out = (dir / (std::string("out.") + c.extension)).string();
        std::string log;
        const int rc = RunCommand(faulty + MENDERY_CLI + " " + c.tool + " --yes " + Quote(source) + " -o " + Quote(out), &log);
        if (c.ioExit) EXPECT_EQ(rc, 3) << log;
        else EXPECT_TRUE(rc == 1 || rc == 3) << rc << "\n" << log;
        EXPECT_NE(log.find("输入/输出错误"), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(out)) << log;
        EXPECT_FALSE(fs::exists(out + ".idx"));
    }
    // Without the fault the same commands succeed: the failures above are the read errors'.
    std::string log;
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " wav " + Quote(source) + " -o " + Quote((dir / "ok.wav").string()), &log), 0)
        << log;
}

// The same in a later megabyte of a longer source, which is read while the chunks before it
// are parsed: the error still ends the run, and only there.
TEST(ConvertReadFault, ReadErrorInALaterBlockEndsTheRunThere) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1);
    AddAudioMegabytes(b, 3);
    const auto source = (dir / "long.wma").string();
    WriteFileBytes(source, b.Build());
    const auto out = (dir / "long.wav").string();
    std::string log;
    const std::string faulty = "LD_PRELOAD=" + Quote(MENDERY_READ_FAULT) + " MENDERY_FAULT_FILE=" + Quote(source) +
                               " MENDERY_FAULT_AT=2500000 ";
    EXPECT_EQ(RunCommand(faulty + MENDERY_CLI + " wav " + Quote(source) + " -o " + Quote(out), &log), 3) << log;
    EXPECT_NE(log.find("输入/输出错误"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(out)) << log;
    // The error ended the first pass: it never reported a count of chunks found.
    EXPECT_EQ(log.find("找到"), std::string::npos) << log;
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " wav " + Quote(source) + " -o " + Quote(out), &log), 0) << log;
}

// Blocks are read ahead of the chunks being parsed. Bytes the run never reaches (behind the
// index object, where a failing disk may well have left unreadable sectors) must not end it,
// however early they were read.
TEST(ConvertReadFault, ReadErrorBehindTheIndexObjectLeavesTheRunAlone) {
    TempDir dir;
    AsfBuilder b;
    b.AudioStream(1).Index();
    const std::uint64_t chunks = AddAudioMegabytes(b, 2);
    Bytes file = b.Build();
    const std::size_t end = file.size();
    file.resize(end + 3 * (1u << 20), 0xEE);
    const auto source = (dir / "long.wma").string();
    WriteFileBytes(source, file);
    const std::string faulty = "LD_PRELOAD=" + Quote(MENDERY_READ_FAULT) + " MENDERY_FAULT_FILE=" + Quote(source) +
                               " MENDERY_FAULT_AT=" + std::to_string(end + 1300000) + " ";
    const auto out = (dir / "out.wav").string();
    std::string log;
    EXPECT_EQ(RunCommand(faulty + MENDERY_CLI + " wav " + Quote(source) + " -o " + Quote(out), &log), 0) << log;
    EXPECT_EQ(log.find("输入/输出错误"), std::string::npos) << log;
    const auto clean = (dir / "clean.wav").string();
    EXPECT_EQ(RunCommand(std::string(MENDERY_CLI) + " wav " + Quote(source) + " -o " + Quote(clean), &log), 0) << log;
    EXPECT_GT(fs::file_size(clean), chunks * 64);
    EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(clean));
}
