// The chunk loop's time scan, which reads and parses blocks of chunks on two threads, against
// the plain loop taking the same times chunk by chunk: on damaged sources of several blocks,
// what the user sees (log, status, progress), the times taken, the counts, a stop and where the
// source is left must be the same.
#include <gtest/gtest.h>

#include <optional>

#include "convert/ConvertCommon.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

// A packet of two payloads, each an object of its own with its time.
PacketSpec TwoPayloads(std::uint32_t pts, std::uint32_t object) {
    PacketSpec p;
    p.lengthTypeFlags = 0x11;  // multiple payloads, word padding field
    p.sendTime = pts;
    p.payloads.clear();
    for (int i = 0; i < 2; ++i) {
        PayloadSpec pl;
        pl.stream = 1 + i;
        pl.object = object;
        pl.pts = pts + static_cast<std::uint32_t>(i) * 7;
        pl.data = Bytes(40, static_cast<std::uint8_t>(pts));
        pl.objectSize = 40;
        p.payloads.push_back(pl);
    }
    return p;
}

void FindTimes(std::span<const std::uint8_t> chunk, std::uint32_t chunkSize, std::vector<PayloadTime>& found) {
    ForEachPayload(chunk, chunkSize, [&found](std::span<const std::uint8_t>, const ParsedPacket& packet,
                                              const PacketPayload& p) {
        if (!p.compressed && p.replicatedLength >= 8) found.push_back({p.presentationTime, packet.sendTime});
    });
}

// Everything a pass showed and did.
struct PassTrace {
    std::vector<std::string> lines, statuses;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> times;
    std::int64_t count = 0, abandoned = 0, progress = -1, processCalls = 0, endPos = 0;
    bool aborted = false;
    std::string thrown;
};

struct Source {
    std::string path;
    std::int64_t firstChunk = 0;
    std::uint32_t chunkSize = 0;
};

// One pass over `source`, split over two threads or not; `stopAt` asks for a stop while the
// chunk of that index is handled (-1: before the pass).
PassTrace Trace(const Source& source, bool split, std::optional<std::int64_t> stopAt = std::nullopt) {
    RecordingHost host;
    BinaryFile file(source.path, BinaryFile::Mode::Read);
    file.Seek(source.firstChunk);
    const PacketLayout layout = DetectPacketLayout(file, source.firstChunk, source.chunkSize);
    file.Seek(source.firstChunk);
    bool aborted = stopAt == -1;
    host.onProcessMessages = [&] {
        if (stopAt && host.processCalls == *stopAt + 1) aborted = true;
    };
    PassTrace trace;
    auto take = [&trace](const PayloadTime& t) { trace.times.emplace_back(t.presentation, t.send); };
    ChunkLoop loop(file, source.chunkSize, layout, host, aborted);
    ChunkPass pass;
    try {
        if (split) {
            pass = loop.RunTimeScan(1000, [&](auto chunk, auto& found) { FindTimes(chunk, source.chunkSize, found); }, take);
        } else {
            pass = loop.Run(1000, [&](auto chunk) {
                std::vector<PayloadTime> found;
                try {
                    FindTimes(chunk, source.chunkSize, found);
                } catch (...) {
                    for (const auto& t : found) take(t);
                    throw;
                }
                for (const auto& t : found) take(t);
            });
        }
    } catch (const std::exception& e) {
        trace.thrown = e.what();
    }
    trace.lines = host.lines;
    trace.statuses = host.statuses;
    trace.count = pass.count;
    trace.abandoned = pass.abandoned;
    trace.aborted = pass.aborted;
    trace.progress = host.progress;
    trace.processCalls = host.processCalls;
    trace.endPos = file.Tell();
    return trace;
}

