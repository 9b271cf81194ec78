#pragma once
// "Hard Mix (faster)": each deck gets its own looping buffer of 2 s on the card and the
// card mixes them; deck level and crossfader are buffer volumes, so there is no work
// per sample. The frames of a deck are copied from its output ring as the renderer
// writes them; the card's write cursor, seen through the fixed offset between ring
// and buffer, names the frame each deck hears. A stopped deck's buffer is overwritten
// with a whole buffer of silence so the card never replays stale sound.
//
// The configurations with headphones add a second lane per deck on the headphones'
// outputs (pre-listening): the selected deck at full volume, the other silent. With an
// external mixer each deck's lane goes to its own outputs at its deck level, without
// crossfader. See SoundConfiguration.h.
//
// Threading: as SoundOutput.h. Levels, crossfader gains, the selected deck and the
// playing flags are atomics: the user-interface thread sets the first three and reads
// the flags (isDeckAudible), the audio thread sets the flags. Relaxed: each value
// stands alone, and a decision one turn old is what the user sees anyway.

#include "audio/deck/SoundOutput.h"
#include "audio/output/DeckLane.h"
#include "audio/output/OutputDevices.h"

#include <array>
#include <atomic>

class HardMixOutput final : public SoundOutput {
public:
    // Takes the opened cards; with no card 1, or when a buffer cannot be created (the
    // deferred fatal message then says why), the output is not ready and does nothing.
    HardMixOutput(OutputDevices devices, const OutputLayout& layout);
    ~HardMixOutput() override;

    void setDeckLevel(int deck, int level) override;
    void setCrossfader(int position) override;
    void resyncDeck(int deck) override;
    int submit() override;
    int playSnippet(int deck, int32_t ringPos, int32_t frames) override;
    void poll() override;
    void deckStarted(int deck) override;
    void deckStopped(int deck) override;
    void setSelectedDeck(int deck) override;
    bool isDeckAudible(int deck) override;

    const OutputLayout& layout() const { return layout_; }

private:
    int32_t mixGain(int deck) const; // level x crossfader gain (or level x 256)
    void applyVolume(int deck);
    void applyCueVolumes();

    OutputLayout layout_;
    OutputDevices devices_;
    std::array<DeckLane, 2> lanes_;
    std::array<DeckLane, 2> cueLanes_; // open only with pre-listening
    std::array<std::atomic<int32_t>, 2> playing_{};
    std::array<std::atomic<int32_t>, 2> levels_{256, 256};
    std::array<std::atomic<int32_t>, 2> crossfaderGains_{};
    std::atomic<int32_t> selectedDeck_{0};
};
