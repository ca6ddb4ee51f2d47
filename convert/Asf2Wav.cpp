#include "convert/Asf2Wav.h"

#include <cstdio>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/ByteCursor.h"
#include "asf/StagedOutput.h"

namespace mendery {

namespace {
// The WAVE file's fixed parts around the format block: RIFF size, "WAVE", "fmt " and its size
// come before it (20 bytes), the "data" chunk header (8 bytes) after it.
constexpr std::uint32_t kBeforeFormat = 20;

std::vector<std::uint8_t> WaveHeaderImage(std::span<const std::uint8_t> format) {
    std::vector<std::uint8_t> image(kBeforeFormat + format.size() + 8, 0);
    auto put = [&](std::size_t at, const char* fourcc) { std::copy(fourcc, fourcc + 4, image.begin() + at); };
    put(0, "RIFF");
    put(8, "WAVE");
    put(12, "fmt ");
    BytePatcher(image).U32At(16, static_cast<std::uint32_t>(format.size()));
    std::copy(format.begin(), format.end(), image.begin() + kBeforeFormat);
    put(kBeforeFormat + format.size(), "data");
    return image;
}
}  // namespace

IHost& TAsf2Wav::Host() const {
    if (!host_) throw std::logic_error("TAsf2Wav has no host");
    return *host_;
}

void TAsf2Wav::Reset() {
    Host().SetProgress(0);
    Host().ClearLog();
}

std::vector<std::string> TAsf2Wav::DescribeAudioStream(std::uint16_t flags, std::span<const std::uint8_t> format) {
    // Missing fields of a short format record read as zero.
    std::uint8_t wfx[16]{};
    std::copy_n(format.begin(), std::min<std::size_t>(format.size(), sizeof wfx), wfx);
    const std::uint16_t tag = ReadU16At(wfx, 0), channels = ReadU16At(wfx, 2), bits = ReadU16At(wfx, 14);
    const std::uint32_t rate = ReadU32At(wfx, 4), bytesPerSecond = ReadU32At(wfx, 8);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X", tag);
    return {
        "已定位: 音频流对象, 流序号" + std::to_string(flags),
        std::string("  FormatTag        : 0x") + hex,
        channels == 1 ? std::string("  声道         : 1 (Mono)") : "  声道         : " + std::to_string(channels) + " (立体声)",
        "  采样率    : " + std::to_string(rate) + " Hz",
        "  平均数据率: " + std::to_string(bytesPerSecond) + " 字节/秒" + " (" +
            std::to_string(std::uint64_t(bytesPerSecond) * 8 / 1000) + "k 比特)",
        "  音频样本大小: " + std::to_string(bits) + " 比特",
        "",
    };
}

void TAsf2Wav::Convert() {
    IHost& host = Host();
    // A stop requested before or while the run starts is kept; this run uses it up.
    const AbortRequestScope abortScope(Aborted);
    host.ClearLog();
    outcome_ = Outcome::NotRun;
    summary_ = {};
    streamNumber_ = 0;
    chunkSize_ = 0;
    headerLength_ = kBeforeFormat;
    format_.clear();
    headerWritten_ = false;

    host.Log("打开中" + FileName);
    const std::string refusal = OutputRefusalLine(FileName, OutFileName);
    if (!refusal.empty()) {
        host.Log(refusal);
        outcome_ = Outcome::Refused;
        return;
    }
    source_.Open(FileName, BinaryFile::Mode::Read);
    try {
        out_.Create(OutFileName);
    } catch (...) {
        source_.Close();
        throw;
    }
    assembler_ = std::make_unique<MediaObjectAssembler>(kAssemblyBufferSize);

    RunConversion(host, outcome_, [this] {
        ReadHeader();
        Extract();
    });
    Close();
}

void TAsf2Wav::ReadHeader() {
    IHost& host = Host();
    const SourceHead head = ReadSourceHead(source_, host, kHeaderBodyLimit);
    for (const SubObject& o : head.walk.objects) {
        ByteCursor object = ByteCursor(head.header).Seek(o.offset).Sub(o.size);
        if (o.guid == guids::FileProperties) {
            const FileProperties fp = FileProperties::Read(object);
            host.Log("已定位: 文件属性对象");
            chunkSize_ = fp.minPacketSize;
        } else if (o.guid == guids::StreamProperties) {
            const StreamProperties sp = StreamProperties::Read(object);
            if (!sp.IsAudio()) continue;
            for (const auto& line : DescribeAudioStream(sp.flags, sp.typeSpecific)) host.Log(line);
            if (sp.typeSpecific.size() > kFormatBlockLimit)
                throw ConvertRefusal("音频格式数据太长 (" + std::to_string(sp.typeSpecific.size()) + " 字节, 上限 " +
                                     std::to_string(kFormatBlockLimit) + "), 不能转换此文件!");
            // A later audio stream replaces an earlier one: the last one is extracted.
            streamNumber_ = sp.flags;
            format_ = sp.typeSpecific;
            headerLength_ = static_cast<std::int32_t>(kBeforeFormat + format_.size());
        }
    }
}

void TAsf2Wav::Extract() {
    IHost& host = Host();
    if (streamNumber_ == 0) {
        host.Log("--> 找不到任何待转换的音频流. 正在退出..");
        outcome_ = Outcome::Refused;
        return;
    }
    chunkSize_ = CheckedChunkSize(chunkSize_, kChunkBufferSize);
    host.Log("正在转换流 #" + std::to_string(streamNumber_));
    out_.Write(WaveHeaderImage(format_));
    headerWritten_ = true;

    const std::uint64_t total = ReadDataObjectTotal(source_);
    host.Log("数据块数量: " + std::to_string(total));
    host.SetProgressRange(static_cast<std::int64_t>(total));
    layout_ = ReadPacketLayout(source_, chunkSize_, host);
    ChunkLoop loop(source_, chunkSize_, layout_, host, Aborted);
    const ChunkPass pass = loop.Run(static_cast<std::int64_t>(total), [this](auto chunk) { ParseChunk(chunk); });
    host.SetProgress(0);
    host.SetStatus("");
    host.Log("  找到" + std::to_string(pass.count) + " 数据块");
    host.Log("  数据块已放弃:" + std::to_string(pass.abandoned));
    host.Log("  数据块已转换:" + std::to_string(pass.count - pass.abandoned));
    summary_.chunks = pass.count;
    summary_.abandoned = pass.abandoned;
    outcome_ = pass.aborted ? Outcome::Aborted : Outcome::Done;
    if (summary_.objects == 0 && !pass.aborted) {
        // Every chunk abandoned, a data object cut off at its head, or payloads of no stream
        // that matches (encrypted content): a WAVE file without data is no extraction.
        host.Log("  错误: 在此流媒体中未发现音频数据: #" + std::to_string(streamNumber_));
        outcome_ = Outcome::Refused;
    }
}

void TAsf2Wav::ParseChunk(std::span<const std::uint8_t> chunk) {
    ForEachPayload(chunk, chunkSize_, [this](std::span<const std::uint8_t> c, const ParsedPacket&, const PacketPayload& p) {
        // The whole flags field is compared, so a stream with bits above the stream number set
        // (encrypted content) matches no payload.
        if (p.streamNumber != streamNumber_) return;
        const auto data = c.subspan(p.dataAt, p.dataLength);
        if (p.compressed) {
            for (const auto& piece : p.pieces) WriteObject(c.subspan(piece.at, piece.length));
        } else if (p.replicatedLength >= 8) {
            switch (assembler_->Put(p.offsetIntoMediaObject, data, p.mediaObjectSize)) {
                case MediaObjectAssembler::Result::Complete: WriteObject(assembler_->Object()); break;
                case MediaObjectAssembler::Result::TooLarge:
                    if (p.offsetIntoMediaObject == 0)
                        Host().Log("媒体对象太大 (" + std::to_string(p.mediaObjectSize) + " 字节, 上限 " +
                                   std::to_string(assembler_->Capacity()) + "), 已丢弃");
                    break;
                case MediaObjectAssembler::Result::Stored: break;
            }
        } else {
            // Without replicated data the object's size is unknown: the payload is taken whole.
            WriteObject(data);
        }
    });
}

void TAsf2Wav::WriteObject(std::span<const std::uint8_t> data) {
    out_.EnsureRiffRoom(static_cast<std::int64_t>(data.size()));
    out_.Write(data);
    ++summary_.objects;
}

void TAsf2Wav::Close() {
    IHost& host = Host();
    // Only a WAVE file holding audio data remains: after a failure, or when nothing was
    // extracted, what the run created is removed. A run ended by the RIFF size limit keeps
    // the whole file it wrote up to there.
    bool keep = headerWritten_ && summary_.objects > 0 &&
                (outcome_ == Outcome::Done || outcome_ == Outcome::Aborted || out_.LimitReached());
    keep = EndOutput(out_, keep, [this] { FinishOutput(); }, host, outcome_);
    try { source_.Close(); } catch (const IoError&) {}
    assembler_.reset();
    if (!headerWritten_) DiscardOutput(OutFileName, &host, DiscardReason::Empty);
    else if (!keep) DiscardOutput(OutFileName, &host, DiscardReason::Unfinished);
    host.Log("文件已关闭");
}

void TAsf2Wav::FinishOutput() {
    // Both size fields agree with the file's length, whatever ended the run.
    const std::int64_t size = out_.Size();
    out_.PatchU32(4, static_cast<std::uint32_t>(size - 8));
    out_.PatchU32(headerLength_ + 4, static_cast<std::uint32_t>(size - headerLength_ - 8));
    summary_.outputSize = size;
}

}  // namespace mendery
