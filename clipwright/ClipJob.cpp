#include "clipwright/ClipJob.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "asf/ByteCursor.h"
#include "asf/StagedOutput.h"

namespace mendery {
namespace {

constexpr std::uint64_t kNoEnd = std::numeric_limits<std::uint64_t>::max();

std::uint32_t ClampU32(std::int64_t v) {
    if (v < 0) return 0;
    if (v > 0xFFFFFFFFll) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(v);
}

// The presentation time an object is filtered by: its own, or its packet's send time.
std::uint64_t ObjectTime(const PacketPayload& pl, const ParsedPacket& p, std::uint64_t preroll) {
    return pl.hasPresentationTime ? pl.presentationTime : p.sendTime + preroll;
}

bool StartsObject(const PacketPayload& pl) { return pl.compressed || pl.offsetIntoMediaObject == 0; }

// Where a payload's header begins: after the payload flags byte for the first one, after the
// previous payload's bytes for the others, after the send time and duration for a lone one.
std::uint64_t FirstPayloadStart(const ParsedPacket& p) { return p.multiplePayloads ? p.payloadFlagsAt + 1 : p.sendTimeAt + 6; }
std::uint64_t NextPayloadStart(const PacketPayload& pl) { return pl.dataAt + pl.dataLength; }

std::vector<std::uint64_t> PayloadStarts(const ParsedPacket& p) {
    std::vector<std::uint64_t> out;
    std::uint64_t at = FirstPayloadStart(p);
    for (const auto& pl : p.payloads) {
        out.push_back(at);
        at = NextPayloadStart(pl);
    }
    return out;
}

}  // namespace

std::vector<std::uint8_t> RebuildPacket(std::span<const std::uint8_t> packet, const ParsedPacket& p,
                                        const std::vector<bool>& keep, std::uint32_t packetSize) {
    if (!p.multiplePayloads || keep.size() != p.payloads.size()) return {};
    const unsigned lenType = (p.payloadFlags >> 6) & 3, lenWidth = LengthTypeWidth(lenType);
    if (lenWidth == 0) return {};
    const auto starts = PayloadStarts(p);
    const std::uint64_t prefix = p.hasErrorCorrection ? p.lengthTypeFlagsAt : 0;
    std::uint64_t body = 0;
    unsigned count = 0;
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (!keep[i]) continue;
        body += (p.payloads[i].dataAt - starts[i]) + p.payloads[i].dataLength;
        ++count;
    }
    if (count == 0 || count > 63) return {};
    const std::uint64_t fixed = prefix + 2 + 6 + 1 + body;  // flags bytes, send time + duration, payload flags
    unsigned padWidth;
    if (fixed == packetSize) padWidth = 0;
    else if (fixed + 1 <= packetSize && packetSize - fixed - 1 <= 0xFF) padWidth = 1;
    else if (fixed + 2 <= packetSize) padWidth = 2;
    else return {};
    const std::uint64_t padding = packetSize - fixed - padWidth;

    std::vector<std::uint8_t> out(packetSize, 0);
    BytePatcher w(out);
    std::uint64_t at = 0;
    std::copy(packet.begin(), packet.begin() + prefix, out.begin());
    at = prefix;
    const std::uint8_t padType = padWidth == 0 ? 0 : padWidth == 1 ? 1 : 2;
    w.U8At(at++, static_cast<std::uint8_t>(0x01 | (padType << 3)));
    w.U8At(at++, p.propertyFlags);
    w.ByLengthTypeAt(at, padType, static_cast<std::uint32_t>(padding));
    at += padWidth;
    std::copy(packet.begin() + p.sendTimeAt, packet.begin() + p.sendTimeAt + 6, out.begin() + at);
    at += 6;
    w.U8At(at++, static_cast<std::uint8_t>((lenType << 6) | count));
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (!keep[i]) continue;
        const auto& pl = p.payloads[i];
        const std::uint64_t headerEnd = pl.dataAt - lenWidth;
        std::copy(packet.begin() + starts[i], packet.begin() + headerEnd, out.begin() + at);
        at += headerEnd - starts[i];
        w.ByLengthTypeAt(at, lenType, pl.dataLength);
        at += lenWidth;
        std::copy(packet.begin() + pl.dataAt, packet.begin() + pl.dataAt + pl.dataLength, out.begin() + at);
        at += pl.dataLength;
    }
    return out;
}

