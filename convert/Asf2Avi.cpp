#include "convert/Asf2Avi.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "asf/AsfGuid.h"
#include "asf/AsfObjects.h"
#include "asf/ByteCursor.h"
#include "asf/StagedOutput.h"

namespace mendery {

namespace {
constexpr std::uint8_t kIndexKeyFrame = 0x10;

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

IHost& TAsf2Avi::Host() const {
    if (!host_) throw std::logic_error("TAsf2Avi has no host");
    return *host_;
}

std::string TAsf2Avi::WmvWarning(const std::string& fourcc) {
    return "此文件已使用 \"" + fourcc + "\"视频格式 " + "压缩. 否则生成的AVI将不能显示视频!\r" +
           "如果需要更多信息, 请查阅Mendery网页上的F.A.Q.页面. 否则, 您  " +
           "可以使用\"Re-Encode\"工具改变压缩方法并返回AVI文件的此处 " + "转换.\r\r" + "您希望忽略此提示并继续?";
}

std::string TAsf2Avi::PercentText(double percent) {
    // Three significant digits first, then one decimal place.
    if (percent != 0 && std::isfinite(percent)) {
        const double magnitude = std::pow(10.0, 2 - std::floor(std::log10(std::fabs(percent))));
        percent = std::round(percent * magnitude) / magnitude;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", percent);
    return text;
}

void TAsf2Avi::Reset() {
    TimingMethod = tmFewestDuplicates;
    QuickReSync = false;
    SetEditMode(emClear);
    SetEditMode(emLock);
    Host().SetProgress(0);
    Host().ClearLog();
}

void TAsf2Avi::ShowHeaderValues() { Fields = mendery::ShowHeaderValues(image_); }
void TAsf2Avi::ApplyHeaderEdits() { mendery::ApplyHeaderEdits(Fields, image_); }

void TAsf2Avi::SetEditMode(TEditMode mode) {
    if (mode == emClear) {
        Fields = {};
        return;
    }
    editMode_ = mode;
    const std::string compression = image_.FourCC(avi::VideoCompression);
    divXEnabled_ = mode == emUnlock && (compression == "MP42" || compression == "MP43");
}

bool TAsf2Avi::SetHeaderEditing(bool on) {
    if (!on) {
        SetEditMode(emLock);
        return true;
    }
    if (Fields.Empty()) {
        Host().Message("没有文件可编辑!", MessageKind::Plain);
        return false;
    }
    SetEditMode(emUnlock);
    return true;
}

void TAsf2Avi::UpgradeAvi(bool logIt) {
    if (Fields.Empty()) return;
    ApplyHeaderEdits();
    BinaryFile avi(OutFileName, BinaryFile::Mode::ReadWrite);
    avi.Write(image_.Data());
    avi.Close();
    if (logIt) Host().Log("文件头已更新!");
}

bool TAsf2Avi::MakeDivX() {
    if (Fields.Empty()) return false;  // no finished file to relabel
    const std::string twin = DivXFourCC(image_.FourCC(avi::VideoCompression));
    if (twin.empty()) return false;
    Fields.videoHandler = twin;
    Fields.compression = twin;
    UpgradeAvi(false);
    divXEnabled_ = false;
    Host().Log("文件转换为 DivX");
    return true;
}

void TAsf2Avi::Convert() {
    IHost& host = Host();
    // A stop requested before or while the run starts (also during the WMV question) is kept;
    // this run uses it up.
    const AbortRequestScope abortScope(Aborted);
    host.ClearLog();
    SetEditMode(emClear);
    outcome_ = Outcome::NotRun;
    summary_ = {};
    videoStream_ = audioStream_ = 0;
    chunkSize_ = 0;
    videoFrames_ = 0;
    addedFrames_ = 0;
    frameDuration_ = kDefaultFrameDuration;
    placeholderWritten_ = converting_ = false;

    host.Log("打开中" + FileName);
    const std::string indexName = OutFileName + ".idx";
    std::string refusal = OutputRefusalLine(FileName, OutFileName);
    if (refusal.empty()) refusal = OutputRefusalLine(FileName, indexName);
    if (refusal.empty() && IsSameFile(OutFileName, indexName)) refusal = "输出文件不能和索引文件相同!";
    if (!refusal.empty()) {
        host.Log(refusal);
        outcome_ = Outcome::Refused;
        return;
    }
    source_.Open(FileName, BinaryFile::Mode::Read);
    try {
        out_.Create(OutFileName);
        // The frames and sound take about as many bytes in the AVI as in the source.
        out_.Reserve(source_.Size());
        indexOut_.Create(indexName);
    } catch (...) {
        source_.Close();
        if (out_.IsOpen()) {
            out_.CloseUnflushed();
            std::error_code ec;
            std::filesystem::remove(OutFileName, ec);
        }
        throw;
    }
    audioObjects_ = std::make_unique<MediaObjectAssembler>(kAssemblyBufferSize);
    otherObjects_ = std::make_unique<MediaObjectAssembler>(kAssemblyBufferSize);
    SetEditMode(emLock);

    RunConversion(host, outcome_, [this] {
        image_.BuildPlaceholder();
        ReadHeader();
        Run();
    });
    Close();
}

void TAsf2Avi::ReadHeader() {
    IHost& host = Host();
    const SourceHead head = ReadSourceHead(source_, host, kHeaderBodyLimit);
    std::vector<std::uint8_t> video, audio;
    for (const SubObject& o : head.walk.objects) {
        ByteCursor object = ByteCursor(head.header).Seek(o.offset).Sub(o.size);
        if (o.guid == guids::FileProperties) {
            chunkSize_ = FileProperties::Read(object).minPacketSize;
            host.Log("已定位: 文件属性对象");
        } else if (o.guid == guids::StreamProperties) {
            const StreamProperties sp = StreamProperties::Read(object);
            if (sp.IsVideo()) {
                if (videoStream_ != 0) {
                    host.Log("已找到并丢弃更多视频流.");
                    continue;
                }
                videoStream_ = sp.flags;
                video = sp.typeSpecific;
                host.Log("已定位: 视频流对象, 流序号" + std::to_string(sp.flags));
            } else {
                // The first stream that is not video is the audio stream, whatever its type.
                if (audioStream_ != 0) {
                    host.Log("已找到并丢弃更多音频流.");
                    continue;
                }
                audioStream_ = sp.flags;
                audio = sp.typeSpecific;
                host.Log("已定位: 音频流对象, 流序号" + std::to_string(sp.flags));
            }
        }
    }
    if (audio.size() > avi::MaxAudioFormat)
        throw ConvertRefusal("音频格式数据太长 (" + std::to_string(audio.size()) + " 字节, 上限 " +
                             std::to_string(avi::MaxAudioFormat) + "), 不能转换此文件!");
    if (videoStream_ != 0) image_.SetVideo(video);
    // Without an audio stream the format block is empty and the auds header keeps zero values.
    image_.SetAudio(audio);
    image_.PlaceJunk();
}

void TAsf2Avi::Run() {
    IHost& host = Host();
    if (videoStream_ == 0) {
        host.Log("-->找不到任何待转换的视频流. 正在退出..");
        outcome_ = Outcome::Refused;
        return;
    }
    chunkSize_ = CheckedChunkSize(chunkSize_, kChunkBufferSize);
    WritePlaceholder();
    if (!VideoCodecAccepted()) {
        outcome_ = Outcome::Declined;
        return;
    }

    const std::uint64_t total = ReadDataObjectTotal(source_);
    host.Log("数据块数量: " + std::to_string(total));
    host.SetProgressRange(static_cast<std::int64_t>(total));
    const std::int64_t firstChunk = source_.Tell();
    layout_ = ReadPacketLayout(source_, chunkSize_, host);

    host.Log("步骤 1, 正在分析...");
    const ChunkPass analysis = RunPass(Pass::Analyse, static_cast<std::int64_t>(total));
    if (analysis.aborted) {
        SetEditMode(emClear);
        outcome_ = Outcome::Aborted;
        return;
    }
    host.SetProgressRange(analysis.count);
    host.Log("  找到" + std::to_string(analysis.count) + " 数据块");
    SetFrameDuration();

    source_.Seek(firstChunk);
    host.Log("步骤 2, 正在转换...");
    converting_ = true;
    const ChunkPass conversion = WritePass(analysis.count);
    ReportConversion(conversion);
    summary_.chunks = conversion.count;
    summary_.abandoned = conversion.abandoned;
    outcome_ = conversion.aborted ? Outcome::Aborted : Outcome::Done;
    // An AVI without a single video frame is no conversion: nothing usable came out.
    if (videoFrames_ == 0 && !conversion.aborted) outcome_ = Outcome::Refused;
}

void TAsf2Avi::WritePlaceholder() {
    videoFrames_ = 0;
    frameDuration_ = kDefaultFrameDuration;
    histogram_.Clear();
    image_.SetU32(avi::MoviSize, 4);
    out_.Write(image_.Data());
    placeholderWritten_ = true;
    moviBase_ = out_.Tell() - 4;
    ShowHeaderValues();
}

bool TAsf2Avi::VideoCodecAccepted() {
    const std::string compression = image_.FourCC(avi::VideoCompression);
    if (Upper(compression) != "WMV1" && Upper(compression) != "WMV2") return true;
    return Host().Ask(WmvWarning(compression), Buttons::YesNoCancel, MessageKind::Warning) == Answer::Yes;
}

void TAsf2Avi::SetFrameDuration() {
    frameDuration_ = histogram_.FrameDuration(TimingMethod);
    if (frameDuration_ <= 0) {
        // No interval between 10 and 500 ms was seen: nothing to average.
        frameDuration_ = kDefaultFrameDuration;
        Host().Log("  未找到可用的帧间隔, 使用默认帧时长: " + std::to_string(frameDuration_) + " 微秒");
    }
    image_.SetU32(avi::MicroSecPerFrame, static_cast<std::uint32_t>(frameDuration_));
    image_.SetU32(avi::VideoScale, static_cast<std::uint32_t>(frameDuration_));
    image_.SetU32(avi::VideoRate, 1000000);
    ShowHeaderValues();
}

ChunkPass TAsf2Avi::WritePass(std::int64_t total) {
    ChunkPass conversion;
    try {
        conversion = RunPass(Pass::Write, total);
    } catch (...) {
        // Whatever was written stays counted in the header.
        image_.SetU32(avi::TotalFrames, static_cast<std::uint32_t>(videoFrames_));
        image_.SetU32(avi::VideoLength, static_cast<std::uint32_t>(videoFrames_));
        throw;
    }
    image_.SetU32(avi::TotalFrames, static_cast<std::uint32_t>(videoFrames_));
    image_.SetU32(avi::VideoLength, static_cast<std::uint32_t>(videoFrames_));
    return conversion;
}

void TAsf2Avi::ReportConversion(const ChunkPass& conversion) {
    IHost& host = Host();
    host.SetProgress(0);
    host.SetStatus("");
    host.Log("  数据块已放弃:" + std::to_string(conversion.abandoned));
    host.Log("  数据块已转换:" + std::to_string(conversion.count - conversion.abandoned));
    host.Log("  帧率设置:" + Fields.framesPerSecond);
    if (videoFrames_ == 0) {
        host.Log("  错误: 在此流媒体中未发现视频帧: #" + std::to_string(videoStream_));
    } else {
        host.Log("  为 A/V 同步添加帧:" + std::to_string(addedFrames_) + ",  " +
                 PercentText(double(addedFrames_) / double(videoFrames_) * 100) + "全部的%:" +
                 std::to_string(videoFrames_));
    }
    ShowHeaderValues();
}

namespace {
// A payload of an object whose size and time its replicated data give: its time counts for the
// timeline, and its fragments are put together.
bool HasWholeObjectTime(const PacketPayload& p) { return !p.compressed && p.replicatedLength >= 8; }
}  // namespace

ChunkPass TAsf2Avi::RunPass(Pass pass, std::int64_t total) {
    timeline_ = {};
    addedFrames_ = 0;
    ChunkLoop loop(source_, chunkSize_, layout_, Host(), Aborted);
    if (pass == Pass::Write) return loop.Run(total, [this](auto chunk) { ParseChunk(chunk); });
    // The analysis needs only the times of whole payloads: read and parsed on two cores.
    const std::uint32_t chunkSize = chunkSize_;
    const auto find = [chunkSize](std::span<const std::uint8_t> chunk, std::vector<PayloadTime>& found) {
        ForEachPayload(chunk, chunkSize, [&found](std::span<const std::uint8_t>, const ParsedPacket& packet,
                                                  const PacketPayload& p) {
            if (HasWholeObjectTime(p)) found.push_back({p.presentationTime, packet.sendTime});
        });
    };
    return loop.RunTimeScan(total, find, [this](const PayloadTime& t) { timeline_.Note(t.presentation, t.send, histogram_); });
}

void TAsf2Avi::ParseChunk(std::span<const std::uint8_t> chunk) {
    ForEachPayload(chunk, chunkSize_, [this](std::span<const std::uint8_t> c, const ParsedPacket& packet,
                                             const PacketPayload& p) {
        const bool whole = HasWholeObjectTime(p);
        if (whole) timeline_.Note(p.presentationTime, packet.sendTime, histogram_);
        const std::uint8_t streamByte = static_cast<std::uint8_t>(p.streamNumber | (p.keyFrame ? 0x80 : 0));
        const auto data = c.subspan(p.dataAt, p.dataLength);
        if (p.compressed) {
            for (const auto& piece : p.pieces) WriteMediaObject(c.subspan(piece.at, piece.length), streamByte);
        } else if (whole) {
            auto& objects = p.streamNumber == audioStream_ ? *audioObjects_ : *otherObjects_;
            switch (objects.Put(p.offsetIntoMediaObject, data, p.mediaObjectSize)) {
                case MediaObjectAssembler::Result::Complete: WriteMediaObject(objects.Object(), streamByte); break;
                case MediaObjectAssembler::Result::TooLarge:
                    if (p.offsetIntoMediaObject == 0)
                        Host().Log("媒体对象太大 (" + std::to_string(p.mediaObjectSize) + " 字节, 上限 " +
                                   std::to_string(objects.Capacity()) + "), 已丢弃");
                    break;
                case MediaObjectAssembler::Result::Stored: break;
            }
        } else {
            // Without replicated data the object's size is unknown: the payload is taken whole.
            WriteMediaObject(data, streamByte);
        }
    });
}

void TAsf2Avi::WriteMediaObject(std::span<const std::uint8_t> data, std::uint8_t streamByte) {
    const int stream = streamByte & 0x7F;
    const bool key = (streamByte & 0x80) != 0;
    if (stream == audioStream_) {
        WriteChunk("01wb", data, key);
        return;
    }
    if (stream != videoStream_) {
        WriteChunk("XXXX", data, key);
        return;
    }
    // The AVI starts with a key frame: what comes before the first one cannot be decoded.
    if (videoFrames_ == 0 && !key) return;
    if (key && videoFrames_ > 10 && QuickReSync)
        while (timeline_.syncBalance > 250000) InsertEmptyFrame();
    if (timeline_.syncBalance > frameDuration_) InsertEmptyFrame();
    WriteChunk("00dc", data, key);
    ++videoFrames_;
    timeline_.syncBalance -= frameDuration_;
}

void TAsf2Avi::InsertEmptyFrame() {
    ++videoFrames_;
    ++addedFrames_;
    timeline_.syncBalance -= frameDuration_;
    WriteChunk("00dc", {}, false);
}

void TAsf2Avi::WriteChunk(const char* fourcc, std::span<const std::uint8_t> data, bool key) {
    const std::int64_t padded = static_cast<std::int64_t>(data.size() + (data.size() & 1));
    // The chunk, its index entry and the idx1 chunk header must all stay inside 32-bit RIFF sizes.
    out_.EnsureRiffRoom(8 + padded + indexOut_.Tell() + 16 + 8);
    std::uint8_t entry[16];
    std::copy_n(fourcc, 4, entry);
    BytePatcher e(entry);
    e.U32At(4, key ? kIndexKeyFrame : 0);
    e.U32At(8, static_cast<std::uint32_t>(out_.Tell() - moviBase_));
    e.U32At(12, static_cast<std::uint32_t>(data.size()));
    indexOut_.Write(entry);
    out_.WriteChunk(fourcc, data);
    image_.SetU32(avi::MoviSize, image_.U32(avi::MoviSize) + static_cast<std::uint32_t>(8 + padded));
    if (fourcc[0] == 'X') {
        ++summary_.otherChunks;
    } else {
        ++summary_.avChunks;
        if (fourcc[3] == 'b') ++summary_.audioChunks;
    }
}

void TAsf2Avi::Close() {
    IHost& host = Host();
    const std::string indexName = OutFileName + ".idx";
    // Only an AVI holding video frames remains. Nothing is left when the run ended before the
    // writing pass, failed, or converted no frame; a run ended by the RIFF size limit keeps
    // the whole file it wrote up to there.
    const bool wrote = placeholderWritten_ && converting_;
    bool keep = wrote && videoFrames_ > 0 &&
                (outcome_ == Outcome::Done || outcome_ == Outcome::Aborted || out_.LimitReached());
    keep = EndOutput(out_, keep, [this] { FinishOutput(); }, host, outcome_);
    try { source_.Close(); } catch (const IoError&) {}
    try { indexOut_.CloseUnflushed(); } catch (const IoError&) {}
    audioObjects_.reset();
    otherObjects_.reset();
    std::error_code ec;
    std::filesystem::remove(indexName, ec);
    if (!keep) {
        SetEditMode(emClear);
        DiscardOutput(OutFileName, &host, wrote ? DiscardReason::Unfinished : DiscardReason::Empty);
    }
    host.Log("文件已关闭");
    host.Log("");
}

void TAsf2Avi::FinishOutput() {
    out_.AppendChunk("idx1", indexOut_);
    const std::int64_t size = out_.Size();
    image_.SetU32(avi::RiffSize, static_cast<std::uint32_t>(size - 8));
    out_.Patch(0, image_.Data());
    summary_.outputSize = size;
}

}  // namespace mendery
