// Lost-chunk recovery on built files: the copy loop, the re-synchronising search, the timeline
// and the header patches, and the refusals.
#include <gtest/gtest.h>

#include <filesystem>

#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "recovery/LostChunk.h"
#include "support/AsfBuilder.h"
#include "LostChunkRun.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kPacket = 1024;

AsfBuilder TwoStreams(int packets) {
    AsfBuilder b;
    b.PacketSize(kPacket).Preroll(3000).VideoStream(1).AudioStream(2).SimplePackets(packets);
    return b;
}

// The send time and first presentation time of output packet i.
std::uint32_t SendTimeOf(const Bytes& f, std::uint64_t i) { return GetU32(f, PacketOffset(f, kPacket, i) + 6); }
std::uint32_t PtsOf(const Bytes& f, std::uint64_t i) { return GetU32(f, PacketOffset(f, kPacket, i) + 23); }

}  // namespace

TEST(LostChunk, UndamagedFileIsCopiedWholeWithoutIndexAndMarkedSeekable) {
    LostChunkRun run(TwoStreams(12).Flags(0x0109).Index().Build());
    const Bytes in = ReadFileBytes(run.source);
    const Bytes out = run.Go();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done);
    const std::uint64_t h = HeaderSizeOf(out);
    ASSERT_EQ(out.size(), h + 50 + 12 * kPacket);  // the index object is left behind
    EXPECT_EQ(GetU64(out, h + 16), 50u + 12 * kPacket);
    EXPECT_EQ(GetU64(out, h + 40), 12u);
    EXPECT_EQ(GetU64(out, 30 + fp::FileSize), out.size());
    EXPECT_EQ(GetU64(out, 30 + fp::DataPacketsCount), 12u);  // a packet count, not a time
    EXPECT_EQ(GetU64(out, 30 + fp::SendDuration), 12u * 40 * 10000);
    EXPECT_EQ(GetU64(out, 30 + fp::PlayDuration), (12u * 40 + 3000) * 10000);
    EXPECT_EQ(GetU32(out, 30 + fp::Flags), 0x0102u);  // low byte: seekable only; the rest kept
    for (int i = 0; i < 12; ++i) EXPECT_EQ(SendTimeOf(out, i), i * 40u);
    // Everything else is the input's: header bytes and payloads.
    EXPECT_TRUE(std::equal(in.begin() + 30 + fp::Flags + 4, in.begin() + h, out.begin() + 30 + fp::Flags + 4));
    EXPECT_EQ(GetU64(out, 30 + fp::Preroll), 3000u);
    EXPECT_EQ(run.host.lines, (std::vector<std::string>{"打开中" + run.source, "文件头对象ID正常", "数据对象ID正常",
                                                         "已定位: 文件属性对象", "数据头中包含的数据块数目:12", "",
                                                         "找到12 数据块", "文件已关闭"}));
    EXPECT_EQ(run.host.progressMax, 12);
}

TEST(LostChunk, DamagedChunkDropsTheOneBeforeAndResynchronises) {
    Bytes file = TwoStreams(20).Build();
    DamagePackets(file, kPacket, 8);
    LostChunkRun run(file);
    const Bytes out = run.Go();
    // Chunk 8 is garbage; chunk 7, written last, is dropped; the search finds chunk 9.
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 18u);
    EXPECT_EQ(out.size(), HeaderSizeOf(out) + 50 + 18 * kPacket);
    EXPECT_TRUE(run.host.HasLine("->发现无效的数据块 ID (#8)"));
    EXPECT_TRUE(run.host.HasLine(" 正在搜索下一个无效的数据块..."));
    EXPECT_TRUE(run.host.HasLine(" 已找到部分丢失的数据块. 正在覆盖..."));
    EXPECT_TRUE(run.host.HasLine("找到18 数据块"));
    // Send times run on without a gap; the dropped chunk's duration stays in the clock.
    EXPECT_EQ(SendTimeOf(out, 7), 8u * 40);
    // Presentation times are re-based at the first chunk after the search.
    EXPECT_TRUE(run.host.HasLine(" PrTime 修正于 # 7 (00:00:00)")) << run.host.AllLines();
    EXPECT_EQ(PtsOf(out, 7), SendTimeOf(out, 7) + 3000);
}