ClipEmitter::ClipEmitter(ClipWriter& writer, std::uint64_t outPreroll, int videoStream)
    : writer_(writer), outPreroll_(outPreroll), video_(videoStream) {}

void ClipEmitter::BeginRange(ClipSource& src, const ClipRange& range) {
    range_ = range;
    source_ = &src;
    inPreroll_ = src.PrerollMs();
    packetSize_ = src.PacketSize();
    shift_ = static_cast<std::int64_t>(outPreroll_ + outLength_) - static_cast<std::int64_t>(range.originPts);
    keySeen_ = !range.waitForKeyFrame || video_ == 0;
    objects_.clear();
    clocks_.clear();
    rangeEnd_ = 0;
    keptAny_ = false;
    openKey_ = false;
    haveSourceSend_ = false;
    objectDeltaKnown_.fill(false);
}

std::uint32_t ClipEmitter::SourceSendTime(const ParsedPacket& p) {
    std::int64_t send = p.sendTime;
    std::optional<std::int64_t> suggested;
    for (const auto& pl : p.payloads)
        if (pl.hasPresentationTime) {
            const std::int64_t t = static_cast<std::int64_t>(pl.presentationTime) - static_cast<std::int64_t>(inPreroll_);
            if (!suggested || t < *suggested) suggested = t;
        }
    auto near = [](std::int64_t a, std::int64_t b) { return (a > b ? a - b : b - a) <= kMaxLead; };
    if (suggested) {
        if (!near(send, *suggested) && (!haveSourceSend_ || !near(send, lastSourceSend_))) {
            if (!haveSourceSend_ || near(*suggested, lastSourceSend_)) send = std::max<std::int64_t>(*suggested, 0);
            else send = lastSourceSend_;
        }
    } else if (haveSourceSend_ && !near(send, lastSourceSend_)) {
        send = lastSourceSend_;  // nothing in the packet confirms the jump
    }
    haveSourceSend_ = true;
    lastSourceSend_ = send;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(send, 0xFFFFFFFFll));
}

bool ClipEmitter::Plausible(std::uint64_t pts, std::uint32_t send) const {
    const std::int64_t lead = static_cast<std::int64_t>(pts) - static_cast<std::int64_t>(inPreroll_) - send;
    return lead >= -kMaxLead && lead <= kMaxLead;
}

void ClipEmitter::TrackEnd(int stream, std::uint64_t pts) {
    auto& c = clocks_[stream];
    if (c.seen && pts > c.last) c.step = pts - c.last;
    if (!c.seen || pts > c.last) c.last = pts;
    c.seen = true;
    rangeEnd_ = std::max(rangeEnd_, pts + c.step);
    keptAny_ = true;
}

void ClipEmitter::Emit(const SourcePacket& sp) {
    ++counters_.packetsIn;
    const ParsedPacket& p = sp.parsed;
    const std::uint32_t send = SourceSendTime(p);
    std::vector<bool>& keep = keep_;
    keep.assign(p.payloads.size(), false);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < p.payloads.size(); ++i) {
        const auto& pl = p.payloads[i];
        const std::uint64_t pts = pl.hasPresentationTime ? pl.presentationTime : send + inPreroll_;
        const bool whole = pl.dataAt + pl.dataLength <= sp.validBytes;
        bool k;
        if (!whole) {
            k = false;
            if (!pl.compressed) objects_[pl.streamNumber] = {pl.mediaObjectNumber, false};
        } else if (StartsObject(pl)) {
            k = pts >= range_.fromPts && pts < range_.toPts;
            if (k && pl.streamNumber == video_ && !keySeen_) {
                if (source_->IsKeyFrameStart(pl, sp.bytes)) keySeen_ = true;
                else k = false;
            }
            if (!pl.compressed) objects_[pl.streamNumber] = {pl.mediaObjectNumber, k};
            if (k && Plausible(pts, send)) TrackEnd(pl.streamNumber, pts);
        } else {
            // A fragment goes where the start of its object went; one whose start was never
            // seen cannot be decoded.
            auto it = objects_.find(pl.streamNumber);
            k = it != objects_.end() && it->second.number == pl.mediaObjectNumber && it->second.keep;
        }
        keep[i] = k;
        if (k) ++kept;
    }
    if (kept == 0) {
        ++counters_.packetsSkipped;
        return;
    }
    // A damaged packet (not parsing whole) holds more than the payloads read from it: always
    // rebuilt around them, never copied.
    if (kept < p.payloads.size() || !p.ok) {
        auto rebuilt = RebuildPacket(sp.bytes, p, keep, packetSize_);
        if (!rebuilt.empty()) {
            ParsedPacket rp = ParsePacket(rebuilt, packetSize_);
            if (rp.ok) {
                ++counters_.packetsRebuilt;
                packet_ = std::move(rebuilt);
                Write(packet_, rp, send);
                return;
            }
        }
    }
    if ((kept < p.payloads.size() && sp.validBytes < packetSize_) || !p.ok) {
        ++counters_.packetsSkipped;  // incomplete payloads that could not be left out
        return;
    }
    ++counters_.packetsCopied;
    // Patched where the reader read it and written from there: the bytes are not copied in
    // this process at all. The tail of a cut file (read apart) is copied.
    if (const LentBytes lent = source_->Writable(sp); !lent.bytes.empty()) {
        Patch(lent.bytes, p, send);
        writer_.WritePacketInPlace(lent);
        return;
    }
    packet_.assign(sp.bytes.begin(), sp.bytes.end());
    Write(packet_, p, send);
}

