#include "clipwright/ClipWriter.h"

#include <algorithm>

#include "asf/ByteCursor.h"

namespace mendery {
namespace {

std::vector<std::uint8_t> DataObjectHeadBytes(const Guid& fileId, std::uint64_t packets, std::uint32_t packetSize) {
    std::vector<std::uint8_t> d(kDataObjectHeadSize, 0);
    std::copy(guids::DataObject.bytes.begin(), guids::DataObject.bytes.end(), d.begin());
    BytePatcher w(d);
    w.U64At(dobj::Size, kDataObjectHeadSize + packets * packetSize);
    std::copy(fileId.bytes.begin(), fileId.bytes.end(), d.begin() + dobj::FileId);
    w.U64At(dobj::TotalPackets, packets);
    w.U8At(dobj::Reserved, 1);
    w.U8At(dobj::Reserved + 1, 1);
    return d;
}

}  // namespace

std::vector<std::uint8_t> BuildClipHeader(std::span<const std::uint8_t> header, const HeaderWalk& walk,
                                          const ClipHeaderFields& fields) {
    std::vector<std::uint8_t> out(header.begin(), header.begin() + kHeaderObjectFixedSize);
    std::uint32_t count = 0;
    for (const auto& o : walk.objects) {
        if (o.guid == guids::CodecList || o.guid == guids::Padding) continue;
        const std::size_t at = out.size();
        out.insert(out.end(), header.begin() + o.offset, header.begin() + o.offset + o.size);
        ++count;
        if (o.guid == guids::FileProperties && o.size >= kFilePropertiesSize) {
            BytePatcher w(std::span<std::uint8_t>(out).subspan(at));
            auto fp = FileProperties::Read(ByteCursor(std::span<const std::uint8_t>(out).subspan(at)));
            w.U64At(fp::FileSize, fields.fileSize);
            w.U64At(fp::DataPacketsCount, fields.packets);
            w.U64At(fp::PlayDuration, fields.playDurationMs * 10000);
            w.U64At(fp::SendDuration, fields.sendDurationMs * 10000);
            w.U32At(fp::Flags, (fp.flags & ~0x7u) | fp::FlagSeekable);
        }
    }
    BytePatcher w(out);
    w.U64At(16, out.size());
    w.U32At(24, count);
    return out;
}

ClipWriter::ClipWriter(const std::string& path, const ClipSource& layout)
    : sourceHeader_(layout.Header().begin(), layout.Header().end()),
      walk_(layout.Walk()),
      fileId_(layout.Properties().fileId),
      preroll_(layout.PrerollMs()),
      packetSize_(layout.PacketSize()) {
    out_.Create(path);
    out_.Write(BuildClipHeader(sourceHeader_, walk_, {}));
    out_.Write(DataObjectHeadBytes(fileId_, 0, packetSize_));
}

void ClipWriter::WritePacket(std::span<const std::uint8_t> packet) {
    WriteLent();
    out_.Write(packet);
    ++packets_;
}

void ClipWriter::WritePacketInPlace(const LentBytes& packet) {
    const bool follows = !lent_.bytes.empty() && lent_.window == packet.window &&
                         lent_.bytes.data() + lent_.bytes.size() == packet.bytes.data();
    if (follows) {
        lent_.bytes = std::span(lent_.bytes.data(), lent_.bytes.size() + packet.bytes.size());
    } else {
        WriteLent();
        lent_ = packet;
    }
    ++packets_;
}

void ClipWriter::WriteLent() {
    if (lent_.bytes.empty()) return;
    const auto bytes = lent_.bytes;
    lent_ = {};
    out_.WriteInPlace(bytes);
}

void ClipWriter::Finish(std::uint64_t playDurationMs, std::uint64_t sendDurationMs) {
    WriteLent();
    if (!index_.Empty()) out_.Write(index_.Build(fileId_, playDurationMs > preroll_ ? playDurationMs - preroll_ : 0));
    fileSize_ = static_cast<std::uint64_t>(out_.Tell());
    ClipHeaderFields f{fileSize_, packets_, playDurationMs, sendDurationMs};
    auto header = BuildClipHeader(sourceHeader_, walk_, f);
    auto head = DataObjectHeadBytes(fileId_, packets_, packetSize_);
    header.insert(header.end(), head.begin(), head.end());
    out_.Patch(0, header);
    out_.Close();
}

}  // namespace mendery
