#pragma once
// Kernels of Master Tempo, the time stretch that keeps the pitch: each render step
// cross-fades from the frames that would have followed the previous step (the tail)
// into the new input at the offset where the two look most alike.
//
// Pure functions over caller buffers: no state, no allocation; audio thread safe.

#include "core/Frame.h"

#include <cstdint>

constexpr int kSpliceFadeFrames = 512; // cross-faded frames; also the tail's length
constexpr int kSpliceMaxOffset = 2246; // widest offset returned, in 16-bit samples

// The offset, in 16-bit samples (always even, 0..kSpliceMaxOffset), into input where
// the weighted tail correlates best; a coarse-to-fine search of 32 candidates.
// tail holds kSpliceFadeFrames frames; input at least kSpliceMaxOffset / 2 +
// kSpliceFadeFrames frames.
int32_t findBestSplice(const Frame* tail, const Frame* input);
// The same search, computed plainly in 64 bits per product: the reference that the
// fast path must agree with.
int32_t findBestSpliceReference(const Frame* tail, const Frame* input);

// out[i] = tail[i] x (512 - i) / 512 + fresh[i] x i / 512 per channel, for the
// kSpliceFadeFrames frames (arithmetic shift, so exact and within 16 bits).
void crossFadeSplice(Frame* out, const Frame* tail, const Frame* fresh);
