// The codec-list transplant: the output either becomes the new file whole or stays as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "launch/CodecListTransplant.h"
#include "asf/AsfObjects.h"
#include "support/AsfBuilder.h"
#include "support/FileSizeLimit.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

AsfBuilder File(bool codecList) {
    AsfBuilder b;
    b.PacketSize(1024).Preroll(500).VideoStream(1).AudioStream(2).CodecList(codecList).SimplePackets(40).Index();
    return b;
}

struct Files {
    TempDir dir;
    std::string source = (dir / "src.wmv").string();
    std::string output = (dir / "out.wmv").string();
};

}  // namespace

TEST(Transplant, AddsTheSourcesCodecListAndLeavesTheRestAlone) {
    Files f;
    const Bytes src = File(true).Build();
    WriteFileBytes(f.source, src);
    Bytes out = File(false).Build();
    PutU64(out, 30 + 40, out.size());  // the file size field states the output's size
    WriteFileBytes(f.output, out);
    RecordingHost host;
    ASSERT_EQ(TransplantCodecList(host, f.source, f.output), TransplantResult::Done);

    const Bytes got = ReadFileBytes(f.output);
    const auto srcWalk = WalkHeader(src);
    const SubObject* cl = srcWalk.Find(guids::CodecList);
    ASSERT_NE(cl, nullptr);
    const std::uint64_t oldHeader = HeaderSizeOf(out), newHeader = HeaderSizeOf(got);
    EXPECT_EQ(newHeader, oldHeader + cl->size);
    EXPECT_EQ(GetU32(got, 24), GetU32(out, 24) + 1);
    EXPECT_EQ(got.size(), out.size() + cl->size);
    // The codec list sits at the end of the header, copied whole.
    EXPECT_TRUE(std::equal(got.begin() + oldHeader, got.begin() + newHeader, src.begin() + cl->offset));
    // The data object and everything after it are unchanged.
    EXPECT_TRUE(std::equal(got.begin() + newHeader, got.end(), out.begin() + oldHeader));
    // Other header bytes are unchanged, except the size, count and file size fields.
    EXPECT_EQ(GetU64(got, 30 + 40), got.size());
    const auto walk = WalkHeader(got);
    EXPECT_EQ(walk.end, WalkEnd::Complete);
    EXPECT_EQ(walk.declaredCount, walk.objects.size());
    EXPECT_FALSE(fs::exists(f.output + ".pop"));
    // Progress ran to the end, with events handled between blocks.
    EXPECT_EQ(host.progressMax, static_cast<std::int64_t>(out.size() / 1024));
    EXPECT_GE(host.processCalls, 1);
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_EQ(host.statuses.front(), "0%");
    EXPECT_EQ(host.statuses.back(), "100%");
}

