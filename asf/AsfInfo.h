#pragma once
// Diagnosis of an ASF file: header objects, streams, file properties and a packet survey
// with every damaged packet, for a user choosing how to repair it.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "asf/AsfObjects.h"

namespace mendery {

struct StreamInfo {
    int number = 0;
    std::string kind;    // "audio", "video" or the type GUID's name
    std::string codec;   // FourCC for video, "0x0161" style format tag for audio
    std::string detail;  // "320x240", "44100 Hz 2 ch"
    bool encrypted = false;
};

struct PacketDamage {
    std::int64_t index = 0;
    std::int64_t offset = 0;
    std::string reason;
};

struct AsfInfo {
    std::string path;
    std::int64_t fileSize = 0;
    std::string problem;  // why the file could not be read at all (Chinese text), or empty
    bool stopped = false; // the survey ended early because a stop was requested
    std::uint64_t headerSize = 0;          // where the header object ends (see below)
    std::uint64_t headerSizeField = 0;     // what its size field says
    bool headerSizeFromChildren = false;   // the field is damaged; headerSize is where the sub-objects lead
    std::uint32_t declaredObjectCount = 0;
    WalkEnd headerWalkEnd = WalkEnd::Complete;
    std::vector<SubObject> headerObjects;
    std::optional<FileProperties> fileProperties;
    std::vector<StreamInfo> streams;
    std::optional<DataObjectHead> dataHead;
    std::int64_t dataOffset = -1;

    // Packet survey over the chunk area.
    std::int64_t packets = 0;              // chunk-sized blocks read
    std::int64_t signatureGood = 0;        // begin 82 00 00
    std::int64_t parsedWithoutSignature = 0;  // parse, but lack the 82 00 00 signature
    std::int64_t damaged = 0;              // neither
    std::int64_t shortLast = 0;            // a final block shorter than the packet size
    std::int64_t indexOffset = -1;         // block that starts the index object, if any
    std::int64_t keyFrames = 0;
    std::uint32_t firstSendTime = 0, lastSendTime = 0;
    std::map<int, std::int64_t> payloadsPerStream;
    std::vector<PacketDamage> damage;      // every damaged packet (index, offset, reason)
};

// How often the survey asks whether to stop: every this many packets.
inline constexpr std::int64_t kInspectStopCheckPackets = 64;

// Reads the file's header and surveys its packets. `stopRequested`, when given, is called
// before the first packet and then every kInspectStopCheckPackets packets (a host lets its
// pending events run there); when it returns true the survey ends, `stopped` is set and what
// was found so far is returned.
AsfInfo InspectAsf(const std::string& path, const std::function<bool()>& stopRequested = {});

// How the header walk ended, in the program's language.
const char* DescribeWalkEnd(WalkEnd end);

}  // namespace mendery