void ClipEmitter::Write(std::span<std::uint8_t> packet, const ParsedPacket& p, std::uint32_t sendTime) {
    Patch(packet, p, sendTime);
    writer_.WritePacket(packet);
}

void ClipEmitter::Patch(std::span<std::uint8_t> packet, const ParsedPacket& p, std::uint32_t sendTime) {
    BytePatcher w(packet);
    // Some writers (GStreamer's) store a packet length without the padding; most readers take
    // the length as including it and then find the padding twice. With multiple payloads (each
    // with its own length) the standard reading is restored by stating the full packet size.
    if (p.explicitPacketLength && p.multiplePayloads && p.packetLength < packetSize_ &&
        std::uint64_t(p.packetLength) + p.paddingLength == packetSize_ && p.usedEnd <= p.packetLength &&
        (p.packetLengthWidth >= 2 || packetSize_ <= 0xFF))
        w.ByLengthTypeAt(p.packetLengthAt, p.packetLengthWidth == 4 ? 3 : p.packetLengthWidth, packetSize_);
    const std::int64_t sendShift = shift_ + static_cast<std::int64_t>(inPreroll_) - static_cast<std::int64_t>(outPreroll_);
    std::uint32_t send = std::max(lastSend_, ClampU32(static_cast<std::int64_t>(sendTime) + sendShift));
    lastSend_ = send;
    w.U32At(p.sendTimeAt, send);
    RenumberObjects(w, p);
    const std::uint32_t packetNumber = writer_.PacketsWritten();
    for (const auto& pl : p.payloads) {
        std::uint64_t newPts = send + outPreroll_;
        if (pl.hasPresentationTime) {
            newPts = ClampU32(static_cast<std::int64_t>(pl.presentationTime) + shift_);
            if (pl.compressed) w.ByLengthTypeAt(pl.presentationTimeAt, (p.propertyFlags >> 2) & 3, static_cast<std::uint32_t>(newPts));
            else w.U32At(pl.presentationTimeAt, static_cast<std::uint32_t>(newPts));
        }
        const bool plausible = !pl.hasPresentationTime || Plausible(pl.presentationTime, sendTime);
        IndexPayload(pl, packet, packetNumber, newPts > outPreroll_ ? newPts - outPreroll_ : 0, plausible);
    }
}

void ClipEmitter::RenumberObjects(BytePatcher& w, const ParsedPacket& p) {
    const unsigned objectType = (p.propertyFlags >> 4) & 3;
    if (objectType == 0) return;
    const std::uint32_t mask = objectType == 1 ? 0xFF : objectType == 2 ? 0xFFFF : 0xFFFFFFFF;
    // Called for every packet written: the payload starts are walked, not collected.
    std::uint64_t start = FirstPayloadStart(p);
    for (const auto& pl : p.payloads) {
        const auto s = static_cast<std::size_t>(pl.streamNumber & 0x7F);
        if (!objectDeltaKnown_[s]) {
            objectDeltaKnown_[s] = true;
            objectDelta_[s] = haveLastObject_[s] ? lastObject_[s] + 1 - pl.mediaObjectNumber : 0;
        }
        const std::uint32_t number = (pl.mediaObjectNumber + objectDelta_[s]) & mask;
        // The object number follows the stream number byte at the start of the payload header.
        if (objectDelta_[s] != 0) w.ByLengthTypeAt(start + 1, objectType, number);
        lastObject_[s] = number;
        haveLastObject_[s] = true;
        start = NextPayloadStart(pl);
    }
}

