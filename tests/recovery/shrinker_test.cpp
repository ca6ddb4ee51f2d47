// The shrinker on built files: the used length, the cut chunks and their padding fields, the
// rebuilt header, and the cases where there is nothing to do.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "recovery/Shrinker.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kPacket = 1024;
constexpr std::uint32_t kSingleHead = 28;  // a 0x10 chunk up to its payload bytes

PacketSpec Small(int stream, std::size_t bytes, std::uint8_t layout = 0x10) {
    PacketSpec p;
    p.lengthTypeFlags = layout;
    PayloadSpec pl;
    pl.stream = stream;
    pl.data = Bytes(bytes, static_cast<std::uint8_t>(0x40 + stream));
    p.payloads = {pl};
    return p;
}

struct ShrinkRun {
    TempDir dir;
    std::string source, output;
    RecordingHost host;
    TShrinker tool;
    std::vector<std::string> ratios;

    explicit ShrinkRun(const Bytes& file) {
        source = (dir / "in.wmv").string();
        output = (dir / "in.shr.wmv").string();
        WriteFileBytes(source, file);
        tool.AttachHost(host);
        tool.FileName = source;
        tool.OutFileName = output;
        tool.ExtraCompression = false;
        tool.OnRatioText = [this](const std::string& t) { ratios.push_back(t); };
    }
    Bytes Go() {
        tool.Shrink();
        return fs::exists(output) ? ReadFileBytes(output) : Bytes{};
    }
};

// Every chunk of `file` parses as a packet of `size` bytes whose padding ends it exactly.
void ExpectPacketsFit(const Bytes& file, std::uint32_t size, std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = PacketOffset(file, size, i);
        const auto p = ParsePacket(std::span(file).subspan(at, size), size);
        ASSERT_TRUE(p.ok) << "packet " << i << ": " << p.error;
        EXPECT_EQ(p.usedEnd + p.paddingLength, size) << "packet " << i;
    }
}

}  // namespace

TEST(Shrinker, CutsEveryChunkToTheLargestUsedLengthAndRebuildsTheHeader) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1).AudioStream(2).VideoStream(3).CodecList();
    b.ExtraHeaderObject(guids::ExtendedContentDescription, Bytes(2, 0));
    b.ExtraHeaderObject(guids::BitrateMutualExclusion, Bytes(18, 0));
    for (int i = 0; i < 8; ++i) b.Packet(Small(i % 2 ? 2 : 1, 100 + 20 * i));
    const Bytes in = b.Build();
    ShrinkRun run(in);
    const Bytes out = run.Go();
    ASSERT_EQ(run.tool.LastOutcome(), Outcome::Done) << run.host.AllLines();

    const std::uint32_t used = kSingleHead + 100 + 20 * 7;
    const HeaderWalk walk = WalkHeader(out);
    ASSERT_EQ(walk.end, WalkEnd::Complete);
    std::vector<Guid> kept;
    for (const auto& o : walk.objects) kept.push_back(o.guid);
    EXPECT_EQ(kept, (std::vector<Guid>{guids::FileProperties, guids::StreamProperties, guids::StreamProperties,
                                       guids::CodecList}));
    EXPECT_EQ(walk.declaredCount, 4u);
    const std::uint64_t h = HeaderSizeOf(out);
    EXPECT_EQ(GetU32(out, 30 + fp::MinPacketSize), used);
    EXPECT_EQ(GetU32(out, 30 + fp::MaxPacketSize), used);
    EXPECT_EQ(GetU64(out, h + 16), 50u + 8 * used);
    EXPECT_EQ(GetU64(out, h + 40), 8u);
    EXPECT_EQ(out.size(), h + 50 + 8 * used);
    EXPECT_EQ(GetU64(out, 30 + fp::FileSize), out.size());
    ExpectPacketsFit(out, used, 8);
    // Apart from the padding field, each chunk is its input's first `used` bytes.
    for (int i = 0; i < 8; ++i) {
        const std::uint64_t a = PacketOffset(in, kPacket, i), o = PacketOffset(out, used, i);
        EXPECT_TRUE(std::equal(in.begin() + a + 7, in.begin() + a + used, out.begin() + o + 7)) << i;
    }

    const std::string pct = std::to_string(used * 100 / kPacket);
    for (const std::string& line : std::vector<std::string>{"步骤 1, 正在分析...", "  文件中的流: #1, #2", "步骤 2, 正在压缩...", "  数据块已压缩: 8",
                                   "文件已关闭"})
        EXPECT_TRUE(run.host.HasLine(line)) << line << "\n" << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine("  数据块大小为:1024,  将被:" + std::to_string(used) + " (" + pct + "%)"));
    EXPECT_EQ(run.ratios.front(), "  Shrink ratio (so far): " + std::to_string((kSingleHead + 100) * 100 / kPacket) + "%");
    const double ratio = double(out.size()) / double(in.size()) * 100;
    EXPECT_TRUE(run.host.HasLine("  旧文件是" + std::to_string(in.size() / 1024) + "KB,  新文件是" +
                                 std::to_string(out.size() / 1024) + "KB (" +
                                 std::to_string(static_cast<int>(std::nearbyint(ratio))) + "%)"))
        << run.host.AllLines();
}