TEST(Transplant, EveryRefusalLeavesTheOutputByteForByte) {
    Files f;
    const Bytes out = File(false).Build();
    auto expectUnchanged = [&](TransplantResult want, const std::string& what) {
        SCOPED_TRACE(what);
        WriteFileBytes(f.output, out);
        RecordingHost host;
        EXPECT_EQ(TransplantCodecList(host, f.source, f.output), want);
        EXPECT_EQ(ReadFileBytes(f.output), out);
        EXPECT_FALSE(fs::exists(f.output + ".pop"));
    };
    File(false).WriteTo(f.source);
    expectUnchanged(TransplantResult::NoCodecList, "source without a codec list");
    WriteFileBytes(f.source, Bytes(300, 'x'));
    expectUnchanged(TransplantResult::NoCodecList, "source not ASF");
    fs::remove(f.source);
    expectUnchanged(TransplantResult::NoCodecList, "source missing");
    File(true).ExtraHeaderObject(guids::ExtendedContentDescription, Bytes(70000, 0)).WriteTo(f.source);
    expectUnchanged(TransplantResult::HeaderTooLarge, "source header above 64,001 bytes");

    File(true).WriteTo(f.source);
    {
        // Output header above 32,768 bytes.
        const Bytes big = File(false).ExtraHeaderObject(guids::ExtendedContentDescription, Bytes(40000, 0)).Build();
        WriteFileBytes(f.output, big);
        RecordingHost host;
        EXPECT_EQ(TransplantCodecList(host, f.source, f.output), TransplantResult::HeaderTooLarge);
        EXPECT_EQ(ReadFileBytes(f.output), big);
        EXPECT_FALSE(host.lines.empty());
    }
    {
        RecordingHost host;
        EXPECT_EQ(TransplantCodecList(host, f.source, (f.dir / "none.wmv").string()), TransplantResult::NoOutput);
        EXPECT_TRUE(host.lines.empty());
        EXPECT_FALSE(fs::exists(f.dir / "none.wmv"));
    }
    {
        // Output not ASF; output that already has one.
        const Bytes text(5000, 'y');
        WriteFileBytes(f.output, text);
        RecordingHost host;
        EXPECT_EQ(TransplantCodecList(host, f.source, f.output), TransplantResult::OutputNotAsf);
        EXPECT_EQ(ReadFileBytes(f.output), text);
        const Bytes has = File(true).Build();
        WriteFileBytes(f.output, has);
        EXPECT_EQ(TransplantCodecList(host, f.source, f.output), TransplantResult::OutputHasOne);
        EXPECT_EQ(ReadFileBytes(f.output), has);
    }
}

// An output of several megabytes is copied whole, its data shifted by the codec list, with the
// progress reaching its end; a disk that fills up or a stop in the middle of the copy leave the
// output as it was and no new file beside it.
TEST(Transplant, ALargeOutputIsCopiedWholeAndAFailureOrStopLeavesItAsItWas) {
    Files f;
    File(true).WriteTo(f.source);
    AsfBuilder big;
    big.PacketSize(8000).Preroll(500).VideoStream(1).AudioStream(2).SimplePackets(600).Index();
    const Bytes out = big.Build();
    ASSERT_GT(out.size(), 4u << 20);
    const std::uint64_t oldHeader = HeaderSizeOf(out);

    WriteFileBytes(f.output, out);
    RecordingHost host;
    ASSERT_EQ(TransplantCodecList(host, f.source, f.output), TransplantResult::Done);
    const Bytes got = ReadFileBytes(f.output);
    const std::uint64_t newHeader = HeaderSizeOf(got);
    ASSERT_EQ(got.size(), out.size() + (newHeader - oldHeader));
    EXPECT_TRUE(std::equal(got.begin() + static_cast<std::ptrdiff_t>(newHeader), got.end(),
                           out.begin() + static_cast<std::ptrdiff_t>(oldHeader)));
    EXPECT_EQ(host.progress, host.progressMax);
    EXPECT_EQ(host.statuses.back(), "100%");
    EXPECT_GE(host.processCalls, 4);
    EXPECT_FALSE(fs::exists(f.output + ".pop"));

    // A disk that fills up during the copy: the failure is told with its reason.
    WriteFileBytes(f.output, out);
    RecordingHost full;
    {
        FileSizeLimit limit(2u << 20);
        EXPECT_EQ(TransplantCodecList(full, f.source, f.output), TransplantResult::Failed);
    }
    ASSERT_FALSE(full.lines.empty());
    EXPECT_NE(full.lines.back().find("编解码器列表未复制: "), std::string::npos) << full.lines.back();
    EXPECT_EQ(ReadFileBytes(f.output), out);
    EXPECT_FALSE(fs::exists(f.output + ".pop"));

    WriteFileBytes(f.output, out);
    RecordingHost stopping;
    int asked = 0;
    EXPECT_EQ(TransplantCodecList(stopping, f.source, f.output, [&] { return ++asked == 2; }), TransplantResult::Stopped);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ReadFileBytes(f.output), out);
    EXPECT_FALSE(fs::exists(f.output + ".pop"));
}
