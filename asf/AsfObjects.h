#pragma once
// The ASF container as the program reads it: object headers, the header object and its
// sub-object walk, file and stream properties, the data object head, chunk signatures and
// the known chunk layouts.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "asf/AsfGuid.h"
#include "asf/ByteCursor.h"

namespace mendery {

inline constexpr std::uint32_t kObjectHeaderSize = 24;
inline constexpr std::uint32_t kHeaderObjectFixedSize = 30;  // object header + count + two reserved bytes
inline constexpr std::uint32_t kDataObjectHeadSize = 50;
inline constexpr std::uint32_t kFilePropertiesSize = 104;

struct ObjectHeader {
    Guid guid;
    std::uint64_t size = 0;
    static ObjectHeader Read(ByteCursor& c);
};

// Field offsets inside the file properties object, for readers that patch them in place.
namespace fp {
inline constexpr std::uint32_t FileId = 24, FileSize = 40, CreationDate = 48, DataPacketsCount = 56, PlayDuration = 64,
                               SendDuration = 72, Preroll = 80, Flags = 88, MinPacketSize = 92, MaxPacketSize = 96,
                               MaxBitrate = 100;
inline constexpr std::uint32_t FlagBroadcast = 0x01, FlagSeekable = 0x02;
}  // namespace fp

struct FileProperties {
    Guid fileId;
    std::uint64_t fileSize = 0, creationDate = 0, dataPacketsCount = 0;
    std::uint64_t playDuration = 0, sendDuration = 0, preroll = 0;  // 100 ns, 100 ns, ms
    std::uint32_t flags = 0, minPacketSize = 0, maxPacketSize = 0, maxBitrate = 0;
    // c is positioned at the start of the object (its GUID).
    static FileProperties Read(ByteCursor c);
};

struct StreamProperties {
    Guid streamType, errorCorrectionType;
    std::uint64_t timeOffset = 0;
    std::uint16_t flags = 0;
    std::vector<std::uint8_t> typeSpecific, errorCorrection;
    int StreamNumber() const { return flags & 0x7F; }
    bool Encrypted() const { return (flags & 0x8000) != 0; }
    bool IsAudio() const { return streamType == guids::AudioMedia; }
    bool IsVideo() const { return streamType == guids::VideoMedia; }
    static StreamProperties Read(ByteCursor c);
};

// The 50-byte head of the data object.
namespace dobj {
inline constexpr std::uint32_t Size = 16, FileId = 24, TotalPackets = 40, Reserved = 48;
}
struct DataObjectHead {
    std::uint64_t size = 0, totalPackets = 0;
    Guid fileId;
    static DataObjectHead Read(ByteCursor c);
};

// One header sub-object found by the walk; offset is from the start of the header object.
struct SubObject {
    std::uint64_t offset = 0;
    Guid guid;
    std::uint64_t size = 0;
};

enum class WalkEnd {
    Complete,       // the walk reached the end of the header object exactly
    SizeTooSmall,   // a sub-object declared less than 24 bytes (0 included): the walk stops there
    RunsPastEnd,    // a sub-object's size runs past the end of the header object
    BytesMissing,   // the header object is larger than the bytes held
    TrailingBytes,  // fewer than 24 bytes were left over at the end
};

struct HeaderWalk {
    std::uint64_t headerSize = 0;     // as declared by the header object
    std::uint32_t declaredCount = 0;  // number of sub-objects the header says it holds
    std::vector<SubObject> objects;   // every sub-object that lies whole inside the header
    WalkEnd end = WalkEnd::Complete;
    const SubObject* Find(const Guid& g) const;
    std::vector<const SubObject*> FindAll(const Guid& g) const;
};

// Walks the sub-objects of a header object held in `header` (starting with its GUID). It ends in
// every case: at the end of the header object or of the bytes held, or at the first sub-object
// whose size is below 24 or runs past the end. Throws TruncatedData when even the 30-byte
// fixed part is missing.
HeaderWalk WalkHeader(std::span<const std::uint8_t> header);

// The header object's size when its size field cannot be trusted: its sub-objects are walked
// from offset 30, each by its own size, until a step lands exactly on the Data Object GUID.
// `bytes` starts with the header object and holds what follows it. Returns the offset of the
// data object, or nothing when a sub-object is below 24 bytes, runs past the bytes held, or
// the walk never meets the data object.
std::optional<std::uint64_t> HeaderSizeFromChildren(std::span<const std::uint8_t> bytes);
// Whether the data object begins `size` bytes into `bytes`.
bool DataObjectAt(std::span<const std::uint8_t> bytes, std::uint64_t size);

// The first three bytes of every chunk-sized block.
enum class BlockKind { Good, Index, Bad };
BlockKind ClassifyBlock(std::span<const std::uint8_t> block);
// The stricter four-byte index marker 90 08 00 33.
bool IsIndexMarker4(std::span<const std::uint8_t> block);
inline constexpr std::uint8_t kChunkSignature[3] = {0x82, 0x00, 0x00};

// Fixed field positions chosen by the length type flags byte alone (chunks with the
// 82 00 00 signature, sequence absent, packet length a word where present).
struct KnownLayout {
    std::uint8_t lengthTypeFlags;
    int packetLengthAt;  // -1 when absent
    int paddingAt;       // -1 when absent
    int paddingWidth;    // 0, 1 or 2
    int sendTimeAt;
    int durationAt;
    int mediaOffsetAt;   // first payload's offset into media object
};
const KnownLayout* FindKnownLayout(std::uint8_t lengthTypeFlags);
std::span<const KnownLayout> KnownLayouts();

}  // namespace mendery
