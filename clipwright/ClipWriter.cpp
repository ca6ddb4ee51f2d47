#include "clipwright/ClipWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "asf/ByteCursor.h"

namespace mendery {
namespace {

constexpr std::size_t kWriteBuffer = 1u << 20;
// A run of unchanged packets is copied once it reaches this length, in slices of the other
// size; a stop is looked at between slices.
constexpr std::uint64_t kMaxRun = 32u << 20;
constexpr std::uint64_t kCopySlice = 4u << 20;

// Writes all of `data` at `at`; a short write is continued, and one that writes nothing
// means the disk is full.
void WriteAllAt(int fd, const std::uint8_t* data, std::size_t n, std::int64_t at, const std::string& path) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, data, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) throw IoError("无法写入 \"" + path + "\": " + SystemReason(w < 0 ? errno : ENOSPC));
        data += w;
        n -= static_cast<std::size_t>(w);
        at += w;
    }
}

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

ClipWriter::ClipWriter(const std::string& path, const ClipSource& layout, const ClipStopFlag* stop)
    : stop_(stop),
      sourceHeader_(layout.Header().begin(), layout.Header().end()),
      walk_(layout.Walk()),
      fileId_(layout.Properties().fileId),
      preroll_(layout.PrerollMs()),
      packetSize_(layout.PacketSize()) {
    file_.Open(path, BinaryFile::Mode::Create);
    path_ = path;
    auto header = BuildClipHeader(sourceHeader_, walk_, {});
    headerSize_ = header.size();
    buffer_.reserve(kWriteBuffer + packetSize_);
    buffer_ = header;
    auto head = DataObjectHeadBytes(fileId_, 0, packetSize_);
    buffer_.insert(buffer_.end(), head.begin(), head.end());
}

ClipWriter::~ClipWriter() {
    if (outFd_ >= 0) ::close(outFd_);
    if (runFd_ >= 0) ::close(runFd_);
}

void ClipWriter::CopyPacket(const std::string& sourcePath, std::uint64_t offset) {
    ++packets_;
    if (runLength_ > 0 && sourcePath == runPath_ && offset == runStart_ + runLength_) {
        runLength_ += packetSize_;
        if (runLength_ >= kMaxRun) FlushRun();
        return;
    }
    FlushRun();
    Flush(true);
    if (sourcePath != runPath_ || runFd_ < 0) {
        if (runFd_ >= 0) ::close(runFd_);
        runFd_ = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (runFd_ < 0) throw IoError("无法打开 \"" + sourcePath + "\": " + SystemReason(errno));
        runPath_ = sourcePath;
    }
    if (outFd_ < 0) {
        outFd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (outFd_ < 0) throw IoError("无法打开 \"" + path_ + "\": " + SystemReason(errno));
    }
    runStart_ = offset;
    runLength_ = packetSize_;
}

void ClipWriter::FlushRun() {
    if (runLength_ == 0) return;
    std::int64_t in = static_cast<std::int64_t>(runStart_), out = static_cast<std::int64_t>(fileSize_);
    std::uint64_t left = runLength_;
    while (left > 0) {
        CheckClipStop(stop_);
        const std::uint64_t slice = std::min(left, kCopySlice);
        std::uint64_t n = inKernel_ ? CopyInKernel(in, out, slice) : 0;
        if (n == 0) n = CopyByHand(in, out, slice);
        left -= n;
    }
    fileSize_ += runLength_;
    runLength_ = 0;
    file_.Seek(static_cast<std::int64_t>(fileSize_));
}

std::uint64_t ClipWriter::CopyInKernel(std::int64_t& in, std::int64_t& out, std::uint64_t n) {
    for (;;) {
        loff_t from = in, to = out;
        const ssize_t r = ::copy_file_range(runFd_, &from, outFd_, &to, n, 0);
        if (r > 0) {
            in = from;
            out = to;
            return static_cast<std::uint64_t>(r);
        }
        if (r < 0 && errno == EINTR) continue;
        const int error = r < 0 ? errno : 0;
        // A full disk is the output's problem and stays one. Anything else (another file
        // system, no support, a source that got shorter) is left to the hand copy, which
        // reports a real read or write error with its own reason.
        if (error == ENOSPC || error == EDQUOT || error == EFBIG)
            throw IoError("无法写入 \"" + path_ + "\": " + SystemReason(error));
        inKernel_ = false;
        return 0;
    }
}

std::uint64_t ClipWriter::CopyByHand(std::int64_t& in, std::int64_t& out, std::uint64_t n) {
    copyBlock_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(n, 1u << 20)));
    ssize_t r;
    do r = ::pread(runFd_, copyBlock_.data(), copyBlock_.size(), in);
    while (r < 0 && errno == EINTR);
    if (r < 0) throw IoError("无法读取 \"" + runPath_ + "\": " + SystemReason(errno));
    if (r == 0) throw IoError("无法再次读取 \"" + runPath_ + "\": 文件在处理期间变短了");
    WriteAllAt(outFd_, copyBlock_.data(), static_cast<std::size_t>(r), out, path_);
    in += r;
    out += r;
    return static_cast<std::uint64_t>(r);
}

void ClipWriter::Flush(bool all) {
    // Whole blocks at block-aligned offsets: the page cache takes them without touching any
    // page twice; the rest waits for the next block.
    std::size_t n = buffer_.size();
    if (!all) {
        const std::uint64_t alignedEnd = (fileSize_ + n) / kWriteBuffer * kWriteBuffer;
        n = alignedEnd > fileSize_ ? static_cast<std::size_t>(alignedEnd - fileSize_) : 0;
    }
    if (n == 0) return;
    file_.Write(std::span(buffer_).first(n));
    fileSize_ += n;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
}

void ClipWriter::WritePacket(std::span<const std::uint8_t> packet) {
    FlushRun();
    buffer_.insert(buffer_.end(), packet.begin(), packet.end());
    ++packets_;
    if (buffer_.size() >= kWriteBuffer) Flush(false);
}

void ClipWriter::Finish(std::uint64_t playDurationMs, std::uint64_t sendDurationMs) {
    FlushRun();
    if (!index_.Empty()) {
        auto idx = index_.Build(fileId_, playDurationMs > preroll_ ? playDurationMs - preroll_ : 0);
        buffer_.insert(buffer_.end(), idx.begin(), idx.end());
    }
    Flush(true);
    ClipHeaderFields f{fileSize_, packets_, playDurationMs, sendDurationMs};
    auto header = BuildClipHeader(sourceHeader_, walk_, f);
    auto head = DataObjectHeadBytes(fileId_, packets_, packetSize_);
    header.insert(header.end(), head.begin(), head.end());
    file_.Seek(0);
    file_.Write(header);
    file_.Close();
}

}  // namespace mendery
