#include "convert/encoder/DecodeCheck.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "asf/BinaryFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace mendery {

namespace {

// Errors the libraries log while this thread runs a check: a damaged picture is concealed and
// decoding goes on, so the log is where most decode errors show.
thread_local std::int64_t* errorCounter = nullptr;

void CountingLogCallback(void* avcl, int level, const char* fmt, va_list args) {
    if (errorCounter) {
        if (level <= AV_LOG_ERROR) ++*errorCounter;
        return;  // a check is silent; it reports through its counts
    }
    av_log_default_callback(avcl, level, fmt, args);
}

struct ErrorCounting {
    explicit ErrorCounting(std::int64_t& counter) {
        static const bool installed = [] {
            av_log_set_callback(CountingLogCallback);
            return true;
        }();
        (void)installed;
        errorCounter = &counter;
    }
    ~ErrorCounting() { errorCounter = nullptr; }
};

struct InputClose { void operator()(AVFormatContext* f) const { avformat_close_input(&f); } };
struct CodecClose { void operator()(AVCodecContext* c) const { avcodec_free_context(&c); } };
struct FrameFree { void operator()(AVFrame* f) const { av_frame_free(&f); } };
struct PacketFree { void operator()(AVPacket* p) const { av_packet_free(&p); } };

std::string AvError(int err) {
    if (err < 0 && err > -4096) return SystemReason(-err);
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

const char* KindName(AVMediaType type) {
    switch (type) {
        case AVMEDIA_TYPE_VIDEO: return "视频";
        case AVMEDIA_TYPE_AUDIO: return "音频";
        default: return "其他";
    }
}

struct StreamDecoder {
    int index = -1;
    std::unique_ptr<AVCodecContext, CodecClose> codec;
    std::size_t resultSlot = 0;
    std::int64_t lastDts = AV_NOPTS_VALUE;
};

class Checker {
public:
    Checker(const std::string& path, const std::function<bool()>& stop) : path_(path), stop_(stop) {}

    DecodeResult Run() {
        {
            ErrorCounting counting(result_.decodeErrors);
            if (!Open()) return result_;
            DecodeAll();
        }
        if (!result_.stopped) {
            std::int64_t whileSeeking = 0;  // re-reading damage already counted
            ErrorCounting quiet(whileSeeking);
            CheckSeek();
        }
        return result_;
    }

private:
    bool Open() {
        if (const std::string why = CheckInputFile(path_); !why.empty()) return Refuse(why);
        AVFormatContext* ctx = nullptr;
        if (int err = avformat_open_input(&ctx, path_.c_str(), nullptr, nullptr); err < 0)
            return Refuse("无法打开: " + AvError(err));
        in_.reset(ctx);
        if (int err = avformat_find_stream_info(in_.get(), nullptr); err < 0)
            return Refuse("无法读取流信息: " + AvError(err));
        for (unsigned i = 0; i < in_->nb_streams; ++i) OpenDecoder(static_cast<int>(i));
        if (decoders_.empty()) return Refuse("没有可解码的流");
        result_.opened = true;
        return true;
    }

    bool Refuse(const std::string& why) {
        result_.whyNot = why;
        result_.opened = false;
        return false;
    }

    void OpenDecoder(int index) {
        AVStream* s = in_->streams[index];
        const AVCodec* codec = avcodec_find_decoder(s->codecpar->codec_id);
        if (!codec) return;
        std::unique_ptr<AVCodecContext, CodecClose> dec(avcodec_alloc_context3(codec));
        if (!dec || avcodec_parameters_to_context(dec.get(), s->codecpar) < 0) return;
        dec->pkt_timebase = s->time_base;
        dec->thread_count = 1;  // the same counts on every machine, and frugal beside other work
        if (avcodec_open2(dec.get(), codec, nullptr) < 0) return;
        result_.streams.push_back({s->id, KindName(s->codecpar->codec_type), 0});
        decoders_.push_back({index, std::move(dec), result_.streams.size() - 1});
    }

    StreamDecoder* DecoderFor(int streamIndex) {
        for (auto& d : decoders_)
            if (d.index == streamIndex) return &d;
        return nullptr;
    }

    bool StopAsked() {
        if (!stop_ || ++sinceStopCheck_ < kDecodeStopCheckPackets) return false;
        sinceStopCheck_ = 0;
        return result_.stopped = stop_();
    }

    void DecodeAll() {
        std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
        frame_.reset(av_frame_alloc());
        int readFailures = 0;
        while (!StopAsked()) {
            const int err = av_read_frame(in_.get(), packet.get());
            if (err == AVERROR_EOF) break;
            if (err < 0) {
                // A damaged stretch: the demuxer resynchronises on the next read unless the
                // file itself cannot be read any further.
                ++result_.decodeErrors;
                if (++readFailures > 1000 || (in_->pb && in_->pb->eof_reached)) break;
                continue;
            }
            readFailures = 0;
            if (StreamDecoder* d = DecoderFor(packet->stream_index)) {
                CheckTimestampOrder(*d, *packet);
                Send(*d, packet.get());
            }
            av_packet_unref(packet.get());
        }
        if (result_.stopped) return;
        for (auto& d : decoders_) Send(d, nullptr);  // drain
    }

    // A stream whose timestamps run backwards plays out of order or stalls: one error per
    // packet that does not come after the one before it, as a muxer would refuse it.
    void CheckTimestampOrder(StreamDecoder& d, const AVPacket& packet) {
        if (packet.dts == AV_NOPTS_VALUE) return;
        if (d.lastDts != AV_NOPTS_VALUE && packet.dts <= d.lastDts) ++result_.decodeErrors;
        d.lastDts = packet.dts;
    }

    // One packet's decode counts one error however many lines the decoder writes about it: a
    // damaged picture gives a line per damaged block, and a count of lines would weigh one
    // damaged frame as dozens of clean ones.
    void Send(StreamDecoder& d, const AVPacket* packet) {
        const std::int64_t loggedBefore = result_.decodeErrors;
        SendAndReceive(d, packet);
        result_.decodeErrors = std::min(result_.decodeErrors, loggedBefore + 1);
    }

    void SendAndReceive(StreamDecoder& d, const AVPacket* packet) {
        const std::int64_t loggedBefore = result_.decodeErrors;
        int err = avcodec_send_packet(d.codec.get(), packet);
        if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_EOF && result_.decodeErrors == loggedBefore)
            ++result_.decodeErrors;
        while (true) {
            const std::int64_t before = result_.decodeErrors;
            err = avcodec_receive_frame(d.codec.get(), frame_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) break;
            if (err < 0) {
                if (result_.decodeErrors == before) ++result_.decodeErrors;
                break;
            }
            TakeFrame(d, *frame_);
            av_frame_unref(frame_.get());
        }
    }

    void TakeFrame(StreamDecoder& d, const AVFrame& frame) {
        ++result_.streams[d.resultSlot].frames;
        const AVStream* s = in_->streams[d.index];
        const std::int64_t ts = frame.best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE) return;
        const double start = ts * av_q2d(s->time_base);
        double length = 0;
        if (frame.pkt_duration > 0) length = frame.pkt_duration * av_q2d(s->time_base);
        else if (frame.sample_rate > 0) length = static_cast<double>(frame.nb_samples) / frame.sample_rate;
        if (!anyTimestamp_ || start < result_.firstSeconds) result_.firstSeconds = start;
        if (!anyTimestamp_ || start + length > result_.endSeconds) result_.endSeconds = start + length;
        anyTimestamp_ = true;
    }

