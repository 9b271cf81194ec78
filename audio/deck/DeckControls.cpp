#include "audio/deck/DeckControls.h"

#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "core/Settings.h"

#include <algorithm>

namespace {
DeckControls* gControls = nullptr;
} // namespace

void DirectDeckControls::setPitchControl(int deck, int32_t speed) {
    if (Deck* d = deckAt(deck))
        d->setSpeed(std::clamp(speed, settings().pitchMin(), settings().pitchMax()));
}

void DirectDeckControls::setLevelControl(int deck, int32_t level) {
    if (Deck* d = deckAt(deck))
        d->setVolume(std::clamp(level, 0, kMaxLevel));
}

DeckControls& deckControls() {
    static DirectDeckControls direct;
    return gControls ? *gControls : direct;
}

void setDeckControls(DeckControls* controls) {
    gControls = controls;
}
