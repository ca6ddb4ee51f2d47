// The advanced repair engine on built files: refusals, bad-chunk decisions, times, padding,
// header fixes, cleaning, stripping, stopping.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "repair/AsfFile.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/Format.h"
#include "repair/RepairPresets.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kPacket = 512;

struct RepairRun {
    RecordingHost host;
    TAsfFile engine;
    TempDir dir;
    std::string source, output;

    explicit RepairRun(const Bytes& file) {
        source = (dir / "in.wmv").string();
        output = (dir / "out.wmv").string();
        WriteFileBytes(source, file);
        engine.AttachHost(host);
        engine.FileName = source;
        engine.OutFileName = output;
    }
    Outcome Go() { return engine.Run(); }
    Bytes Output() const { return ReadFileBytes(output); }
};

AsfBuilder Simple(int packets) { return AsfBuilder().PacketSize(kPacket).Preroll(1000).VideoStream(1).SimplePackets(packets); }

}  // namespace

TEST(AsfFileOpen, RefusesFilesItCannotHandleAndCreatesNothing) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> mutate;
        const char* line;
    };
    const Bytes good = Simple(3).Build();
    const std::uint64_t fpAt = 30;
    const std::vector<Case> cases = {
        {"not ASF", [](Bytes& b) { std::fill(b.begin(), b.end(), 0x41); }, "找不到ASF标识!"},
        {"chunk size 0", [&](Bytes& b) { PutU32(b, fpAt + 92, 0), PutU32(b, fpAt + 96, 0); }, "数据块大小无效, 不能处理此文件!"},
        {"chunk size too big", [&](Bytes& b) { PutU32(b, fpAt + 92, 70000), PutU32(b, fpAt + 96, 70000); }, "数据块大小无效, 不能处理此文件!"},
        {"min differs from max", [&](Bytes& b) { PutU32(b, fpAt + 96, kPacket + 1); }, "数据块大小无效, 不能处理此文件!"},
        {"no file properties", [&](Bytes& b) { PutU8(b, fpAt, 0); }, "找不到文件头标识!"},
        {"no data object", [&](Bytes& b) { PutU8(b, HeaderSizeOf(b), 0); }, "找不到数据标识!"},
        {"header over the buffer",
         [](Bytes& b) {
             b = Simple(3).ExtraHeaderObject(Guid::FromText("11111111-2222-3333-4444-555555555555"), Bytes(70000, 7)).Build();
         },
         "文件头太大 (超过65535字节), 不能处理此文件!"},
        {"size field damaged, sub-objects broken",
         [](Bytes& b) { PutU64(b, 16, 0), PutU64(b, 30 + 16, 0); }, "文件头对象大小无效 (0字节), 不能处理此文件!"},
        {"cut inside the header", [](Bytes& b) { b.resize(200); }, "文件头不完整 (文件在文件头或数据对象头中截断), 不能处理此文件!"},
    };
    for (const auto& c : cases) {
        Bytes file = good;
        c.mutate(file);
        RepairRun run(file);
        EXPECT_EQ(run.Go(), Outcome::Refused) << c.name;
        EXPECT_TRUE(run.host.HasLine(c.line)) << c.name << "\n" << run.host.AllLines();
        EXPECT_EQ(run.host.lines.back(), "文件已关闭") << c.name;
        EXPECT_FALSE(fs::exists(run.output)) << c.name;
        EXPECT_EQ(ReadFileBytes(run.source), file) << c.name;
    }
}

TEST(AsfFileOpen, DamagedHeaderSizeIsTakenFromTheSubObjects) {
    const Bytes good = Simple(3).Index().Build();
    for (const std::uint64_t field : std::vector<std::uint64_t>{0, 1, 29, ~0ull, HeaderSizeOf(good) - 24}) {
        Bytes file = good;
        PutU64(file, 16, field);
        RepairRun run(file);
        ASSERT_EQ(run.Go(), Outcome::Done) << field << "\n" << run.host.AllLines();
        EXPECT_TRUE(run.host.HasLine("文件头大小无效:" + std::to_string(field) + ", 按子对象计算为:" +
                                     std::to_string(HeaderSizeOf(good))))
            << run.host.AllLines();
        EXPECT_EQ(run.Output(), good) << field;  // the copy carries the size its sub-objects give
        EXPECT_EQ(ReadFileBytes(run.source), file);
    }
}

