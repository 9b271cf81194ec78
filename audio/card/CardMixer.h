#pragma once
// The card's mixer, shared by both backends so that the virtual card plays exactly
// what PortAudio would: looping buffers in memory, and a render step that takes every
// playing buffer from its play cursor, scales it by its volume, sums and saturates to
// 16 bits.
//
// Threading: render() runs on one "hardware" thread (the PortAudio callback or the
// virtual card's clock) and never allocates, locks or waits. Buffers are created,
// filled, started, stopped and destroyed on other threads. A buffer's sample memory
// is read by the renderer while the owner writes other parts of it, so every frame is
// a relaxed atomic; the owner writes into a private staging copy between lock and
// unlock, and unlock publishes it.

#include "audio/card/SoundCard.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

constexpr int32_t kUnityGain = 65536; // linear gain in 1/65536
constexpr int32_t kRenderChunkFrames = 256;

// Volume in hundredths of a decibel (-10000..0) -> linear gain 0..65536:
// 65536 x 10^(mB / 2000), rounded; -10000 gives 0 (silence).
int32_t millibelsToGain(int32_t millibels);

// acc holds 2 x frames sums (left, right). Adds (sample x gain) >> 16 of each sample
// of src; the shift is arithmetic, so gain 65536 adds the sample unchanged.
void accumulateFrames(int32_t* acc, const std::atomic<Frame>* src, int32_t frames, int32_t gain);
// Saturates each sum to -32768..32767 and packs the pairs into frames.
void saturateFrames(Frame* out, const int32_t* acc, int32_t frames);

class CardBuffer;

class CardMixer {
public:
    static constexpr int kMaxBuffers = 16;

    explicit CardMixer(int32_t latencyFrames) : latencyFrames_(latencyFrames) {}
    CardMixer(const CardMixer&) = delete;
    CardMixer& operator=(const CardMixer&) = delete;

    // Renderer thread: mixes the next `frames` frames of every playing buffer into out
    // and advances their play cursors.
    void render(Frame* out, int32_t frames);

    // Control side: false when all slots are taken.
    bool attach(CardBuffer* buffer);
    // Control side: after it returns the renderer no longer touches the buffer. Waits
    // (yielding) for a render in progress to end, which takes at most one render step.
    void detach(CardBuffer* buffer);

    int32_t latencyFrames() const { return latencyFrames_.load(std::memory_order_relaxed); }
    // Set by the backend once it knows its stream's latency, before buffers exist;
    // relaxed: readers only compute cursors from it.
    void setLatencyFrames(int32_t frames) {
        latencyFrames_.store(frames, std::memory_order_relaxed);
    }

    // Set by the backend when its stream ends without being asked to; cursor reads
    // then fail. Relaxed: a cursor read one step late is harmless.
    void markLost() { lost_.store(true, std::memory_order_relaxed); }
    bool isLost() const { return lost_.load(std::memory_order_relaxed); }

private:
    // A slot publishes a buffer to the renderer. Sequentially consistent together
    // with renderSeq_: detach() stores null and then reads renderSeq_; a renderer
    // that still saw the buffer had already made renderSeq_ odd (see detach()).
    std::array<std::atomic<CardBuffer*>, kMaxBuffers> slots_{};
    // Incremented by the renderer when a render step starts (odd) and ends (even).
    std::atomic<uint32_t> renderSeq_{0};
    std::atomic<int32_t> latencyFrames_;
    std::atomic<bool> lost_{false};
};

class CardBuffer final : public SoundBuffer {
public:
    static SoundResult create(std::shared_ptr<CardMixer> mixer, int32_t frames,
                              std::unique_ptr<SoundBuffer>* buffer);
    ~CardBuffer() override;

    int32_t frames() const override { return frames_; }
    SoundResult setVolume(int32_t millibels) override;
    int32_t volume() const override { return volume_.load(std::memory_order_relaxed); }
    SoundResult play() override;
    SoundResult stop() override;
    bool isPlaying() const override { return playing_.load(std::memory_order_relaxed); }
    SoundResult getCursors(int32_t* play, int32_t* write) const override;
    SoundResult lock(int32_t offset, int32_t count, LockedRegions* regions) override;
    SoundResult unlock(const LockedRegions& regions) override;

    // Renderer thread only: adds the next `count` frames at the play cursor into acc
    // (2 sums per frame) when playing, and advances the play cursor.
    void mixInto(int32_t* acc, int32_t count);

private:
    CardBuffer(std::shared_ptr<CardMixer> mixer, int32_t frames,
               std::unique_ptr<std::atomic<Frame>[]> samples, std::unique_ptr<Frame[]> staging);

    std::shared_ptr<CardMixer> mixer_; // kept alive: the buffer may outlive its device
    const int32_t frames_;
    std::unique_ptr<std::atomic<Frame>[]> samples_; // what the card plays
    std::unique_ptr<Frame[]> staging_;              // the owner's side of a lock

    // Written by the renderer (release) after it took the frames before it; read by
    // the owner (acquire) to know which frames were consumed.
    std::atomic<int32_t> playCursor_{0};
    // Set by the control side; release so frames unlocked before play() are heard
    // from the first step (the renderer loads with acquire).
    std::atomic<bool> playing_{false};
    // Linear gain for the renderer and the millibel value it came from; relaxed, a
    // volume heard one step late is what a card does too.
    std::atomic<int32_t> gain_{kUnityGain};
    std::atomic<int32_t> volume_{kVolumeFull};
    // The current lock (owner side only; the flag is atomic so a lock taken on one
    // thread and released on another is ordered by acq_rel).
    std::atomic<bool> locked_{false};
    int32_t lockOffset_ = 0;
    int32_t lockCount_ = 0;
};
