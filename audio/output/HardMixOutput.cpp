#include "audio/output/HardMixOutput.h"

#include "audio/deck/DeckTable.h"
#include "audio/output/OutputGains.h"

#include <algorithm>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool isDeckIndex(int deck) {
    return deck == 0 || deck == 1;
}

} // namespace

HardMixOutput::HardMixOutput(OutputDevices devices, const OutputLayout& layout)
    : layout_(layout), devices_(std::move(devices)) {
    if (!devices_.cards[0])
        return;
    for (int d = 0; d < 2; ++d) {
        const LanePlace& place = layout_.decks[d];
        SoundDevice* card = devices_.cards[place.device].get();
        if (!card ||
            lanes_[d].open(*card, place.pair, place.map, kVolumeSilence) != SoundResult::Ok) {
            reportSoundFailure(kSoundMessageDriver);
            return;
        }
        if (layout_.preListening) {
            SoundDevice* cueCard = devices_.cards[layout_.cue.device].get();
            if (!cueCard || cueLanes_[d].open(*cueCard, layout_.cue.pair, layout_.cue.map,
                                              kVolumeSilence) != SoundResult::Ok) {
                reportSoundFailure(kSoundMessageDriver);
                return;
            }
        }
    }
    ready_ = true;
    setCrossfader(kCrossfaderCentre);
    applyCueVolumes();
}

HardMixOutput::~HardMixOutput() {
    // Buffers before the cards that play them.
    for (int d = 0; d < 2; ++d) {
        lanes_[d].close();
        cueLanes_[d].close();
    }
}

int32_t HardMixOutput::mixGain(int deck) const {
    const int32_t fader =
        layout_.crossfaded ? crossfaderGains_[deck].load(kRelaxed) : kFullCrossfaderGain;
    return fader * levels_[deck].load(kRelaxed);
}

void HardMixOutput::applyVolume(int deck) {
    lanes_[deck].setVolume(gainToMillibels(mixGain(deck)));
}

void HardMixOutput::applyCueVolumes() {
    if (!layout_.preListening)
        return;
    const int selected = selectedDeck_.load(kRelaxed);
    for (int d = 0; d < 2; ++d)
        cueLanes_[d].setVolume(d == selected ? kVolumeFull : kVolumeSilence);
}

void HardMixOutput::setDeckLevel(int deck, int level) {
    if (!ready_ || !isDeckIndex(deck))
        return;
    levels_[deck].store(std::clamp(level, 0, kMaxLevel), kRelaxed);
    applyVolume(deck);
}

void HardMixOutput::setCrossfader(int position) {
    if (!ready_)
        return;
    const CrossfaderGains gains = crossfaderCurve(position);
    crossfaderGains_[0].store(gains.deck0, kRelaxed);
    crossfaderGains_[1].store(gains.deck1, kRelaxed);
    applyVolume(0);
    applyVolume(1);
}

void HardMixOutput::setSelectedDeck(int deck) {
    if (!ready_ || !isDeckIndex(deck))
        return;
    selectedDeck_.store(deck, kRelaxed);
    applyCueVolumes();
}

void HardMixOutput::poll() {
    if (!ready_)
        return;
    for (int d = 0; d < 2; ++d) {
        const SoundResult result = lanes_[d].readCursors();
        if (layout_.preListening && cueLanes_[d].readCursors() == SoundResult::DeviceLost)
            markDeviceLost();
        if (result != SoundResult::Ok) {
            if (result == SoundResult::DeviceLost)
                markDeviceLost();
            continue;
        }
        if (playing_[d].load(kRelaxed)) {
            if (Deck* deck = deckAt(d))
                deck->updatePlayPosition(lanes_[d].heardFrame());
        }
    }
}

int HardMixOutput::submit() {
    if (!ready_)
        return 0;
    for (int d = 0; d < 2; ++d) {
        const Deck* deck = deckAt(d);
        if (!deck)
            continue;
        const bool playing = playing_[d].load(kRelaxed) != 0;
        lanes_[d].submit(*deck, playing);
        if (layout_.preListening)
            cueLanes_[d].submit(*deck, playing);
    }
    return 1;
}

void HardMixOutput::resyncDeck(int deck) {
    if (!ready_)
        return;
    for (int d = 0; d < 2; ++d) {
        if (deck >= 0 && deck != d)
            continue;
        if (const Deck* dk = deckAt(d)) {
            lanes_[d].resync(*dk);
            if (layout_.preListening)
                cueLanes_[d].resync(*dk);
        }
    }
    submit();
}

void HardMixOutput::deckStarted(int deck) {
    if (!ready_ || !isDeckIndex(deck))
        return;
    playing_[deck].store(1, kRelaxed);
    resyncDeck(deck);
}

void HardMixOutput::deckStopped(int deck) {
    if (!ready_ || !isDeckIndex(deck))
        return;
    playing_[deck].store(0, kRelaxed);
    lanes_[deck].owesSilence();
    if (layout_.preListening)
        cueLanes_[deck].owesSilence();
    resyncDeck(deck);
}

int HardMixOutput::playSnippet(int deck, int32_t ringPos, int32_t frames) {
    if (!ready_ || !isDeckIndex(deck))
        return 1;
    if (playing_[deck].load(kRelaxed))
        return 0;
    const Deck* dk = deckAt(deck);
    if (!dk)
        return 1;
    lanes_[deck].playSnippet(*dk, ringPos, frames);
    if (layout_.preListening)
        cueLanes_[deck].playSnippet(*dk, ringPos, frames);
    return 1;
}

bool HardMixOutput::isDeckAudible(int deck) {
    if (deck < 0)
        return isDeckAudible(0) || isDeckAudible(1);
    if (!ready_ || deck > 1)
        return false;
    return playing_[deck].load(kRelaxed) && mixGain(deck) >= kAudibleGain;
}