    // Seeks to the middle of what played and reads on to the first packet with a timestamp:
    // the file seeks when that packet lies within a few seconds of the target.
    void CheckSeek() {
        if (!anyTimestamp_ || in_->nb_streams == 0) return;
        const double target = (result_.firstSeconds + result_.endSeconds) / 2;
        const auto targetUs = static_cast<std::int64_t>(target * AV_TIME_BASE);
        if (av_seek_frame(in_.get(), -1, targetUs, AVSEEK_FLAG_BACKWARD) < 0) return;
        std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
        for (int read = 0; read < 10000; ++read) {
            if (av_read_frame(in_.get(), packet.get()) < 0) {
                if (in_->pb && in_->pb->eof_reached) return;
                continue;
            }
            const AVStream* s = in_->streams[packet->stream_index];
            const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            const double at = ts == AV_NOPTS_VALUE ? 0 : ts * av_q2d(s->time_base);
            av_packet_unref(packet.get());
            if (ts == AV_NOPTS_VALUE) continue;
            result_.seekable = std::fabs(at - target) <= kSeekToleranceSeconds;
            return;
        }
    }

    std::string path_;
    const std::function<bool()>& stop_;
    DecodeResult result_;
    std::unique_ptr<AVFormatContext, InputClose> in_;
    std::vector<StreamDecoder> decoders_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    bool anyTimestamp_ = false;
    int sinceStopCheck_ = 0;
};

}  // namespace

DecodeResult RunDecodeCheck(const std::string& path, const std::function<bool()>& stop) {
    return Checker(path, stop).Run();
}

}  // namespace mendery