TEST(AsfFileOpen, AHeaderSizeInsideTheHeadersOwnFieldsIsNotTrusted) {
    // A size field of 29 with the data object's GUID written at byte 29: the GUID overlaps the
    // header object's own fields, so the size is wrong however well the GUID matches (walking
    // a 29-byte header used to end the program).
    const Bytes good = Simple(3).Index().Build();
    Bytes file = good;
    PutU64(file, 16, 29);
    std::copy(guids::DataObject.bytes.begin(), guids::DataObject.bytes.end(), file.begin() + 29);
    RepairRun run(file);
    // The GUID also covers the first sub-object's: the file is refused, with the reasons.
    EXPECT_EQ(run.Go(), Outcome::Refused) << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine("文件头大小无效:29, 按子对象计算为:" + std::to_string(HeaderSizeOf(good)))) << run.host.AllLines();
    EXPECT_FALSE(fs::exists(run.output));
    EXPECT_EQ(ReadFileBytes(run.source), file);
}

TEST(AsfFileOpen, NeedsALogAndAFileName) {
    TAsfFile engine;
    engine.FileName = "x.wmv";
    engine.SetActive(true);
    EXPECT_FALSE(engine.Active());
    RecordingHost host;
    TAsfFile unnamed;
    unnamed.AttachHost(host);
    unnamed.SetActive(true);
    EXPECT_FALSE(unnamed.Active());
    EXPECT_TRUE(host.lines.empty());
}

TEST(AsfFileOpen, MissingSourceIsAnInputError) {
    RepairRun run(Simple(1).Build());
    run.engine.FileName = (run.dir / "missing.wmv").string();
    EXPECT_EQ(run.Go(), Outcome::Failed);
    EXPECT_FALSE(fs::exists(run.output));
}

TEST(AsfFileRepair, RefusesAnOutputThatIsTheSourceEvenThroughALink) {
    RepairRun run(Simple(3).Build());
    const Bytes before = ReadFileBytes(run.source);
    fs::create_symlink(run.source, run.dir / "link.wmv");
    fs::create_hard_link(run.source, run.dir / "hard.wmv");
    for (const std::string& out : {run.source, (run.dir / "link.wmv").string(), (run.dir / "hard.wmv").string()}) {
        run.engine.OutFileName = out;
        EXPECT_EQ(run.Go(), Outcome::Refused);
        EXPECT_TRUE(run.host.HasLine("输出文件不能和输入文件相同!"));
        EXPECT_EQ(ReadFileBytes(run.source), before);
    }
    run.engine.OutFileName = (run.dir / "no/such/folder/out.wmv").string();
    EXPECT_EQ(run.Go(), Outcome::Refused);
}

TEST(AsfFileRepair, CopiesAnUndamagedFileUnchanged) {
    const Bytes file = Simple(5).Index().Build();
    RepairRun run(file);
    EXPECT_EQ(run.Go(), Outcome::Done);
    EXPECT_EQ(run.Output(), file);
    EXPECT_TRUE(run.host.HasLine("数据块大小为512"));
    EXPECT_TRUE(run.host.HasLine("索引对象已找到, 大小:" + std::to_string(file.size() - PacketOffset(file, kPacket, 5))));
    EXPECT_EQ(run.engine.LastSummary().chunkCount, 5);
    EXPECT_EQ(run.host.progressMax, 5);  // 5 chunks + an index shorter than a chunk
}

