#pragma once
// Kernels of Master Tempo, the time stretch that keeps the pitch: each render step
// cross-fades from the frames that would have followed the previous step (the tail)
// into the new input at the offset where the two look most alike.
//
// Pure functions over caller buffers: no state, no allocation; audio thread safe.

#include "core/Frame.h"

#include <cstdint>

constexpr int kSpliceFadeFrames = 512;  // cross-faded frames; also the tail's length
constexpr int kSpliceMaxOffset = 2246;  // widest offset returned, in 16-bit samples
constexpr int kSpliceStepFrames = 3088; // output frames of a step spliced at offset 0
constexpr int kOnsetMarginFrames = 64;  // kept clear of an onset around a splice
// Input frames the timed search reads: through the next step's tail and its margin.
constexpr int kTimedSpliceInputFrames =
    kSpliceStepFrames + kSpliceFadeFrames + 2 * kOnsetMarginFrames;

// The offset, in 16-bit samples (always even, 0..kSpliceMaxOffset), into input where
// the weighted tail correlates best; a coarse-to-fine search of 32 candidates.
// tail holds kSpliceFadeFrames frames; input at least kSpliceMaxOffset / 2 +
// kSpliceFadeFrames frames.
int32_t findBestSplice(const Frame* tail, const Frame* input);
// The same search, computed plainly in 64 bits per product: the reference that the
// fast path must agree with.
int32_t findBestSpliceReference(const Frame* tail, const Frame* input);

// What the timed search needs to know beside the sound: where the tail lies in this
// step's input and the speed, which together say when each input frame will be heard.
struct SplicePlan {
    int32_t tailFrame = 0; // input frame where the tail was taken (may lie outside 0..3600)
    int32_t speed = 4096;  // 1/4096
};

// The offset, in 16-bit samples (even, 0..kSpliceMaxOffset), that the splice should
// take. Every even offset is scored by the normalised correlation of the weighted tail
// with the input there, less two costs:
// - timing: a beat onset the step will play must come out at the same distance from its
//   ideal time as every other onset; a step without one stays near the middle offset;
// - onsets: a splice must not skip or repeat an onset, nor fade one in or out (that is
//   heard as a lost or doubled beat), unless it continues the tail seamlessly.
// A silent tail has nothing to match: only the costs count there.
// tail holds kSpliceFadeFrames frames; input at least kTimedSpliceInputFrames.
// Audio thread safe: no allocation, about 22 KB of stack.
int32_t findTimedSplice(const Frame* tail, const Frame* input, const SplicePlan& plan);

// Input frames from the start of a step where an onset begins, at most `capacity`,
// found in blocks of kOnsetBlockFrames; returns how many. afterSilence: nothing was
// heard before input[0], so sound there is itself an onset.
constexpr int kOnsetBlockFrames = 32;
int findOnsets(const Frame* input, int frames, int32_t* onsets, int capacity,
               bool afterSilence = false);

// Input frames by which the timed search plays every onset ahead of its ideal time at
// `speed`. Slowing down, a step plays its input faster than the tempo, so an onset late
// in a step comes early by up to (1 - speed) x the span the search times; every onset
// comes that early. Speeding up, onsets come on time.
int32_t onsetLeadFrames(int32_t speed);

// A step that starts afresh (from pause, or after a jump) has no splice to time its
// first onset with. It starts playing at input[0] (unspliced), but its input is taken
// as beginning this many frames earlier (0..kSpliceMaxOffset / 2), which puts the first
// onset of `input` at the same lead as every later one. input holds at least
// kTimedSpliceInputFrames frames, nothing before it was heard.
int32_t freshStartFrames(const Frame* input, int32_t speed);

// out[i] = tail[i] x (512 - i) / 512 + fresh[i] x i / 512 per channel, for the
// kSpliceFadeFrames frames (arithmetic shift, so exact and within 16 bits).
void crossFadeSplice(Frame* out, const Frame* tail, const Frame* fresh);

// A jump to a new place: the same, over the first kJumpFadeFrames frames only, then
// fresh as it is. Enough against a click, short enough to keep a beat's attack at
// the new place, which a splice-long fade would blunt.
constexpr int kJumpFadeFrames = 64;
void crossFadeJump(Frame* out, const Frame* tail, const Frame* fresh);
