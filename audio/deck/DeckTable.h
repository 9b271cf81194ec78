#pragma once
// The process-wide pieces around the two decks: the deck table, the current sound
// output, the Auto Mix switch, the per-deck status codes, the track store and the
// flag that says whether an audio thread serves the decks.
//
// Threading: the deck table, the track store and the audio-loop flag are set on the
// user-interface thread while no audio thread runs (or, for the flag, by the one
// thread that starts and stops the audio thread); the rest is atomic and may be
// touched from any thread.

#include <array>
#include <atomic>
#include <cstdint>

class Deck;
class SoundOutput;
class TrackStore;

// Per-deck status codes, shown by the deck display.
constexpr int32_t kStatusLoaded = 0;
constexpr int32_t kStatusDecoderError = 153; // "ERROR\nin the\nMP3 file"
constexpr int32_t kStatusCannotOpen = 156;   // "Impossible\nto open\nthe file"
constexpr int32_t kStatusEmpty = 157;        // "Drag a file\non the disc\nto load it"

// The text the deck display shows for a status code (lines split by '\n'); empty for
// kStatusLoaded and unknown codes.
const char* deckStatusText(int32_t status);

// The two decks by index (0, 1); an entry is null while that deck does not exist.
// Filled before the audio thread starts and cleared after it ended, so the audio
// thread reads it without synchronisation of its own.
std::array<Deck*, 2>& decks();
// The deck with the given index, or null for an index outside 0..1 or a missing deck.
Deck* deckAt(int index);

// The output that plays the decks; null when there is none, and then the decks skip
// their calls to it. Stored with release after the output is built, loaded with
// acquire by the audio thread, so the audio thread sees a fully built output.
std::atomic<SoundOutput*>& currentSoundOutput();
inline SoundOutput* soundOutputNow() {
    return currentSoundOutput().load(std::memory_order_acquire);
}

// Automatic mixing from the playlist; an options-panel switch, not persisted. Relaxed:
// a deck that sees the change one turn late only triggers one turn late.
std::atomic<bool>& autoMixOn();

// The status code of a deck (157 at start). Written by the user-interface thread on
// load and by the audio thread on a read error; read by the display. Relaxed: each
// code stands alone.
std::atomic<int32_t>& deckStatus(int index);

// The track database as the deck sees it; null when there is none (the deck then
// plays tracks without analysis values). User-interface thread only.
TrackStore* trackStore();
void setTrackStore(TrackStore* store);

// True while an audio thread serves the decks. Set by whoever starts the audio
// thread, before it starts, and cleared after it has ended. A command posted while it
// is false is carried out at once on the posting thread, since nobody else would.
std::atomic<bool>& audioLoopRunning();

// Marks the calling thread as the audio thread, for debug checks of operations that
// must never run on it (they would wait for the thread that is waiting).
void markAudioThread();
bool onAudioThread();