TEST(AsfFileRepair, BadChunkDecisions) {
    Bytes file = Simple(6).Build();
    DamagePackets(file, kPacket, 2);
    const std::uint64_t head = PacketOffset(file, kPacket, 0);
    auto chunk = [&](const Bytes& b, int i) { return Bytes(b.begin() + head + i * kPacket, b.begin() + head + (i + 1) * kPacket); };

    struct Expect {
        BadChunkAction policy;
        std::int64_t chunks;
        std::uint64_t size;
    };
    for (const auto& e : {Expect{BadChunkAction::DoNothing, 6, file.size()}, Expect{BadChunkAction::Delete, 5, file.size() - kPacket},
                          Expect{BadChunkAction::FillWithZero, 6, file.size()}, Expect{BadChunkAction::CopyLastGood, 6, file.size()},
                          Expect{BadChunkAction::DeletePlusLastGood, 4, file.size() - 2 * kPacket}}) {
        RepairRun run(file);
        run.engine.FixForBadChunk = e.policy;
        run.engine.FixChunkCount = true;
        ASSERT_EQ(run.Go(), Outcome::Done);
        const Bytes out = run.Output();
        EXPECT_EQ(run.engine.LastSummary().chunkCount, e.chunks) << static_cast<int>(e.policy);
        EXPECT_EQ(out.size(), e.size) << static_cast<int>(e.policy);
        EXPECT_TRUE(run.host.HasLine(Fmt("CH:   2,  13 %02X, Bad chunk signature!", file[head + 2 * kPacket + 1])))
            << run.host.AllLines();
        EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), static_cast<std::uint64_t>(e.chunks)) << static_cast<int>(e.policy);
        if (e.policy == BadChunkAction::FillWithZero) {
            Bytes zero(kPacket, 0);
            zero[0] = 0x82;
            EXPECT_EQ(chunk(out, 2), zero);
        }
        if (e.policy == BadChunkAction::CopyLastGood) {
            EXPECT_EQ(chunk(out, 2), chunk(file, 1));
        }
        if (e.policy == BadChunkAction::DeletePlusLastGood) {
            EXPECT_EQ(chunk(out, 1), chunk(file, 3));  // chunk 1 and the bad chunk 2 are gone
            EXPECT_EQ(chunk(out, 0), chunk(file, 0));
        }
    }
}

TEST(AsfFileRepair, DeletePlusLastGoodTwiceInARowAndBeforeAnyGoodChunk) {
    Bytes file = Simple(8).Build();
    DamagePackets(file, kPacket, 2, 2);  // 2 and 3
    DamagePackets(file, kPacket, 0);     // before any good chunk
    DamagePackets(file, kPacket, 7);     // the last block: nothing is written after the rewind
    RepairRun run(file);
    run.engine.FixForBadChunk = BadChunkAction::DeletePlusLastGood;
    ASSERT_EQ(run.Go(), Outcome::Done);
    // 0 removes itself; 2 removes itself and 1; 3 only itself; 7 itself and 6.
    EXPECT_EQ(run.engine.LastSummary().chunkCount, 2);
    const Bytes out = run.Output();
    ASSERT_EQ(out.size(), PacketOffset(file, kPacket, 2));  // the removed bytes are cut off
    EXPECT_TRUE(std::equal(out.begin() + PacketOffset(file, kPacket, 0), out.end(), file.begin() + PacketOffset(file, kPacket, 4)));
}

TEST(AsfFileRepair, DeletePlusLastGoodKeepsEveryChunkStillCounted) {
    // After an index object longer than one chunk, its later blocks are bad chunks: each one
    // rewinds, but the good chunk before the index block stays counted and must stay in the file.
    Bytes file = Simple(3).Build();
    Bytes index(kPacket * 5 / 2, 0x44);
    index[0] = 0x90, index[1] = 0x08, index[2] = 0x00, index[3] = 0x33;
    file.insert(file.end(), index.begin(), index.end());
    const auto chunks = PacketOffset(file, kPacket, 0);
    for (const bool strip : {false, true}) {
        RepairRun run(file);
        run.engine.StripIndex = strip;
        run.engine.FixForBadChunk = BadChunkAction::DeletePlusLastGood;
        run.engine.FixDataSize = run.engine.FixChunkCount = true;
        ASSERT_EQ(run.Go(), Outcome::Done) << strip;
        const Bytes out = run.Output();
        EXPECT_EQ(run.engine.LastSummary().chunkCount, 3) << strip;
        EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 3u) << strip;
        EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 16), 50u + 3 * kPacket) << strip;
        ASSERT_EQ(out.size(), chunks + 3 * kPacket) << strip;  // the index, cut short by the deletions, is dropped
        EXPECT_TRUE(std::equal(out.begin() + chunks, out.end(), file.begin() + chunks)) << strip;
    }

    // A bad chunk answered with zeros is counted too: a later rewind must not overwrite it, nor
    // the good chunk before it.
    Bytes mixed = Simple(5).Build();
    DamagePackets(mixed, kPacket, 2, 2);
    RepairRun run(mixed);
    run.engine.FixForBadChunk = BadChunkAction::AskOneByOne;
    run.engine.OnDecideForBadChunk = [](TAsfFile&, BadChunkAction& what, std::int64_t index) {
        what = index == 2 ? BadChunkAction::FillWithZero : BadChunkAction::DeletePlusLastGood;
    };
    ASSERT_EQ(run.Go(), Outcome::Done);
    const Bytes out = run.Output();
    EXPECT_EQ(run.engine.LastSummary().chunkCount, 4);
    ASSERT_EQ(out.size(), chunks + 4 * kPacket);
    EXPECT_TRUE(std::equal(out.begin() + chunks, out.begin() + chunks + 2 * kPacket, mixed.begin() + chunks));
    EXPECT_EQ(out[chunks + 2 * kPacket], 0x82);
    EXPECT_EQ(out[chunks + 2 * kPacket + 3], 0x00);  // the zero-filled chunk
    EXPECT_TRUE(std::equal(out.end() - kPacket, out.end(), mixed.end() - kPacket));
}

