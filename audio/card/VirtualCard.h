#pragma once
// The virtual sound card: the same device as the PortAudio backend, mixed by the same
// code (CardMixer.h), but the frames go to a sink instead of a loudspeaker and its
// cursors advance by a clock of its own:
//  - manual: advance(frames) plays that many frames at once, on the caller's thread
//    (tests and offline tools; the result is exact and repeatable);
//  - real time: a thread plays 44100 frames per second by the steady clock (the
//    default device when the machine has no sound output: the program runs
//    silently).
// A four-output card has a second mixer for outputs 3-4, played in step with the first.
// The write cursor is kLatencyFrames ahead of the play cursor, a little more than a
// typical sound server's buffering, so the outputs on top see the margin they would
// see on real hardware.
// In real time the clock ticks every 5 ms; a tick held up by the scheduler takes the
// frames it owes at once, possibly more than the latency. Nothing is heard, so that
// only moves the cursors on sooner; manual stepping has no such effect.
//
// Threading: in manual mode advance() and the sink run on the caller's thread, one
// thread at a time; in real-time mode the sink runs on the card's thread. Buffers
// follow SoundCard.h.

#include "audio/card/CardMixer.h"
#include "audio/card/SoundCard.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

// The virtual card's entry in the card lists; its identifier is fixed.
SoundCardInfo virtualCardInfo();

class VirtualCard final : public SoundDevice {
public:
    static constexpr int32_t kLatencyFrames = 1024;
    // At most this many frames are played at once when the real-time clock's thread
    // was held up (a suspended machine); the rest is skipped, as a card would.
    static constexpr int32_t kMaxCatchUpFrames = kSampleRate / 2;

    // Receives every played frame exactly once, in order: the mix of the playing
    // buffers as the card's mixer made it.
    using FrameSink = std::function<void(const Frame* frames, int32_t count)>;

    static std::unique_ptr<VirtualCard> createManual(FrameSink sink = {});
    // A card with four outputs (two stereo pairs, each mixed on its own): `front`
    // receives outputs 1-2 and `rear` outputs 3-4, chunk by chunk in step.
    static std::unique_ptr<VirtualCard> createManualFourOutputs(FrameSink front, FrameSink rear);
    static std::unique_ptr<VirtualCard> createRealTime(FrameSink sink = {}, int outputPairs = 1);
    ~VirtualCard() override;

    // Manual clock only (ignored in real time): plays the next `frames` frames.
    void advance(int64_t frames);
    // Frames played since creation (relaxed: a count one step old is fine).
    int64_t framesPlayed() const { return framesPlayed_.load(std::memory_order_relaxed); }
    bool isRealTime() const { return clock_.joinable(); }

    SoundResult createBuffer(int32_t frames, std::unique_ptr<SoundBuffer>* buffer) override;
    int outputPairs() const override { return rearMixer_ ? 2 : 1; }
    SoundResult createBufferOnPair(int pair, int32_t frames,
                                   std::unique_ptr<SoundBuffer>* buffer) override;
    const SoundCardInfo& info() const override { return info_; }
    int32_t latencyFrames() const override { return kLatencyFrames; }

private:
    VirtualCard(FrameSink sink, FrameSink rearSink, int outputPairs);
    void play(int64_t frames);
    void runClock(std::stop_token stop);

    SoundCardInfo info_;
    std::shared_ptr<CardMixer> mixer_;
    std::shared_ptr<CardMixer> rearMixer_; // outputs 3-4; null on a stereo card
    FrameSink sink_;                       // set before the clock starts, never changed
    FrameSink rearSink_;                   // likewise
    std::atomic<int64_t> framesPlayed_{0};
    std::jthread clock_; // last member: stopped and joined first
};