void ClipEmitter::IndexPayload(const PacketPayload& pl, std::span<const std::uint8_t> packet, std::uint32_t packetNumber,
                               std::uint64_t timeMs, bool plausible) {
    if (video_ != 0) {
        if (pl.streamNumber != video_) return;
        if (StartsObject(pl)) {
            openKey_ = plausible && source_->IsKeyFrameStart(pl, packet);
            if (openKey_) {
                openKeyObject_ = pl.mediaObjectNumber;
                openKeyPacket_ = packetNumber;
                writer_.Index().AddKeyFrame(timeMs, packetNumber, 1);
            }
        } else if (openKey_ && pl.mediaObjectNumber == openKeyObject_) {
            writer_.Index().ExtendLast(packetNumber - openKeyPacket_ + 1);
        }
    } else if (plausible && StartsObject(pl) && timeMs / 1000 != lastIndexedSecond_) {
        // Without video every packet that starts an object is a place to seek to; one per second is enough.
        lastIndexedSecond_ = timeMs / 1000;
        writer_.Index().AddKeyFrame(timeMs, packetNumber, 1);
    }
}

void ClipEmitter::EndRange() {
    // The reader may be rewound or closed now: what waits in its window goes out first.
    writer_.WriteLent();
    if (!keptAny_) return;
    const std::uint64_t end = std::min(range_.toPts, rangeEnd_);
    const std::int64_t outEnd = static_cast<std::int64_t>(end) + shift_ - static_cast<std::int64_t>(outPreroll_);
    if (outEnd > static_cast<std::int64_t>(outLength_)) outLength_ = static_cast<std::uint64_t>(outEnd);
}

std::string JoinIncompatibility(const ClipSource& a, const ClipSource& b, bool sameBitrate) {
    const std::string names = "\"" + a.Path() + "\" 与 \"" + b.Path() + "\"";
    if (a.PacketSize() != b.PacketSize())
        return "无法合并 " + names + ": 数据包大小不同 (" + std::to_string(a.PacketSize()) + " 和 " +
               std::to_string(b.PacketSize()) + " 字节)";
    const auto &sa = a.Streams(), &sb = b.Streams();
    bool same = sa.size() == sb.size();
    for (std::size_t i = 0; same && i < sa.size(); ++i) {
        auto ta = sa[i].typeSpecific, tb = sb[i].typeSpecific;
        // The image size a video writer records is only a hint; it may differ between files of one layout.
        if (sa[i].IsVideo() && ta.size() >= 35 && tb.size() >= 35) {
            std::fill(ta.begin() + 31, ta.begin() + 35, 0);
            std::fill(tb.begin() + 31, tb.begin() + 35, 0);
        }
        same = sa[i].number == sb[i].number && sa[i].type == sb[i].type && ta == tb;
    }
    if (!same) return "无法合并 " + names + ": 流的布局不同 (流、编解码器或画面大小)";
    if (sameBitrate) {
        auto bitrates = [](const ClipSource& s) {
            std::vector<std::uint8_t> out;
            if (const SubObject* o = s.Walk().Find(guids::StreamBitrateProperties))
                out.assign(s.Header().begin() + o->offset + kObjectHeaderSize, s.Header().begin() + o->offset + o->size);
            return out;
        };
        if (a.Properties().maxBitrate != b.Properties().maxBitrate || bitrates(a) != bitrates(b))
            return "无法合并 " + names + ": 比特率不同 (" + std::to_string(a.Properties().maxBitrate) + " 和 " +
                   std::to_string(b.Properties().maxBitrate) + " bit/s)";
    }
    return {};
}

namespace {

// The last grid packet whose send time is at or before `sendMs` (0 when none is).
std::uint64_t PacketAtSendTime(ClipSource& src, std::int64_t sendMs) {
    if (sendMs <= 0) return 0;
    std::uint64_t lo = 0, hi = src.GridPackets();
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        auto t = src.SendTimeNear(mid);
        if (!t || *t > sendMs) hi = mid;
        else lo = mid;
    }
    return lo;
}

std::uint64_t Ms(double seconds) { return static_cast<std::uint64_t>(std::llround(seconds * 1000.0)); }

