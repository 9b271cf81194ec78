#pragma once
// Where the sound output sends the mix that the card has played while recording. The
// one implementation is `Recorder`; the output only knows this interface.
//
// Threading and hand-over (the output must follow it):
// - write() and detach() are called by one producer thread, the audio thread. They only
//   copy into memory and store atomics: they never block, allocate, log or touch files.
// - detach() is the producer's last call: after it the producer never touches the sink
//   again and hands the pointer to the user-interface thread (for example through a
//   retire slot of the output).
// - describe() and isFinished() may be called from the user-interface thread at any
//   time while the sink exists.
// - The destructor waits for the sink's own thread to finish the file. It runs on the
//   user-interface thread, never on the audio thread, and only once the producer has
//   stopped calling write() (after detach(), or after the audio thread has ended).

#include <string>

#include "core/Frame.h"

class RecorderSink {
public:
    virtual ~RecorderSink() = default;
    // Takes count frames that the card has just played (count >= 0, any size).
    virtual void write(const Frame* frames, int count) = 0;
    // No write() follows: the sink writes what it has received and finishes its file
    // on its own thread.
    virtual void detach() = 0;
    // The state text of the record page, several lines.
    virtual std::string describe() const = 0;
    // True once everything received has been written and the file is complete.
    virtual bool isFinished() const = 0;
};
