#pragma once
// The soft-mix arithmetic over contiguous frames (no wrap inside): integer only, one
// multiply per sample and deck, a shift and a clamp. Gains are deck gains, 0..65536.
//
// Range: a 16-bit sample (|s| <= 32768) times half a gain (<= 32768) is at most 2^30,
// so the sum of two such products lies within -2^31..2^31 - 65536 and fits int32; a
// sample times a whole gain (<= 65536) is within -2^31..2^31 - 65536 as well.
//
// Threading: pure functions, any thread.

#include "core/Frame.h"

#include <cstdint>

// out = (b x (gainB / 2) + a x (gainA / 2)) >> 15 per sample, clamped to 16 bits.
void mixTwoDecks(Frame* out, const Frame* a, const Frame* b, int32_t frames, int32_t gainA,
                 int32_t gainB);

// out = (a x gain) >> 16 per sample (never beyond 16 bits: gain <= 65536).
void mixOneDeck(Frame* out, const Frame* a, int32_t frames, int32_t gain);
