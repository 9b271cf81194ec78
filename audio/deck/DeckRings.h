#pragma once
// Position arithmetic on a deck's two rings, shared by the decoding and rendering
// halves of the signal path.

#include "audio/deck/Deck.h"

#include <cstdint>

inline int32_t wrapOutput(int64_t pos) {
    pos %= kOutputRingFrames;
    return static_cast<int32_t>(pos < 0 ? pos + kOutputRingFrames : pos);
}

inline int32_t wrapDecoded(int64_t pos) {
    pos %= kDecodedRingFrames;
    return static_cast<int32_t>(pos < 0 ? pos + kDecodedRingFrames : pos);
}

// Frames from `from` forward to `to` in the output ring, 1..kOutputRingFrames: equal
// positions mean the whole ring (the renderer's free room).
inline int32_t roomBetween(int32_t from, int32_t to) {
    const int32_t room = to - from;
    return room <= 0 ? room + kOutputRingFrames : room;
}

// Frames from `from` forward to `to` in the output ring, 0..kOutputRingFrames - 1.
inline int32_t framesAhead(int32_t from, int32_t to) {
    const int32_t ahead = to - from;
    return ahead < 0 ? ahead + kOutputRingFrames : ahead;
}
