#pragma once
// clipwright's reader: one ASF input with its header held in memory and its packets read in
// order through a window buffer. Packets that do not parse are dropped, except for the payloads
// that lie whole before their damage (or before the cut of a file cut inside a packet); with resync the reader
// searches byte by byte for the next packet start after damage instead of stepping on the grid.
// Files whose header was never finalised (sizes 0, data object size 50) are read to the end.
#include <atomic>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "asf/AsfObjects.h"
#include "asf/AsfPacket.h"
#include "asf/BinaryFile.h"
#include "asf/PageCopy.h"
#include "asf/SideThread.h"

namespace mendery {

// A file clipwright refuses to work on; the text says why.
struct ClipRefusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A stop asked for by a signal: holds the signal's number (SIGINT, SIGTERM), 0 while none came.
using ClipStopFlag = std::atomic<int>;
// Thrown where a running job notices the stop.
struct ClipStopped {
    int signal = 0;
};
inline void CheckClipStop(const ClipStopFlag* stop) {
    if (!stop) return;
    if (const int s = stop->load(std::memory_order_relaxed)) throw ClipStopped{s};
}

struct ClipStream {
    int number = 0;
    Guid type;
    std::vector<std::uint8_t> typeSpecific;
    bool IsVideo() const { return type == guids::VideoMedia; }
};

struct SourcePacket {
    std::uint64_t offset = 0;             // in the file
    std::span<const std::uint8_t> bytes;  // exactly PacketSize() bytes, valid until the next read
    ParsedPacket parsed;  // ok is false for a damaged packet: its payloads are those before the damage
    // Bytes the file really holds: less than the packet size for the tail of a file cut in
    // the middle of a packet (the rest reads as zeros; payloads reaching into it are incomplete).
    std::uint64_t validBytes = 0;
};

// Bytes of a packet lent out in the reader's window; `window` tells the windows read apart
// (packets lent of one window lie one after the other where the file has them so).
struct LentBytes {
    std::span<std::uint8_t> bytes;
    std::uint64_t window = 0;
};

struct SourceStats {
    std::uint64_t goodPackets = 0, droppedBlocks = 0, resyncs = 0, skippedBytes = 0;
};

class ClipSource {
public:
    // The largest header object accepted (it is held in memory whole).
    static constexpr std::uint64_t kMaxHeaderSize = 4u << 20;
    static constexpr std::uint32_t kMaxPacketSize = 65536;

    // Opens and checks the file; throws ClipRefusal (not usable) or IoError. A stop is looked
    // at while the resync search runs.
    explicit ClipSource(const std::string& path, bool resync = false, const ClipStopFlag* stop = nullptr);

    const std::string& Path() const { return path_; }
    std::span<const std::uint8_t> Header() const { return header_; }
    const HeaderWalk& Walk() const { return walk_; }
    const FileProperties& Properties() const { return props_; }
    std::uint32_t PacketSize() const { return props_.minPacketSize; }
    // The preroll the times are counted from; a value beyond ten minutes is damage and counts as 0.
    std::uint64_t PrerollMs() const { return props_.preroll <= kMaxPrerollMs ? props_.preroll : 0; }
    static constexpr std::uint64_t kMaxPrerollMs = 600000;
    const std::vector<ClipStream>& Streams() const { return streams_; }
    int VideoStream() const { return videoStream_; }  // 0 when there is none
    // Whether a payload starts a key frame of the video stream. For the codecs whose picture
    // header is known (WMV1, WMV2, MPEG-4 v2/v3) the frame's first bits decide: some writers
    // mark every frame as a key frame, others none. Other codecs: the payload's key flag.
    bool IsKeyFrameStart(const PacketPayload& pl, std::span<const std::uint8_t> packet) const;
    bool KnownStream(int number) const;
    std::uint64_t DataStart() const { return dataStart_; }
    std::uint64_t DataEnd() const { return dataEnd_; }
    std::uint64_t GridPackets() const { return (dataEnd_ - dataStart_) / PacketSize(); }
    const SourceStats& Stats() const { return stats_; }
    // Where reading has got to, in bytes of the packet area (for progress).
    std::uint64_t BytesRead() const { return pos_ > dataStart_ ? pos_ - dataStart_ : 0; }
    std::uint64_t DataBytes() const { return dataEnd_ - dataStart_; }
    // What the reader had to leave out of a damaged header (one line each), to tell the user.
    const std::vector<std::string>& HeaderNotes() const { return headerNotes_; }
    void ResetStats() { stats_ = {}; }

