#pragma once
// A decoder of generated sound for engine tests, with no file behind it: a sine (same
// on both channels), short bursts of that sine at a steady beat, or an index signal,
// where every frame holds its own frame number so a test can tell exactly which input
// frames were played.

#include "audio/decoders/Decoder.h"

#include <cstdint>

class TestDecoder : public Decoder {
public:
    enum class Signal { Sine, Clicks, Index };
    struct Setup {
        Signal signal = Signal::Sine;
        double frequency = 441.0; // Hz, sine only
        int16_t amplitude = 12000;
        int32_t clickEvery = 22050; // frames from one burst to the next
        int32_t clickFrames = 300;  // frames of each burst
        int32_t seconds = 20;
        int32_t extraFrames = 0;  // beyond the whole seconds
        int64_t failAtFrame = -1; // the block holding this frame reads as an error
        bool stepBack = false;    // seek one block early, as the MP3 decoder does
        bool openFails = false;
        uint32_t sizeKey = 123456;
    };

    void configure(const Setup& setup) { setup_ = setup; }
    const Setup& setup() const { return setup_; }
    int64_t frameCount() const {
        return int64_t{setup_.seconds} * kSampleRate + setup_.extraFrames;
    }
    // Frame number of an index-signal frame.
    static int64_t indexOf(Frame f) { return static_cast<int64_t>(f); }

    int32_t open(const char* path) override;
    void close() override;
    int32_t read(Frame* out) override;
    int32_t seek(float p) override;

private:
    Setup setup_;
    int64_t next_ = 0;
};

// A track whose frame n holds n, and a sine track.
inline TestDecoder::Setup indexTrack(int32_t seconds = 60) {
    return {.signal = TestDecoder::Signal::Index, .seconds = seconds};
}
inline TestDecoder::Setup sineTrack(int32_t seconds = 60) {
    return {.seconds = seconds};
}
