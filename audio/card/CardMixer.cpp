#include "audio/card/CardMixer.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <thread>
#include <utility>

int32_t millibelsToGain(int32_t millibels) {
    if (millibels <= kVolumeSilence) {
        return 0;
    }
    if (millibels >= kVolumeFull) {
        return kUnityGain;
    }
    const double gain = kUnityGain * std::pow(10.0, millibels / 2000.0);
    return static_cast<int32_t>(std::lround(gain));
}

void accumulateFrames(int32_t* acc, const std::atomic<Frame>* src, int32_t frames, int32_t gain) {
    for (int32_t i = 0; i < frames; ++i) {
        const Frame f = src[i].load(std::memory_order_relaxed);
        // 32767 x 65536 needs 32 bits with sign: widen before multiplying.
        acc[2 * i] += static_cast<int32_t>((int64_t{frameLeft(f)} * gain) >> 16);
        acc[2 * i + 1] += static_cast<int32_t>((int64_t{frameRight(f)} * gain) >> 16);
    }
}

void saturateFrames(Frame* out, const int32_t* acc, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
        const auto left = static_cast<int16_t>(std::clamp(acc[2 * i], -32768, 32767));
        const auto right = static_cast<int16_t>(std::clamp(acc[2 * i + 1], -32768, 32767));
        out[i] = makeFrame(left, right);
    }
}

void CardMixer::render(Frame* out, int32_t frames) {
    renderSeq_.fetch_add(1, std::memory_order_seq_cst);
    int32_t acc[2 * kRenderChunkFrames];
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(frames - done, kRenderChunkFrames);
        std::fill(acc, acc + 2 * n, 0);
        for (auto& slot : slots_) {
            if (CardBuffer* buffer = slot.load(std::memory_order_seq_cst)) {
                buffer->mixInto(acc, n);
            }
        }
        saturateFrames(out + done, acc, n);
        done += n;
    }
    // Release: everything this step read of a buffer happens before a detach() that
    // sees the step ended.
    renderSeq_.fetch_add(1, std::memory_order_release);
}

bool CardMixer::attach(CardBuffer* buffer) {
    for (auto& slot : slots_) {
        CardBuffer* expected = nullptr;
        if (slot.compare_exchange_strong(expected, buffer, std::memory_order_seq_cst)) {
            return true;
        }
    }
    return false;
}

void CardMixer::detach(CardBuffer* buffer) {
    bool found = false;
    for (auto& slot : slots_) {
        CardBuffer* expected = buffer;
        if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst)) {
            found = true;
        }
    }
    if (!found) {
        return;
    }
    // A render step that loaded the buffer from its slot made renderSeq_ odd before
    // that load, and the load came before our store in the single total order, so
    // this read sees the odd value (or a later one). Waiting for a change means that
    // step is over; its release increment pairs with the acquire loads here.
    const uint32_t seq = renderSeq_.load(std::memory_order_seq_cst);
    if (seq % 2 == 0) {
        return;
    }
    while (renderSeq_.load(std::memory_order_acquire) == seq) {
        std::this_thread::yield();
    }
}

CardBuffer::CardBuffer(std::shared_ptr<CardMixer> mixer, int32_t frames,
                       std::unique_ptr<std::atomic<Frame>[]> samples,
                       std::unique_ptr<Frame[]> staging)
    : mixer_(std::move(mixer)), frames_(frames), samples_(std::move(samples)),
      staging_(std::move(staging)) {}

SoundResult CardBuffer::create(std::shared_ptr<CardMixer> mixer, int32_t frames,
                               std::unique_ptr<SoundBuffer>* buffer) {
    buffer->reset();
    if (frames < 1 || frames > SoundDevice::kMaxBufferFrames) {
        return SoundResult::InvalidParam;
    }
    // Value-initialised: a new buffer is silent.
    std::unique_ptr<std::atomic<Frame>[]> samples(new (std::nothrow) std::atomic<Frame>[frames]());
    std::unique_ptr<Frame[]> staging(new (std::nothrow) Frame[frames]);
    if (!samples || !staging) {
        return SoundResult::OutOfMemory;
    }
    std::unique_ptr<CardBuffer> created(
        new (std::nothrow) CardBuffer(mixer, frames, std::move(samples), std::move(staging)));
    if (!created) {
        return SoundResult::OutOfMemory;
    }
    if (!mixer->attach(created.get())) {
        return SoundResult::Failed;
    }
    *buffer = std::move(created);
    return SoundResult::Ok;
}

