#pragma once
// Applying a sound configuration: what the configuration dialog's OK does after the
// choice was checked, and what the user interface does when the card was lost.
//
// The running engine is replaced by a new one while the decks keep playing: the old
// audio thread ends (a recording ends with its file complete), the new output is built
// on the new cards, the playing decks are re-anchored on it at their current ring
// positions, the MainWindow's levels, crossfader and selected deck are applied, and only
// then does the new audio thread start, so none of these calls overlaps its poll() and
// submit().
//
// Threading: user-interface thread. The caller suspends the rhythm window's thread
// around the call (it reads the output).

#include "audio/card/SoundCard.h"
#include "audio/output/AudioEngine.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// What the user interface holds of the mix.
struct MixerState {
    std::array<int32_t, 2> deckLevels{256, 256};
    int32_t crossfader = 192;
    int selectedDeck = 0;
};

// The cards chosen in the dialog; none means the default device ("primary driver").
struct SoundCardSelection {
    std::optional<SoundCardId> card1;
    std::optional<SoundCardId> card2;
};

// Stores row as `Output mode`, card1 as "Sound card GUID" and "Sound card 1 GUID" and
// card2 as "Sound card 2 GUID", then replaces the engine. False, and nothing changed,
// when row is not a configuration (0..10). The new engine keeps the old one's options
// (a test's virtual cards, manual mode); with no engine it gets the default options.
bool applySoundConfiguration(std::unique_ptr<AudioEngine>& engine, int row,
                             const SoundCardSelection& cards, const MixerState& state);

// Replaces the engine by a new one for the stored configuration, keeping the decks
// playing (the engine replacement above, without changing the settings).
void restartAudioEngine(std::unique_ptr<AudioEngine>& engine, const MixerState& state);

// For the display timer: when the engine's card was lost, restarts the engine (which
// re-opens the card or falls back to the default device). True when it did.
bool recoverLostSoundDevice(std::unique_ptr<AudioEngine>& engine, const MixerState& state);
