#pragma once
// Loudness arithmetic shared by the sound outputs: the crossfader curves and the
// conversion of a deck gain into a card-buffer volume.
//
// Units: deck level 0..256 (256 = unchanged); crossfader gain 0..256 per deck; deck
// gain = level x crossfader gain, 0..65536 (65536 = unchanged); volumes in hundredths
// of a decibel (-10000 = silence, 0 = unchanged).
//
// Threading: any thread. crossfaderCurve() reads the Crossfader setting and writes it
// back to 0 when it holds no known curve (a relaxed atomic; the last writer wins, and
// every writer writes 0).

#include <cstdint>

constexpr int32_t kCrossfaderMax = 384;    // all deck 1
constexpr int32_t kCrossfaderCentre = 192; // both decks
constexpr int32_t kFullCrossfaderGain = 256;
constexpr int32_t kFullDeckGain = 65536;
// Below this deck gain a playing deck counts as not heard ("Baby secure").
constexpr int32_t kAudibleGain = 100;
// Deck gains up to this are sent to the card as silence.
constexpr int32_t kSilentGain = 10;

// The Crossfader setting: which curve the crossfader follows.
enum class CrossfaderMode : int32_t { Smooth = 0, Full = 1, Cut = 2 };

struct CrossfaderGains {
    int32_t deck0 = 0; // 0..256
    int32_t deck1 = 0;
};

// The gains of both decks at crossfader position x (0 = all deck 0, 384 = all deck 1),
// by the curve of the Crossfader setting. A setting outside 0..2 gives 0 to both decks
// and is set back to 0 (Smooth). Positions outside 0..384 count as the nearest end.
CrossfaderGains crossfaderCurve(int32_t position);

// Volume for a deck gain: -10000 up to a gain of 10, else 2000 x log10(gain / 65536)
// truncated toward zero (0 at 65536, -602 at half gain). Gains above 65536 give 0.
int32_t gainToMillibels(int32_t gain);