// Chunks are repaired where they lie in the engine's read block (about a megabyte, 2,048
// chunks of 512 bytes) and written from there in runs: decisions on both sides of a block
// boundary, a rewind into the block before and time rewrites in every chunk keep the file a
// chunk-by-chunk copy would give.
// Four blocks' worth of chunks, with repairs in several of them: each run of kept chunks is
// written out before the block it lies in is read into again.
TEST(AsfFileRepair, DecisionsAcrossTheReadBlocksBoundary) {
    constexpr std::uint64_t kBlockChunks = (1u << 20) / kPacket;
    constexpr std::uint64_t kChunks = 4 * kBlockChunks + 8;
    const std::uint64_t lastGoodGoes = kBlockChunks;  // first of the second block: it and the one before go
    const std::map<std::uint64_t, BadChunkAction> damage = {
        {kBlockChunks - 3, BadChunkAction::Delete},  // alone, inside the first block
        {lastGoodGoes, BadChunkAction::DeletePlusLastGood},
        {kBlockChunks + 4, BadChunkAction::FillWithZero},
        {2 * kBlockChunks + 100, BadChunkAction::Delete},
        {3 * kBlockChunks - 1, BadChunkAction::FillWithZero},  // the last of the third block
        {3 * kBlockChunks + 1, BadChunkAction::Delete},
    };
    Bytes file = Simple(kChunks).Build();
    for (const auto& [index, action] : damage) DamagePackets(file, kPacket, index);
    const std::uint64_t head = PacketOffset(file, kPacket, 0);
    auto chunk = [&](const Bytes& b, std::uint64_t i) {
        return Bytes(b.begin() + head + i * kPacket, b.begin() + head + (i + 1) * kPacket);
    };
    RepairRun run(file);
    run.engine.FixForBadChunk = BadChunkAction::AskOneByOne;
    run.engine.OnDecideForBadChunk = [&](TAsfFile&, BadChunkAction& what, std::int64_t index) {
        what = damage.at(static_cast<std::uint64_t>(index));
    };
    run.engine.FixTimeCodes = true;
    ASSERT_EQ(run.Go(), Outcome::Done) << run.host.AllLines();
    const Bytes out = run.Output();
    ASSERT_EQ(out.size(), file.size() - 5 * kPacket);
    // Every good chunk read is timed, the one taken out again by the rewind too.
    std::vector<Bytes> expected;
    std::uint32_t sendTime = 0;
    std::uint16_t lastDuration = 0;
    for (std::uint64_t i = 0; i < kChunks; ++i) {
        Bytes c = chunk(file, i);
        const auto decided = damage.find(i);
        if (decided == damage.end()) {
            const auto parsed = ParsePacket(c, kPacket);
            sendTime += lastDuration;
            lastDuration = parsed.duration;
            PutU32(c, parsed.sendTimeAt, sendTime);
        } else if (decided->second == BadChunkAction::FillWithZero) {
            c.assign(kPacket, 0);
            c[0] = 0x82;
        } else {
            continue;
        }
        if (i + 1 != lastGoodGoes) expected.push_back(c);
    }
    for (std::uint64_t o = 0; o < expected.size(); ++o) ASSERT_EQ(chunk(out, o), expected[o]) << "output chunk " << o;
}

