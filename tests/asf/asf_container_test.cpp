// The container layer every tool reads through: cursor, GUIDs, header walk, packets.
#include <gtest/gtest.h>

#include <functional>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/ByteCursor.h"
#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;

TEST(ByteCursor, ReadsLittleEndianAndRefusesToReadPastTheEnd) {
    const Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05};
    ByteCursor c(b);
    EXPECT_EQ(c.U16(), 0x0201);
    EXPECT_EQ(c.U16(), 0x0403);
    EXPECT_THROW(c.U16(), TruncatedData);
    EXPECT_EQ(c.Pos(), 4u);  // a failed read does not move
    EXPECT_EQ(c.U8(), 0x05);
    EXPECT_THROW(c.Seek(6), TruncatedData);
    ByteCursor d(b);
    EXPECT_THROW(d.Sub(6), TruncatedData);
    EXPECT_EQ(d.Sub(6, true).Size(), 5u);
}

TEST(ByteCursor, AQuietCursorFailsOnceAndStaysFailed) {
    const Bytes b = {0x01, 0x02, 0x03};
    ByteCursor c = ByteCursor::Quiet(b);
    EXPECT_EQ(c.U16(), 0x0201);
    EXPECT_EQ(c.U16(), 0u);  // past the end: zero, no throw, no move
    EXPECT_TRUE(c.Failed());
    EXPECT_EQ(c.FailureText(), "位置2需要2字节, 只剩1字节");
    EXPECT_EQ(c.U8(), 0u);  // bytes are left, but nothing read after a failure is trusted
    EXPECT_EQ(c.Pos(), 2u);
    EXPECT_TRUE(c.Bytes(1).empty());
    ByteCursor d = ByteCursor::Quiet(b);
    ByteCursor sub = d.Sub(2);
    sub.Skip(3);
    EXPECT_TRUE(sub.Failed());  // a part of a quiet cursor is quiet too
    EXPECT_FALSE(d.Failed());
    d.Seek(4);
    EXPECT_EQ(d.FailureText(), "定位超出数据末尾");
}

TEST(Guid, TextFormMatchesTheFileLayout) {
    const Bytes header = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    EXPECT_EQ(Guid::FromBytes(header), guids::HeaderObject);
    EXPECT_EQ(guids::SimpleIndex.bytes[0], 0x90);
    EXPECT_EQ(guids::SimpleIndex.bytes[1], 0x08);
    EXPECT_EQ(guids::HeaderObject.ToText(), "75B22630-668E-11CF-A6D9-00AA0062CE6C");
    Bytes hay(40, 0);
    std::copy(header.begin(), header.end(), hay.begin() + 7);
    EXPECT_EQ(FindGuid(hay, guids::HeaderObject), 7);
    EXPECT_EQ(FindGuid(std::span(hay).first(22), guids::HeaderObject), -1);
}

TEST(HeaderWalk, FindsEveryObjectOfARealFile) {
    const Bytes file = ReadFileBytes(SampleFile("a_wmv2_wmav2.wmv"));
    const auto walk = WalkHeader(std::span(file).first(HeaderSizeOf(file)));
    EXPECT_EQ(walk.end, WalkEnd::Complete);
    ASSERT_EQ(walk.objects.size(), 6u);
    EXPECT_EQ(walk.FindAll(guids::StreamProperties).size(), 2u);
    ASSERT_NE(walk.Find(guids::FileProperties), nullptr);
    auto props = FileProperties::Read(ByteCursor(file).Seek(walk.Find(guids::FileProperties)->offset));
    EXPECT_EQ(props.minPacketSize, 3200u);
    EXPECT_EQ(props.dataPacketsCount, 303u);
}

