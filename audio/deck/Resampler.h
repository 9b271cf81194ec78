#pragma once
// Kernels of plain resampling, the speed change that moves the pitch with the speed.
// Both are driven by the same 12-bit phase accumulator: output frame i reads the input
// at position used + phase / 4096, then phase gains `speed` and every whole 4096 in it
// moves the input one frame on. So both consume exactly the same input frames per step;
// only the sample values differ.
//
// Pure functions over caller buffers: no allocation, no state beyond the phase the
// caller keeps; audio thread safe.

#include "core/Frame.h"

#include <cstdint>

// Input frames an interpolating step reads before its first frame and beyond the last
// one the phase reaches: input[-kResampleHistoryFrames] must be readable.
constexpr int kResampleHistoryFrames = 8;
constexpr int kResampleLookaheadFrames = 8;

// Writes `frames` output frames read from input at the phase accumulator's positions,
// through a windowed-sinc filter whose cutoff falls with the speed above normal speed
// (tables made before main(), one per band of speeds). phase (0..4095) carries over from
// the previous step and is updated; returns the input frames consumed.
int32_t resampleInterpolated(Frame* out, const Frame* input, int32_t frames, int32_t speed,
                             int32_t& phase);

// The same walk taking the nearest earlier input frame: the classic sound, bit for bit.
int32_t resampleNearest(Frame* out, const Frame* input, int32_t frames, int32_t speed,
                        int32_t& phase);