CardBuffer::~CardBuffer() {
    mixer_->detach(this);
}

SoundResult CardBuffer::setVolume(int32_t millibels) {
    if (millibels < kVolumeSilence || millibels > kVolumeFull) {
        return SoundResult::InvalidParam;
    }
    gain_.store(millibelsToGain(millibels), std::memory_order_relaxed);
    volume_.store(millibels, std::memory_order_relaxed);
    return SoundResult::Ok;
}

SoundResult CardBuffer::play() {
    playing_.store(true, std::memory_order_release);
    return SoundResult::Ok;
}

SoundResult CardBuffer::stop() {
    playing_.store(false, std::memory_order_release);
    return SoundResult::Ok;
}

SoundResult CardBuffer::getCursors(int32_t* play, int32_t* write) const {
    const int32_t p = playCursor_.load(std::memory_order_acquire);
    *play = p;
    *write = p;
    if (mixer_->isLost()) {
        return SoundResult::DeviceLost;
    }
    if (playing_.load(std::memory_order_relaxed)) {
        *write = static_cast<int32_t>((int64_t{p} + mixer_->latencyFrames()) % frames_);
    }
    return SoundResult::Ok;
}

SoundResult CardBuffer::lock(int32_t offset, int32_t count, LockedRegions* regions) {
    *regions = LockedRegions{};
    if (offset < 0 || offset >= frames_ || count < 1 || count > frames_) {
        return SoundResult::InvalidParam;
    }
    if (locked_.exchange(true, std::memory_order_acq_rel)) {
        return SoundResult::InvalidCall;
    }
    lockOffset_ = offset;
    lockCount_ = count;
    const int32_t firstFrames = std::min(count, frames_ - offset);
    regions->first = staging_.get() + offset;
    regions->firstFrames = firstFrames;
    if (count > firstFrames) {
        regions->second = staging_.get();
        regions->secondFrames = count - firstFrames;
    }
    for (int32_t i = 0; i < regions->firstFrames; ++i) {
        regions->first[i] = samples_[offset + i].load(std::memory_order_relaxed);
    }
    for (int32_t i = 0; i < regions->secondFrames; ++i) {
        regions->second[i] = samples_[i].load(std::memory_order_relaxed);
    }
    return SoundResult::Ok;
}

SoundResult CardBuffer::unlock(const LockedRegions& regions) {
    if (!locked_.load(std::memory_order_acquire)) {
        return SoundResult::InvalidCall;
    }
    const int32_t firstFrames = std::min(lockCount_, frames_ - lockOffset_);
    const int32_t secondFrames = lockCount_ - firstFrames;
    if (regions.first != staging_.get() + lockOffset_ ||
        (secondFrames > 0 && regions.second != staging_.get()) || regions.firstFrames < 0 ||
        regions.secondFrames < 0) {
        return SoundResult::InvalidParam;
    }
    const int32_t commitFirst = std::min(regions.firstFrames, firstFrames);
    const int32_t commitSecond = std::min(regions.secondFrames, secondFrames);
    for (int32_t i = 0; i < commitFirst; ++i) {
        samples_[lockOffset_ + i].store(staging_[lockOffset_ + i], std::memory_order_relaxed);
    }
    for (int32_t i = 0; i < commitSecond; ++i) {
        samples_[i].store(staging_[i], std::memory_order_relaxed);
    }
    locked_.store(false, std::memory_order_release);
    return SoundResult::Ok;
}

void CardBuffer::mixInto(int32_t* acc, int32_t count) {
    if (!playing_.load(std::memory_order_acquire)) {
        return;
    }
    const int32_t gain = gain_.load(std::memory_order_relaxed);
    // Only this thread writes the cursor; relaxed load of our own value.
    int32_t pos = playCursor_.load(std::memory_order_relaxed);
    for (int32_t done = 0; done < count;) {
        const int32_t n = std::min(count - done, frames_ - pos);
        if (gain != 0) {
            accumulateFrames(acc + 2 * done, samples_.get() + pos, n, gain);
        }
        pos += n;
        if (pos == frames_) {
            pos = 0;
        }
        done += n;
    }
    playCursor_.store(pos, std::memory_order_release);
}
