#pragma once
// In-place sample-format conversions on a decoder block buffer (kBlockFrames frames,
// 4608 bytes). Each works from the end of the buffer towards its start so the wider
// result can overwrite the narrower input. Shared by both decoders.

#include <cstdint>

#include "core/Frame.h"

// count unsigned 8-bit samples at the start of buffer -> count signed 16-bit samples.
void expandBytesTo16(void* buffer, int count);
// count 16-bit mono samples -> count frames (same sample left and right).
void expandMonoToStereo(void* buffer, int count);
// count frames at rate (below 44100) -> kBlockFrames frames at 44100 by repeating.
void stretchTo1152(Frame* buffer, int count, int rate);