TEST(AsfFileRepair, RunThatKeepsNoChunkFailsAndLeavesNoOutput) {
    Bytes file = Simple(3).Build();
    DamagePackets(file, kPacket, 0, 3);
    for (const auto policy : {BadChunkAction::Delete, BadChunkAction::DeletePlusLastGood}) {
        RepairRun run(file);
        run.engine.FixForBadChunk = policy;
        run.engine.FixChunkCount = true;
        EXPECT_EQ(run.Go(), Outcome::NothingUsable) << static_cast<int>(policy);
        EXPECT_TRUE(run.host.HasLine("输出文件中没有任何数据块, 不生成输出文件.")) << run.host.AllLines();
        EXPECT_FALSE(fs::exists(run.output)) << static_cast<int>(policy);
        EXPECT_EQ(run.engine.LastSummary().chunkCount, 0);
    }
    // A stop before any chunk was kept: still a stop, and nothing is left behind.
    RepairRun stopped(file);
    stopped.engine.FixForBadChunk = BadChunkAction::Delete;
    stopped.host.onProcessMessages = [&] { stopped.engine.Aborted = true; };
    EXPECT_EQ(stopped.Go(), Outcome::Aborted);
    EXPECT_FALSE(fs::exists(stopped.output));
}

TEST(AsfFileRepair, CopyLastGoodBeforeAnyGoodChunkWritesZeros) {
    Bytes file = Simple(3).Build();
    DamagePackets(file, kPacket, 0);
    RepairRun run(file);
    run.engine.FixForBadChunk = BadChunkAction::CopyLastGood;
    ASSERT_EQ(run.Go(), Outcome::Done);
    const Bytes out = run.Output();
    const auto head = PacketOffset(file, kPacket, 0);
    EXPECT_EQ(Bytes(out.begin() + head, out.begin() + head + kPacket), Bytes(kPacket, 0));
    EXPECT_EQ(run.engine.LastSummary().chunkCount, 3);
}

TEST(AsfFileRepair, AsksPerBadChunkWithItsIndex) {
    Bytes file = Simple(6).Build();
    DamagePackets(file, kPacket, 1);
    DamagePackets(file, kPacket, 4);
    RepairRun run(file);
    run.engine.FixForBadChunk = BadChunkAction::AskOneByOne;
    std::vector<std::int64_t> asked;
    run.engine.OnDecideForBadChunk = [&](TAsfFile&, BadChunkAction& what, std::int64_t index) {
        EXPECT_EQ(what, BadChunkAction::DoNothing);
        asked.push_back(index);
        what = index == 1 ? BadChunkAction::Delete : BadChunkAction::AskOneByOne;  // the second answer counts as "skip"
    };
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_EQ(asked, (std::vector<std::int64_t>{1, 4}));
    EXPECT_EQ(run.engine.LastSummary().chunkCount, 5);
    EXPECT_EQ(run.Output().size(), file.size() - kPacket);
}

TEST(AsfFileRepair, RewritesSendTimesAsTheSumOfDurations) {
    AsfBuilder b = AsfBuilder().PacketSize(kPacket).VideoStream(1);
    const std::uint32_t sends[] = {500, 700, 20, 9000};
    const std::uint16_t durations[] = {30, 0, 45, 10};
    for (int i = 0; i < 4; ++i) {
        PacketSpec p;
        p.sendTime = sends[i];
        p.duration = durations[i];
        p.payloads[0].data = Bytes(kPacket - 40, 1);
        b.Packet(p);
    }
    RepairRun run(b.Build());
    run.engine.FixTimeCodes = true;
    run.engine.FixPlayTime = true;
    run.engine.WriteLog = true;
    ASSERT_EQ(run.Go(), Outcome::Done);
    const Bytes out = run.Output();
    const std::uint32_t expected[] = {0, 30, 30, 75};
    for (int i = 0; i < 4; ++i) {
        const auto p = ParsePacket(std::span(out).subspan(PacketOffset(out, kPacket, i), kPacket), kPacket);
        EXPECT_EQ(p.sendTime, expected[i]) << i;
        EXPECT_EQ(p.duration, durations[i]);
    }
    EXPECT_TRUE(run.host.HasLine("纯播放时间,  为:90100000  is:850000")) << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine(
        "CH:   1, CC:   2, TC: 2BC-  1E,   0, I:0,  P: 8,  4: 5D  D 1E  0 -  0  0  0  0  1  0  0  0 -  0  0  8 D8  1  0  0  0"))
        << run.host.AllLines();

    // Without the detail option the same run writes the same file and no detail line.
    RepairRun quiet(b.Build());
    quiet.engine.FixTimeCodes = quiet.engine.FixPlayTime = true;
    ASSERT_EQ(quiet.Go(), Outcome::Done);
    EXPECT_EQ(quiet.Output(), out);
    EXPECT_EQ(quiet.host.AllLines().find("CC:"), std::string::npos) << quiet.host.AllLines();
    EXPECT_TRUE(quiet.host.HasLine("纯播放时间,  为:90100000  is:850000"));
}

