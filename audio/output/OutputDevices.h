#pragma once
// Opening the cards of a sound output. Both outputs open their card the same way: the
// named card (the "Sound card GUID" setting), or the default device when none is named;
// when a named card fails with the driver error, the default device is tried once,
// without a message. Any other failure is final and sets the deferred fatal message.
//
// The cards beyond the first (card 2, or outputs 3-4 of a four-output card) are what
// the configurations with headphones or an external mixer add. When they cannot be had
// (missing, busy, the same card as card 1, a card with only two outputs), the output
// falls back to the one-card layout on card 1 rather than going silent, and no message
// is set.
//
// Threading: the user-interface thread (engine creation).

#include "audio/card/SoundCard.h"
#include "audio/output/SoundConfiguration.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>

// Opens a card: id null for the default device; outputPairs 1 or 2. The default is
// openSoundCard(); tests and offline tools give virtual cards of their own.
using SoundDeviceOpener = std::function<SoundResult(
    const SoundCardId* id, bool exclusive, int outputPairs, std::unique_ptr<SoundDevice>* device)>;

SoundDeviceOpener systemSoundDeviceOpener();

struct OutputCardChoice {
    std::optional<SoundCardId> card1; // none: the default device
    std::optional<SoundCardId> card2;
    bool exclusive = true; // false with MultiInstance: another copy may share the card
};

// "Sound card GUID", "Sound card 2 GUID" and MultiInstance from the settings; a stored
// identifier of the wrong size counts as none.
OutputCardChoice outputCardChoiceFromSettings();

struct OutputDevices {
    std::array<std::unique_ptr<SoundDevice>, 2> cards; // [1] only for two cards
    CardLayout layout = CardLayout::OneCard;           // what could be opened
};

// Opens card 1 (and what the wanted layout adds). False when card 1 could not be
// opened: the deferred fatal message then holds the reason.
bool openOutputDevices(const SoundDeviceOpener& opener, const OutputCardChoice& choice,
                       CardLayout wanted, OutputDevices* devices);

// Sets the deferred fatal message unless one is set already: the first failure of a
// run is the one shown.
void reportSoundFailure(const char* message);
