#include "audio/output/SoundConfiguration.h"

namespace {

using enum CardLayout;
using enum ListeningLayout;

constexpr std::array<SoundConfiguration, kSoundConfigurationCount> kTable = {{
    {OneCard, Speakers, false},             // 0
    {OneCard, Speakers, true},              // 1
    {TwoCards, ExternalMixer, false},       // 2
    {FourOutputCard, ExternalMixer, false}, // 3
    {TwoCards, Headphones, false},          // 4
    {FourOutputCard, Headphones, false},    // 5
    {OneCard, ExternalMixer, false},        // 6
    {OneCard, Headphones, false},           // 7
    {TwoCards, Headphones, true},           // 8
    {FourOutputCard, Headphones, true},     // 9
    {OneCard, Headphones, true},            // 10
}};

} // namespace

SoundConfiguration soundConfiguration(int row) {
    if (row < 0 || row >= kSoundConfigurationCount)
        return kTable[0];
    return kTable[static_cast<size_t>(row)];
}

int findSoundConfiguration(int cardLayout, int listeningLayout, int softMix) {
    if (listeningLayout == static_cast<int>(ExternalMixer))
        softMix = 0;
    for (int row = 0; row < kSoundConfigurationCount; ++row) {
        const SoundConfiguration& c = kTable[static_cast<size_t>(row)];
        if (static_cast<int>(c.cards) == cardLayout &&
            static_cast<int>(c.listening) == listeningLayout && int{c.softMix} == softMix)
            return row;
    }
    return -1;
}

OutputLayout outputLayoutFor(const SoundConfiguration& config, CardLayout cards) {
    OutputLayout layout;
    layout.softMix = config.softMix;
    // The second place: another card, the second pair of a four-output card, or the
    // right side of the one stereo pair (then the first place is the left side).
    LanePlace first;
    LanePlace second;
    switch (cards) {
    case TwoCards:
        second.device = 1;
        layout.devices = 2;
        break;
    case FourOutputCard:
        second.pair = 1;
        layout.pairsOnCard1 = 2;
        break;
    case OneCard:
        first.map = ChannelMap::MonoLeft;
        second.map = ChannelMap::MonoRight;
        break;
    }
    switch (config.listening) {
    case Speakers:
        layout.decks = {LanePlace{}, LanePlace{}};
        layout.devices = 1;
        layout.pairsOnCard1 = 1;
        break;
    case Headphones:
        layout.decks = {first, first};
        layout.preListening = true;
        layout.cue = second;
        break;
    case ExternalMixer:
        layout.decks = {first, second};
        layout.crossfaded = false;
        layout.softMix = false;
        break;
    }
    return layout;
}
