#include "tests/audio/decoders/EncodedFixtures.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace fixtures {

namespace {

// Everything one encoding holds, freed on every way out.
struct Output {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ~Output() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            if (!(format->oformat->flags & AVFMT_NOFILE))
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    std::string start(const std::string& path, const char* muxer, const AVCodec* encoder) {
        if (encoder == nullptr)
            return "no such encoder";
        if (avformat_alloc_output_context2(&format, nullptr, muxer, path.c_str()) < 0)
            return std::string("no muxer ") + muxer;
        format->flags |= AVFMT_FLAG_BITEXACT;
        stream = avformat_new_stream(format, nullptr);
        codec = avcodec_alloc_context3(encoder);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (stream == nullptr || codec == nullptr || frame == nullptr || packet == nullptr)
            return "out of memory";
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        return "";
    }

    std::string openAndWriteHeader(const std::string& path) {
        if (avcodec_open2(codec, codec->codec, nullptr) < 0)
            return "encoder refused the settings";
        if (avcodec_parameters_from_context(stream->codecpar, codec) < 0)
            return "parameters";
        stream->time_base = codec->time_base;
        if (avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
            return "cannot write " + path;
        if (avformat_write_header(format, nullptr) < 0)
            return "header";
        return "";
    }

    // Sends one frame (null: the end) and writes every packet that comes out.
    bool send(const AVFrame* f) {
        if (avcodec_send_frame(codec, f) < 0)
            return false;
        for (;;) {
            const int r = avcodec_receive_packet(codec, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                return false;
        }
    }

    std::string finish() {
        if (!send(nullptr))
            return "flush";
        return av_write_trailer(format) < 0 ? "trailer" : "";
    }
};

// Writes one sample in the encoder's format at its place in the frame.
void put(AVFrame* f, int channel, int index, int16_t value) {
    const auto format = static_cast<AVSampleFormat>(f->format);
    const int channels = f->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int plane = planar ? channel : 0;
    const int at = planar ? index : index * channels + channel;
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_S16:
        reinterpret_cast<int16_t*>(f->extended_data[plane])[at] = value;
        break;
    case AV_SAMPLE_FMT_S32:
        reinterpret_cast<int32_t*>(f->extended_data[plane])[at] = int32_t{value} * 65536;
        break;
    case AV_SAMPLE_FMT_FLT:
        reinterpret_cast<float*>(f->extended_data[plane])[at] = value / 32768.0f;
        break;
    default:
        reinterpret_cast<double*>(f->extended_data[plane])[at] = value / 32768.0;
    }
}

} // namespace

Signal tones(std::vector<double> hz, int rate) {
    return [hz = std::move(hz), rate](int channel, int64_t frame) {
        const double f = hz[std::min<size_t>(static_cast<size_t>(channel), hz.size() - 1)];
        return static_cast<int16_t>(
            std::lround(16000.0 * std::sin(2.0 * M_PI * f * static_cast<double>(frame) / rate)));
    };
}

std::string encode(const std::string& path, const Encoding& e, int rate, int channels,
                   int64_t frames, const Signal& signal) {
    Output out;
    const AVCodec* encoder = avcodec_find_encoder_by_name(e.codec);
    if (std::string error = out.start(path, e.muxer, encoder); !error.empty())
        return error;
    AVCodecContext* c = out.codec;
    c->sample_fmt = encoder->sample_fmts != nullptr ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    c->sample_rate = rate;
    c->time_base = AVRational{1, rate};
    c->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    av_channel_layout_default(&c->ch_layout, channels);
    if (std::string error = out.openAndWriteHeader(path); !error.empty())
        return error;

    const bool anySize = (encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    const bool smallLast = (encoder->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    const int frameSize = c->frame_size > 0 && !anySize ? c->frame_size : 1024;
    for (int64_t done = 0; done < frames;) {
        const int count = static_cast<int>(std::min<int64_t>(frameSize, frames - done));
        AVFrame* f = out.frame;
        av_frame_unref(f);
        f->format = c->sample_fmt;
        f->sample_rate = rate;
        f->nb_samples = count < frameSize && !anySize && !smallLast ? frameSize : count;
        if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0 ||
            av_frame_get_buffer(f, 0) < 0)
            return "frame buffer";
        for (int i = 0; i < f->nb_samples; ++i)
            for (int ch = 0; ch < channels; ++ch)
                put(f, ch, i, i < count ? signal(ch, done + i) : int16_t{0});
        f->pts = done;
        if (!out.send(f))
            return "encoding";
        done += count;
    }
    return out.finish();
}

std::string encodeVideoOnly(const std::string& path, double seconds) {
    Output out;
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (std::string error = out.start(path, "mp4", encoder); !error.empty())
        return error;
    AVCodecContext* c = out.codec;
    c->width = 64;
    c->height = 48;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 25};
    if (std::string error = out.openAndWriteHeader(path); !error.empty())
        return error;
    const int pictures = static_cast<int>(seconds * 25);
    for (int n = 0; n < pictures; ++n) {
        AVFrame* f = out.frame;
        av_frame_unref(f);
        f->format = c->pix_fmt;
        f->width = c->width;
        f->height = c->height;
        if (av_frame_get_buffer(f, 0) < 0)
            return "frame buffer";
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p == 0 ? c->height : c->height / 2); ++y)
                for (int x = 0; x < (p == 0 ? c->width : c->width / 2); ++x)
                    f->data[p][y * f->linesize[p] + x] = static_cast<uint8_t>(x + y + n * 3);
        f->pts = n;
        if (!out.send(f))
            return "encoding";
    }
    return out.finish();
}

} // namespace fixtures