TEST(LostChunk, DamagedFirstChunkDropsNothing) {
    Bytes file = TwoStreams(6).Build();
    DamagePackets(file, kPacket, 0);
    LostChunkRun run(file);
    const Bytes out = run.Go();
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 5u);
    EXPECT_TRUE(run.host.HasLine("->发现无效的数据块 ID (#0)"));
    EXPECT_EQ(SendTimeOf(out, 0), 0u);
}

TEST(LostChunk, ChunkCutShortIsReplacedByTheChunkFoundInsideIt) {
    Bytes file = TwoStreams(10).Build();
    const std::uint64_t cut = PacketOffset(file, kPacket, 4) + 500;
    file.erase(file.begin() + static_cast<std::ptrdiff_t>(cut), file.begin() + static_cast<std::ptrdiff_t>(cut + 300));
    LostChunkRun run(file);
    const Bytes out = run.Go();
    // The block at chunk 4 starts well and is written; the next one is off the grid, so chunk 4
    // is dropped and chunk 5, found inside it, takes its place.
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 9u);
    const Bytes in = ReadFileBytes(run.source);
    const std::uint64_t chunk5 = PacketOffset(in, kPacket, 4) + 724;
    const std::uint64_t at = PacketOffset(out, kPacket, 4);
    EXPECT_TRUE(std::equal(in.begin() + chunk5 + 100, in.begin() + chunk5 + kPacket, out.begin() + at + 100));
}

TEST(LostChunk, PresentationTimeDriftOver15SecondsRebasesOnlyAboveTheLimit) {
    auto build = [](std::uint32_t jump) {
        AsfBuilder b;
        b.PacketSize(kPacket).VideoStream(1).SimplePackets(4);
        PacketSpec p;
        p.sendTime = 160;
        PayloadSpec pl;
        pl.pts = 160 + jump;
        pl.data = Bytes(kPacket - 40, 0x33);
        p.payloads = {pl};
        b.Packet(p);
        return b.Build();
    };
    LostChunkRun exact(build(15000));
    const Bytes same = exact.Go();
    EXPECT_EQ(exact.host.AllLines().find("PrTime"), std::string::npos);
    EXPECT_EQ(PtsOf(same, 4), 160u + 15000);

    LostChunkRun over(build(15001));
    const Bytes rebased = over.Go();
    EXPECT_TRUE(over.host.HasLine(" PrTime 修正于 # 4 (00:00:00)")) << over.host.AllLines();
    EXPECT_EQ(PtsOf(rebased, 4), 160u);
}

TEST(LostChunk, RebasesEveryPayloadWhateverTheirCountAndLengthWidth) {
    // Presentation times 20 s ahead of the send clock: the first chunk rebases them, and every
    // payload of every chunk moves by the same offset, its data untouched.
    constexpr std::uint32_t kLarge = 2048;
    for (const unsigned width : {1u, 2u, 3u}) {
        AsfBuilder b;
        b.PacketSize(kLarge).VideoStream(1).AudioStream(2);
        for (std::uint32_t i = 0; i < 3; ++i) {
            PacketSpec p = ManyPayloads(40, width, 10, 20000 + 400 * i);
            p.sendTime = 400 * i;
            p.duration = 400;
            b.Packet(p);
        }
        const Bytes in = b.Build();
        LostChunkRun run(in);
        const Bytes out = run.Go();
        ASSERT_EQ(run.tool.LastOutcome(), Outcome::Done) << width << "\n" << run.host.AllLines();
        for (std::uint64_t i = 0; i < 3; ++i) {
            const auto source = std::span(in).subspan(PacketOffset(in, kLarge, i), kLarge);
            const auto copy = std::span(out).subspan(PacketOffset(out, kLarge, i), kLarge);
            const auto before = ParsePacket(source, kLarge), after = ParsePacket(copy, kLarge);
            ASSERT_TRUE(after.ok) << width << " packet " << i << ": " << after.error;
            EXPECT_EQ(after.sendTime, 400 * i);
            ASSERT_EQ(after.payloads.size(), 40u);
            for (std::size_t k = 0; k < 40; ++k) {
                EXPECT_EQ(after.payloads[k].presentationTime, before.payloads[k].presentationTime - 20000)
                    << width << " packet " << i << " payload " << k;
                EXPECT_TRUE(std::equal(copy.begin() + after.payloads[k].dataAt, copy.begin() + after.payloads[k].dataAt + 10,
                                       source.begin() + before.payloads[k].dataAt));
            }
        }
    }
}

