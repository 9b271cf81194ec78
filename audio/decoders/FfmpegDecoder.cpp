#include "audio/decoders/FfmpegDecoder.h"

#include "audio/decoders/DecodedTrack.h"
#include "audio/decoders/FfmpegSource.h"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace {

constexpr int64_t kMaxFrames = int64_t{3} * 3600 * kSampleRate; // three hours
// Opening waits for this much to be decoded, so that a track starts and seeks near its
// start without a gap; the rest follows while it plays.
constexpr int64_t kStartFrames = int64_t{30} * kSampleRate;
// The longest opening waits for those frames (a slow disk), and closing for the thread.
constexpr std::chrono::milliseconds kStartWait{2000};
constexpr std::chrono::milliseconds kCloseWait{500};

void decodeTrack(std::unique_ptr<FfmpegSource> source, std::shared_ptr<DecodedTrack> track) {
    source->decodeInto(*track);
    source.reset(); // the file and FFmpeg's contexts close before the owner is told
    track->markExited();
}

} // namespace

FfmpegDecoder::FfmpegDecoder() = default;

FfmpegDecoder::~FfmpegDecoder() {
    close();
}

void FfmpegDecoder::close() {
    if (track_ != nullptr) {
        track_->requestStop();
        if (track_->waitExited(kCloseWait))
            thread_.join();
        else
            thread_.detach(); // it holds the track and frees it when done
        track_.reset();
    }
    lengthFrames_ = 0;
    next_ = 0;
    sampleRate_ = 0;
}

int32_t FfmpegDecoder::open(const char* path) {
    close();
    position = 0.0f;
    duration = 0;
    sizeKey = 0;
    auto track = std::make_shared<DecodedTrack>();
    auto source = std::make_unique<FfmpegSource>();
    if (!source->open(path, track->stopFlag()))
        return 0;
    const int64_t frames = source->lengthFrames();
    const int32_t seconds = static_cast<int32_t>(std::min<int64_t>(
        source->sourceSamples() / source->sampleRate(), kMaxFrames / kSampleRate + 1));
    if (frames <= 0 || frames > kMaxFrames || seconds == 0 || !track->setLength(frames))
        return 0; // also under one second, which the deck treats as unusable
    const int32_t rate = source->sampleRate();
    const int64_t size = source->fileSize();
    try {
        thread_ = std::thread(decodeTrack, std::move(source), track);
    } catch (const std::system_error&) {
        return 0;
    }
    track->waitFor(kStartFrames, kStartWait);
    track_ = std::move(track);
    lengthFrames_ = frames;
    sampleRate_ = rate;
    sizeKey = static_cast<uint32_t>(size);
    duration = seconds;
    return duration;
}

bool FfmpegDecoder::ready() {
    if (track_ == nullptr)
        return false;
    // At the end read() tells so at once.
    const int64_t end = std::min(next_ + kBlockFrames, lengthFrames_);
    return next_ >= lengthFrames_ || track_->progress() != DecodedTrack::Progress::Decoding ||
           track_->delivered() >= end;
}

int32_t FfmpegDecoder::read(Frame* out) {
    if (track_ == nullptr)
        return -1;
    if (next_ >= lengthFrames_)
        return 0;
    // The progress first: once it is no longer Decoding, the count read after it is final.
    const DecodedTrack::Progress progress = track_->progress();
    const int64_t delivered = track_->delivered();
    const int64_t end = std::min(next_ + kBlockFrames, lengthFrames_);
    if (delivered < end) {
        if (progress == DecodedTrack::Progress::Decoding) {
            std::fill_n(out, kBlockFrames, Frame{0}); // not decoded yet: the position stays
            return 1;
        }
        if (progress == DecodedTrack::Progress::Failed && delivered <= next_)
            return -1;
    }
    // The last block of the track, and the part of a stream that ended early, are silence.
    const int64_t have = std::clamp<int64_t>(delivered - next_, 0, end - next_);
    track_->copy(next_, have, out);
    std::fill(out + have, out + kBlockFrames, Frame{0});
    next_ = end;
    position = static_cast<float>(static_cast<double>(next_) / static_cast<double>(lengthFrames_));
    return 1;
}

int32_t FfmpegDecoder::seek(float p) {
    if (track_ == nullptr)
        return 1;
    if (!(p > 0.0f))
        p = 0.0f; // also NaN
    else if (p > 1.0f)
        p = 1.0f;
    next_ = std::llround(static_cast<double>(p) * static_cast<double>(lengthFrames_));
    position = static_cast<float>(static_cast<double>(next_) / static_cast<double>(lengthFrames_));
    return 1;
}