// Whether the video stream marks key frames at all (within its first packets). Some writers
// never set the flag; waiting for a key frame would then drop every picture.
bool MarksKeyFrames(ClipSource& src, const ClipStopFlag* stop) {
    if (src.VideoStream() == 0) return true;
    src.Rewind(0);
    SourcePacket p;
    for (int n = 0; n < 4000 && src.Next(p); ++n) {
        CheckClipStop(stop);
        for (const auto& pl : p.parsed.payloads)
            if (src.IsKeyFrameStart(pl, p.bytes)) return true;
    }
    return false;
}

// Reports progress as the share of the work done: `units` per piece of work, the current
// piece measured by how far its reader got through its byte span.
class ClipProgress {
public:
    ClipProgress(const ClipJobHooks& hooks, std::uint64_t pieces) : hooks_(hooks), total_(pieces * kUnits) {}
    void At(std::uint64_t piece, std::uint64_t done, std::uint64_t span) {
        if (!hooks_.progress) return;
        const std::uint64_t within = span == 0 ? 0 : std::min<std::uint64_t>(kUnits, done * kUnits / span);
        hooks_.progress(std::min(total_, piece * kUnits + within), total_);
    }
    void Finished() {
        if (hooks_.progress) hooks_.progress(total_, total_);
    }

private:
    static constexpr std::uint64_t kUnits = 10000;
    const ClipJobHooks& hooks_;
    std::uint64_t total_;
};

// Whether any object of the file is presented in start..end (ms, preroll included). A piece
// without one is left out whole: its look-back to a key frame would keep only what lies before it.
bool RangeHoldsObject(ClipSource& src, std::uint64_t start, std::uint64_t end, const ClipStopFlag* stop) {
    src.Rewind(PacketAtSendTime(src, static_cast<std::int64_t>(start - src.PrerollMs()) - 5000));
    SourcePacket p;
    while (src.Next(p)) {
        CheckClipStop(stop);
        if (end != kNoEnd && p.parsed.sendTime > end) return false;
        for (const auto& pl : p.parsed.payloads) {
            if (!StartsObject(pl)) continue;
            const std::uint64_t t = ObjectTime(pl, p.parsed, src.PrerollMs());
            if (t >= start && t < end) return true;
        }
    }
    return false;
}

void CutPiece(ClipSource& src, ClipEmitter& emitter, const ClipPiece& piece, bool istart, const ClipStopFlag* stop,
              ClipProgress& progress, std::uint64_t pieceIndex) {
    const std::uint64_t pre = src.PrerollMs();
    const std::uint64_t start = pre + Ms(piece.start);
    const std::uint64_t end = piece.duration ? start + Ms(*piece.duration) : kNoEnd;
    if (!RangeHoldsObject(src, start, end, stop)) return;
    std::uint64_t from = start, first = 0;
    const int video = src.VideoStream();
    if (!istart && video != 0) {
        // The last key frame at or before the start: look back from the start in growing steps.
        bool found = false;
        for (std::int64_t back = 5000;; back *= 4) {
            first = PacketAtSendTime(src, static_cast<std::int64_t>(start - pre) - back);
            src.Rewind(first);
            SourcePacket p;
            while (src.Next(p) && p.parsed.sendTime <= start) {
                CheckClipStop(stop);
                for (const auto& pl : p.parsed.payloads) {
                    if (!src.IsKeyFrameStart(pl, p.bytes)) continue;
                    const std::uint64_t t = ObjectTime(pl, p.parsed, pre);
                    if (t <= start && (!found || t > from)) {
                        from = t;
                        found = true;
                    }
                }
            }
            if (found || first == 0) break;
        }
        if (!found) from = start;
    } else {
        first = PacketAtSendTime(src, static_cast<std::int64_t>(start - pre) - 5000);
    }
    emitter.BeginRange(src, {from, end, from, !istart && MarksKeyFrames(src, stop)});
    const std::uint64_t firstByte = first * src.PacketSize();
    const std::uint64_t lastByte =
        end == kNoEnd ? src.DataBytes() : (PacketAtSendTime(src, static_cast<std::int64_t>(end)) + 1) * src.PacketSize();
    const std::uint64_t span = lastByte > firstByte ? lastByte - firstByte : 0;
    src.Rewind(first);
    SourcePacket p;
    while (src.Next(p)) {
        if (end != kNoEnd && p.parsed.sendTime > end) break;
        CheckClipStop(stop);
        emitter.Emit(p);
        progress.At(pieceIndex, src.BytesRead() > firstByte ? src.BytesRead() - firstByte : 0, span);
    }
    emitter.EndRange();
}

