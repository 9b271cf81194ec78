#pragma once
// The sound format inside the program: 44100 frames per second, one frame = one
// 32-bit value with the left signed 16-bit sample in the low half and the right one
// in the high half.

#include <cstdint>

using Frame = uint32_t;

constexpr int kSampleRate = 44100;
constexpr int kBlockFrames = 1152; // one decoder block

inline int16_t frameLeft(Frame f) {
    return static_cast<int16_t>(f & 0xffffu);
}
inline int16_t frameRight(Frame f) {
    return static_cast<int16_t>(f >> 16);
}
inline Frame makeFrame(int16_t left, int16_t right) {
    return static_cast<Frame>(static_cast<uint16_t>(left)) |
           (static_cast<Frame>(static_cast<uint16_t>(right)) << 16);
}
