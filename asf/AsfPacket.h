#pragma once
// Full parse of one data packet (chunk): error correction, payload parsing information and
// every payload, with the byte positions of the fields that rewriting tools change.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mendery {

struct PacketPayload {
    int streamNumber = 0;
    bool keyFrame = false;
    std::uint32_t mediaObjectNumber = 0;
    std::uint32_t offsetIntoMediaObject = 0;  // presentation time (ms) for a compressed payload
    std::uint32_t replicatedLength = 0;
    std::uint32_t mediaObjectSize = 0;        // from replicated data, when it holds 8 bytes or more
    std::uint32_t presentationTime = 0;       // ms, from replicated data, or the compressed payload's time
    bool hasPresentationTime = false;
    bool compressed = false;                  // replicated length 1: a group of sub-payloads
    std::uint8_t presentationTimeDelta = 0;
    std::uint64_t presentationTimeAt = 0;     // position of the 32-bit presentation time in the packet
    std::uint64_t replicatedAt = 0;           // position of the replicated data
    std::uint64_t dataAt = 0;                 // position of the payload bytes
    std::uint32_t dataLength = 0;
    // Sub-payloads of a compressed payload: position and length of each media object.
    struct Piece { std::uint64_t at; std::uint32_t length; };
    std::vector<Piece> pieces;
};

// Why a packet does not parse.
enum class PacketError {
    None,
    Truncated,           // a field lies past the end of the bytes given (a cut or damaged packet)
    BadErrorCorrection,  // the error correction data's length type is not 0
    LengthOverSize,      // the packet length field is larger than the packet size
    PaddingOverrun,      // the padding length leaves no room for the packet's own fields
    ZeroPayloadCount,    // a multiple-payload packet that declares no payload
    PayloadOverrun,      // a payload runs past the packet's end, or a sub-payload past its payload
};

// A parsed packet's fields and where they lie: everything but its error text and payload list.
struct PacketFields {
    bool ok = false;
    PacketError errorKind = PacketError::None;
    // The payload parsing information (flags through duration) was read whole: its values and
    // positions below hold even when the payloads that follow are damaged.
    bool parsingInfoRead = false;
    bool hasErrorCorrection = false;
    std::uint8_t lengthTypeFlags = 0, propertyFlags = 0;
    std::uint64_t lengthTypeFlagsAt = 0;
    std::uint32_t packetLength = 0;    // explicit length, or the fixed packet size
    bool explicitPacketLength = false;
    std::uint64_t packetLengthAt = 0;
    unsigned packetLengthWidth = 0;
    std::uint32_t sequence = 0;
    std::uint32_t paddingLength = 0;
    std::uint64_t paddingLengthAt = 0;
    unsigned paddingLengthWidth = 0;
    std::uint32_t sendTime = 0;
    std::uint64_t sendTimeAt = 0;
    std::uint16_t duration = 0;
    bool multiplePayloads = false;
    std::uint8_t payloadFlags = 0;
    std::uint64_t payloadFlagsAt = 0;
    std::uint64_t usedEnd = 0;         // end of the last payload; what follows is padding
};

struct ParsedPacket : PacketFields {
    std::string error;  // why the packet does not parse, in words for a log
    // Every payload that parsed whole; when the packet is damaged part way, those before the
    // damage (the sub-payloads of compressed ones are split only when the whole packet parsed).
    std::vector<PacketPayload> payloads;
};

// Writers keep packets within what a word packet length field can say; a packet size field
// beyond it is damage, not a size to allocate or fill out with zeros.
inline constexpr std::uint32_t kLargestPacketSize = 65535;

// Multiple-payload packets count their payloads in the low six bits of the payload flags.
inline constexpr std::uint8_t kPayloadCountMask = 0x3F;

// Parses `packet` (one fixed-size packet, or the shorter tail of a cut file) of a file whose
// packets are `packetSize` bytes long. Packets with or without error correction bytes are
// accepted. Never reads outside `packet`; a malformed packet yields ok=false, the kind of
// damage and its description, and what parsed before it.
ParsedPacket ParsePacket(std::span<const std::uint8_t> packet, std::uint32_t packetSize);
// The same, into `parsed`, whose payload list keeps its storage: for a loop that parses packet
// after packet without an allocation for each.
void ParsePacket(std::span<const std::uint8_t> packet, std::uint32_t packetSize, ParsedPacket& parsed);

// Where the stream number of the first payload lies, worked out from the length type flags
// alone: in a packet that ParsePacket reads, that payload's stream number is the low seven
// bits of this byte. A search that tests every offset of a damaged file rejects most of them
// with it before a full parse. Nothing when the bytes end before it.
std::optional<std::size_t> FirstStreamByteAt(std::span<const std::uint8_t> packet);

}  // namespace mendery
