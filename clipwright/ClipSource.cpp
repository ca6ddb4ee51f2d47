#include "clipwright/ClipSource.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "asf/ByteCursor.h"
#include "asf/HeaderSalvage.h"

namespace mendery {
namespace {

constexpr std::uint64_t kWindowSize = 1u << 20;
// A shift of the packets is looked for in this many packet sizes after the grid's start.
constexpr std::uint64_t kShiftSearchPackets = 16;
// Packets one after the other that count as a run (fewer when the packets end first).
constexpr std::uint64_t kRunPackets = 3;

}  // namespace

ClipSource::ClipSource(const std::string& path, bool resync, const ClipStopFlag* stop)
    : path_(path), resync_(resync), stop_(stop) {
    const std::string name = "\"" + path + "\"";
    file_.Open(path, BinaryFile::Mode::Read);
    fileSize_ = static_cast<std::uint64_t>(file_.Size());
    // A file whose first bytes were damaged or prefixed: the header object is looked for in
    // the first 64 KB.
    std::vector<std::uint8_t> start(std::min<std::uint64_t>(fileSize_, 65536));
    file_.ReadExact(start);
    const std::int64_t found = FindGuid(start, guids::HeaderObject);
    if (found < 0) throw ClipRefusal(name + " 的前 64 KB 中没有 ASF 文件头对象");
    const std::uint64_t base = static_cast<std::uint64_t>(found);
    if (fileSize_ - base < kHeaderObjectFixedSize) throw ClipRefusal(name + " 太短, 不是 ASF 文件");
    ByteCursor c(std::span<const std::uint8_t>(start).subspan(base));
    auto oh = ObjectHeader::Read(c);
    if (oh.size < kHeaderObjectFixedSize || oh.size > fileSize_ - base)
        throw ClipRefusal(name + ": 文件头对象的大小 " + std::to_string(oh.size) + " 与文件不符");
    if (oh.size > kMaxHeaderSize)
        throw ClipRefusal(name + ": 文件头对象 (" + std::to_string(oh.size) + " 字节) 大于 " + std::to_string(kMaxHeaderSize) +
                          " 字节");
    header_.resize(oh.size);
    file_.Seek(static_cast<std::int64_t>(base));
    file_.ReadExact(header_);
    walk_ = WalkHeader(header_);
    if (walk_.end == WalkEnd::SizeTooSmall || walk_.end == WalkEnd::RunsPastEnd) SalvageHeaderObjects();

    const SubObject* fpo = walk_.Find(guids::FileProperties);
    if (!fpo || fpo->size < kFilePropertiesSize) throw ClipRefusal(name + " 没有文件属性对象");
    props_ = FileProperties::Read(ByteCursor(std::span(header_).subspan(fpo->offset, fpo->size)));
    if (props_.minPacketSize == 0 || props_.minPacketSize > kMaxPacketSize)
        throw ClipRefusal(name + ": 数据包大小 " + std::to_string(props_.minPacketSize) + " 不可用");
    if (props_.maxPacketSize != props_.minPacketSize)
        throw ClipRefusal(name + ": 不支持大小不同的数据包 (" + std::to_string(props_.minPacketSize) + " 到 " +
                          std::to_string(props_.maxPacketSize) + " 字节)");
    ReadStreams();

    // The data object must follow the header object.
    std::uint8_t dhead[kDataObjectHeadSize];
    const std::uint64_t headerEnd = base + oh.size;
    file_.Seek(static_cast<std::int64_t>(headerEnd));
    if (file_.Read(dhead) != sizeof dhead) throw ClipRefusal(name + " 在数据对象之前就结束了");
    auto d = DataObjectHead::Read(ByteCursor(dhead));
    if (Guid::FromBytes(std::span(dhead, 16)) != guids::DataObject)
        throw ClipRefusal(name + ": 文件头对象之后没有数据对象");
    dataStart_ = headerEnd + kDataObjectHeadSize;
    // A data object that was never finalised (size 0 or 50) or claims more than the file holds
    // is read to the end of the file; its packets say where they stop.
    const std::uint64_t declaredEnd = headerEnd + d.size;
    if (d.size > kDataObjectHeadSize && d.size <= fileSize_ - headerEnd) dataEnd_ = declaredEnd;
    else dataEnd_ = fileSize_;
    // No read asks for more than the file holds, so a small file gets a small window (the
    // window is not cleared per file then: a fuzzer's or a batch's many small inputs).
    windows_[0].Resize(std::min<std::uint64_t>(kWindowSize + kMaxPacketSize, fileSize_));
    tail_.resize(PacketSize());
    Rewind(0);
    // Read on the grid, shifted packets give a block that happens to parse now and then: a
    // "repaired" file of garbage. Without resync the file is refused and the user told why.
    if (!resync_)
        if (const auto shift = OffGridShift())
            throw ClipRefusal(name + " 的数据包没有对齐数据包网格: 第一批数据包从数据区开头之后 " +
                              std::to_string(*shift) + " 字节处开始 (数据包大小 " + std::to_string(PacketSize()) +
                              "), 按网格读取只能得到乱码. 请使用 -resync (重新同步流媒体; mendery-cli: --resync) "
                              "重新同步后再试; 没有写出输出文件");
}

bool ClipSource::PacketRunAt(std::uint64_t pos) {
    std::uint64_t parsed = 0;
    for (std::uint64_t k = 0; k < kRunPackets; ++k) {
        const std::uint64_t at = pos + k * PacketSize();
        if (at + PacketSize() > dataEnd_) break;
        SourcePacket p;
        if (!ReadAt(at, p, false) || !p.parsed.ok) return false;
        ++parsed;
    }
    return parsed >= 2;
}

std::optional<std::uint64_t> ClipSource::OffGridShift() {
    const std::uint32_t size = PacketSize();
    SourcePacket first;
    if (ReadAt(dataStart_, first, false) && first.parsed.ok) return std::nullopt;  // the usual case: no search at all
    const std::uint64_t end = std::min(dataEnd_, dataStart_ + kShiftSearchPackets * size);
    for (std::uint64_t pos = dataStart_ + 1; pos < end; ++pos) {
        if (((pos - dataStart_) & 0xFFFF) == 0) CheckClipStop(stop_);
        if (!PacketRunAt(pos)) continue;
        const std::uint64_t shift = pos - dataStart_;
        // A run on the grid: packets damaged at the start, which a plain read drops.
        if (shift % size == 0) return std::nullopt;
        // The grid blocks over the same span must not parse as well: two readings that both
        // hold packets are damage, not a shift.
        const std::uint64_t gridFrom = dataStart_ + (shift / size) * size;
        for (std::uint64_t at = gridFrom; at < pos + kRunPackets * size && at + size <= dataEnd_; at += size) {
            SourcePacket p;
            if (ReadAt(at, p, false) && p.parsed.ok) return std::nullopt;
        }
        return shift;
    }
    return std::nullopt;
}

void ClipSource::SalvageHeaderObjects() {
    const HeaderSalvage salvage = SalvageHeaderWalk(header_, walk_);
    headerNotes_.push_back(HeaderSalvageNote(salvage));
}

void ClipSource::ReadStreams() {
    int damaged = 0;
    std::vector<std::uint64_t> unusable;  // offsets of stream properties objects left out
    for (const SubObject* so : walk_.FindAll(guids::StreamProperties)) {
        try {
            auto sp = StreamProperties::Read(ByteCursor(std::span(header_).subspan(so->offset, so->size)));
            if (sp.StreamNumber() == 0 || KnownStreamNumber(sp.StreamNumber())) throw TruncatedData("stream number");
            streams_.push_back(ClipStream{sp.StreamNumber(), sp.streamType, sp.typeSpecific});
            if (sp.IsVideo() && videoStream_ == 0) {
                videoStream_ = sp.StreamNumber();
                // Video type-specific data: width, height, flags, size, then the bitmap info
                // header whose compression FourCC is at offset 16 of it.
                if (sp.typeSpecific.size() >= 31) {
                    const std::string fourcc(sp.typeSpecific.begin() + 27, sp.typeSpecific.begin() + 31);
                    if (fourcc == "WMV2") pictureHeader_ = PictureHeader::Wmv2;
                    else if (fourcc == "WMV1" || fourcc == "MP43" || fourcc == "MP42" || fourcc == "DIV3" || fourcc == "DIV4")
                        pictureHeader_ = PictureHeader::Msmpeg4;
                }
            }
        } catch (const TruncatedData&) {
            ++damaged;
            unusable.push_back(so->offset);
        }
    }
    // Without a stream description a reader finds nothing to play in the packets: such a
    // header cannot be carried over.
    if (streams_.empty())
        throw ClipRefusal("\"" + path_ + "\" 的文件头中没有可用的流属性对象 (文件头已损坏); 无法写出可以播放的文件");
    if (damaged > 0) {
        // An object that does not parse is not carried over either.
        std::erase_if(walk_.objects, [&](const SubObject& o) {
            return std::find(unusable.begin(), unusable.end(), o.offset) != unusable.end();
        });
        headerNotes_.push_back(std::to_string(damaged) + " 个流属性对象已损坏, 被舍弃; 这些流的数据包无法保留");
    }
}

bool ClipSource::KnownStreamNumber(int number) const {
    return std::any_of(streams_.begin(), streams_.end(), [&](const ClipStream& s) { return s.number == number; });
}

bool ClipSource::KnownStream(int number) const {
    if (streams_.empty()) return true;
    return std::any_of(streams_.begin(), streams_.end(), [&](const ClipStream& s) { return s.number == number; });
}

bool ClipSource::IsKeyFrameStart(const PacketPayload& pl, std::span<const std::uint8_t> packet) const {
    if (pl.streamNumber != videoStream_ || videoStream_ == 0 || pl.compressed || pl.offsetIntoMediaObject != 0) return false;
    if (pictureHeader_ == PictureHeader::Unknown || pl.dataLength == 0 || pl.dataAt >= packet.size()) return pl.keyFrame;
    const std::uint8_t first = packet[pl.dataAt];
    // WMV2: one bit, 0 for an intra picture; WMV1 and MPEG-4 v2/v3: two bits, 00 for intra.
    return pictureHeader_ == PictureHeader::Wmv2 ? (first & 0x80) == 0 : (first & 0xC0) == 0;
}

void ClipSource::Rewind(std::uint64_t gridIndex) {
    searchPending_ = false;
    pos_ = dataStart_ + gridIndex * PacketSize();
    if (pos_ > dataEnd_) pos_ = dataEnd_;
}

std::span<const std::uint8_t> ClipSource::Window(std::uint64_t pos, std::uint64_t n) {
    if (pos >= fileSize_) return {};
    n = std::min(n, fileSize_ - pos);
    // Bytes before lentEnd_ may have been changed by their writer: they are read again.
    if (pos < windowStart_ || pos + n > windowStart_ + windowLength_ || pos < lentEnd_) {
        const std::uint64_t capacity = windows_[0].Capacity();
        const std::uint64_t want = probing_ ? std::max<std::uint64_t>(n, 8ull * PacketSize()) : capacity;
        NewWindow(pos, std::min<std::uint64_t>(want, capacity));
        n = std::min<std::uint64_t>(n, windowLength_);
    }
    return std::span<const std::uint8_t>(windows_[window_].Bytes()).subspan(pos - windowStart_, n);
}

void ClipSource::NewWindow(std::uint64_t pos, std::uint64_t want) {
    lentEnd_ = 0;
    ++windowsRead_;
    windowStart_ = pos;
    if (TakeAhead(pos, want)) {
        window_ = ahead_.buffer;
        windowLength_ = ahead_.length;
    } else {
        // The window's own buffer, unless bytes lent of it may still wait there.
        if (window_ == lentBuffer_) window_ = FreeBuffer();
        auto& buffer = windows_[window_];
        windowLength_ = file_.ReadAt(static_cast<std::int64_t>(pos), buffer.Place(static_cast<std::int64_t>(pos), want));
    }
    ahead_.buffer = -1;
    if (!probing_ && windowLength_ == windows_[0].Capacity()) StartAhead();
}

bool ClipSource::TakeAhead(std::uint64_t pos, std::uint64_t want) {
    if (ahead_.buffer < 0) return false;
    side_.Wait();
    const bool hit = ahead_.start == pos && want == windows_[0].Capacity();
    std::exception_ptr failure = std::exchange(ahead_.failure, nullptr);
    if (!hit) ahead_.buffer = -1;
    if (hit && failure) {
        ahead_.buffer = -1;
        std::rethrow_exception(failure);
    }
    return hit;
}

void ClipSource::StartAhead() {
    // The first packet on the window's step that does not lie whole in it.
    const std::uint64_t size = PacketSize();
    const std::uint64_t next = windowStart_ + windowLength_ / size * size;
    if (next >= fileSize_ || next <= windowStart_) return;
    const int target = FreeBuffer();
    ahead_.buffer = target;
    ahead_.start = next;
    ahead_.length = 0;
    BlockBuffer& buffer = windows_[target];
    const std::uint64_t want = windows_[0].Capacity();
    side_.Start([this, next, want, &buffer] {
        try {
            ahead_.length = file_.ReadAt(static_cast<std::int64_t>(next), buffer.Place(static_cast<std::int64_t>(next), want));
        } catch (...) {
            ahead_.failure = std::current_exception();
        }
    });
}

int ClipSource::FreeBuffer() {
    int free = 0;
    while (free == window_ || free == lentBuffer_) ++free;
    if (windows_[free].Capacity() != windows_[0].Capacity()) windows_[free].Resize(windows_[0].Capacity());
    return free;
}

LentBytes ClipSource::Writable(const SourcePacket& packet) {
    const auto buffer = windows_[window_].Bytes();
    const std::uint8_t* at = packet.bytes.data();
    if (packet.bytes.empty() || at < buffer.data() || at + packet.bytes.size() > buffer.data() + windowLength_) return {};
    // Bytes lent of an earlier window have gone out by now: the writer writes what waits
    // before it takes bytes of a later window.
    lentBuffer_ = window_;
    lentEnd_ = std::max(lentEnd_, packet.offset + packet.bytes.size());
    return {std::span(buffer).subspan(static_cast<std::size_t>(at - buffer.data()), packet.bytes.size()), windowsRead_};
}

bool ClipSource::LooksLikeObjectAfterData(std::span<const std::uint8_t> block) const {
    if (block.size() < 16) return false;
    Guid g = Guid::FromBytes(block.first(16));
    return g == guids::SimpleIndex || g == guids::Index;
}

bool ClipSource::Acceptable(std::span<const std::uint8_t> block, std::uint64_t validBytes, ParsedPacket& parsed, bool strict) {
    if (strict && styleKnown_) {
        // Cheap tests first: a resync search calls this at every byte.
        const std::size_t pf = styleEc_ ? 4 : 1;
        if (block.size() <= pf || block[pf] != stylePropertyFlags_) return false;
        if (styleEc_ && (block[0] != 0x82 || block[1] != 0 || block[2] != 0)) return false;
        if (!styleEc_ && (block[0] & 0x80)) return false;
    }
    // The first payload must belong to one of the file's streams, else nothing of the block
    // is kept; most offsets a search tests fail here, before a full parse.
    const auto streamAt = FirstStreamByteAt(block);
    if (!streamAt || (block[*streamAt] & 0x7F) == 0 || !KnownStream(block[*streamAt] & 0x7F)) return false;
    // A packet with error correction bytes must carry the usual signature 82 00 00.
    if (!block.empty() && (block[0] & 0x80) && ClassifyBlock(block) != BlockKind::Good) return false;
    ParsePacket(block, PacketSize(), parsed);
    // A resync candidate must parse whole; on the grid, a damaged packet may still hold
    // payloads before its damage.
    const auto partly = [&] { return !strict && KeepPayloadsBeforeDamage(parsed, validBytes, validBytes < block.size()); };
    if (!parsed.ok) return partly();
    if (parsed.payloads.empty()) return false;
    for (const auto& pl : parsed.payloads)
        if (!KnownStream(pl.streamNumber) || pl.streamNumber == 0) return partly();
    if (styleKnown_ && strict && parsed.hasErrorCorrection != styleEc_) return false;
    return true;
}

bool ClipSource::KeepPayloadsBeforeDamage(ParsedPacket& parsed, std::uint64_t validBytes, bool cutTail) const {
    // The packet's own fields must read whole and match the file's other packets: a block of
    // garbage that happens to begin like a packet is not taken apart.
    if (!parsed.parsingInfoRead || !parsed.multiplePayloads) return false;
    if (styleKnown_ && (parsed.hasErrorCorrection != styleEc_ || parsed.propertyFlags != stylePropertyFlags_)) return false;
    // Damage shows as a payload that does not parse, belongs to no stream (zeros read as
    // stream 0), or, in the zeros after a cut, ends past the file's own bytes.
    auto& pls = parsed.payloads;
    auto firstBad = std::find_if(pls.begin(), pls.end(), [&](const PacketPayload& pl) {
        return pl.dataAt + pl.dataLength > validBytes || pl.streamNumber == 0 || !KnownStream(pl.streamNumber);
    });
    // Where the damage begins is exact only at a cut; elsewhere it may begin inside the bytes
    // of the last payload that parsed, which is left out too.
    if (!cutTail && firstBad != pls.begin()) --firstBad;
    pls.erase(firstBad, pls.end());
    if (pls.empty()) return false;
    // Marked as not parsing whole, so that the writer rebuilds the packet around its payloads.
    parsed.ok = false;
    parsed.usedEnd = pls.back().dataAt + pls.back().dataLength;
    return true;
}

bool ClipSource::ReadAt(std::uint64_t pos, SourcePacket& out, bool strict) {
    const std::uint32_t size = PacketSize();
    auto block = Window(pos, size);
    if (block.empty()) return false;
    out.validBytes = block.size();
    if (block.size() < size) {
        // The shorter tail of a file cut in the middle of a packet: read as a whole packet with
        // zeros after the cut; the payloads that lie whole before the cut can still be kept.
        std::fill(tail_.begin(), tail_.end(), 0);
        std::memcpy(tail_.data(), block.data(), block.size());
        block = tail_;
    }
    if (!Acceptable(block, out.validBytes, out.parsed, strict)) return false;
    out.offset = pos;
    out.bytes = block;
    return true;
}

bool ClipSource::Next(SourcePacket& out) {
    const std::uint32_t size = PacketSize();
    while (pos_ < dataEnd_) {
        if (searchPending_) {
            searchPending_ = false;
            SearchFrom(pos_);
            continue;
        }
        auto probe = Window(pos_, std::min<std::uint64_t>(size, dataEnd_ - pos_));
        if (probe.empty()) break;
        if (LooksLikeObjectAfterData(probe)) break;
        if (ReadAt(pos_, out, false)) {
            if (!styleKnown_ && out.parsed.ok) {
                styleKnown_ = true;
                styleEc_ = out.parsed.hasErrorCorrection;
                stylePropertyFlags_ = out.parsed.propertyFlags;
            }
            ++stats_.goodPackets;
            // After a damaged packet whose bytes were inserted or lost the next packet is off
            // the grid: with resync it is searched for from the end of what was kept (once the
            // caller is done with this packet's bytes). A cut tail has nothing after it.
            if (!out.parsed.ok && resync_ && out.validBytes == size) {
                pos_ += out.parsed.usedEnd;
                searchPending_ = true;
            } else {
                pos_ += size;
            }
            return true;
        }
        ++stats_.droppedBlocks;
        if (!resync_) {
            pos_ += size;
            continue;
        }
        SearchFrom(pos_ + 1);
    }
    return false;
}

void ClipSource::SearchFrom(std::uint64_t p) {
    // Byte by byte, for the next position where a packet of this file's style parses and is
    // followed by another one (or by the end of the packets).
    const std::uint32_t size = PacketSize();
    const std::uint64_t from = pos_;
    bool found = false;
    for (; p < dataEnd_; ++p) {
        if (((p - from) & 0xFFFF) == 0) CheckClipStop(stop_);  // a long search still stops promptly
        SourcePacket candidate;
        if (!ReadAt(p, candidate, true)) continue;
        SourcePacket next;
        if (p + size >= dataEnd_ || ReadAt(p + size, next, true) || LooksLikeObjectAfterData(Window(p + size, 16))) {
            found = true;
            break;
        }
    }
    stats_.skippedBytes += p - from;
    pos_ = p;
    if (found) ++stats_.resyncs;
}

std::optional<std::uint32_t> ClipSource::SendTimeNear(std::uint64_t gridIndex) {
    struct Probing {
        bool& flag;
        explicit Probing(bool& f) : flag(f) { flag = true; }
        ~Probing() { flag = false; }
    } probing(probing_);
    for (std::uint64_t i = gridIndex; i < gridIndex + 8 && i < GridPackets() + 1; ++i) {
        SourcePacket p;
        std::uint64_t pos = dataStart_ + i * PacketSize();
        if (pos >= dataEnd_) break;
        if (ReadAt(pos, p, false)) return p.parsed.sendTime;
    }
    return std::nullopt;
}

}  // namespace mendery
