#include "audio/output/OutputDevices.h"

#include "core/FatalMessage.h"
#include "core/Settings.h"

SoundDeviceOpener systemSoundDeviceOpener() {
    return [](const SoundCardId* id, bool exclusive, int outputPairs,
              std::unique_ptr<SoundDevice>* device) {
        return openSoundCard(id, exclusive, device, outputPairs);
    };
}

namespace {

std::optional<SoundCardId> cardId(const std::optional<QByteArray>& stored) {
    SoundCardId id;
    if (!stored || !id.assign(stored->constData(), static_cast<size_t>(stored->size())))
        return std::nullopt;
    return id;
}

struct Opened {
    std::unique_ptr<SoundDevice> device;
    SoundResult result = SoundResult::Ok;
    bool isDefault = false; // the default device is what was opened
};

Opened openWithFallback(const SoundDeviceOpener& opener, const std::optional<SoundCardId>& card,
                        bool exclusive, int pairs) {
    Opened opened;
    opened.isDefault = !card.has_value();
    opened.result = opener(card ? &*card : nullptr, exclusive, pairs, &opened.device);
    if (opened.result == SoundResult::Ok && opened.device)
        return opened;
    opened.device.reset();
    if (card && isDriverError(opened.result)) {
        // A card that is gone (or refuses with the driver error): the default, once.
        opened.isDefault = true;
        opened.result = opener(nullptr, exclusive, pairs, &opened.device);
        if (opened.result == SoundResult::Ok && opened.device)
            return opened;
        opened.device.reset();
    }
    if (opened.result == SoundResult::Ok)
        opened.result = SoundResult::Failed; // an opener that gave no device
    return opened;
}

} // namespace

OutputCardChoice outputCardChoiceFromSettings() {
    const Settings& s = settings();
    OutputCardChoice choice;
    choice.card1 = cardId(s.soundCardGuid);
    choice.card2 = cardId(s.soundCard2Guid);
    choice.exclusive = s.multiInstance.load(std::memory_order_relaxed) == 0;
    return choice;
}

void reportSoundFailure(const char* message) {
    if (message != nullptr && fatalMessage() == nullptr)
        setFatalMessage(message);
}

bool openOutputDevices(const SoundDeviceOpener& opener, const OutputCardChoice& choice,
                       CardLayout wanted, OutputDevices* devices) {
    *devices = OutputDevices{};
    if (wanted == CardLayout::FourOutputCard) {
        Opened four = openWithFallback(opener, choice.card1, choice.exclusive, 2);
        if (four.device && four.device->outputPairs() >= 2) {
            devices->cards[0] = std::move(four.device);
            devices->layout = CardLayout::FourOutputCard;
            return true;
        }
        // Not a four-output card after all: the card as a stereo one, below.
    }
    Opened first = openWithFallback(opener, choice.card1, choice.exclusive, 1);
    if (!first.device) {
        reportSoundFailure(soundResultMessage(first.result));
        return false;
    }
    devices->cards[0] = std::move(first.device);
    if (wanted != CardLayout::TwoCards)
        return true;

    // Card 2 must be another card than card 1: the same card twice would play the
    // headphones' sound on the loudspeakers.
    const bool sameRequest = choice.card2 == choice.card1;
    if (!sameRequest) {
        Opened second = openWithFallback(opener, choice.card2, choice.exclusive, 1);
        if (second.device && !(second.isDefault && first.isDefault)) {
            devices->cards[1] = std::move(second.device);
            devices->layout = CardLayout::TwoCards;
        }
    }
    return true;
}