TEST(HeaderWalk, EndsOnBrokenSizes) {
    Bytes file = AsfBuilder().VideoStream(1).AudioStream(2).SimplePackets(1).Build();
    const std::uint64_t second = 30 + 104;  // after file properties
    Bytes zero = file;
    PutU64(zero, second + 16, 0);
    auto w = WalkHeader(std::span(zero).first(HeaderSizeOf(zero)));
    EXPECT_EQ(w.end, WalkEnd::SizeTooSmall);
    EXPECT_EQ(w.objects.size(), 1u);

    Bytes huge = file;
    PutU64(huge, second + 16, 1ull << 40);
    w = WalkHeader(std::span(huge).first(HeaderSizeOf(huge)));
    EXPECT_EQ(w.end, WalkEnd::RunsPastEnd);

    // The header object says it is larger than the bytes held.
    w = WalkHeader(std::span(file).first(second + 10));
    EXPECT_EQ(w.end, WalkEnd::BytesMissing);
    EXPECT_EQ(w.objects.size(), 1u);
}

TEST(ChunkSignature, ClassifiesBlocks) {
    EXPECT_EQ(ClassifyBlock(Bytes{0x82, 0, 0, 9}), BlockKind::Good);
    EXPECT_EQ(ClassifyBlock(Bytes{0x82, 1, 0}), BlockKind::Bad);  // error correction data not zero
    EXPECT_EQ(ClassifyBlock(Bytes{0x90, 0x08, 0x00, 0x00}), BlockKind::Index);
    EXPECT_FALSE(IsIndexMarker4(Bytes{0x90, 0x08, 0x00, 0x00}));
    EXPECT_TRUE(IsIndexMarker4(Bytes{0x90, 0x08, 0x00, 0x33}));
    EXPECT_EQ(ClassifyBlock(Bytes{0x82, 0}), BlockKind::Bad);
}

TEST(KnownLayouts, AgreeWithTheFieldWidthsOfTheFlags) {
    ASSERT_EQ(KnownLayouts().size(), 10u);
    for (const auto& k : KnownLayouts()) {
        const unsigned t = k.lengthTypeFlags;
        const int packetLength = LengthTypeWidth((t >> 5) & 3), padding = LengthTypeWidth((t >> 3) & 3);
        EXPECT_EQ(k.sendTimeAt, 5 + packetLength + padding) << std::hex << t;
        EXPECT_EQ(k.durationAt, k.sendTimeAt + 4);
        EXPECT_EQ(k.mediaOffsetAt, k.durationAt + 2 + (t & 1) + 2);
    }
    EXPECT_EQ(FindKnownLayout(0x5D), nullptr);
}

TEST(ParsePacket, ReadsBuiltPacketsOfEveryKnownLayout) {
    for (const auto& k : KnownLayouts()) {
        PacketSpec desc;
        desc.lengthTypeFlags = k.lengthTypeFlags;
        desc.sendTime = 1234;
        desc.duration = 56;
        PayloadSpec a, b;
        a.stream = 1, a.key = true, a.pts = 3100, a.data = Bytes(400, 1);
        b.stream = 2, b.pts = 3140, b.data = Bytes(50, 2);
        desc.payloads = (k.lengthTypeFlags & 1) ? std::vector{a, b} : std::vector{a};
        const Bytes packet = AsfBuilder::BuildPacket(desc, 512);
        const auto p = ParsePacket(packet, 512);
        ASSERT_TRUE(p.ok) << std::hex << int(k.lengthTypeFlags) << " " << p.error;
        EXPECT_EQ(p.sendTime, 1234u);
        EXPECT_EQ(p.sendTimeAt, static_cast<std::uint64_t>(k.sendTimeAt));
        EXPECT_EQ(p.duration, 56);
        ASSERT_EQ(p.payloads.size(), desc.payloads.size());
        EXPECT_TRUE(p.payloads[0].keyFrame);
        EXPECT_EQ(p.payloads[0].presentationTime, 3100u);
        EXPECT_EQ(ReadU32At(packet, p.payloads[0].presentationTimeAt), 3100u);
        if (k.lengthTypeFlags & 0x18) EXPECT_EQ(p.paddingLength, 512 - p.usedEnd);
    }
}

