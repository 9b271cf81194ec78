#include "audio/card/VirtualCard.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

constexpr auto kClockTick = std::chrono::milliseconds(5);

} // namespace

SoundCardInfo virtualCardInfo() {
    SoundCardInfo info;
    info.description = "Virtual sound card (silent)";
    info.id = SoundCardId::fromName("Zorvendal", "Virtual sound card", 0);
    info.isVirtual = true;
    return info;
}

VirtualCard::VirtualCard(FrameSink sink, FrameSink rearSink, int outputPairs)
    : info_(virtualCardInfo()), mixer_(std::make_shared<CardMixer>(kLatencyFrames)),
      rearMixer_(outputPairs > 1 ? std::make_shared<CardMixer>(kLatencyFrames) : nullptr),
      sink_(std::move(sink)), rearSink_(std::move(rearSink)) {}

std::unique_ptr<VirtualCard> VirtualCard::createManual(FrameSink sink) {
    return std::unique_ptr<VirtualCard>(new VirtualCard(std::move(sink), {}, 1));
}

std::unique_ptr<VirtualCard> VirtualCard::createManualFourOutputs(FrameSink front, FrameSink rear) {
    return std::unique_ptr<VirtualCard>(new VirtualCard(std::move(front), std::move(rear), 2));
}

std::unique_ptr<VirtualCard> VirtualCard::createRealTime(FrameSink sink, int outputPairs) {
    std::unique_ptr<VirtualCard> card(new VirtualCard(std::move(sink), {}, outputPairs));
    VirtualCard* self = card.get();
    card->clock_ = std::jthread([self](std::stop_token stop) { self->runClock(stop); });
    return card;
}

VirtualCard::~VirtualCard() {
    if (clock_.joinable()) {
        clock_.request_stop();
        clock_.join();
    }
    // Buffers that outlive the card stop moving; their cursor reads fail.
    mixer_->markLost();
    if (rearMixer_) {
        rearMixer_->markLost();
    }
}

void VirtualCard::advance(int64_t frames) {
    if (!isRealTime() && frames > 0) {
        play(frames);
    }
}

SoundResult VirtualCard::createBuffer(int32_t frames, std::unique_ptr<SoundBuffer>* buffer) {
    return CardBuffer::create(mixer_, frames, buffer);
}

SoundResult VirtualCard::createBufferOnPair(int pair, int32_t frames,
                                            std::unique_ptr<SoundBuffer>* buffer) {
    if (pair == 1 && rearMixer_) {
        return CardBuffer::create(rearMixer_, frames, buffer);
    }
    return SoundDevice::createBufferOnPair(pair, frames, buffer);
}

void VirtualCard::play(int64_t frames) {
    Frame chunk[kRenderChunkFrames];
    for (int64_t done = 0; done < frames;) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(frames - done, kRenderChunkFrames));
        mixer_->render(chunk, n);
        if (sink_) {
            sink_(chunk, n);
        }
        if (rearMixer_) {
            rearMixer_->render(chunk, n);
            if (rearSink_) {
                rearSink_(chunk, n);
            }
        }
        done += n;
    }
    framesPlayed_.fetch_add(frames, std::memory_order_relaxed);
}

void VirtualCard::runClock(std::stop_token stop) {
    using Clock = std::chrono::steady_clock;
    // The frames due are counted from a start time, so rounding never drifts.
    Clock::time_point start = Clock::now();
    int64_t played = 0;
    std::mutex mutex;
    std::condition_variable_any wake;
    while (!stop.stop_requested()) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait_for(lock, stop, kClockTick, [] { return false; });
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        const int64_t due = elapsed.count() * kSampleRate / 1000000;
        int64_t todo = due - played;
        if (todo > kMaxCatchUpFrames) {
            played += todo - kMaxCatchUpFrames;
            todo = kMaxCatchUpFrames;
        }
        if (todo > 0) {
            play(todo);
            played += todo;
        }
    }
}
