#pragma once
// What clipwright does with its arguments: basic repair of one file, join of several, or cut
// into pieces. Every mode streams packets from a ClipSource through a ClipEmitter, which keeps
// the payloads that belong to the wanted time range, copies whole packets unchanged where it
// keeps all of their payloads (rebuilding only boundary packets), shifts presentation and send
// times, and feeds the key frames to the index.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "clipwright/ClipArgs.h"
#include "clipwright/ClipSource.h"
#include "clipwright/ClipWriter.h"
#include "asf/ByteCursor.h"

namespace mendery {

// One stretch of a source's timeline that goes to the output.
struct ClipRange {
    std::uint64_t fromPts = 0;  // keep objects presented at or after (ms, preroll included)
    std::uint64_t toPts = std::numeric_limits<std::uint64_t>::max();  // and before
    std::uint64_t originPts = 0;  // the source time that becomes the output time `outBase`
    bool waitForKeyFrame = true;  // video objects before the range's first key frame are dropped
};

struct ClipCounters {
    std::uint64_t packetsIn = 0, packetsCopied = 0, packetsRebuilt = 0, packetsSkipped = 0;
};

class ClipEmitter {
public:
    ClipEmitter(ClipWriter& writer, std::uint64_t outPreroll, int videoStream);

    void BeginRange(ClipSource& src, const ClipRange& range);
    void Emit(const SourcePacket& packet);
    // Ends the range; the output timeline moves on by its length.
    void EndRange();

    std::uint64_t OutputLengthMs() const { return outLength_; }  // preroll not included
    std::uint64_t LastSendMs() const { return lastSend_; }
    const ClipCounters& Counters() const { return counters_; }

private:
    struct ObjectDecision { std::uint32_t number; bool keep; };
    struct StreamClock { bool seen = false; std::uint64_t last = 0, step = 0; };
    void TrackEnd(int stream, std::uint64_t pts);
    // The packet's send time, unless it jumped alone (damage): then the one its payloads' times
    // suggest, or the previous packet's.
    std::uint32_t SourceSendTime(const ParsedPacket& p);
    // A presentation time more than kMaxLead from its packet's send time is damage: it does not
    // count for the length or the index.
    bool Plausible(std::uint64_t pts, std::uint32_t send) const;
    static constexpr std::int64_t kMaxLead = 30000;
    void Write(std::span<std::uint8_t> packet, const ParsedPacket& parsed, std::uint32_t sendTime);
    // Send and presentation times, object numbers and the packet length set for the output,
    // and the packet's key frames indexed: all but writing it out.
    void Patch(std::span<std::uint8_t> packet, const ParsedPacket& parsed, std::uint32_t sendTime);
    void RenumberObjects(BytePatcher& w, const ParsedPacket& p);
    // Feeds the index: key frames of the video stream (with the packets they span), or for
    // files without video the first object start of every second.
    void IndexPayload(const PacketPayload& pl, std::span<const std::uint8_t> packet, std::uint32_t packetNumber,
                      std::uint64_t timeMs, bool plausible);

    ClipWriter& writer_;
    std::uint64_t outPreroll_;
    int video_;
    ClipRange range_;
    ClipSource* source_ = nullptr;
    std::uint64_t inPreroll_ = 0;
    std::uint32_t packetSize_ = 0;
    std::int64_t shift_ = 0;
    bool keySeen_ = false;
    std::map<int, ObjectDecision> objects_;
    std::map<int, StreamClock> clocks_;
    std::uint64_t rangeEnd_ = 0;  // latest end (source time) of an object kept in this range
    bool keptAny_ = false;
    std::uint64_t outLength_ = 0;
    std::uint32_t lastSend_ = 0;
    // Media object numbers continue across ranges (joined files, cut pieces), so that no reader
    // takes the first object of a range for a fragment of the last one before it.
    std::array<bool, 128> objectDeltaKnown_{}, haveLastObject_{};
    std::array<std::uint32_t, 128> objectDelta_{}, lastObject_{};
    bool haveSourceSend_ = false;
    std::int64_t lastSourceSend_ = 0;
    bool openKey_ = false;
    std::uint32_t openKeyObject_ = 0, openKeyPacket_ = 0;
    std::uint64_t lastIndexedSecond_ = std::numeric_limits<std::uint64_t>::max();
    std::vector<std::uint8_t> packet_;
    std::vector<bool> keep_;  // which of the packet's payloads go out; reused packet after packet
    ClipCounters counters_;
};

// Rebuilds a packet keeping only the payloads marked in `keep` (multiple-payload packets):
// same error correction bytes and property flags, payload headers and bytes copied, a padding
// length field sized to what is left. Empty when the kept payloads do not fit.
std::vector<std::uint8_t> RebuildPacket(std::span<const std::uint8_t> packet, const ParsedPacket& parsed,
                                        const std::vector<bool>& keep, std::uint32_t packetSize);

// What a job tells and asks besides its log lines and messages.
struct ClipJobHooks {
    // Read between packets and copy slices: once it holds a signal number, the job ends,
    // removes its partial output, leaves an existing output as it was and returns 128 + it.
    const ClipStopFlag* stop = nullptr;
    // How far the job has got, in units of its own (0 <= done <= total); called often.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// Runs one clipwright job. Log lines go to `say`, refusals, errors and warnings to `warn`.
// Returns the exit code: 0 done; 1 refused, nothing usable or nothing to write; 3 an input
// cannot be opened or read, or the output cannot be written; 128 + signal when stopped. The
// output is written under a temporary name beside it and takes its name only when complete.
int RunClipJob(const ClipArgs& args, const std::function<void(const std::string&)>& say,
               const std::function<void(const std::string&)>& warn, const ClipJobHooks& hooks = {});

// Why two inputs cannot be joined (empty when they can): packet sizes, stream layouts and, when
// asked, bitrates.
std::string JoinIncompatibility(const ClipSource& first, const ClipSource& other, bool sameBitrate);

}  // namespace mendery
