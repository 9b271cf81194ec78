#pragma once
// The sound configurations: which cards, how the DJ listens, and who mixes. The row
// number is the `Output mode` setting. The table and its lookup serve the configuration
// dialog; outputLayoutFor() says where an output sends each deck for a row.
//
// Routing (the same for hard and soft mix, where the row allows soft mix):
// - speakers: both decks, mixed with levels and crossfader, on card 1;
// - speakers and headphones: the mix on card 1 (outputs 1-2 of a four-output card),
//   and the selected deck alone at full level, without crossfader, on card 2 (outputs
//   3-4) for pre-listening; on one stereo card the mix goes mono to the left output
//   and the selected deck mono to the right one;
// - external mixer: deck 0 on card 1 (outputs 1-2), deck 1 on card 2 (outputs 3-4),
//   each at its deck level without crossfader; on one stereo card deck 0 goes mono to
//   the left output and deck 1 mono to the right one.
//
// Threading: pure functions, any thread.

#include "audio/output/CardWrite.h"

#include <array>
#include <cstdint>

enum class CardLayout : int32_t { OneCard = 0, FourOutputCard = 1, TwoCards = 2 };
enum class ListeningLayout : int32_t { Speakers = 0, Headphones = 1, ExternalMixer = 2 };

struct SoundConfiguration {
    CardLayout cards = CardLayout::OneCard;
    ListeningLayout listening = ListeningLayout::Speakers;
    bool softMix = false;
};

constexpr int kSoundConfigurationCount = 11;

// Row r of the table. A row outside 0..10 (a damaged setting) is served as row 0.
SoundConfiguration soundConfiguration(int row);

// The row holding the combination, or -1 when it is invalid. The soft-mix value is
// taken as 0 whenever the listening layout is the external mixer (2).
int findSoundConfiguration(int cardLayout, int listeningLayout, int softMix);

// Where a card buffer goes: which of the output's devices (0 = card 1, 1 = card 2),
// which stereo pair of it (1 = outputs 3-4) and how the frames sit on the pair.
struct LanePlace {
    int device = 0;
    int pair = 0;
    ChannelMap map = ChannelMap::Stereo;
};

struct OutputLayout {
    bool softMix = false;
    // The crossfader acts (speakers, headphones); false for an external mixer, whose
    // own faders do that work.
    bool crossfaded = true;
    // Hard mix: the lane of each deck. Soft mix: decks[0] is where the mix goes.
    std::array<LanePlace, 2> decks{};
    // Pre-listening lanes of both decks, on the headphones' outputs.
    bool preListening = false;
    LanePlace cue{};
    // What the layout needs: devices 1 or 2, and output pairs of device 0.
    int devices = 1;
    int pairsOnCard1 = 1;
};

// The layout of a configuration for the cards that could really be opened (`cards`
// may be OneCard where the configuration wanted more: the fallback when a second card
// or a second output pair is missing).
OutputLayout outputLayoutFor(const SoundConfiguration& config, CardLayout cards);
