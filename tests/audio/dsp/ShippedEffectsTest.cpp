// The program's own effects heard through a deck: each changes the rendered sound the
// way its name promises, and two decks running the same effect keep separate state.

#include "tests/audio/deck/DeckRig.h"

#include "audio/dsp/WinampDspPlugin.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

enum Effect { kSweep = 0, kSwap = 1, kEcho = 2, kBassKill = 3, kWidth = 4 };

std::unique_ptr<WinampDspPlugin> effect(int module) {
    auto plugin = std::make_unique<WinampDspPlugin>(ZV_DSP_SHIPPED, module);
    EXPECT_TRUE(plugin->loaded()) << plugin->error();
    return plugin;
}

// The frames a deck plays of the track, through the plug-in when there is one.
std::vector<Frame> heard(const TestDecoder::Setup& track, std::unique_ptr<DspPlugin> plugin,
                         int deck = 0) {
    DeckRig rig;
    EXPECT_TRUE(rig.loadTest(deck, track));
    if (plugin)
        rig.deck(deck).setDspPlugin(std::move(plugin));
    rig.fill(deck);
    rig.deck(deck).play();
    rig.output.collect(deck, true);
    rig.turns(120);
    return rig.output.heard(deck);
}

// RMS of the left channel after the effects' smoothing has settled (0.2 s).
double rms(const std::vector<Frame>& frames) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = 8820; i < frames.size(); ++i, ++n)
        sum += double(frameLeft(frames[i])) * frameLeft(frames[i]);
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

double audibleShare(const std::vector<Frame>& frames) {
    const auto loud = std::count_if(frames.begin(), frames.end(),
                                    [](Frame f) { return std::abs(frameLeft(f)) > 100; });
    return double(loud) / double(frames.size());
}

} // namespace

TEST(ShippedEffects, FiltersAreHeardInTheRenderedSound) {
    // At their first settings the sweep is a low-pass near 1 kHz and the bass is killed
    // below 250 Hz. Tolerances: -20 dB where the band is cut (the filters reach at least
    // -30 dB there), +-2 dB where it passes.
    const struct {
        const char* name;
        int module, deck;
        double frequency;
        double minRatio, maxRatio;
    } cases[] = {{"sweep cuts highs", kSweep, 0, 6000.0, 0.0, 0.1},
                 {"sweep keeps lows", kSweep, 1, 150.0, 0.8, 1.25},
                 {"kill cuts bass", kBassKill, 1, 60.0, 0.0, 0.1},
                 {"kill keeps highs", kBassKill, 0, 3000.0, 0.8, 1.25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TestDecoder::Setup track{.frequency = c.frequency, .seconds = 10};
        const double dry = rms(heard(track, nullptr, c.deck));
        const double wet = rms(heard(track, effect(c.module), c.deck));
        ASSERT_GT(dry, 1000.0);
        EXPECT_GE(wet / dry, c.minRatio);
        EXPECT_LE(wet / dry, c.maxRatio);
    }
}

TEST(ShippedEffects, StereoEffectsMoveTheChannels) {
    // Swap, heard through a deck: every frame of the index track with its halves
    // exchanged, none lost or repeated.
    const std::vector<Frame> swapped = heard(indexTrack(10), effect(kSwap));
    ASSERT_GT(swapped.size(), 100000u);
    auto unswap = [](Frame f) { return int64_t((f >> 16) | (f << 16)); };
    // The block rendered while the deck takes the plug-in on passes without it.
    constexpr size_t kFirstBlock = 3088;
    for (size_t i = kFirstBlock + 1; i < swapped.size(); ++i)
        ASSERT_EQ(unswap(swapped[i]) - unswap(swapped[i - 1]), 1) << i;

    // Width 160 %: the side signal grows by 1.6, the middle stays.
    auto width = effect(kWidth);
    ASSERT_EQ(width->parameter(0), 160);
    Frame frames[2] = {makeFrame(1000, 0), makeFrame(-20000, 20000)};
    ASSERT_EQ(width->process(frames, 2), 2);
    EXPECT_EQ(frames[0], makeFrame(1300, -300));
    EXPECT_EQ(frames[1], makeFrame(-32000, 32000)); // saturated, not wrapped
    width->setParameter(0, 0);                      // mono
    frames[0] = makeFrame(1000, 0);
    width->process(frames, 1);
    EXPECT_EQ(frames[0], makeFrame(500, 500));
}

// The echo fills the gaps between beats, each burst coming back several times, quieter
// each time; two decks running it keep separate echo memories.
TEST(ShippedEffects, EchoFillsTheGapsOnItsOwnDeckOnly) {
    const TestDecoder::Setup clicks{.signal = TestDecoder::Signal::Clicks, .seconds = 10};
    const double dry = audibleShare(heard(clicks, nullptr));
    ASSERT_GT(dry, 0.005);
    DeckRig rig;
    ASSERT_TRUE(rig.loadTest(0, clicks));
    ASSERT_TRUE(rig.loadTest(1, {.amplitude = 0, .seconds = 10}));
    auto echo0 = effect(kEcho), echo1 = effect(kEcho);
    EXPECT_NE(echo0->tempCopy(), echo1->tempCopy());
    echo0->setParameter(3, 80);
    EXPECT_EQ(echo1->parameter(3), 50); // parameters are per instance too
    rig.deck(0).setDspPlugin(std::move(echo0));
    rig.deck(1).setDspPlugin(std::move(echo1));
    for (int d = 0; d < 2; ++d) {
        rig.fill(d);
        rig.deck(d).play();
        rig.output.collect(d, true);
    }
    rig.turns(120);
    EXPECT_GT(audibleShare(rig.output.heard(0)), 3.0 * dry);
    // A shared echo memory would replay deck 0's beats on the silent deck 1.
    const auto& silent = rig.output.heard(1);
    ASSERT_GT(silent.size(), 100000u);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](Frame f) { return f == 0; }));
}