std::string FormatSeconds(std::uint64_t ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", ms / 1000.0);
    return buf;
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
    if (what.empty()) return;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// Why the job cannot begin (exit code and text), checked before anything is read or created.
struct Refusal {
    int code = 0;
    std::string text;
};

Refusal CheckPaths(const ClipArgs& args) {
    namespace fs = std::filesystem;
    for (const auto& in : args.inputs) {
        const std::string why = CheckInputFile(in);
        if (!why.empty()) return {3, "无法读取输入文件 \"" + in + "\": " + why};
        if (in == args.output || IsSameFile(in, args.output))
            return {1, "输出文件不能和输入文件相同: \"" + args.output + "\""};
    }
    std::error_code ec;
    if (fs::is_directory(args.output, ec)) return {3, "无法写入输出文件 \"" + args.output + "\": " + SystemReason(EISDIR)};
    if (!args.overwrite && fs::exists(fs::symlink_status(args.output, ec)))
        return {1, "输出文件 \"" + args.output + "\" 已存在; 加上 -y 才会替换它"};
    return {};
}

}  // namespace

namespace {

using Say = std::function<void(const std::string&)>;

void AddStats(SourceStats& total, const SourceStats& s) {
    total.goodPackets += s.goodPackets;
    total.droppedBlocks += s.droppedBlocks;
    total.resyncs += s.resyncs;
    total.skippedBytes += s.skippedBytes;
}

// Warns of what was repaired in the headers of the inputs and checks that every input after the
// first can be joined to it. Empty when the job may go on, else its exit code after the reason
// was said.
std::optional<int> CheckInputs(const ClipArgs& args, const ClipSource& first, const Say& warn, const ClipStopFlag* stop) {
    for (const auto& note : first.HeaderNotes()) warn("\"" + args.inputs[0] + "\": " + note);
    for (std::size_t i = 1; i < args.inputs.size(); ++i) {
        ClipSource other(args.inputs[i], args.resync, stop);
        const std::string why = JoinIncompatibility(first, other, args.sameBitrate);
        if (!why.empty()) {
            warn(why);
            return 1;
        }
        for (const auto& note : other.HeaderNotes()) warn("\"" + args.inputs[i] + "\": " + note);
    }
    return std::nullopt;
}

SourceStats CutPieces(const ClipArgs& args, ClipSource& source, ClipEmitter& emitter, const ClipJobHooks& hooks) {
    ClipProgress progress(hooks, args.pieces.size());
    for (std::size_t i = 0; i < args.pieces.size(); ++i)
        CutPiece(source, emitter, args.pieces[i], args.istart, hooks.stop, progress, i);
    return source.Stats();
}

// Every input whole, one after the other (basic repair has one).
SourceStats CopyInputs(const ClipArgs& args, ClipSource& first, ClipEmitter& emitter, const ClipJobHooks& hooks) {
    const ClipStopFlag* stop = hooks.stop;
    SourceStats stats;
    ClipProgress progress(hooks, args.inputs.size());
    for (std::size_t i = 0; i < args.inputs.size(); ++i) {
        std::unique_ptr<ClipSource> owned;
        ClipSource* src = &first;
        if (i > 0) {
            owned = std::make_unique<ClipSource>(args.inputs[i], args.resync, stop);
            src = owned.get();
        }
        emitter.BeginRange(*src, {0, kNoEnd, src->PrerollMs(), !args.istart && MarksKeyFrames(*src, stop)});
        src->Rewind(0);
        src->ResetStats();
        SourcePacket p;
        while (src->Next(p)) {
            CheckClipStop(stop);
            emitter.Emit(p);
            progress.At(i, src->BytesRead(), src->DataBytes());
        }
        emitter.EndRange();
        AddStats(stats, src->Stats());
    }
    return stats;
}

void SayTotals(const ClipArgs& args, const SourceStats& stats, const ClipWriter& writer, const ClipEmitter& emitter,
               const Say& say) {
    const auto& c = emitter.Counters();
    say("读取的数据包 " + std::to_string(stats.goodPackets) + ", 丢弃的损坏块 " + std::to_string(stats.droppedBlocks) +
        (args.resync ? ", 重新同步 " + std::to_string(stats.resyncs) + " 次, 跳过 " + std::to_string(stats.skippedBytes) +
                           " 字节"
                     : ""));
    say("写入的数据包 " + std::to_string(writer.PacketsWritten()) + " (复制 " + std::to_string(c.packetsCopied) + ", 重建 " +
        std::to_string(c.packetsRebuilt) + "), 时长 " + FormatSeconds(emitter.OutputLengthMs()) + " 秒");
    say("输出文件: " + args.output + " (" + std::to_string(writer.BytesWritten()) + " 字节)");
}

// A repair or join writes about as much as it reads; a cut's share is not known beforehand, and
// it writes too little for setting space aside to matter.
std::int64_t ExpectedOutputBytes(const ClipArgs& args) {
    if (args.GetMode() == ClipArgs::Mode::Cut) return 0;
    std::int64_t total = 0;
    for (const std::string& input : args.inputs) total += FileSizeOf(input);
    return total;
}

// The job's work once its paths are checked: everything up to the committed output and the
// closing lines. Returns the exit code; failures throw.
int RunCheckedJob(const ClipArgs& args, const Say& say, const Say& warn, const ClipJobHooks& hooks, std::string& tempPath) {
    const ClipStopFlag* stop = hooks.stop;
    // Created first, so that an output folder that cannot be written is said at once.
    StagedOutput staged(args.output);
    tempPath = staged.TempPath();
    auto first = std::make_unique<ClipSource>(args.inputs[0], args.resync, stop);
    if (const auto refused = CheckInputs(args, *first, warn, stop)) return *refused;
    ClipWriter writer(staged.TempPath(), *first);
    writer.Reserve(ExpectedOutputBytes(args));
    ClipEmitter emitter(writer, first->PrerollMs(), first->VideoStream());
    const SourceStats stats = args.GetMode() == ClipArgs::Mode::Cut ? CutPieces(args, *first, emitter, hooks)
                                                                    : CopyInputs(args, *first, emitter, hooks);
    if (writer.PacketsWritten() == 0) {
        warn(args.GetMode() == ClipArgs::Mode::Cut ? "所选范围内没有媒体数据包; 没有写出输出文件"
                                                   : "输入文件中没有可以解析的媒体数据包; 没有写出输出文件");
        return 1;
    }
    const std::uint64_t length = emitter.OutputLengthMs();
    writer.Finish(first->PrerollMs() + length, std::max<std::uint64_t>(length, emitter.LastSendMs()));
    first.reset();
    // A stop that came while the file was finished still counts: nothing takes the output's name.
    CheckClipStop(stop);
    staged.Commit();
    ClipProgress(hooks, 1).Finished();
    SayTotals(args, stats, writer, emitter, say);
    return 0;
}

// Called inside a catch block: says why the job ended and returns its exit code. An exception
// that is not one of a job's endings goes on to RunClipJob's caller.
int ReportFailure(const ClipArgs& args, const std::string& tempPath, const Say& warn) {
    try {
        throw;
    } catch (const ClipStopped& s) {
        warn(std::string(s.signal == SIGTERM ? "收到终止信号" : "用户中止") + ", 已停止; 没有写出输出文件");
        return 128 + s.signal;
    } catch (const ClipRefusal& e) {
        warn(e.what());
        return 1;
    } catch (const IoError& e) {
        // The user knows the output by its own name, not by the temporary one.
        std::string text = e.what();
        ReplaceAll(text, tempPath, args.output);
        warn(text);
        return 3;
    } catch (const TruncatedData& e) {
        warn(std::string("文件结构损坏: ") + e.what());
        return 1;
    } catch (const std::filesystem::filesystem_error& e) {
        warn(std::string("文件操作失败: ") + SystemReason(e.code().value()));
        return 3;
    } catch (const std::bad_alloc&) {
        warn("内存不足");
        return 1;
    }
}

}  // namespace

int RunClipJob(const ClipArgs& args, const std::function<void(const std::string&)>& say,
               const std::function<void(const std::string&)>& warn, const ClipJobHooks& hooks) {
    const Refusal refusal = CheckPaths(args);
    if (refusal.code != 0) {
        warn(refusal.text);
        return refusal.code;
    }
    std::string tempPath;
    try {
        return RunCheckedJob(args, say, warn, hooks, tempPath);
    } catch (...) {
        return ReportFailure(args, tempPath, warn);
    }
}

}  // namespace mendery
