#include "audio/decoders/FfmpegSource.h"

#include "audio/decoders/DecodedTrack.h"

#include <mutex>
#include <string>
#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace {

// The demuxers of the formats the program plays (as FFmpeg names them), and WAV for the
// files the program's own reader refuses (ADPCM, A-law, 64-bit float, high rates).
constexpr const char* kDemuxers = "flac,ogg,mov,aac,aiff,wav";
constexpr int kMinRate = 1000;   // Hz
constexpr int kMaxRate = 768000; // Hz
// Far beyond any track at any rate, and far from overflowing the conversions.
constexpr int64_t kMaxSamples = int64_t{1} << 48;
// Packets in a row that the demuxer may ask to retry before decoding gives up.
constexpr int kMaxRetries = 1000;

int interrupted(void* stop) {
    return static_cast<const std::atomic<bool>*>(stop)->load(std::memory_order_relaxed) ? 1 : 0;
}

void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

} // namespace

FfmpegSource::~FfmpegSource() {
    closeAll();
}

void FfmpegSource::closeAll() {
    swr_free(&resampler_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
    stream_ = -1;
}

bool FfmpegSource::openInput(const char* url) {
    format_ = avformat_alloc_context();
    if (format_ == nullptr)
        return false;
    format_->interrupt_callback.callback = interrupted;
    format_->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(stop_);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kDemuxers, 0);
    const int opened = avformat_open_input(&format_, url, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return false; // the context was freed
    if (avformat_find_stream_info(format_, nullptr) < 0)
        return false;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0)
        return false;
    // Other streams (a cover picture, a video) are not even read into packets.
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_)
            format_->streams[i]->discard = AVDISCARD_ALL;
    return true;
}

