#pragma once
// A decoder turns a sound file into blocks of exactly kBlockFrames frames of 44100 Hz
// stereo 16-bit sound and can jump to a position given as a fraction of the track.
//
// Threading: open() and close() are called on the user-interface thread while the
// deck is suspended; read() and seek() on the audio thread. Never both at once.
// read(), seek() and ready() neither allocate nor block: the file is read into memory
// by a thread of its own.

#include <cstdint>

#include "core/Frame.h"

class Decoder {
public:
    virtual ~Decoder() = default;

    // Opens the file; returns its length in whole seconds, 0 when it cannot be used
    // (also for a file shorter than one second).
    virtual int32_t open(const char* path) = 0;
    virtual void close() = 0;
    // Writes kBlockFrames frames into out: 1 = a full block, 0 = end, -1 = error.
    virtual int32_t read(Frame* out) = 0;
    // Places the next read at position p (fraction of the track). Always 1.
    virtual int32_t seek(float p) = 0;
    // False while the bytes of the next block are still on their way from the disk: the
    // caller decodes later instead of waiting. A read() made anyway gives a block of
    // silence that takes no time of the track (the position stays).
    virtual bool ready() { return true; }

    // Position of the next block, a fraction 0..1 of the track; after a successful
    // read it is the position just after the block read.
    float position = 0.0f;
    int32_t duration = 0; // whole seconds, as found by open()
    uint32_t sizeKey = 0; // the file's size in bytes

    // The exact length in 44100 Hz frames, as found by open(): the length that position
    // is a fraction of. 0 when no file is open.
    int64_t lengthFrames() const { return lengthFrames_; }

protected:
    int64_t lengthFrames_ = 0;
};
