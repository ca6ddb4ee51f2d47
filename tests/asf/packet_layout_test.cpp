// The per-file packet layout (with or without error correction data) and the packet test every
// tool shares: the real samples of both kinds, damaged starts, cut and garbage blocks.
#include <gtest/gtest.h>

#include "asf/AsfObjects.h"
#include "asf/BinaryFile.h"
#include "asf/PacketLayout.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

namespace {

constexpr std::uint32_t kPacket = 512;

PacketLayout LayoutOfSample(const std::string& name) {
    BinaryFile f;
    f.Open(SampleFile(name), BinaryFile::Mode::Read);
    const Bytes head = ReadFileBytes(SampleFile(name));
    const std::uint64_t first = HeaderSizeOf(head) + kDataObjectHeadSize;
    f.Seek(7);
    const PacketLayout layout = DetectPacketLayout(f, static_cast<std::int64_t>(first), GetU32(head, 30 + fp::MinPacketSize));
    EXPECT_EQ(f.Tell(), 7);  // the file stays where it stood
    return layout;
}

// n packets without error correction data, each of two payloads (streams 1 and 2).
Bytes NoCorrectionFile(int n) {
    AsfBuilder b;
    b.PacketSize(kPacket).VideoStream(1).AudioStream(2);
    for (int i = 0; i < n; ++i) {
        PacketSpec p = ManyPayloads(2, 2, 60, 100 + 40 * i);
        p.sendTime = 40 * i;
        p.noErrorCorrection = true;
        b.Packet(p);
    }
    return b.Build();
}

std::span<const std::uint8_t> Packets(const Bytes& file) {
    return std::span<const std::uint8_t>(file).subspan(HeaderSizeOf(file) + kDataObjectHeadSize);
}

}  // namespace

TEST(PacketLayout, RealFilesOfBothKindsAreToldApart) {
    for (const char* name : {"a_wmv2_wmav2.wmv", "c_wmav2.wma", "g2_wmv2_wmav2_pkt512.wmv", "m_ffmpeg_killed_unfinalized.wmv"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(LayoutOfSample(name).errorCorrection);
    }
    for (const char* name : {"k_gst_asfmux_wmv2_wmav2.wmv", "l_gst_killed_unfinalized.wmv"}) {
        SCOPED_TRACE(name);
        const PacketLayout layout = LayoutOfSample(name);
        EXPECT_FALSE(layout.errorCorrection);
        EXPECT_EQ(layout.propertyFlags, std::optional<std::uint8_t>(0x5D));
    }
}

TEST(PacketLayout, DetectionNeedsPacketsThatParseToOutnumberSignatures) {
    // A damaged start does not decide: garbage blocks are passed over until packets vote.
    Bytes file = NoCorrectionFile(12);
    DamagePackets(file, kPacket, 0, 3);
    EXPECT_FALSE(DetectPacketLayout(Packets(file), kPacket).errorCorrection);

    // Zeroed blocks parse as packets of no stream: they are no vote, and a file of nothing else
    // is read as it always was, with error correction data.
    const Bytes zeros(4 * kPacket, 0);
    EXPECT_TRUE(DetectPacketLayout(zeros, kPacket).errorCorrection);
    EXPECT_TRUE(DetectPacketLayout({}, kPacket).errorCorrection);

    // Signatures win a tie, and an index object ends the probe.
    Bytes mixed = AsfBuilder().PacketSize(kPacket).VideoStream(1).SimplePackets(2).Build();
    const Bytes other = NoCorrectionFile(2);
    const auto tail = Packets(other);
    Bytes blocks(Packets(mixed).begin(), Packets(mixed).end());
    blocks.insert(blocks.end(), tail.begin(), tail.end());
    EXPECT_TRUE(DetectPacketLayout(blocks, kPacket).errorCorrection);
    Bytes indexFirst = {0x90, 0x08, 0x00, 0x33};
    indexFirst.resize(kPacket);
    indexFirst.insert(indexFirst.end(), tail.begin(), tail.end());
    EXPECT_TRUE(DetectPacketLayout(indexFirst, kPacket).errorCorrection);

    // Packets whose property flags differ leave the flags open. (Single payloads: a byte offset
    // field in place of a dword still parses, the payload taking what follows.)
    AsfBuilder single;
    single.PacketSize(kPacket).VideoStream(1);
    for (int i = 0; i < 4; ++i) {
        PacketSpec p;
        p.lengthTypeFlags = 0x10;
        p.noErrorCorrection = true;
        single.Packet(p);
    }
    Bytes varied = single.Build();
    const std::uint64_t first = HeaderSizeOf(varied) + kDataObjectHeadSize;
    PutU8(varied, first + kPacket + 1, 0x55);
    const PacketLayout layout = DetectPacketLayout(Packets(varied), kPacket);
    EXPECT_FALSE(layout.errorCorrection);
    EXPECT_FALSE(layout.propertyFlags.has_value());
}

TEST(PacketLayout, PacketsWithoutCorrectionAreJudgedByTheirStructure) {
    const Bytes file = NoCorrectionFile(3);
    const auto packets = Packets(file);
    const PacketLayout layout = DetectPacketLayout(packets, kPacket);
    ASSERT_FALSE(layout.errorCorrection);
    const auto good = packets.first(kPacket);
    EXPECT_EQ(ClassifyPacket(good, kPacket, layout), BlockKind::Good);
    // The rule of files with error correction data would call every one of them bad.
    EXPECT_EQ(ClassifyPacket(good, kPacket, PacketLayout{}), BlockKind::Bad);

    auto judge = [&](const std::function<void(Bytes&)>& change) {
        Bytes block(good.begin(), good.end());
        change(block);
        return ClassifyPacket(block, kPacket, layout);
    };
    EXPECT_EQ(judge([](Bytes& b) { b[0] |= 0x80; }), BlockKind::Bad);                  // bit 7: error correction
    EXPECT_EQ(judge([](Bytes& b) { b[1] = 0x59; }), BlockKind::Bad);                   // not the file's flags
    EXPECT_EQ(judge([](Bytes& b) { std::fill(b.begin(), b.end(), 0); }), BlockKind::Bad);  // no stream
    EXPECT_EQ(judge([](Bytes& b) { b[10] = 0x80 | 63; }), BlockKind::Bad);              // payloads past the end
    EXPECT_EQ(judge([](Bytes& b) { b = {0x90, 0x08, 0x00, 0x33, 0, 0}; }), BlockKind::Index);

    // The cut last packet of a file holds on while a payload lies before the cut.
    EXPECT_EQ(ClassifyPacket(good.first(kPacket - 10), kPacket, layout), BlockKind::Good);
    EXPECT_EQ(ClassifyPacket(good.first(8), kPacket, layout), BlockKind::Bad);
    // A zeroed buffer that holds it says how much came from the file.
    Bytes held(good.begin(), good.end());
    std::fill(held.begin() + 8, held.end(), 0);
    EXPECT_EQ(ClassifyPacket(held, 8, kPacket, layout), BlockKind::Bad);
    EXPECT_EQ(ClassifyPacket(held, 8, kPacket, PacketLayout{}), ClassifyBlock(held));
}