TEST(ParsePacket, RefusesDamageWithoutReadingOutside) {
    PacketSpec desc;
    desc.lengthTypeFlags = 0x11;
    desc.payloads = {PayloadSpec{}, PayloadSpec{}};
    Bytes packet = AsfBuilder::BuildPacket(desc, 512);
    ASSERT_TRUE(ParsePacket(packet, 512).ok);
    Bytes bad = packet;
    PutU16(bad, 5, 0xFFFF);  // padding longer than the packet
    EXPECT_FALSE(ParsePacket(bad, 512).ok);
    bad = packet;
    const auto p = ParsePacket(packet, 512);
    PutU16(bad, p.payloads[1].dataAt - 2, 5000);  // second payload's length runs past the end
    EXPECT_FALSE(ParsePacket(bad, 512).ok);
    EXPECT_FALSE(ParsePacket(std::span(packet).first(20), 512).ok);
    EXPECT_FALSE(ParsePacket(Bytes{}, 512).ok);
}

TEST(ParsePacket, AcceptsPacketsWithoutErrorCorrection) {
    PacketSpec desc;
    desc.lengthTypeFlags = 0x51;
    desc.noErrorCorrection = true;
    desc.payloads = {PayloadSpec{}, PayloadSpec{}};
    const auto p = ParsePacket(AsfBuilder::BuildPacket(desc, 512), 512);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_FALSE(p.hasErrorCorrection);
    EXPECT_EQ(p.payloads.size(), 2u);
}

TEST(ParsePacket, ReadsEveryPayloadWhateverTheirCountAndLengthWidth) {
    for (const unsigned width : {1u, 2u, 3u}) {
        for (const int count : {3, 32, 40, 63}) {
            const Bytes packet = AsfBuilder::BuildPacket(ManyPayloads(count, width, 12), 2048);
            const auto p = ParsePacket(packet, 2048);
            ASSERT_TRUE(p.ok) << width << "/" << count << ": " << p.error;
            ASSERT_EQ(p.payloads.size(), static_cast<std::size_t>(count)) << width;
            for (int i = 0; i < count; ++i) {
                EXPECT_EQ(p.payloads[i].dataLength, 12u);
                EXPECT_EQ(p.payloads[i].presentationTime, 10u * i);
                EXPECT_EQ(packet[p.payloads[i].dataAt], 0x20 + i) << width << "/" << count << " payload " << i;
            }
            EXPECT_EQ(p.usedEnd + p.paddingLength, 2048u);
        }
    }
}

TEST(ParsePacket, NamesTheDamageAndKeepsWhatParsedBeforeIt) {
    PacketSpec desc = ManyPayloads(3, 2, 100);
    const Bytes packet = AsfBuilder::BuildPacket(desc, 512);
    const auto good = ParsePacket(packet, 512);
    ASSERT_TRUE(good.ok);
    EXPECT_EQ(good.errorKind, PacketError::None);
    desc.lengthTypeFlags = 0x51;  // with a word packet length field
    const Bytes withLength = AsfBuilder::BuildPacket(desc, 512);
    struct Case {
        const char* name;
        Bytes packet;
        PacketError kind;
        bool parsingInfoRead;
        std::size_t payloadsKept;
    };
    auto damaged = [](Bytes b, const std::function<void(Bytes&)>& damage) {
        damage(b);
        return b;
    };
    const std::vector<Case> cases = {
        {"cut in the send time", Bytes(packet.begin(), packet.begin() + 9), PacketError::Truncated, false, 0},
        {"cut in the payloads", Bytes(packet.begin(), packet.begin() + 200), PacketError::Truncated, true, 0},
        {"error correction length type", damaged(packet, [](Bytes& b) { b[0] = 0xA2; }), PacketError::BadErrorCorrection, false, 0},
        {"packet length over the size", damaged(withLength, [](Bytes& b) { PutU16(b, 5, 600); }), PacketError::LengthOverSize, true, 0},
        {"padding over the packet", damaged(packet, [](Bytes& b) { PutU16(b, 5, 0xFFFF); }), PacketError::PaddingOverrun, true, 0},
        {"no payload", damaged(packet, [&](Bytes& b) { b[good.payloadFlagsAt] = 0x80; }), PacketError::ZeroPayloadCount, true, 0},
        {"second payload too long", damaged(packet, [&](Bytes& b) { PutU16(b, good.payloads[1].dataAt - 2, 5000); }),
         PacketError::PayloadOverrun, true, 1},
        {"third payload's fields past the end", damaged(packet, [&](Bytes& b) { PutU16(b, good.payloads[1].dataAt - 2, 512 - good.payloads[1].dataAt - 3); }),
         PacketError::Truncated, true, 2},
    };
    for (const auto& c : cases) {
        const auto p = ParsePacket(c.packet, 512);
        EXPECT_FALSE(p.ok) << c.name;
        EXPECT_EQ(p.errorKind, c.kind) << c.name << ": " << p.error;
        EXPECT_FALSE(p.error.empty()) << c.name;
        EXPECT_EQ(p.parsingInfoRead, c.parsingInfoRead) << c.name;
        EXPECT_EQ(p.payloads.size(), c.payloadsKept) << c.name;
        if (c.parsingInfoRead) {
            EXPECT_EQ(p.duration, 40) << c.name;
        }
    }
}