TEST(AsfFileRepair, UnknownLayoutIsTimedButNotOverwritten) {
    Bytes file = Simple(3).Build();
    const auto at = PacketOffset(file, kPacket, 1);
    PutU8(file, at + 3, 0x0C);  // not one of the ten known layouts
    RepairRun run(file);
    run.engine.FixTimeCodes = true;
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_TRUE(run.host.HasLine("未知填充标记:  C")) << run.host.AllLines();
    const Bytes out = run.Output();
    EXPECT_TRUE(std::equal(out.begin() + at, out.begin() + at + kPacket, file.begin() + at));
}

TEST(AsfFileRepair, PaddingRepairsOfAPacketWithALengthField) {
    AsfBuilder b = AsfBuilder().PacketSize(kPacket).VideoStream(1);
    PacketSpec p;
    p.lengthTypeFlags = 0x48;
    p.payloads[0].data = Bytes(400, 7);
    b.Packet(p);
    Bytes file = b.Build();
    const auto at = PacketOffset(file, kPacket, 0);
    PutU8(file, at + 7, 0);  // a wrong padding length
    RepairRun run(file);
    run.engine.FixPad40 = run.engine.FixPad08 = true;
    ASSERT_EQ(run.Go(), Outcome::Done);
    const Bytes out = run.Output();
    ASSERT_EQ(out.size(), file.size());
    EXPECT_EQ(out[at + 3], 0x08);
    const auto parsed = ParsePacket(std::span(out).subspan(at, kPacket), kPacket);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_FALSE(parsed.explicitPacketLength);
    EXPECT_EQ(parsed.payloads[0].dataLength, 400u);
    EXPECT_EQ(parsed.paddingLength, kPacket - parsed.usedEnd);
}

TEST(AsfFileRepair, LargestChunkSizeWithAPacketLengthFieldRemoved) {
    // A 65535-byte chunk whose content reaches its last byte: removing the packet length field
    // moves in the two bytes after the chunk, which the engine's buffer must hold.
    constexpr std::uint32_t kLargest = 65535;
    AsfBuilder b = AsfBuilder().PacketSize(kLargest).VideoStream(1);
    PacketSpec p;
    p.lengthTypeFlags = 0x50;
    p.payloads[0].data = Bytes(kLargest - 30, 7);
    b.Packet(p).Packet(p);
    const Bytes file = b.Build();
    RepairRun run(file);
    run.engine.FixPad40 = run.engine.FixPad10 = true;
    ASSERT_EQ(run.Go(), Outcome::Done) << run.host.AllLines();
    const Bytes out = run.Output();
    ASSERT_EQ(out.size(), file.size());
    for (std::uint64_t i = 0; i < 2; ++i) {
        const auto at = PacketOffset(out, kLargest, i);
        const auto parsed = ParsePacket(std::span(out).subspan(at, kLargest), kLargest);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        EXPECT_FALSE(parsed.explicitPacketLength);
        EXPECT_EQ(parsed.payloads[0].dataLength, kLargest - 30);  // every payload byte kept, two bytes of padding after them
        EXPECT_EQ(out[at + kLargest - 3], 7);
        EXPECT_EQ(out[at + kLargest - 1], 0);
    }
}