TEST(Shrinker, PacketLengthFieldFollowsTheCut) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1);
    b.Packet(Small(1, 200, 0x50)).Packet(Small(1, 850, 0x50)).Packet(Small(1, 800, 0x48));
    ShrinkRun run(b.Build());
    const Bytes out = run.Go();
    const std::uint32_t used = kSingleHead + 2 + 850;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(GetU32(out, PacketOffset(out, used, i) + 5) & 0xFFFF, used) << i;
    ExpectPacketsFit(out, used, 3);
}

TEST(Shrinker, KeepsEveryPayloadWhateverTheirCountAndLengthWidth) {
    // A multiple-payload chunk is used up to the end of its last payload: every payload counts
    // (up to 63), and each length field is as wide as the payload flags say.
    constexpr std::uint32_t kLarge = 4096;
    for (const unsigned width : {1u, 2u, 3u}) {
        for (const int count : {5, 40}) {
            AsfBuilder b;
            b.PacketSize(kLarge).VideoStream(1).AudioStream(2);
            b.Packet(ManyPayloads(count, width, 30)).Packet(ManyPayloads(count - 1, width, 30));
            const Bytes in = b.Build();
            const auto first = ParsePacket(std::span(in).subspan(PacketOffset(in, kLarge, 0), kLarge), kLarge);
            ASSERT_TRUE(first.ok);
            ShrinkRun run(in);
            const Bytes out = run.Go();
            ASSERT_EQ(run.tool.LastOutcome(), Outcome::Done) << width << "/" << count << "\n" << run.host.AllLines();
            const auto used = static_cast<std::uint32_t>(first.usedEnd);
            ASSERT_EQ(GetU32(out, 30 + fp::MinPacketSize), used) << width << "/" << count;
            ExpectPacketsFit(out, used, 2);
            for (std::uint64_t i = 0; i < 2; ++i) {
                const auto source = std::span(in).subspan(PacketOffset(in, kLarge, i), kLarge);
                const auto copy = std::span(out).subspan(PacketOffset(out, used, i), used);
                const auto before = ParsePacket(source, kLarge), after = ParsePacket(copy, used);
                ASSERT_EQ(after.payloads.size(), before.payloads.size());
                for (std::size_t k = 0; k < before.payloads.size(); ++k)
                    EXPECT_TRUE(std::equal(copy.begin() + after.payloads[k].dataAt, copy.begin() + after.payloads[k].dataAt + 30,
                                           source.begin() + before.payloads[k].dataAt))
                        << width << "/" << count << " packet " << i << " payload " << k;
            }
            EXPECT_EQ(run.tool.LastSummary().streams, (std::vector<int>{1, 2}));
        }
    }
}

TEST(Shrinker, UsedLengthAtTheLimit) {
    // A chunk that uses the chunk size minus 3 bytes: every chunk is cut by 3.
    auto fill = [](std::uint32_t spare) {
        AsfBuilder b;
        b.PacketSize(kPacket).VideoStream(1).Packet(Small(1, 100)).Packet(Small(1, kPacket - kSingleHead - spare));
        return b.Build();
    };
    ShrinkRun three(fill(3));
    const Bytes out = three.Go();
    EXPECT_EQ(GetU32(out, 30 + fp::MinPacketSize), kPacket - 3);

    ShrinkRun two(fill(2));
    two.Go();
    for (const std::string& line : std::vector<std::string>{"  已分析,", "  此文件没有待移除的垃圾数据.", " 没有可以压缩的数据, 退出中..."})
        EXPECT_TRUE(two.host.HasLine(line)) << line;
    EXPECT_FALSE(fs::exists(two.output));
    EXPECT_EQ(two.host.AllLines().find("旧文件是"), std::string::npos);
}