// Loops parse packet after packet into one ParsedPacket: what it holds afterwards must be
// what a fresh parse gives, whatever the packet before it held (many payloads, damage, a cut).
TEST(ParsePacket, AReusedResultHoldsNothingOfThePacketBefore) {
    const Bytes many = AsfBuilder::BuildPacket(ManyPayloads(40, 1, 12), 2048);
    PacketSpec lengthDesc = ManyPayloads(2, 2, 60);
    lengthDesc.lengthTypeFlags = 0x51;
    const Bytes withLength = AsfBuilder::BuildPacket(lengthDesc, 2048);
    Bytes badPayload = many;
    badPayload[ParsePacket(many, 2048).payloads[3].dataAt - 1] = 0xFF;  // the fourth payload runs past the end
    PacketSpec singleDesc;
    singleDesc.lengthTypeFlags = 0x10;  // a word padding field: the padding is long
    const Bytes single = AsfBuilder::BuildPacket(singleDesc, 2048);
    const std::vector<std::pair<const char*, Bytes>> packets = {
        {"many payloads", many},
        {"cut in the send time", Bytes(many.begin(), many.begin() + 9)},
        {"word packet length", withLength},
        {"payload overrun", badPayload},
        {"single payload", single},
        {"error correction length type", Bytes{0xA2, 0, 0, 0, 0}},
        {"many payloads again", many},
    };
    ParsedPacket reused;
    for (const auto& [name, bytes] : packets) {
        ParsePacket(bytes, 2048, reused);
        const ParsedPacket fresh = ParsePacket(bytes, 2048);
        EXPECT_EQ(reused.ok, fresh.ok) << name;
        EXPECT_EQ(reused.errorKind, fresh.errorKind) << name;
        EXPECT_EQ(reused.error, fresh.error) << name;
        EXPECT_EQ(reused.parsingInfoRead, fresh.parsingInfoRead) << name;
        EXPECT_EQ(reused.lengthTypeFlags, fresh.lengthTypeFlags) << name;
        EXPECT_EQ(reused.explicitPacketLength, fresh.explicitPacketLength) << name;
        EXPECT_EQ(reused.packetLengthWidth, fresh.packetLengthWidth) << name;
        EXPECT_EQ(reused.paddingLengthAt, fresh.paddingLengthAt) << name;
        EXPECT_EQ(reused.sendTimeAt, fresh.sendTimeAt) << name;
        EXPECT_EQ(reused.multiplePayloads, fresh.multiplePayloads) << name;
        EXPECT_EQ(reused.payloadFlagsAt, fresh.payloadFlagsAt) << name;
        EXPECT_EQ(reused.usedEnd, fresh.usedEnd) << name;
        ASSERT_EQ(reused.payloads.size(), fresh.payloads.size()) << name;
        for (std::size_t i = 0; i < fresh.payloads.size(); ++i) {
            EXPECT_EQ(reused.payloads[i].dataAt, fresh.payloads[i].dataAt) << name << " payload " << i;
            EXPECT_EQ(reused.payloads[i].dataLength, fresh.payloads[i].dataLength) << name << " payload " << i;
        }
    }
}