TEST(LostChunk, IndexMarkerNeedsAllFourBytes) {
    Bytes file = TwoStreams(5).Index().Build();
    LostChunkRun stops(file);
    EXPECT_EQ(GetU64(stops.Go(), HeaderSizeOf(file) + 40), 5u);
    EXPECT_FALSE(stops.host.HasLine("->发现无效的数据块 ID (#5)"));

    // 90 08 00 but not 33: damage, so the last chunk is dropped and the search runs on.
    PutU8(file, PacketOffset(file, kPacket, 5) + 3, 0x34);
    LostChunkRun damaged(file);
    EXPECT_EQ(GetU64(damaged.Go(), HeaderSizeOf(file) + 40), 4u);
    EXPECT_TRUE(damaged.host.HasLine("->发现无效的数据块 ID (#5)"));
    EXPECT_TRUE(damaged.host.HasLine(" 找不到任何无效数据块."));
}

TEST(LostChunk, IndexObjectOfTheOtherKindEndsTheChunksToo) {
    Bytes file = TwoStreams(5).Build();
    const Bytes index = {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11, 0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE,
                         34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    file.insert(file.end(), index.begin(), index.end());
    LostChunkRun run(file);
    EXPECT_EQ(GetU64(run.Go(), HeaderSizeOf(file) + 40), 5u);
    EXPECT_FALSE(run.host.HasLine("->发现无效的数据块 ID (#5)"));
}

TEST(LostChunk, ShortFinalChunkIsWrittenWithItsRealLength) {
    Bytes file = TwoStreams(4).Build();
    Truncate(file, file.size() - 200);
    LostChunkRun run(file);
    const Bytes out = run.Go();
    EXPECT_EQ(out.size(), HeaderSizeOf(out) + 50 + 4 * kPacket - 200);
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 4u);
}

TEST(LostChunk, AbortDuringTheSearchLeavesAConsistentShorterFile) {
    Bytes file = TwoStreams(6).Build();
    // Garbage long enough for the search to pump messages.
    Bytes garbage(5000, 0x13);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(PacketOffset(file, kPacket, 3)), garbage.begin(), garbage.end());
    LostChunkRun run(file);
    run.host.onProcessMessages = [&] {
        if (!run.host.statuses.empty() && run.host.statuses.back().starts_with("Pos: ")) run.tool.Aborted = true;
    };
    const Bytes out = run.Go();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Aborted);
    EXPECT_TRUE(run.host.HasLine(" 中止搜索"));
    EXPECT_TRUE(run.host.HasLine("找到2 数据块"));  // chunk 2 was dropped and is not restored
    EXPECT_EQ(out.size(), HeaderSizeOf(out) + 50 + 2 * kPacket);
    EXPECT_EQ(GetU64(out, 30 + fp::FileSize), out.size());
}

TEST(LostChunk, SearchLetsEventsRunAtEveryThousandthByte) {
    Bytes file = TwoStreams(6).Build();
    const std::uint64_t chunk2 = PacketOffset(file, kPacket, 2), chunk3 = PacketOffset(file, kPacket, 3);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(chunk3), 5000, 0x13);
    LostChunkRun run(file);
    run.Go();
    // The search reads from one byte after the dropped chunk 2 up to and including the 0x82
    // that starts chunk 3; p, the position after each byte read, hits every multiple of 1000.
    std::vector<std::string> expected;
    for (std::uint64_t p = chunk2 + 2; p <= chunk3 + 5000 + 1; ++p)
        if (p % 1000 == 0) expected.push_back("Pos: " + std::to_string(p / 1024) + "k");
    std::vector<std::string> seen;
    for (const auto& s : run.host.statuses)
        if (s.starts_with("Pos: ")) seen.push_back(s);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(GetU64(ReadFileBytes(run.output), HeaderSizeOf(file) + 40), 5u);
}

