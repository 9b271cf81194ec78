#include "audio/decoders/SampleFormat.h"

#include <cstring>

// The buffers are reinterpreted between bytes, 16-bit samples and frames, so every access
// goes through memcpy: no aliasing assumptions, and the compiler still emits plain loads.

void expandBytesTo16(void* buffer, int count) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    // Sample i moves to bytes 2i..2i+1, never below i: going backwards, every byte is
    // read before the wider result overwrites it.
    for (int i = count - 1; i >= 0; --i) {
        const auto sample = static_cast<int16_t>((static_cast<int>(bytes[i]) - 128) * 256);
        std::memcpy(bytes + 2 * i, &sample, sizeof sample);
    }
}

void expandMonoToStereo(void* buffer, int count) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (int i = count - 1; i >= 0; --i) {
        int16_t sample;
        std::memcpy(&sample, bytes + 2 * i, sizeof sample);
        const Frame frame = makeFrame(sample, sample);
        std::memcpy(bytes + 4 * i, &frame, sizeof frame);
    }
}

void stretchTo1152(Frame* buffer, int count, int rate) {
    if (count <= 0) {
        std::memset(buffer, 0, kBlockFrames * sizeof(Frame));
        return;
    }
    if (count > kBlockFrames) {
        count = kBlockFrames; // the block holds no more; a longer count is a caller's error
    }
    // Output index minus input index never shrinks (one output per step, at most one input
    // step back per output), so an input frame is always read before it is overwritten.
    int source = count - 1;
    int accumulator = 0;
    for (int out = kBlockFrames - 1; out >= 0; --out) {
        buffer[out] = buffer[source];
        accumulator += rate;
        if (accumulator >= kSampleRate) {
            accumulator -= kSampleRate;
            if (source > 0) {
                --source; // a block a frame short repeats its first frame
            }
        }
    }
}