TEST(ParsePacket, ACutPacketHoldsOnlyTheFieldsItsBytesReach) {
    // Tools patch fields at the positions the parser gives, also in damaged packets: a field
    // the bytes end before must have no position and no width.
    PacketSpec desc = ManyPayloads(2, 2, 60);
    desc.lengthTypeFlags = 0x51;
    const Bytes packet = AsfBuilder::BuildPacket(desc, 512);
    for (std::size_t n = 0; n < 40; ++n) {
        const auto p = ParsePacket(std::span(packet).first(n), 512);
        EXPECT_FALSE(p.ok) << n;
        EXPECT_EQ(p.errorKind, PacketError::Truncated) << n;
        if (p.packetLengthWidth) EXPECT_LE(p.packetLengthAt, n) << n;
        if (p.paddingLengthWidth) EXPECT_LE(p.paddingLengthAt, n) << n;
        if (p.sendTimeAt) EXPECT_LE(p.sendTimeAt, n) << n;
        if (!p.parsingInfoRead) EXPECT_EQ(p.duration, 0) << n;
        if (n < 6) EXPECT_EQ(p.paddingLengthWidth, 0u) << n;
    }
    EXPECT_EQ(ParsePacket(std::span(packet).first(9), 512).error, "位置9需要4字节, 只剩0字节");
}

TEST(ParsePacket, ParsesEveryPacketOfTheRealSamples) {
    for (const char* name : {"a_wmv2_wmav2.wmv", "g2_wmv2_wmav2_pkt512.wmv", "c_wmav2.wma"}) {
        const Bytes file = ReadFileBytes(SampleFile(name));
        const auto walk = WalkHeader(std::span(file).first(HeaderSizeOf(file)));
        const auto props = FileProperties::Read(ByteCursor(file).Seek(walk.Find(guids::FileProperties)->offset));
        for (std::uint64_t i = 0; i < props.dataPacketsCount; ++i) {
            const auto at = PacketOffset(file, props.minPacketSize, i);
            const auto p = ParsePacket(std::span(file).subspan(at, props.minPacketSize), props.minPacketSize);
            ASSERT_TRUE(p.ok) << name << " packet " << i << ": " << p.error;
        }
    }
}

// The stream byte worked out from the flags must be the one the parser reads, at every offset
// of real packet data (mostly blocks that are no packet) and in random bytes, which parse now
// and then; a block too short to hold it holds no payload either.
TEST(FirstStreamByteAt, NamesTheByteTheParserReadsTheFirstStreamNumberFrom) {
    std::vector<Bytes> blocks;
    for (const char* name : {"a_wmv2_wmav2.wmv", "g2_wmv2_wmav2_pkt512.wmv"}) {
        const Bytes file = ReadFileBytes(SampleFile(name));
        const std::uint64_t from = HeaderSizeOf(file) + 50;
        for (std::uint64_t at = from; at < from + 20000 && at + 600 <= file.size(); ++at)
            blocks.emplace_back(file.begin() + at, file.begin() + at + 600);
    }
    std::uint32_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        Bytes random(64);
        for (auto& b : random) b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
        blocks.push_back(random);
    }
    int parsed = 0;
    for (const Bytes& block : blocks)
        for (std::size_t length : {block.size(), std::size_t{12}, std::size_t{3}}) {
            const auto bytes = std::span(block).first(length);
            const auto p = ParsePacket(bytes, static_cast<std::uint32_t>(block.size()));
            const auto at = FirstStreamByteAt(bytes);
            if (p.payloads.empty()) continue;
            ++parsed;
            ASSERT_TRUE(at.has_value());
            ASSERT_EQ(bytes[*at] & 0x7F, p.payloads[0].streamNumber);
        }
    EXPECT_GT(parsed, 1000);
}