TEST(LostChunk, PayloadFieldsBeyondTheChunkAreNotRead) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1);
    PacketSpec p;
    p.lengthTypeFlags = 0x11;  // multiple payloads, word padding
    p.payloads = {PayloadSpec{}, PayloadSpec{}};
    b.Packet(p).SimplePackets(2);
    Bytes file = b.Build();
    // 31 payloads claimed, the first one ending 4 bytes before the chunk does: the second
    // payload's fields would lie beyond the chunk.
    const std::uint64_t at = PacketOffset(file, kPacket, 0);
    PutU8(file, at + 13, 0x9F);
    PutU16(file, at + 29, 989);
    LostChunkRun run(file);
    const Bytes out = run.Go();
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 3u);
    EXPECT_TRUE(run.host.HasLine(" 数据块 # 0: 负载字段超出数据块, 其余显示时间未修正")) << run.host.AllLines();
    EXPECT_EQ(GetU32(out, PacketOffset(out, kPacket, 0) + 7), 0u);
    EXPECT_EQ(SendTimeOf(out, 2), 80u);
}

TEST(LostChunk, SubObjectSizeFieldOfZeroIsMendedInTheCopy) {
    Bytes file = TwoStreams(3).Build();
    PutU64(file, 30 + 16, 0);  // the file properties claim size 0: no walk could step on
    LostChunkRun run(file);
    const Bytes out = run.Go();
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done) << run.host.AllLines();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(GetU64(out, 30 + 16), 104u);
    EXPECT_EQ(WalkHeader(std::span(out).first(HeaderSizeOf(out))).end, WalkEnd::Complete);
    EXPECT_TRUE(run.host.HasLine("找到3 数据块")) << run.host.AllLines();
}

TEST(LostChunk, HeaderProblemsAreRefusedAndLeaveNoOutput) {
    const Bytes big =
        TwoStreams(3).ExtraHeaderObject(Guid::FromText("11111111-2222-3333-4444-555555555555"), Bytes(64000, 7)).Build();
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"not asf", [](Bytes& f) { f[0] ^= 0xFF; }, "无效的文件头对象ID"},
        {"no data object", [](Bytes& f) { f[HeaderSizeOf(f)] ^= 0xFF; }, "无效的数据对象ID"},
        {"chunk size 0", [](Bytes& f) { PutU32(f, 30 + fp::MinPacketSize, 0); }, "--> 不能定位文件属性 Obj"},
        {"chunk size below the signature", [](Bytes& f) { PutU32(f, 30 + fp::MinPacketSize, 2); },
         "数据块大小为2, 不足3字节, 不能处理此文件!"},
        {"chunk size too big", [](Bytes& f) { PutU32(f, 30 + fp::MinPacketSize, 65537); },
         "数据块大小为65537, 超过65536字节, 不能处理此文件!"},
        {"header too big", [&](Bytes& f) { f = big; },
         "文件头太大 (" + std::to_string(HeaderSizeOf(big)) + "字节, 最多64000字节), 不能处理此文件!"},
        {"size field damaged, sub-objects broken", [](Bytes& f) { PutU64(f, 16, 0), PutU64(f, 30 + 16, 0); },
         "文件头对象大小无效 (0字节), 不能处理此文件!"},
    };
    for (const auto& c : cases) {
        Bytes file = TwoStreams(3).Build();
        c.damage(file);
        LostChunkRun run(file);
        run.Go();
        EXPECT_TRUE(run.host.HasLine(c.line)) << c.name << "\n" << run.host.AllLines();
        EXPECT_TRUE(run.host.HasLine("--->> 文件头出错. 正在退出..")) << c.name;
        EXPECT_TRUE(run.host.HasLine("未完成的输出文件已删除: " + run.output)) << c.name;
        EXPECT_EQ(run.host.lines.back(), "文件已关闭") << c.name;
        EXPECT_FALSE(fs::exists(run.output)) << c.name;
        EXPECT_EQ(ReadFileBytes(run.source), file) << c.name;
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused) << c.name;
    }
}

TEST(LostChunk, OutputNamingTheSourceIsRefusedBeforeAnythingIsCreated) {
    LostChunkRun run(TwoStreams(3).Build());
    const Bytes before = ReadFileBytes(run.source);
    fs::create_symlink(run.source, run.dir / "link.wmv");
    for (const std::string& out : {run.source, (run.dir / "link.wmv").string()}) {
        run.tool.OutFileName = out;
        run.Go();
        EXPECT_TRUE(run.host.HasLine("输出文件不能和输入文件相同!"));
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Refused);
        EXPECT_EQ(ReadFileBytes(run.source), before);
    }
}

