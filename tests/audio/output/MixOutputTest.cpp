// The hard-mix and soft-mix outputs on a virtual card stepped by hand, frame by frame.

#include "tests/audio/output/OutputRig.h"

#include "audio/output/HardMixOutput.h"
#include "audio/output/OutputGains.h"
#include "audio/output/SoftMixOutput.h"

namespace {

// The crossfader all on deck 0: the card plays its ring frames unchanged.
const OutputRig::Options kDeck0Heard{.crossfader = 0},
    kDeck0HeardSoft{.outputMode = 1, .crossfader = 0};

// Sound in out[from, to) (non-zero frames).
size_t countSound(const std::vector<Frame>& out, size_t from, size_t to) {
    return static_cast<size_t>(std::count_if(out.begin() + static_cast<long>(from),
                                             out.begin() + static_cast<long>(to),
                                             [](Frame f) { return f != 0; }));
}

} // namespace

TEST(Output, EachDeckIsToldTheFrameAtTheCardsWriteCursor) {
    // One deck at a time is put at unity gain by the crossfader, the other one plays
    // unheard; the card's output then holds the heard deck's ring frames unchanged.
    const struct { int outputMode, heard; } cases[] = {{0, 0}, {0, 1}, {1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.outputMode << " deck " << c.heard);
        OutputRig rig({.outputMode = c.outputMode, .crossfader = c.heard == 0 ? 0 : 384});
        ASSERT_TRUE(rig.loadAndPlay(0, indexTrack()));
        ASSERT_TRUE(rig.loadAndPlay(1, indexTrack()));
        Deck& deck = rig.deck(c.heard);
        rig.play(44100);
        std::vector<Frame>& out = rig.current().front;
        for (int step = 0; step < 300; ++step) {
            rig.turn();
            // Nothing moved since the poll: the reported frame is written at the write
            // cursor, which the card plays after exactly its latency.
            const Frame expected = deck.outputRing[deck.playPos];
            const size_t at = out.size() + kLatency;
            rig.current().card->advance(kLatency + 1 + step % 700);
            ASSERT_EQ(out[at], expected) << "step " << step;
        }
        // The heard frames are the track's frames in order.
        for (size_t i = out.size() - 20000; i < out.size(); ++i)
            ASSERT_EQ(TestDecoder::indexOf(out[i]), TestDecoder::indexOf(out[i - 1]) + 1) << i;
    }
}

TEST(HardMixOutput, AStoppedDeckIsFollowedBySilenceAndNeverReplayed) {
    OutputRig rig(kDeck0Heard);
    ASSERT_TRUE(rig.loadAndPlay(0, sineTrack()));
    rig.play(3 * 44100);
    std::vector<Frame>& out = rig.current().front;
    EXPECT_GT(countSound(out, out.size() - 44100, out.size()), 40000u);

    rig.turn();
    const size_t stopAt = out.size();
    rig.deck(0).pause();
    // Three buffer lengths: the 2 s buffer is never heard again after the frames that
    // were already between the cursors, up to the write cursor.
    rig.play(3 * kLaneFrames, 1000);
    EXPECT_NE(out[stopAt + kLatency - 1], 0u);
    EXPECT_EQ(countSound(out, stopAt + kLatency, out.size()), 0u) << "stale frames replayed";
}

TEST(HardMixOutput, AShiftedPausedDeckIsHeardFor1152FramesThenSilence) {
    OutputRig rig(kDeck0Heard);
    ASSERT_TRUE(rig.loadAndPlay(0, indexTrack()));
    rig.play(2 * 44100);
    rig.deck(0).pause();
    rig.play(2 * kLaneFrames, 1000);
    rig.turn();
    std::vector<Frame>& out = rig.current().front;
    const size_t shiftAt = out.size();
    Deck& deck = rig.deck(0);
    deck.shift(3000);
    // The snippet starts at the frame the shift reached and sits at the write cursor.
    const int32_t from = deck.playPos;
    rig.play(2 * kLaneFrames, 1000);
    const size_t first = shiftAt + kLatency;
    EXPECT_EQ(countSound(out, shiftAt, out.size()), static_cast<size_t>(kSnippetFrames));
    ASSERT_GE(out.size(), first + kSnippetFrames);
    EXPECT_TRUE(std::equal(deck.outputRing.begin() + from,
                           deck.outputRing.begin() + from + kSnippetFrames, out.begin() + first));
    // A playing deck plays no snippet.
    EXPECT_EQ(rig.output().playSnippet(0, from, kSnippetFrames), 1);
    deck.play();
    EXPECT_EQ(rig.output().playSnippet(0, from, kSnippetFrames), 0);
}

TEST(HardMixOutput, VolumesFollowLevelAndCrossfaderAndDecideAudibility) {
    OutputRig rig;
    ASSERT_TRUE(rig.loadAndPlay(0, sineTrack()));
    SoundOutput& out = rig.output();
    EXPECT_TRUE(out.isDeckAudible(0) && out.isDeckAudible(-1));
    EXPECT_FALSE(out.isDeckAudible(1) || out.isDeckAudible(2)); // 1: not playing
    EXPECT_FALSE(out.canRecord);

    // Below a deck gain of 100 a playing deck is not audible; at 10 it is silent (the
    // volume of other gains is checked frame by frame with the configurations).
    std::vector<Frame>& played = rig.current().front;
    rig.deck(0).setVolume(1);
    EXPECT_TRUE(out.isDeckAudible(0)); // 192 x 1
    out.setCrossfader(383);            // deck 0 gain 1 x 1
    EXPECT_FALSE(out.isDeckAudible(0));
    rig.play(44100);
    EXPECT_EQ(countSound(played, played.size() - 40000, played.size()), 0u);
}

TEST(CrossfaderCurve, AnUnknownModeSilencesBothDecksOnceAndIsSetBackToSmooth) {
    for (int32_t bad : {3, -1, 1000}) {
        settings().crossfader = bad;
        const CrossfaderGains g = crossfaderCurve(kCrossfaderCentre);
        EXPECT_EQ(g.deck0 + g.deck1, 0);
        EXPECT_EQ(settings().crossfader, 0);
        EXPECT_EQ(crossfaderCurve(kCrossfaderCentre).deck0, 192);
    }
}

TEST(SoftMixOutput, ADeckStartedBetweenTurnsGoesOnWhereItWasPaused) {
    // Without an audio thread the play command is carried out between two turns, so a
    // poll comes before the submit that anchors the deck: that poll must not move it.
    OutputRig rig(kDeck0HeardSoft);
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
    OutputRig rig(kDeck0HeardSoft);
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
    EXPECT_FALSE(rig.output().isDeckAudible(0) || rig.output().isDeckAudible(-1));
    rig.play(44100, 2000);
    for (size_t i = out.size() - 40000; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0u) << i;
    // The soft mix has no snippet of its own.
    EXPECT_EQ(rig.output().playSnippet(0, 0, kSnippetFrames), 1);
}