TEST(Shrinker, DamagedChunksCountAndAreCutAndTheIndexIsCopied) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1).Index();
    for (int i = 0; i < 5; ++i) b.Packet(Small(1, 150));
    Bytes in = b.Build();
    DamagePackets(in, kPacket, 2);
    const Bytes index(in.begin() + static_cast<std::ptrdiff_t>(PacketOffset(in, kPacket, 5)), in.end());
    ShrinkRun run(in);
    const Bytes out = run.Go();
    EXPECT_NE(run.host.AllLines().find("无效的 ID: 13"), std::string::npos);
    EXPECT_NE(run.host.AllLines().find(",  Chunk #2"), std::string::npos);
    const std::uint32_t used = kSingleHead + 150;
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 5u);
    const std::uint64_t tail = PacketOffset(out, used, 5);
    EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(tail), out.end()), index);
}

TEST(Shrinker, ShortFinalChunkIsLeftOutAndNotCounted) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1);
    for (int i = 0; i < 4; ++i) b.Packet(Small(1, 400));
    Bytes in = b.Build();
    Truncate(in, in.size() - kPacket + 100);  // the last chunk keeps 100 bytes
    ShrinkRun run(in);
    const Bytes out = run.Go();
    const std::uint32_t used = kSingleHead + 400;
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 3u);
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 16), 50u + 3 * used);
    EXPECT_EQ(out.size(), HeaderSizeOf(out) + 50 + 3 * used);
}

TEST(Shrinker, AbortInPassTwoKeepsAConsistentFile) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1);
    for (int i = 0; i < 6; ++i) b.Packet(Small(1, 200));
    ShrinkRun run(b.Build());
    run.host.onProcessMessages = [&] {
        if (run.host.HasLine("步骤 2, 正在压缩...") && run.host.progress == 2) run.tool.Aborted = true;
    };
    const Bytes out = run.Go();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(run.host.HasLine("--->>已中止"));
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 2u);
    EXPECT_EQ(out.size(), HeaderSizeOf(out) + 50 + 2 * (kSingleHead + 200));
    EXPECT_NE(run.host.AllLines().find("旧文件是"), std::string::npos);
}

TEST(Shrinker, RefusalsLeaveNoOutput) {
    AsfBuilder noChunks;
    PacketSpec p = Small(1, 100);
    p.firstBytes = std::array<std::uint8_t, 3>{0x13, 0, 0};  // a damaged signature
    noChunks.PacketSize(kPacket).VideoStream(1).Packet(p).Packet(p);
    ShrinkRun none(noChunks.Build());
    none.Go();
    EXPECT_TRUE(none.host.HasLine("  没有找到可以分析的数据块 (以82 00 00开始), 不能压缩此文件.")) << none.host.AllLines();
    EXPECT_FALSE(fs::exists(none.output));

    Bytes bad = AsfBuilder().PacketSize(kPacket).VideoStream(1).Packet(Small(1, 100)).Build();
    bad[0] ^= 0xFF;
    ShrinkRun notAsf(bad);
    notAsf.Go();
    EXPECT_TRUE(notAsf.host.HasLine("无效的文件头对象ID"));
    EXPECT_FALSE(fs::exists(notAsf.output));
    EXPECT_EQ(ReadFileBytes(notAsf.source), bad);

    Bytes noProps = AsfBuilder().PacketSize(kPacket).VideoStream(1).Packet(Small(1, 100)).Build();
    noProps[30] ^= 0xFF;
    ShrinkRun missing(noProps);
    missing.Go();
    EXPECT_TRUE(missing.host.HasLine("--> 不能定位文件属性 Obj"));
    EXPECT_FALSE(fs::exists(missing.output));
}

