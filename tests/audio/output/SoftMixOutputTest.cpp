// The soft-mix output on a virtual card stepped by hand: a deck started between turns,
// two decks mixed in step with clamping, and the re-mix beyond the write cursor after a
// level change, each frame by frame.

#include "tests/audio/output/OutputRig.h"

#include "audio/output/SoftMixOutput.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

namespace {

const OutputRig::Options kDeck0Heard{.outputMode = 1, .crossfader = 0};

} // namespace

TEST(SoftMixOutput, ADeckStartedBetweenTurnsGoesOnWhereItWasPaused) {
    // Without an audio thread the play command is carried out between two turns, so a
    // poll comes before the submit that anchors the deck: that poll must not move it.
    OutputRig rig(kDeck0Heard);
    ASSERT_TRUE(rig.loadAndPlay(0, indexTrack()));
    rig.play(44100, 1000);
    Deck& deck = rig.deck(0);
    deck.pause();
    rig.play(44100, 1000);
    deck.play();
    const int64_t resumed = TestDecoder::indexOf(deck.outputRing[deck.playPos]);
    std::vector<Frame>& out = rig.current().front;
    const size_t playAt = out.size();
    rig.play(44100, 1000);
    for (size_t i = playAt + kLatency; i < playAt + 40000; ++i)
        ASSERT_EQ(TestDecoder::indexOf(out[i]), resumed + int64_t(i - playAt - kLatency)) << i;
}

TEST(SoftMixOutput, TwoDecksInStepAreMixedAndClamped) {
    // Both decks play the same index track from the same start: the mix at full gains
    // (Full curve at the centre) is the clamped double of each frame, and the track's
    // frame numbers can be read back from the unclamped samples.
    OutputRig rig({.outputMode = 1});
    settings().crossfader = 1;
    rig.output().setCrossfader(192);
    ASSERT_TRUE(rig.load(0, indexTrack()));
    ASSERT_TRUE(rig.load(1, indexTrack()));
    for (int k = 0; k < 400; ++k)
        rig.turn();
    rig.deck(0).play();
    rig.deck(1).play();
    rig.play(5 * 44100);
    const std::vector<Frame>& out = rig.current().front;
    const auto doubled = [](int64_t n) {
        const Frame f = static_cast<Frame>(n);
        return makeFrame(static_cast<int16_t>(std::clamp(2 * frameLeft(f), -32768, 32767)),
                         static_cast<int16_t>(std::clamp(2 * frameRight(f), -32768, 32767)));
    };
    // The frame number from an unclamped frame of the last second.
    size_t probe = out.size() - 44100;
    while (std::abs(frameLeft(out[probe])) >= 32766)
        ++probe;
    const int64_t n = (int64_t{frameRight(out[probe]) / 2} << 16) |
                      static_cast<uint16_t>(frameLeft(out[probe]) / 2);
    int clamped = 0;
    for (size_t i = out.size() - 44100; i < out.size(); ++i) {
        const Frame expected = doubled(n + static_cast<int64_t>(i) - static_cast<int64_t>(probe));
        ASSERT_EQ(out[i], expected) << i - probe;
        clamped += std::abs(frameLeft(out[i])) >= 32767;
    }
    EXPECT_GT(clamped, 10000); // half of each 65536-frame cycle is beyond range
}

TEST(SoftMixOutput, ALevelChangeRemixesEverythingBeyondTheWriteCursor) {
    OutputRig rig(kDeck0Heard);
    ASSERT_TRUE(rig.loadAndPlay(0, indexTrack()));
    rig.play(44100, 2000);
    rig.turn();
    // The card moves on before the change and the next turn, as it does while the
    // audio thread sleeps: the re-mix must start from the frame at the write cursor of
    // that turn, not of the turn before (which would play 700 frames twice).
    rig.current().card->advance(700);
    std::vector<Frame>& out = rig.current().front;
    const size_t changeAt = out.size();
    rig.deck(0).setVolume(128);
    EXPECT_TRUE(rig.output().isDeckAudible(0));
    rig.play(44100, 2000);
    // Up to the write cursor the card plays what was mixed before; from there on
    // everything is at the new gain, although almost half a second had been mixed ahead.
    const int32_t halfGain = 128 * 256;
    for (size_t i = changeAt - 100; i < out.size(); ++i) {
        const int64_t n = TestDecoder::indexOf(out[changeAt - 101]) + int64_t(i - (changeAt - 101));
        const Frame expected = i < changeAt + kLatency
                                   ? static_cast<Frame>(n)
                                   : softMixOne(static_cast<Frame>(n), halfGain);
        ASSERT_EQ(out[i], expected) << "frame " << int64_t(i - changeAt) << " after the change";
    }
    // A deck gain below 100 is not audible; a zero gain mixes silence.
    rig.output().setCrossfader(384);
    EXPECT_FALSE(rig.output().isDeckAudible(0));
    EXPECT_FALSE(rig.output().isDeckAudible(-1));
    rig.play(44100, 2000);
    for (size_t i = out.size() - 40000; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0u) << i;
    // The soft mix has no snippet of its own.
    EXPECT_EQ(rig.output().playSnippet(0, 0, kSnippetFrames), 1);
}