TEST(LostChunk, NoChunkFoundLeavesNoOutput) {
    AsfBuilder b;
    PacketSpec p;
    p.lengthTypeFlags = 0x10;
    p.firstBytes = std::array<std::uint8_t, 3>{0x13, 0, 0};  // a damaged signature
    b.PacketSize(kPacket).VideoStream(1).Packet(p).Packet(p);
    LostChunkRun run(b.Build());
    run.Go();
    EXPECT_TRUE(run.host.HasLine("找到0 数据块"));
    EXPECT_FALSE(fs::exists(run.output));
    EXPECT_EQ(run.tool.LastOutcome(), Outcome::NothingUsable);
}

TEST(LostChunk, DamagedHeaderSizeIsTakenFromTheSubObjects) {
    const Bytes good = TwoStreams(4).Build();
    for (const std::uint64_t field : {0ull, 1ull, 29ull, ~0ull}) {
        Bytes file = good;
        PutU64(file, 16, field);
        LostChunkRun run(file);
        const Bytes out = run.Go();
        EXPECT_EQ(run.tool.LastOutcome(), Outcome::Done) << field << "\n" << run.host.AllLines();
        EXPECT_TRUE(run.host.HasLine("文件头大小无效:" + std::to_string(field) + ", 按子对象计算为:" +
                                     std::to_string(HeaderSizeOf(good))));
        EXPECT_TRUE(run.host.HasLine("找到4 数据块"));
        ASSERT_EQ(out.size(), good.size()) << field;
        EXPECT_EQ(HeaderSizeOf(out), HeaderSizeOf(good));
    }
}

TEST(LostChunk, ChunkSignatureInsidePayloadDataIsNoChunkStart) {
    // Payload bytes that hold 82 00 00 followed by a duration field of 0x5555 ms: taken for a
    // chunk, they would stretch the timeline by 21 s.
    AsfBuilder b;
    b.PacketSize(kPacket).Preroll(3000).VideoStream(1);
    for (int i = 0; i < 8; ++i) {
        PacketSpec p;
        p.sendTime = 40u * i;
        PayloadSpec pl;
        pl.pts = 3000 + 40u * i;
        pl.data = Bytes(kPacket - 40, 0x55);
        for (std::size_t at = 50; at + 3 < pl.data.size(); at += 200) pl.data[at] = 0x82, pl.data[at + 1] = 0, pl.data[at + 2] = 0;
        p.payloads = {pl};
        b.Packet(p);
    }
    Bytes file = b.Build();
    DamagePackets(file, kPacket, 4);
    LostChunkRun run(file);
    const Bytes out = run.Go();
    // Chunk 3 is dropped with the damaged chunk 4; the search skips every 82 00 00 in them and
    // goes on with chunk 5.
    EXPECT_TRUE(run.host.HasLine("找到6 数据块")) << run.host.AllLines();
    ASSERT_EQ(out.size(), HeaderSizeOf(out) + 50 + 6 * kPacket);
    EXPECT_EQ(run.tool.LastSummary().sendClockMs, 7 * 40);
    const Bytes in = ReadFileBytes(run.source);
    EXPECT_TRUE(std::equal(in.begin() + PacketOffset(in, kPacket, 5) + 100, in.begin() + PacketOffset(in, kPacket, 6),
                           out.begin() + PacketOffset(out, kPacket, 3) + 100));
}

TEST(LostChunk, LoneChunkAtTheEndIsAcceptedWhenItParses) {
    Bytes file = TwoStreams(6).Build();
    // Chunk 5, the last one, stands behind 300 stray bytes: nothing follows it to confirm it.
    const auto at = static_cast<std::ptrdiff_t>(PacketOffset(file, kPacket, 5));
    file.insert(file.begin() + at, 300, 0x13);
    LostChunkRun run(file);
    run.Go();
    EXPECT_TRUE(run.host.HasLine("找到5 数据块")) << run.host.AllLines();  // 4 dropped, 5 found
}
