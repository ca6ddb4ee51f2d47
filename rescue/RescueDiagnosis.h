#pragma once
// What the rescue learns about a file before it chooses its tools: the survey of InspectAsf,
// read as findings, each with one line for the user.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "asf/AsfInfo.h"

namespace mendery {

struct RescueFindings {
    bool headerUnreadable = false;   // no header, data object or packet size to work from
    bool headerPresent = false;      // a header object followed by a data object: its fields can be mended
    bool headerSizeDamaged = false;  // the header object's size field contradicts its sub-objects
    bool objectCountWrong = false;   // the header's sub-object count field contradicts its sub-objects
    bool packetSizeSuspect = false;  // the packets do not parse at the header's packet size from the first on
    bool streamNumbersWrong = false; // packets carry a stream number the header has no stream for
    bool gridBroken = false;         // packets found off the packet grid (bytes inserted or lost)
    std::int64_t shiftedPacketAt = -1;
    std::int64_t damagedPackets = 0;
    // Damaged packets whose fault is their two-byte packet length field (a flipped bit): with
    // the field taken out (the packet size gives the length) they parse. Their indexes, from
    // the first packet on.
    std::vector<std::int64_t> lengthFieldPackets;
    bool packetsSigned = false;      // the packets begin with the 82 00 00 signature (error correction data)
    bool indexPresent = false;
    bool seekableFlag = false;
    bool durationsWrong = false;     // play/send duration fields against the packets' send times
    bool unfinalised = false;        // data object size or packet count 0: the recording was not closed
    bool truncated = false;          // the file is shorter than its header says
    bool packetsPastDataEnd = false; // packets follow where the data object's size says it ends
    bool hasCodecList = false;
    bool stopped = false;            // the survey was stopped
    std::vector<std::string> lines;  // one finding per line, in the program's language
    // A contradiction between the header's fields and the file that the header mend can settle.
    bool HeaderFieldsContradict() const {
        // An unreadable header that is still followed by a data object may be one damaged field or
        // GUID away from readable: the mend is tried before a reference is asked for.
        return headerPresent &&
               (headerUnreadable || headerSizeDamaged || objectCountWrong || packetSizeSuspect || streamNumbersWrong);
    }
    bool AnyDamage() const {
        return headerSizeDamaged || objectCountWrong || packetSizeSuspect || streamNumbersWrong || gridBroken || damagedPackets > 0 || !indexPresent || !seekableFlag ||
               durationsWrong || unfinalised || truncated || packetsPastDataEnd;
    }
};

// How far the duration fields may be from the packets' send times before they count as wrong.
inline constexpr std::int64_t kDurationSlackMs = 2000;

RescueFindings DiagnoseAsf(const std::string& path, const std::function<bool()>& stopRequested = {});
// The findings of a survey already made (the grid probe reads `info.path`).
RescueFindings ReadFindings(const AsfInfo& info);

// Looks for packets that start off the packet grid after each run of damaged packets: two
// packets in a row that parse, starting at a byte that is not on the grid. The offset of the
// first such packet, or -1.
std::int64_t FindShiftedPacket(const AsfInfo& info);

// The damaged packets of `info` that parse once their two-byte packet length field is taken
// out, as the advanced repair takes it out; at most `limit` of them are looked at.
std::vector<std::int64_t> FindLengthFieldPackets(const AsfInfo& info, std::size_t limit = 1 << 16);

// Whether a packet of the file follows the end the data object's size field gives (packets
// were added, e.g. copied twice, and the field not grown): every tool that trusts the field
// leaves them out.
bool PacketsPastDataEnd(const AsfInfo& info);

}  // namespace mendery