TEST(Shrinker, ExtraStageRunsTheCuttingToolAndKeepsAUsableResult) {
    AsfBuilder b;
    b.PacketSize(2048).Preroll(500).VideoStream(1).CodecList().SimplePackets(200, 0x10, 10);
    ShrinkRun run(b.Build());
    run.tool.ExtraCompression = true;
    run.tool.ToolDirectory = std::string(MENDERY_BIN_DIR) + "/";
    const Bytes out = run.Go();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done);
    EXPECT_TRUE(run.host.HasLine("正在开始附加压缩..."));
    EXPECT_TRUE(run.host.HasLine("  附加压缩已结束."));
    EXPECT_TRUE(run.tool.LastSummary().extraRan);
    EXPECT_FALSE(fs::exists(run.output + ".tmp"));
    // The tool's result, with the source's codec list copied back: every packet, seekable.
    const auto walk = WalkHeader(std::span(out).first(HeaderSizeOf(out)));
    EXPECT_NE(walk.Find(guids::CodecList), nullptr);
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 200u);
    EXPECT_EQ(GetU32(out, walk.Find(guids::FileProperties)->offset + fp::Flags) & 3, fp::FlagSeekable);
}

TEST(Shrinker, ExtraStageThatFailsKeepsThePassTwoResult) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1).Packet(Small(1, 100)).Packet(Small(1, 200));
    ShrinkRun plain(b.Build());
    const Bytes passTwo = plain.Go();
    // The tool's result is 10,000 bytes or less: it does not count.
    ShrinkRun small(b.Build());
    small.tool.ExtraCompression = true;
    small.tool.ToolDirectory = std::string(MENDERY_BIN_DIR) + "/";
    EXPECT_EQ(small.Go(), passTwo);
    EXPECT_TRUE(small.host.HasLine("-->错误: 不能进行附加压缩."));
    EXPECT_FALSE(small.tool.LastSummary().extraRan);
    EXPECT_FALSE(fs::exists(small.output + ".tmp"));
    // The tool cannot be started: its message, then the same line.
    ShrinkRun missing(b.Build());
    missing.tool.ExtraCompression = true;
    missing.tool.ToolDirectory = "/nonexistent/";
    EXPECT_EQ(missing.Go(), passTwo);
    ASSERT_EQ(missing.host.messages.size(), 1u);
    EXPECT_EQ(missing.host.messages[0].rfind("运行Clipwright错误.\r路径:/nonexistent/clipwright\r参数:-i \"", 0), 0u);
    EXPECT_TRUE(missing.host.HasLine("-->错误: 不能进行附加压缩."));
}

TEST(Shrinker, RunThatWritesNoChunkFailsAndLeavesNoOutput) {
    // The only chunk is cut short before its used length: pass 2 writes no chunk.
    Bytes in = AsfBuilder().PacketSize(kPacket).VideoStream(1).Packet(Small(1, 400)).Build();
    Truncate(in, in.size() - kPacket + 100);
    ShrinkRun run(in);
    run.Go();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::NothingUsable) << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine("输出文件中没有任何数据块, 不生成输出文件."));
    EXPECT_FALSE(fs::exists(run.output));
    EXPECT_EQ(run.host.AllLines().find("旧文件是"), std::string::npos);
}

TEST(Shrinker, StopWhileCopyingTheIndexLeavesTheIndexOut) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1).Index();
    for (int i = 0; i < 5; ++i) b.Packet(Small(1, 150));
    ShrinkRun run(b.Build());
    int pumpsAfterTheLastChunk = 0;
    run.host.onProcessMessages = [&] {
        if (run.host.HasLine("步骤 2, 正在压缩...") && run.host.progress == 5 && ++pumpsAfterTheLastChunk == 2)
            run.tool.Aborted = true;
    };
    const Bytes out = run.Go();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(run.host.HasLine("--->>已中止"));
    const std::uint32_t used = kSingleHead + 150;
    EXPECT_EQ(out.size(), HeaderSizeOf(out) + 50 + 5 * used);
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 5u);
}

TEST(Shrinker, DamagedHeaderSizeIsTakenFromTheSubObjects) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1).AudioStream(2);
    for (int i = 0; i < 4; ++i) b.Packet(Small(1, 300));
    const Bytes good = b.Build();
    ShrinkRun reference(good);
    const Bytes expected = reference.Go();
    for (const std::uint64_t field : {0ull, 29ull, ~0ull}) {
        Bytes in = good;
        PutU64(in, 16, field);
        ShrinkRun run(in);
        EXPECT_EQ(run.Go(), expected) << field << "\n" << run.host.AllLines();
        EXPECT_TRUE(run.host.HasLine("文件头大小无效:" + std::to_string(field) + ", 按子对象计算为:" +
                                     std::to_string(HeaderSizeOf(good))));
    }
}
