#pragma once
// The deck's way to the user interface's pitch and level controls. Loading a track and
// the level and pitch synchronisations set a deck's speed and level through them, so
// that the controls on screen follow. Until the user interface installs its own, a
// direct implementation clamps the value and calls the deck.
//
// Threading: user-interface thread only.

#include <cstdint>

class DeckControls {
public:
    virtual ~DeckControls() = default;
    // Clamps speed (1/4096) to the pitch range, calls Deck::setSpeed, moves the slider.
    virtual void setPitchControl(int deck, int32_t speed) = 0;
    // Clamps level to 0..256, calls Deck::setVolume, moves the slider.
    virtual void setLevelControl(int deck, int32_t level) = 0;
};

// Clamps and calls the deck of the deck table; no slider to move.
class DirectDeckControls : public DeckControls {
public:
    void setPitchControl(int deck, int32_t speed) override;
    void setLevelControl(int deck, int32_t level) override;
};

// The controls in use; the direct ones until setDeckControls installs others.
DeckControls& deckControls();
// Installs controls (not owned); null goes back to the direct ones.
void setDeckControls(DeckControls* controls);