TEST(AsfFileRepair, HeaderFixesDescribeTheChunksWritten) {
    Bytes file = Simple(4).Unfinalised().Build();
    RepairRun run(file);
    ApplyPreset(run.engine, RepairPreset::RepairPartialFile);
    ASSERT_EQ(run.Go(), Outcome::Done);
    const Bytes out = run.Output();
    const std::uint64_t dp = HeaderSizeOf(out);
    EXPECT_EQ(GetU64(out, dp + 16), 50u + 4 * kPacket);
    EXPECT_EQ(GetU64(out, dp + 40), 4u);
    EXPECT_EQ(GetU64(out, 30 + 40), out.size());
    EXPECT_EQ(GetU64(out, 30 + 56), 4u);  // data packets count follows the chunk count
    EXPECT_EQ(GetU64(out, 30 + 64), (160u + 1000) * 10000);
    EXPECT_EQ(GetU64(out, 30 + 72), 160u * 10000);
    EXPECT_TRUE(run.host.HasLine("分块数,   为:0  is:4")) << run.host.AllLines();
    EXPECT_TRUE(run.host.HasLine("全部时间,        为:0  is:" + std::to_string((160 + 1000) * 10000)));
}

TEST(AsfFileRepair, FileThatEndsAfterTheDataHeadGivesNoOutput) {
    Bytes file = Simple(4).Build();
    Truncate(file, PacketOffset(file, kPacket, 0));
    RepairRun run(file);
    ApplyPreset(run.engine, RepairPreset::RepairPartialFile);
    EXPECT_EQ(run.Go(), Outcome::NothingUsable);
    EXPECT_TRUE(run.host.HasLine("输出文件中没有任何数据块, 不生成输出文件."));
    EXPECT_FALSE(fs::exists(run.output));
}

TEST(AsfFileRepair, FlagsAreSetInTheLowByte) {
    struct Case {
        RepairPreset preset;
        std::uint32_t before, after;
    };
    for (const auto& c : {Case{RepairPreset::SetSeekable, 0x01, 0x02}, Case{RepairPreset::SetLive, 0x02, 0x01}, Case{RepairPreset::Custom, 0x0D, 0x0D}}) {
        RepairRun run(Simple(2).Flags(c.before).Build());
        ApplyPreset(run.engine, c.preset);
        ASSERT_EQ(run.Go(), Outcome::Done);
        EXPECT_EQ(GetU32(run.Output(), 30 + 88), c.after);
    }
    RepairRun run(Simple(2).Flags(0x0107).Build());
    run.engine.OtherFlags = OtherFlagsChange::ClearAll;
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_EQ(GetU32(run.Output(), 30 + 88), 0x0103u);  // only the low byte is touched
}

TEST(AsfFileRepair, CleanHeaderKeepsSizesAndDropsTheRest) {
    const Guid other = Guid::FromText("11111111-2222-3333-4444-555555555555");
    Bytes file = Simple(2).AudioStream(2).CodecList().ExtraHeaderObject(other, Bytes(40, 9)).Build();
    RepairRun run(file);
    run.engine.CleanHeader = true;
    ASSERT_EQ(run.Go(), Outcome::Done);
    Bytes out = run.Output();
    ASSERT_EQ(out.size(), file.size());
    const auto walk = WalkHeader(std::span(out).first(HeaderSizeOf(out)));
    EXPECT_EQ(walk.end, WalkEnd::Complete);
    ASSERT_EQ(walk.objects.size(), 5u);
    EXPECT_TRUE(walk.objects.back().guid.IsZero());
    EXPECT_EQ(walk.objects.back().size, 64u);
    EXPECT_EQ(walk.declaredCount, 5u);

    // Only kept kinds: nothing but the count changes.
    Bytes plain = Simple(2).AudioStream(2).Build();
    PutU32(plain, 24, 77);
    RepairRun run2(plain);
    run2.engine.CleanHeader = true;
    ASSERT_EQ(run2.Go(), Outcome::Done);
    Bytes expect = plain;
    PutU32(expect, 24, 3);
    EXPECT_EQ(run2.Output(), expect);
}

TEST(AsfFileRepair, CleanHeaderKeepsAStreamWhoseSizeFieldWasBroken) {
    Bytes file = Simple(2).AudioStream(2).Build();
    PutU64(file, 30 + 104 + 16, 0);  // the first stream properties object
    RepairRun run(file);
    run.engine.CleanHeader = true;
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_NE(run.host.AllLines().find("个对象的大小已按其位置修正"), std::string::npos) << run.host.AllLines();
    const Bytes out = run.Output();
    const auto walk = WalkHeader(std::span(out).first(HeaderSizeOf(out)));
    EXPECT_EQ(walk.end, WalkEnd::Complete);
    EXPECT_EQ(walk.FindAll(guids::StreamProperties).size(), 2u);
}

