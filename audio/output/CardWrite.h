#pragma once
// Writing frames into a looping card buffer, as both outputs do: lock the range at the
// buffer position (it may wrap at the buffer's end into a second region), fill the
// regions from a ring that may wrap as well, unlock. A failed lock writes nothing; the
// callers advance their positions regardless, as a card that refused the lock would
// leave them no choice.
//
// The channel map places the frames on the card's outputs: as they are, or mixed down
// to mono on one side of the pair (the one-card layouts that split the two channels
// between the loudspeakers' mix and the headphones, or between two mixer inputs).
//
// Threading: the thread that owns the buffer's filling (the audio thread).

#include "audio/card/SoundCard.h"
#include "core/Frame.h"

#include <cstdint>

enum class ChannelMap : uint8_t {
    Stereo,    // left to left, right to right
    MonoLeft,  // (left + right) / 2 on the left output, nothing on the right
    MonoRight, // (left + right) / 2 on the right output, nothing on the left
};

// Copies count frames (1..buffer frames) from ring (ringFrames long, starting at
// ringPos and wrapping at its end) into the buffer at bufferPos. False when the lock
// failed.
bool writeToCard(SoundBuffer& buffer, int32_t bufferPos, const Frame* ring, int32_t ringFrames,
                 int32_t ringPos, int32_t count, ChannelMap map);

// Writes count frames (1..buffer frames) of silence at bufferPos.
bool writeSilenceToCard(SoundBuffer& buffer, int32_t bufferPos, int32_t count);

// Copies count frames from source to target through the map (no wrap).
void mapFrames(Frame* target, const Frame* source, int32_t count, ChannelMap map);
