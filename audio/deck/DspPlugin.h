#pragma once
// An effect that a deck runs on its rendered sound.
//
// Threading: process() runs on the audio thread only. An instance is handed to a deck
// through the deck's command mailbox and destroyed on the user-interface thread after
// the deck has let go of it, so process() never runs on a destroyed instance.

#include "core/Frame.h"

class DspPlugin {
public:
    virtual ~DspPlugin() = default;

    // Processes count frames in place and returns how many frames it leaves there.
    // The buffer has room for twice count frames; a result outside 0..2 x count is
    // taken as its nearest bound by the deck.
    virtual int process(Frame* frames, int count) = 0;
};