TEST(AsfFileRepair, StripHeaderAndIndex) {
    const Bytes file = Simple(3).Index().Build();
    const auto head = PacketOffset(file, kPacket, 0);
    RepairRun run(file);
    run.engine.StripHeader = run.engine.StripIndex = true;
    run.engine.FixFileSize = true;  // ignored without a header
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_EQ(run.Output(), Bytes(file.begin() + head, file.begin() + head + 3 * kPacket));
    EXPECT_TRUE(run.host.HasLine("索引对象已删除!"));
}

TEST(AsfFileRepair, IndexLongerThanAChunkContinuesAsBadChunks) {
    AsfBuilder b = Simple(2);
    b.ExtraHeaderObject(Guid::FromText("11111111-2222-3333-4444-555555555555"), {});
    Bytes file = b.Build();
    // An index object of two and a half chunks.
    Bytes index(kPacket * 5 / 2, 0x44);
    index[0] = 0x90, index[1] = 0x08, index[2] = 0x00, index[3] = 0x33;
    file.insert(file.end(), index.begin(), index.end());
    RepairRun run(file);
    run.engine.StripIndex = true;
    run.engine.FixForBadChunk = BadChunkAction::Delete;
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_EQ(run.engine.LastSummary().indexBlocks, 1);
    EXPECT_EQ(run.engine.LastSummary().badChunks, 2);
    EXPECT_EQ(run.Output().size(), file.size() - index.size());
}

TEST(AsfFileRepair, StopRequestKeepsWhatWasCopiedAndFixesTheHeaderForIt) {
    RepairRun run(Simple(10).Build());
    run.engine.FixDataSize = run.engine.FixChunkCount = true;
    run.host.onProcessMessages = [&] {
        if (run.host.processCalls == 3) run.engine.Aborted = true;
    };
    EXPECT_EQ(run.Go(), Outcome::Aborted);
    EXPECT_FALSE(run.engine.Aborted);
    EXPECT_TRUE(run.host.HasLine("-->> 用户请求中止! <<--"));
    const Bytes out = run.Output();
    EXPECT_EQ(out.size(), PacketOffset(out, kPacket, 3));
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 16), 50u + 3 * kPacket);
    EXPECT_EQ(GetU64(out, HeaderSizeOf(out) + 40), 3u);
}

TEST(AsfFileRepair, ShortLastChunkIsCopiedWithItsLength) {
    Bytes file = Simple(3).Build();
    Truncate(file, file.size() - 100);
    RepairRun run(file);
    run.engine.FixForBadChunk = BadChunkAction::CopyLastGood;
    ASSERT_EQ(run.Go(), Outcome::Done);
    EXPECT_TRUE(run.host.HasLine("部分无效的数据块: " + std::to_string(kPacket - 100)));
    EXPECT_EQ(run.Output(), file);
    EXPECT_EQ(run.engine.LastSummary().chunkCount, 3);
}

TEST(RepairPresets, SetExactlyTheirOptions) {
    TAsfFile e;
    e.WriteLog = e.StripHeader = true;
    ApplyPreset(e, RepairPreset::VdCompatible);
    EXPECT_TRUE(e.FixPad08 && e.FixPad10 && e.FixPad40 && e.FixFileSize && e.FixDataSize);
    EXPECT_FALSE(e.WriteLog || e.StripHeader || e.FixChunkCount);
    ApplyPreset(e, RepairPreset::RepairBadChunks);
    EXPECT_EQ(e.FixForBadChunk, BadChunkAction::Delete);
    EXPECT_FALSE(e.FixPad08);
    ApplyPreset(e, RepairPreset::SetLive);
    EXPECT_EQ(e.FileSeekableFlag, SeekableFlagChange::Disable);
    EXPECT_EQ(e.LiveFlag, LiveFlagChange::Set);
    EXPECT_EQ(e.FixForBadChunk, BadChunkAction::DoNothing);
    ApplyPreset(e, RepairPreset::Custom);
    EXPECT_EQ(e.LiveFlag, LiveFlagChange::Keep);
    EXPECT_EQ(RepairPresets().size(), 7u);
    EXPECT_EQ(FindRepairPreset("remove-frames"), RepairPreset::RemoveExtraFrames);
}