void ExpectSame(const PassTrace& split, const PassTrace& plain, const std::string& what) {
    EXPECT_EQ(split.lines, plain.lines) << what;
    EXPECT_EQ(split.statuses, plain.statuses) << what;
    EXPECT_EQ(split.times, plain.times) << what;
    EXPECT_EQ(split.count, plain.count) << what;
    EXPECT_EQ(split.abandoned, plain.abandoned) << what;
    EXPECT_EQ(split.aborted, plain.aborted) << what;
    EXPECT_EQ(split.progress, plain.progress) << what;
    EXPECT_EQ(split.processCalls, plain.processCalls) << what;
    EXPECT_EQ(split.endPos, plain.endPos) << what;
    EXPECT_EQ(split.thrown, plain.thrown) << what;
}

}  // namespace

// Sources of four to five blocks: intact; with chunks that are no packets on both sides of the
// blocks' boundaries and one whose second payload runs past its end; cut in the middle of its
// last chunk; with an index after the data. Each scanned whole, and stopped in a block of either
// thread and before it began.
TEST(ChunkTimeScan, SplitScanShowsAndTakesWhatThePlainLoopDoes) {
    TempDir dir;
    AsfBuilder b;
    b.VideoStream(1).AudioStream(2);
    const std::uint32_t packetSize = b.packetSize();
    const std::uint64_t blockChunks = (1u << 20) / packetSize;
    const std::uint64_t chunks = 4 * blockChunks + 10;
    for (std::uint64_t i = 0; i < chunks; ++i) b.Packet(TwoPayloads(static_cast<std::uint32_t>(100 + 40 * i), static_cast<std::uint32_t>(i)));
    const Bytes intact = b.Build();
    const auto firstChunk = static_cast<std::int64_t>(PacketOffset(intact, packetSize, 0));

    Bytes damaged = intact;
    for (const std::uint64_t i : {blockChunks - 1, blockChunks, 2 * blockChunks + 1, 3 * blockChunks - 1, 4 * blockChunks})
        DamagePackets(damaged, packetSize, i);
    // Packet head 14 bytes, first payload 17 + 40, second payload's fields before its length 15.
    PutU16(damaged, PacketOffset(damaged, packetSize, blockChunks + 3) + 14 + 17 + 40 + 15, 0xFFFF);

    Bytes cut = intact;
    Truncate(cut, cut.size() - packetSize / 2);

    AsfBuilder indexed = b;
    indexed.Index();
    const Bytes withIndex = indexed.Build();

    const std::vector<std::pair<std::string, const Bytes*>> sources = {
        {"intact", &intact}, {"damaged", &damaged}, {"cut", &cut}, {"index", &withIndex}};
    for (const auto& [name, bytes] : sources) {
        const Source source{(dir / (name + ".wmv")).string(), firstChunk, packetSize};
        WriteFileBytes(source.path, *bytes);
        const PassTrace plain = Trace(source, false);
        ASSERT_TRUE(plain.thrown.empty()) << name << ": " << plain.thrown;
        ASSERT_GT(plain.times.size(), 2 * blockChunks) << name;
        ExpectSame(Trace(source, true), plain, name);
        for (const std::int64_t stop : {std::int64_t{-1}, std::int64_t{3}, static_cast<std::int64_t>(blockChunks + 5),
                                        static_cast<std::int64_t>(3 * blockChunks)}) {
            const PassTrace stopped = Trace(source, false, stop);
            EXPECT_TRUE(stopped.aborted) << name << " stopped at " << stop;
            ExpectSame(Trace(source, true, stop), stopped, name + " stopped at " + std::to_string(stop));
        }
    }
    // The damage is seen: the chunks that are no packets and the payload that runs past its packet.
    const PassTrace plain = Trace({(dir / "damaged.wmv").string(), firstChunk, packetSize}, false);
    EXPECT_EQ(plain.abandoned, 5);
    EXPECT_NE(std::find(plain.lines.begin(), plain.lines.end(), "--->>数据块错误 #" + std::to_string(blockChunks + 3)),
              plain.lines.end());
}
