#include "convert/encoder/EncoderEnginePipeline.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "asf/BinaryFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace mendery {

namespace {
// FFmpeg's codes for system errors are the negated error numbers; its own codes are tags far
// below.
bool IsSystemError(int err) { return err < 0 && err > -4096; }

// The reason for an FFmpeg error code: the system's reason in the program's language for a
// system error, FFmpeg's own text otherwise.
std::string AvError(int err) {
    if (IsSystemError(err)) return SystemReason(-err);
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}
void Check(int err, const std::string& what) {
    if (err < 0) throw EncoderError(what + ": " + AvError(err));
}
// A failed call on a file: an input/output error when the file's own I/O failed, else an
// encoder error.
void CheckFileCall(int err, const AVIOContext* pb, const std::string& what) {
    if (err >= 0) return;
    if (pb && pb->error < 0 && pb->error != AVERROR_EOF) throw IoError(what + ": " + AvError(pb->error));
    if (IsSystemError(err) && err != AVERROR(EINVAL) && err != AVERROR(ENOMEM)) throw IoError(what + ": " + AvError(err));
    throw EncoderError(what + ": " + AvError(err));
}

struct CodecContextFree { void operator()(AVCodecContext* c) const { avcodec_free_context(&c); } };
struct FrameFree { void operator()(AVFrame* f) const { av_frame_free(&f); } };
struct PacketFree { void operator()(AVPacket* p) const { av_packet_free(&p); } };
struct SwsFree { void operator()(SwsContext* s) const { sws_freeContext(s); } };
struct SwrFree { void operator()(SwrContext* s) const { swr_free(&s); } };
struct FifoFree { void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); } };
struct InputClose { void operator()(AVFormatContext* f) const { avformat_close_input(&f); } };
struct OutputClose {
    void operator()(AVFormatContext* f) const {
        if (f->pb && !(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

FramePtr NewFrame() {
    FramePtr f(av_frame_alloc());
    if (!f) throw EncoderError("内存不足");
    return f;
}

constexpr AVRational kMicroseconds{1, 1000000};
constexpr AVRational kMilliseconds{1, 1000};
// A timestamp gap up to this long is filled (video: the last picture repeated, audio:
// silence) so the output keeps its frame cadence and audio stays in step with video.
constexpr std::int64_t kMaxGapFillUs = 60'000'000;
constexpr std::int32_t kLowestWmaBitrate = 24000;
// Audio gaps shorter than this are ordinary timestamp jitter, not lost audio.
constexpr std::int64_t kAudioGapToleranceUs = 100'000;
}  // namespace

struct EncodePipeline::Impl {
    explicit Impl(EncodePipeline& o, const EncodeJob& j) : owner(o), job(j) {}

    EncodePipeline& owner;
    EncodeJob job;
    std::unique_ptr<AVFormatContext, InputClose> in;
    std::unique_ptr<AVFormatContext, OutputClose> out;
    std::string sourcePath;
    bool outputCreated = false;
    std::int64_t originUs = 0;
    PacketPtr readPacket{av_packet_alloc()}, encodedPacket{av_packet_alloc()};
    FramePtr decoded = NewFrame();

    struct Video {
        int inIndex = -1;
        AVStream* stream = nullptr;
        CodecContextPtr dec, enc;
        std::unique_ptr<SwsContext, SwsFree> sws;
        int swsWidth = 0, swsHeight = 0, swsFormat = -1;
        FramePtr picture;  // the last scaled picture, repeated to fill gaps
        bool havePicture = false;
        std::int64_t nextPts = 0;  // in the encoder's time base (one tick per frame)
    } video;

    struct Audio {
        int inIndex = -1;
        AVStream* stream = nullptr;
        CodecContextPtr dec, enc;
        std::unique_ptr<SwrContext, SwrFree> swr;
        int swrRate = 0, swrFormat = -1;
        AVChannelLayout swrLayout{};
        std::unique_ptr<AVAudioFifo, FifoFree> fifo;
        bool started = false;
        std::int64_t fifoPts = 0;  // output sample position of the first sample in the FIFO
        FramePtr frame;            // one encoder frame
    } audio;

    ~Impl() { av_channel_layout_uninit(&audio.swrLayout); }

    // ---- opening -------------------------------------------------------------------------
    void OpenSource() {
        const std::string& path = sourcePath = !job.VideoSource.empty() ? job.VideoSource : job.AudioSource;
        if (!job.VideoSource.empty() && !job.AudioSource.empty() && job.VideoSource != job.AudioSource)
            throw EncoderError("音频源和视频源必须是同一个文件");
        // FFmpeg opens by name: a FIFO or device would block it, so only a regular file goes in.
        if (const std::string why = CheckInputFile(path); !why.empty())
            throw IoError("无法打开源文件 \"" + path + "\": " + why);
        AVFormatContext* ctx = nullptr;
        CheckFileCall(avformat_open_input(&ctx, path.c_str(), nullptr, nullptr), nullptr, "无法打开源文件 \"" + path + "\"");
        in.reset(ctx);
        CheckFileCall(avformat_find_stream_info(in.get(), nullptr), in->pb, "无法读取源文件的流信息 \"" + path + "\"");
        originUs = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
    }

    CodecContextPtr OpenDecoder(int index) {
        AVStream* s = in->streams[index];
        const AVCodec* codec = avcodec_find_decoder(s->codecpar->codec_id);
        if (!codec) return nullptr;
        CodecContextPtr dec(avcodec_alloc_context3(codec));
        if (!dec) throw EncoderError("内存不足");
        Check(avcodec_parameters_to_context(dec.get(), s->codecpar), "解码器参数无效");
        dec->pkt_timebase = s->time_base;
        dec->thread_count = 0;
        if (avcodec_open2(dec.get(), codec, nullptr) < 0) return nullptr;
        return dec;
    }

    void FindStreams() {
        const bool profileVideo = job.VideoBitrate > 0 && !job.VideoSource.empty();
        const bool profileAudio = job.AudioBitrate > 0 && job.AudioChannels > 0 && job.AudioSamplesPerSec > 0 &&
                                  !job.AudioSource.empty();
        if (profileVideo) {
            int i = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
            if (i >= 0 && (video.dec = OpenDecoder(i))) video.inIndex = i;
        }
        if (profileAudio) {
            int i = av_find_best_stream(in.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
            if (i >= 0 && (audio.dec = OpenDecoder(i))) audio.inIndex = i;
        }
        if (video.inIndex < 0 && audio.inIndex < 0) throw EncoderError("源文件中没有可以解码的音频或视频流");
    }

    AVRational FrameRate() const {
        // Whole frame rates come back exactly: 10,000,000 / 333,333 is 30.
        const std::int64_t avg = job.AvgTimePerFrame > 0 ? job.AvgTimePerFrame : 333333;
        const double fps = 1e7 / static_cast<double>(avg);
        const double whole = std::round(fps);
        if (whole >= 1 && std::fabs(fps - whole) < 1e-3) return {static_cast<int>(whole), 1};
        return {10000000, static_cast<int>(std::min<std::int64_t>(avg, INT32_MAX))};
    }

    void OpenVideoEncoder() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSMPEG4V3);
        if (!codec) throw EncoderError("找不到 MPEG-4 v3 视频编码器");
        video.enc.reset(avcodec_alloc_context3(codec));
        auto* e = video.enc.get();
        int width = job.VideoWidth > 0 ? job.VideoWidth : video.dec->width;
        int height = job.VideoHeight > 0 ? job.VideoHeight : video.dec->height;
        // The codec works on 2x2 chroma blocks: an odd size loses its last column or row.
        width &= ~1;
        height &= ~1;
        if (width < 16 || height < 16) throw EncoderError("视频尺寸无效: " + std::to_string(width) + " x " + std::to_string(height));
        const AVRational fps = FrameRate();
        e->width = width;
        e->height = height;
        e->pix_fmt = AV_PIX_FMT_YUV420P;
        e->framerate = fps;
        e->time_base = av_inv_q(fps);
        e->bit_rate = job.VideoBitrate;
        // The profile's buffer window bounds how far the bitrate may stray over that time.
        if (job.VideoBufferWindowMs > 0) {
            e->rc_max_rate = job.VideoBitrate;
            e->rc_buffer_size = static_cast<int>(std::min<std::int64_t>(
                INT32_MAX, static_cast<std::int64_t>(job.VideoBitrate) * job.VideoBufferWindowMs / 1000));
        }
        // Key frame spacing in 100-ns units, as a number of frames.
        const std::int64_t spacing = job.MaxKeyFrameSpacing > 0 ? job.MaxKeyFrameSpacing : 100000000;
        e->gop_size = static_cast<int>(std::clamp<std::int64_t>(
            av_rescale_q(spacing, AVRational{1, 10000000}, e->time_base), 1, 1000));
        // Quality weighs the rate control between steady bits per frame (0: smoother motion,
        // busy frames get coarser) and a steady quantiser (100: every picture equally sharp).
        e->qcompress = 0.25f + 0.5f * static_cast<float>(std::clamp(job.Quality, 0, 100)) / 100.0f;
        if (video.dec->sample_aspect_ratio.num > 0 && video.dec->width == width && video.dec->height == height)
            e->sample_aspect_ratio = video.dec->sample_aspect_ratio;
        e->codec_tag = MKTAG('M', 'P', '4', '3');
        if (out->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Check(avcodec_open2(e, codec, nullptr), "无法打开 MPEG-4 v3 视频编码器");
        video.stream = avformat_new_stream(out.get(), nullptr);
        if (!video.stream) throw EncoderError("内存不足");
        Check(avcodec_parameters_from_context(video.stream->codecpar, e), "视频流参数无效");
        video.stream->time_base = e->time_base;
        video.stream->avg_frame_rate = fps;
        video.stream->sample_aspect_ratio = e->sample_aspect_ratio;
        video.picture = NewFrame();
        video.picture->format = e->pix_fmt;
        video.picture->width = width;
        video.picture->height = height;
        Check(av_frame_get_buffer(video.picture.get(), 0), "内存不足");
    }

    void OpenAudioEncoder() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (!codec) throw EncoderError("找不到 WMA v2 音频编码器");
        audio.enc.reset(avcodec_alloc_context3(codec));
        auto* e = audio.enc.get();
        e->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        e->sample_rate = job.AudioSamplesPerSec;
        av_channel_layout_default(&e->ch_layout, job.AudioChannels);
        // The WMA v2 encoder cannot go below 24 kbps; the low rows of the table then get that.
        e->bit_rate = std::max(job.AudioBitrate, kLowestWmaBitrate);
        if (e->bit_rate != job.AudioBitrate)
            owner.notes_.push_back("音频比特率 " + std::to_string(job.AudioBitrate) + " bps 低于编码器的最低值, 改用 " +
                                   std::to_string(kLowestWmaBitrate) + " bps");
        e->time_base = {1, e->sample_rate};
        Check(avcodec_open2(e, codec, nullptr), "无法打开 WMA v2 音频编码器 (" + std::to_string(e->bit_rate) +
                                                     " bps, " + std::to_string(job.AudioSamplesPerSec) + " Hz)");
        audio.stream = avformat_new_stream(out.get(), nullptr);
        if (!audio.stream) throw EncoderError("内存不足");
        Check(avcodec_parameters_from_context(audio.stream->codecpar, e), "音频流参数无效");
        audio.stream->time_base = e->time_base;
        audio.fifo.reset(av_audio_fifo_alloc(e->sample_fmt, e->ch_layout.nb_channels, std::max(e->frame_size, 1) * 4));
        if (!audio.fifo) throw EncoderError("内存不足");
        audio.frame = NewFrame();
    }

    void OpenOutput() {
        AVFormatContext* ctx = nullptr;
        Check(avformat_alloc_output_context2(&ctx, nullptr, "asf", job.OutputPath.c_str()), "无法创建 ASF 输出");
        out.reset(ctx);
        if (video.inIndex >= 0) OpenVideoEncoder();
        if (audio.inIndex >= 0) OpenAudioEncoder();
        const int opened = avio_open(&out->pb, job.OutputPath.c_str(), AVIO_FLAG_WRITE);
        if (opened < 0) throw IoError("无法创建输出文件 \"" + job.OutputPath + "\": " + AvError(opened));
        outputCreated = true;
        CheckFileCall(avformat_write_header(out.get(), nullptr), out->pb, "无法写入输出文件头 \"" + job.OutputPath + "\"");
    }

    // ---- writing -------------------------------------------------------------------------
    void WritePackets(AVCodecContext* enc, AVStream* stream) {
        for (;;) {
            int r = avcodec_receive_packet(enc, encodedPacket.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            Check(r, "编码失败");
            av_packet_rescale_ts(encodedPacket.get(), enc->time_base, stream->time_base);
            encodedPacket->stream_index = stream->index;
            if (encodedPacket->pts != AV_NOPTS_VALUE) {
                const auto end = av_rescale_q(encodedPacket->pts + std::max<std::int64_t>(encodedPacket->duration, 0),
                                              stream->time_base, kMilliseconds);
                owner.writtenMs_ = std::max(owner.writtenMs_, end);
            }
            CheckFileCall(av_interleaved_write_frame(out.get(), encodedPacket.get()), out->pb,
                          "写入输出文件失败 \"" + job.OutputPath + "\"");
            ++(stream == video.stream ? owner.videoFrames_ : owner.audioPackets_);
        }
    }

    void Encode(AVCodecContext* enc, AVStream* stream, const AVFrame* frame) {
        int r = avcodec_send_frame(enc, frame);
        if (r == AVERROR_EOF) return;
        Check(r, "编码失败");
        WritePackets(enc, stream);
    }

    void NotePosition(std::int64_t endUs) { owner.positionUs_ = std::max(owner.positionUs_, endUs); }

    std::int64_t FrameTimeUs(const AVFrame* f, const AVStream* s) const {
        std::int64_t ts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
        if (ts == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
        return av_rescale_q(ts, s->time_base, kMicroseconds) - originUs;
    }

    // ---- video -------------------------------------------------------------------------
    void ScaleInto(const AVFrame* f) {
        auto* e = video.enc.get();
        if (!video.sws || video.swsWidth != f->width || video.swsHeight != f->height || video.swsFormat != f->format) {
            video.sws.reset(sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), e->width, e->height,
                                           e->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
            if (!video.sws) throw EncoderError("无法转换视频图像格式");
            video.swsWidth = f->width;
            video.swsHeight = f->height;
            video.swsFormat = f->format;
        }
        auto* picture = video.picture.get();
        if (!picture->buf[0]) {  // it last held a decoded picture as it was
            picture->format = e->pix_fmt;
            picture->width = e->width;
            picture->height = e->height;
            Check(av_frame_get_buffer(picture, 0), "内存不足");
        }
        // The encoder may still hold the previous picture: write into fresh buffers then.
        Check(av_frame_make_writable(picture), "内存不足");
        sws_scale(video.sws.get(), f->data, f->linesize, 0, f->height, picture->data, picture->linesize);
    }

    // The decoded picture itself when it already has the output's size and format, a scaled
    // copy otherwise.
    void TakePicture(const AVFrame* f) {
        auto* e = video.enc.get();
        if (f->width != e->width || f->height != e->height || f->format != e->pix_fmt) return ScaleInto(f);
        av_frame_unref(video.picture.get());
        Check(av_frame_ref(video.picture.get(), f), "内存不足");
        // The source's frame types mean nothing to this encoder; it places its own key frames.
        video.picture->pict_type = AV_PICTURE_TYPE_NONE;
        video.picture->key_frame = 0;
    }

    void SendPicture(std::int64_t pts) {
        video.picture->pts = pts;
        Encode(video.enc.get(), video.stream, video.picture.get());
        video.nextPts = pts + 1;
    }

    void OnVideoFrame(const AVFrame* f) {
        if (f->width <= 0 || f->height <= 0) return;
        const AVStream* s = in->streams[video.inIndex];
        const AVRational tb = video.enc->time_base;
        std::int64_t us = FrameTimeUs(f, s);
        // A picture goes to the first output frame that starts at or after its own time, so each
        // output frame shows what the source shows at that moment. A tenth of a frame of slack
        // absorbs timestamps rounded to milliseconds.
        const std::int64_t slack = av_rescale_q(1, tb, kMicroseconds) / 10;
        std::int64_t pts = us == AV_NOPTS_VALUE ? video.nextPts : av_rescale_q_rnd(us - slack, kMicroseconds, tb, AV_ROUND_UP);
        if (us != AV_NOPTS_VALUE) NotePosition(us + av_rescale_q(1, tb, kMicroseconds));
        if (!video.havePicture) {
            pts = std::max<std::int64_t>(pts, 0);
        } else if (pts < video.nextPts) {
            return;  // a faster source: this picture falls on a frame already sent
        } else {
            const std::int64_t gap = pts - video.nextPts;
            // A long gap is many pictures: a stop request ends the filling between two of them.
            if (gap > 0 && av_rescale_q(gap, tb, kMicroseconds) <= kMaxGapFillUs)
                for (std::int64_t i = 0; i < gap && !owner.Stopping(); ++i) SendPicture(video.nextPts);
        }
        TakePicture(f);
        SendPicture(pts);
        video.havePicture = true;
    }

    // ---- audio -------------------------------------------------------------------------
    void ConfigureResampler(const AVFrame* f) {
        if (audio.swr && audio.swrRate == f->sample_rate && audio.swrFormat == f->format &&
            av_channel_layout_compare(&audio.swrLayout, const_cast<AVChannelLayout*>(&f->ch_layout)) == 0)
            return;
        auto* e = audio.enc.get();
        SwrContext* swr = nullptr;
        Check(swr_alloc_set_opts2(&swr, &e->ch_layout, e->sample_fmt, e->sample_rate, const_cast<AVChannelLayout*>(&f->ch_layout),
                                  static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr),
              "无法转换音频格式");
        audio.swr.reset(swr);
        Check(swr_init(swr), "无法转换音频格式");
        audio.swrRate = f->sample_rate;
        audio.swrFormat = f->format;
        av_channel_layout_uninit(&audio.swrLayout);
        Check(av_channel_layout_copy(&audio.swrLayout, &f->ch_layout), "内存不足");
    }

    std::int64_t FifoEnd() const { return audio.fifoPts + av_audio_fifo_size(audio.fifo.get()); }

    void PushSilence(std::int64_t samples) {
        auto* e = audio.enc.get();
        FramePtr silence = NewFrame();
        silence->format = e->sample_fmt;
        silence->nb_samples = static_cast<int>(samples);
        Check(av_channel_layout_copy(&silence->ch_layout, &e->ch_layout), "内存不足");
        Check(av_frame_get_buffer(silence.get(), 0), "内存不足");
        av_samples_set_silence(silence->data, 0, silence->nb_samples, e->ch_layout.nb_channels, e->sample_fmt);
        if (av_audio_fifo_write(audio.fifo.get(), reinterpret_cast<void**>(silence->data), silence->nb_samples) < 0)
            throw EncoderError("内存不足");
    }

    void PushConverted(const AVFrame* f) {
        auto* e = audio.enc.get();
        const int room = swr_get_out_samples(audio.swr.get(), f ? f->nb_samples : 0);
        if (room <= 0) return;
        FramePtr converted = NewFrame();
        converted->format = e->sample_fmt;
        converted->nb_samples = room;
        Check(av_channel_layout_copy(&converted->ch_layout, &e->ch_layout), "内存不足");
        Check(av_frame_get_buffer(converted.get(), 0), "内存不足");
        const int n = swr_convert(audio.swr.get(), converted->data, room, f ? const_cast<const uint8_t**>(f->extended_data) : nullptr,
                                  f ? f->nb_samples : 0);
        Check(n, "音频转换失败");
        if (n > 0 && av_audio_fifo_write(audio.fifo.get(), reinterpret_cast<void**>(converted->data), n) < 0)
            throw EncoderError("内存不足");
    }

    // Encodes whole encoder frames from the FIFO; at the end the last partial frame is padded
    // with silence. A stop request ends the encoding between two frames (a long gap of
    // silence is many frames).
    void DrainFifo(bool final) {
        auto* e = audio.enc.get();
        const int frameSize = e->frame_size > 0 ? e->frame_size : 2048;
        if (final) {
            const int left = av_audio_fifo_size(audio.fifo.get()) % frameSize;
            if (left > 0) PushSilence(frameSize - left);
        }
        while (av_audio_fifo_size(audio.fifo.get()) >= frameSize && (final || !owner.Stopping())) {
            auto* frame = audio.frame.get();
            av_frame_unref(frame);
            frame->format = e->sample_fmt;
            frame->nb_samples = frameSize;
            Check(av_channel_layout_copy(&frame->ch_layout, &e->ch_layout), "内存不足");
            Check(av_frame_get_buffer(frame, 0), "内存不足");
            av_audio_fifo_read(audio.fifo.get(), reinterpret_cast<void**>(frame->data), frameSize);
            frame->pts = audio.fifoPts;
            audio.fifoPts += frameSize;
            Encode(e, audio.stream, frame);
        }
    }

    void OnAudioFrame(const AVFrame* f) {
        if (f->nb_samples <= 0 || f->sample_rate <= 0) return;
        const AVStream* s = in->streams[audio.inIndex];
        const int rate = audio.enc->sample_rate;
        const std::int64_t us = FrameTimeUs(f, s);
        if (us != AV_NOPTS_VALUE) {
            NotePosition(us + av_rescale(f->nb_samples, 1000000, f->sample_rate));
            const std::int64_t at = av_rescale(us, rate, 1000000);
            if (!audio.started) {
                audio.fifoPts = std::max<std::int64_t>(at, 0);
            } else {
                const std::int64_t gap = at - FifoEnd();
                if (gap > av_rescale(kAudioGapToleranceUs, rate, 1000000) && gap <= av_rescale(kMaxGapFillUs, rate, 1000000))
                    PushSilence(gap);
            }
        }
        audio.started = true;
        ConfigureResampler(f);
        PushConverted(f);
        DrainFifo(false);
    }

    // ---- decoding ----------------------------------------------------------------------
    void ReceiveFrames(AVCodecContext* dec, bool isVideo) {
        for (;;) {
            int r = avcodec_receive_frame(dec, decoded.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) return;  // a damaged frame: go on with the next one
            if (isVideo) OnVideoFrame(decoded.get());
            else OnAudioFrame(decoded.get());
            av_frame_unref(decoded.get());
        }
    }

    void Decode(AVCodecContext* dec, bool isVideo, const AVPacket* packet) {
        int r = avcodec_send_packet(dec, packet);
        // A packet the decoder refuses is damaged data: skip it, the stream goes on.
        if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF) return;
        ReceiveFrames(dec, isVideo);
    }
};

EncodePipeline::EncodePipeline(const EncodeJob& job) : impl_(std::make_unique<Impl>(*this, job)) {
    if (!impl_->readPacket || !impl_->encodedPacket) throw EncoderError("内存不足");
    try {
        impl_->OpenSource();
        impl_->FindStreams();
        impl_->OpenOutput();
    } catch (...) {
        // An output created before the failure holds no more than a header: it goes again.
        if (impl_->outputCreated) {
            impl_->out.reset();
            std::error_code ec;
            std::filesystem::remove(job.OutputPath, ec);
        }
        throw;
    }
}

EncodePipeline::~EncodePipeline() = default;

bool EncodePipeline::HasVideo() const { return impl_->video.inIndex >= 0; }
bool EncodePipeline::HasAudio() const { return impl_->audio.inIndex >= 0; }

std::int64_t EncodePipeline::WrittenBytes() const {
    auto* pb = impl_->out ? impl_->out->pb : nullptr;
    return pb ? avio_tell(pb) : 0;
}

bool EncodePipeline::Step() {
    auto& m = *impl_;
    int r = av_read_frame(m.in.get(), m.readPacket.get());
    if (r == AVERROR(EAGAIN)) return true;
    if (r < 0) {
        // The demuxer reports a failed read as the end of the file; the source's own I/O
        // context keeps the error.
        const AVIOContext* pb = m.in->pb;
        if (pb && pb->error < 0 && pb->error != AVERROR_EOF)
            throw IoError("无法读取源文件 \"" + m.sourcePath + "\": " + AvError(pb->error));
        return false;  // the end of the source
    }
    const int index = m.readPacket->stream_index;
    if (index == m.video.inIndex) m.Decode(m.video.dec.get(), true, m.readPacket.get());
    else if (index == m.audio.inIndex) m.Decode(m.audio.dec.get(), false, m.readPacket.get());
    av_packet_unref(m.readPacket.get());
    return true;
}

void EncodePipeline::Finish() {
    auto& m = *impl_;
    if (m.video.dec) m.Decode(m.video.dec.get(), true, nullptr);
    if (m.audio.dec) m.Decode(m.audio.dec.get(), false, nullptr);
    if (m.audio.enc) {
        if (m.audio.swr) m.PushConverted(nullptr);
        // After a stop, what is still queued is dropped: the output ends where encoding stopped.
        if (Stopping()) av_audio_fifo_reset(m.audio.fifo.get());
        m.DrainFifo(true);
        m.Encode(m.audio.enc.get(), m.audio.stream, nullptr);
    }
    if (m.video.enc) m.Encode(m.video.enc.get(), m.video.stream, nullptr);
    CheckFileCall(av_write_trailer(m.out.get()), m.out->pb, "无法完成输出文件 \"" + m.job.OutputPath + "\"");
    CheckFileCall(avio_closep(&m.out->pb), nullptr, "无法关闭输出文件 \"" + m.job.OutputPath + "\"");
}

}  // namespace mendery
