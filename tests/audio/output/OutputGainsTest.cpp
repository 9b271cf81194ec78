// The loudness arithmetic of the outputs: crossfader curves, the repair of a damaged
// Crossfader setting, the deck-gain to volume conversion and the configuration table.

#include "audio/output/OutputGains.h"
#include "audio/output/SoundConfiguration.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

namespace {

struct CurveCase {
    int32_t mode;
    int32_t position;
    int32_t gain0;
    int32_t gain1;
};

} // namespace

TEST(CrossfaderCurve, GainsOfEachModeAlongTheFader) {
    const CurveCase cases[] = {
        // Smooth: min(256, 384 - x), min(256, x).
        {0, 0, 256, 0},
        {0, 100, 256, 100},
        {0, 192, 192, 192},
        {0, 300, 84, 256},
        {0, 384, 0, 256},
        // Full: min(256, (384 - x) x 256 / 192), truncating.
        {1, 0, 256, 0},
        {1, 100, 256, 133},
        {1, 192, 256, 256},
        {1, 250, 178, 256},
        {1, 383, 1, 256},
        // Cut: 256 up to / from the centre.
        {2, 0, 256, 0},
        {2, 191, 256, 0},
        {2, 192, 256, 256},
        {2, 193, 0, 256},
        // Positions beyond the ends count as the ends.
        {0, -50, 256, 0},
        {0, 500, 0, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " at " << c.position);
        settings().crossfader = c.mode;
        const CrossfaderGains g = crossfaderCurve(c.position);
        EXPECT_EQ(g.deck0, c.gain0);
        EXPECT_EQ(g.deck1, c.gain1);
        EXPECT_EQ(settings().crossfader, c.mode);
    }
}

TEST(CrossfaderCurve, AnUnknownModeSilencesBothDecksOnceAndIsSetBackToSmooth) {
    for (int32_t bad : {3, -1, 1000}) {
        settings().crossfader = bad;
        const CrossfaderGains g = crossfaderCurve(kCrossfaderCentre);
        EXPECT_EQ(g.deck0, 0);
        EXPECT_EQ(g.deck1, 0);
        EXPECT_EQ(settings().crossfader, 0);
        EXPECT_EQ(crossfaderCurve(kCrossfaderCentre).deck0, 192);
    }
}

TEST(GainToMillibels, SilenceUnityAndTheLogarithmBetween) {
    const struct {
        int32_t gain;
        int32_t millibels;
    } cases[] = {
        {0, -10000},   {10, -10000}, {11, -7550}, {100, -5632}, {256 * 192, -249},
        {32768, -602}, {65535, 0},   {65536, 0},  {70000, 0},   {-5, -10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gainToMillibels(c.gain), c.millibels) << "gain " << c.gain;
}

TEST(SoundConfiguration, LookupFindsEachRowAndRefusesTheRest) {
    int found = 0;
    for (int cards = 0; cards < 3; ++cards) {
        for (int listening = 0; listening < 3; ++listening) {
            for (int soft = 0; soft < 2; ++soft) {
                const int row = findSoundConfiguration(cards, listening, soft);
                if (row < 0)
                    continue;
                ++found;
                const SoundConfiguration c = soundConfiguration(row);
                EXPECT_EQ(static_cast<int>(c.cards), cards);
                EXPECT_EQ(static_cast<int>(c.listening), listening);
                EXPECT_EQ(int{c.softMix}, listening == 2 ? 0 : soft);
            }
        }
    }
    // 11 rows, and the external mixer rows are found with either soft-mix value.
    EXPECT_EQ(found, 11 + 3);
    EXPECT_EQ(findSoundConfiguration(0, 0, 1), 1);
    EXPECT_EQ(findSoundConfiguration(2, 2, 1), 2);
    EXPECT_EQ(findSoundConfiguration(1, 0, 0), -1); // four outputs for loudspeakers only
    EXPECT_EQ(findSoundConfiguration(2, 0, 1), -1);
    EXPECT_EQ(findSoundConfiguration(3, 0, 0), -1);
    EXPECT_EQ(findSoundConfiguration(0, 0, 2), -1);
    // A damaged Output mode is served as the plain hard mix.
    EXPECT_FALSE(soundConfiguration(11).softMix);
    EXPECT_EQ(soundConfiguration(-1).listening, ListeningLayout::Speakers);
}