bool FfmpegSource::open(const char* path, const std::atomic<bool>& stop) {
    closeAll();
    stop_ = &stop;
    quietLibraries();
    struct stat info;
    if (path == nullptr || ::stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    fileSize_ = info.st_size;
    // Named through the protocol: a colon in the name is then no protocol of its own.
    const std::string url = std::string("file:") + path;
    if (!openInput(url.c_str()))
        return false;
    const AVCodecParameters* par = format_->streams[stream_]->codecpar;
    sampleRate_ = par->sample_rate;
    if (sampleRate_ < kMinRate || sampleRate_ > kMaxRate || par->ch_layout.nb_channels < 1)
        return false;
    int64_t samples = lengthFromHeaders();
    if (samples <= 0) {
        samples = lengthFromPackets();
        // The count read the stream to its end: start it again.
        avformat_close_input(&format_);
        if (samples <= 0 || !openInput(url.c_str()))
            return false;
    }
    // Opus's pre-skip is counted in the stream but never comes out of the codec. (A
    // damaged header may claim any count: the caller refuses what is too long.)
    const int padding = format_->streams[stream_]->codecpar->initial_padding;
    if (samples <= 0 || samples > kMaxSamples || padding < 0 || padding >= samples)
        return false;
    sourceSamples_ = samples - padding;
    return openCodec();
}

// The container's own exact length: FLAC's sample count, the MP4 edit, the last Ogg
// granule, AIFF's frame count; 0 when it has none.
int64_t FfmpegSource::lengthFromHeaders() const {
    if (format_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return 0; // a guess from the bit rate, often seconds off
    const AVStream* st = format_->streams[stream_];
    int64_t samples = 0;
    if (st->duration > 0 && st->duration != AV_NOPTS_VALUE)
        samples = av_rescale_q(st->duration, st->time_base, AVRational{1, sampleRate_});
    else if (format_->duration > 0 && format_->duration != AV_NOPTS_VALUE)
        samples = av_rescale_q(format_->duration, AV_TIME_BASE_Q, AVRational{1, sampleRate_});
    return samples;
}

// The sum of the stream's packet lengths, read through the whole file.
int64_t FfmpegSource::lengthFromPackets() {
    const AVStream* st = format_->streams[stream_];
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr)
        return 0;
    int64_t total = 0; // in the stream's time base
    int retries = 0;
    for (;;) {
        const int r = av_read_frame(format_, packet);
        if (r == AVERROR(EAGAIN) && ++retries < kMaxRetries)
            continue;
        if (r < 0)
            break;
        retries = 0;
        if (packet->stream_index == stream_ && packet->duration > 0)
            total += packet->duration;
        av_packet_unref(packet);
        if (total < 0)
            break; // overflow: a damaged file
    }
    av_packet_free(&packet);
    if (total <= 0)
        return 0;
    return av_rescale_q(total, st->time_base, AVRational{1, sampleRate_});
}

bool FfmpegSource::openCodec() {
    const AVCodecParameters* par = format_->streams[stream_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (codec == nullptr)
        return false;
    codec_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    if (codec_ == nullptr || frame_ == nullptr || avcodec_parameters_to_context(codec_, par) < 0)
        return false;
    codec_->thread_count = 1; // the decoding thread is the one thread a track gets
    codec_->pkt_timebase = format_->streams[stream_]->time_base;
    return avcodec_open2(codec_, codec, nullptr) >= 0;
}

int64_t FfmpegSource::lengthFrames() const {
    // Rounded down, as the MP3 decoder counts.
    return sampleRate_ > 0 ? av_rescale_rnd(sourceSamples_, kSampleRate, sampleRate_, AV_ROUND_DOWN)
                           : 0;
}

bool FfmpegSource::configureResampler(const AVFrame* frame, DecodedTrack& track) {
    const AVChannelLayout& layout = frame->ch_layout;
    const uint64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    if (resampler_ != nullptr && frame->format == inFormat_ && frame->sample_rate == inRate_ &&
        layout.nb_channels == inChannels_ && mask == inMask_)
        return true;
    // The stream changed its format halfway (a chained Ogg): what the old set-up holds
    // comes first.
    if (resampler_ != nullptr && !drainResampler(track))
        return false;
    swr_free(&resampler_);
    inFormat_ = -1;
    if (frame->sample_rate < kMinRate || frame->sample_rate > kMaxRate || layout.nb_channels < 1)
        return false;
    AVChannelLayout in{};
    if (layout.order == AV_CHANNEL_ORDER_NATIVE || layout.order == AV_CHANNEL_ORDER_AMBISONIC)
        av_channel_layout_copy(&in, &layout);
    else
        av_channel_layout_default(&in, layout.nb_channels);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    int r = swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_S16, kSampleRate, &in,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                nullptr);
    if (r >= 0 && layout.nb_channels == 1) {
        // Mono on both sides at full level, as the other decoders play it (the library
        // would put it 3 dB down on each).
        const double both[2] = {1.0, 1.0};
        r = swr_set_matrix(resampler_, both, 1);
    }
    av_channel_layout_uninit(&in);
    if (r < 0 || swr_init(resampler_) < 0)
        return false;
    inFormat_ = frame->format;
    inRate_ = frame->sample_rate;
    inChannels_ = layout.nb_channels;
    inMask_ = mask;
    return true;
}

int FfmpegSource::resampleInto(const uint8_t** in, int count, DecodedTrack& track) {
    const int room = swr_get_out_samples(resampler_, count);
    if (room <= 0)
        return room;
    if (converted_.size() < static_cast<size_t>(room))
        converted_.resize(static_cast<size_t>(room));
    auto* out = reinterpret_cast<uint8_t*>(converted_.data());
    const int got = swr_convert(resampler_, &out, room, in, count);
    if (got < 0 || !track.append(converted_.data(), got))
        return -1;
    return got;
}

bool FfmpegSource::convert(const AVFrame* frame, DecodedTrack& track) {
    return configureResampler(frame, track) &&
           resampleInto(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples,
                        track) >= 0;
}

bool FfmpegSource::drainResampler(DecodedTrack& track) {
    for (;;) {
        const int got = resampleInto(nullptr, 0, track);
        if (got <= 0)
            return got == 0;
    }
}

// Takes every frame the codec has ready; false on a conversion or memory failure.
bool FfmpegSource::receiveFrames(DecodedTrack& track) {
    for (;;) {
        const int r = avcodec_receive_frame(codec_, frame_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return true; // a damaged frame: the ones after it still play
        const bool ok = frame_->nb_samples <= 0 || convert(frame_, track);
        av_frame_unref(frame_);
        if (!ok)
            return false;
    }
}

void FfmpegSource::decodeInto(DecodedTrack& track) {
    using Progress = DecodedTrack::Progress;
    const auto stopped = [&] { return stop_->load(std::memory_order_relaxed); };
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr || codec_ == nullptr) {
        av_packet_free(&packet);
        track.finish(Progress::Failed);
        return;
    }
    Progress outcome = Progress::Finished;
    int retries = 0;
    while (!track.full() && !stopped()) {
        const int r = av_read_frame(format_, packet);
        if (r == AVERROR(EAGAIN) && ++retries < kMaxRetries)
            continue;
        if (r == AVERROR_EOF || r == AVERROR_INVALIDDATA) {
            // The end, or damage the demuxer cannot pass: what the codec and the
            // resampler still hold comes out, then silence to the length.
            avcodec_send_packet(codec_, nullptr);
            if (!receiveFrames(track) || (resampler_ != nullptr && !drainResampler(track)))
                outcome = Progress::Failed;
            break;
        }
        if (r < 0) {
            outcome = Progress::Failed; // a read error, or the stop flag
            break;
        }
        retries = 0;
        bool ok = true;
        if (packet->stream_index == stream_) {
            // A codec that refuses a packet (damage) is left to recover on the next one.
            if (avcodec_send_packet(codec_, packet) == AVERROR(EAGAIN)) {
                ok = receiveFrames(track);
                avcodec_send_packet(codec_, packet);
            }
            ok = ok && receiveFrames(track);
        }
        av_packet_unref(packet);
        if (!ok) {
            outcome = Progress::Failed;
            break;
        }
    }
    av_packet_free(&packet);
    track.finish(outcome);
}