    // Sequential reading from the packet with this grid number.
    void Rewind(std::uint64_t gridIndex = 0);
    // The next packet that parses, or false at the end of the packet area.
    bool Next(SourcePacket& out);
    // The send time of the first packet at or after this grid number that parses (within a few).
    std::optional<std::uint32_t> SendTimeNear(std::uint64_t gridIndex);
    // The bytes of the packet Next just handed out, where they were read, for a writer that
    // changes them and writes them out from there: empty for the tail of a cut file (not read
    // in place). They stay put until a packet of a later window is handed out this way, and a
    // later read that goes back to them reads the file again.
    LentBytes Writable(const SourcePacket& packet);

private:
    std::span<const std::uint8_t> Window(std::uint64_t pos, std::uint64_t n);
    // `validBytes` of `block` are the file's own; less than the packet size at a cut tail.
    bool Acceptable(std::span<const std::uint8_t> block, std::uint64_t validBytes, ParsedPacket& parsed, bool strict);
    // A packet that does not parse whole: true when payloads lie whole before its damage (at
    // a cut tail, before the cut), which are then all `parsed` keeps.
    bool KeepPayloadsBeforeDamage(ParsedPacket& parsed, std::uint64_t validBytes, bool cutTail) const;
    bool LooksLikeObjectAfterData(std::span<const std::uint8_t> block) const;
    bool ReadAt(std::uint64_t pos, SourcePacket& out, bool strict);
    // The resync search from byte p on; leaves pos_ at the packet found or the end.
    void SearchFrom(std::uint64_t p);
    // Where the first run of packets starts, in bytes after the grid's start, when it does not
    // start on the grid (bytes inserted or lost in front of the packets shift every one of
    // them); empty when the packets start on the grid or no run of them is found near the start.
    std::optional<std::uint64_t> OffGridShift();
    bool PacketRunAt(std::uint64_t pos);
    // A header walk that stopped at a damaged size: the objects after it are looked for by
    // their GUIDs, and those that lie whole inside the header are taken.
    void SalvageHeaderObjects();
    void ReadStreams();
    bool KnownStreamNumber(int number) const;

    std::string path_;
    bool resync_ = false;
    const ClipStopFlag* stop_ = nullptr;
    std::vector<std::string> headerNotes_;
    BinaryFile file_;
    std::uint64_t fileSize_ = 0;
    std::vector<std::uint8_t> header_;
    HeaderWalk walk_;
    FileProperties props_;
    std::vector<ClipStream> streams_;
    int videoStream_ = 0;
    enum class PictureHeader { Unknown, Wmv2, Msmpeg4 } pictureHeader_ = PictureHeader::Unknown;
    std::uint64_t dataStart_ = 0, dataEnd_ = 0;

    // The packet style the file establishes with its first good packet; resync candidates must match it.
    bool styleKnown_ = false, styleEc_ = false;
    std::uint8_t stylePropertyFlags_ = 0;

    // Three window buffers: the window, the one whose bytes Writable handed out last (they may
    // still wait there to be written; it may be the window itself), and the next window, read
    // ahead on a side thread into a buffer that is neither while the window is used.
    BlockBuffer windows_[3];
    std::vector<std::uint8_t> tail_;
    int window_ = 0;            // the buffer that holds the window
    int lentBuffer_ = -1;       // the buffer Writable handed out bytes of last, or -1
    std::uint64_t lentEnd_ = 0;  // file position after the last bytes handed out of the window
    std::uint64_t windowStart_ = 0, windowLength_ = 0;
    std::uint64_t windowsRead_ = 0;
    bool probing_ = false;  // random probes read a few packets, not a whole window
    std::uint64_t pos_ = 0;
    bool searchPending_ = false;  // the next read searches from pos_ (after a damaged packet)
    SourceStats stats_;

    // The window read ahead: where the window after this one starts when the packets go on
    // in step, read while this one is used. A failed read is thrown only when that window is
    // asked for.
    struct Ahead {
        int buffer = -1;  // -1: none under way
        std::uint64_t start = 0, length = 0;
        std::exception_ptr failure;
    };
    // Reads the window at `pos` into a free buffer, or takes it from the read ahead.
    void NewWindow(std::uint64_t pos, std::uint64_t want);
    // Waits for the read ahead; true when it read `want` bytes (or to the end) from `pos`.
    bool TakeAhead(std::uint64_t pos, std::uint64_t want);
    void StartAhead();
    // A buffer that is neither the window nor the one whose lent bytes may wait, sized alike.
    int FreeBuffer();
    Ahead ahead_;
    // Last: it is joined before the buffers and the read-ahead state go.
    SideThread side_;
};

}  // namespace mendery
