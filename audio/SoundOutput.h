#pragma once
// The sound output that plays both decks' output rings on the sound card. This is
// the abstract interface; the hard-mix and soft-mix outputs implement it.
//
// Threading: poll(), submit(), resyncDeck(), deckStarted(), deckStopped() and
// playSnippet() run on the audio thread (the last four from inside a deck's service).
// setDeckLevel(), setCrossfader(), setSelectedDeck() and isDeckAudible() run on the
// user-interface thread. No lock is taken by either side.

#include <cstdint>

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual void setDeckLevel(int deck, int level) = 0;  // level 0..256
    virtual void setCrossfader(int position) = 0;        // 0..384, centre 192
    virtual void resyncDeck(int deck) = 0;               // deck 0/1, or -1 for both
    virtual int submit() = 0;                            // 0 when nothing was done
    virtual int playSnippet(int deck, int32_t ringPos, int32_t frames) = 0;
    virtual void poll() = 0;
    virtual void deckStarted(int deck) = 0;
    virtual void deckStopped(int deck) = 0;
    virtual void setSelectedDeck(int deck) = 0;
    virtual bool isDeckAudible(int deck) = 0;
};
