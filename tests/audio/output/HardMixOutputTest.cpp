// The hard-mix output on a virtual card stepped by hand: the frame each deck is told it
// is heard, the silence after a stop, the snippet of a shifted paused deck, volumes and
// audibility.

#include "tests/audio/output/OutputRig.h"

#include "audio/output/HardMixOutput.h"
#include "audio/output/OutputGains.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

namespace {

TestDecoder::Setup indexTrack(int32_t seconds = 30) {
    TestDecoder::Setup s;
    s.signal = TestDecoder::Signal::Index;
    s.seconds = seconds;
    return s;
}

TestDecoder::Setup sineTrack(int32_t seconds = 30) {
    TestDecoder::Setup s;
    s.amplitude = 12000;
    s.seconds = seconds;
    return s;
}

constexpr int32_t kLatency = VirtualCard::kLatencyFrames;

} // namespace

TEST(HardMixOutput, EachDeckIsToldTheFrameAtTheCardsWriteCursor) {
    // One deck at a time is put at unity gain by the crossfader, the other one plays
    // unheard; the card's output then holds the heard deck's ring frames unchanged.
    const struct {
        int heard;
        int32_t crossfader;
    } cases[] = {{0, 0}, {1, 384}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heard);
        OutputRig::Options options;
        options.crossfader = c.crossfader;
        OutputRig rig(options);
        ASSERT_TRUE(rig.loadAndPlay(0, indexTrack()));
        ASSERT_TRUE(rig.loadAndPlay(1, indexTrack()));
        Deck& deck = rig.deck(c.heard);
        rig.play(44100);
        std::vector<Frame>& out = rig.current().front;
        int checked = 0;
        for (int step = 0; step < 300; ++step) {
            rig.turn();
            // Nothing moved since the poll: the reported frame is written at the write
            // cursor, which the card plays after exactly its latency.
            const Frame expected = deck.outputRing[deck.playPos];
            const size_t at = out.size() + kLatency;
            rig.current().card->advance(kLatency + 1 + step % 700);
            ASSERT_GT(out.size(), at);
            EXPECT_EQ(out[at], expected) << "step " << step;
            checked += out[at] == expected;
        }
        EXPECT_EQ(checked, 300);
        // The heard frames are the track's frames in order.
        for (size_t i = out.size() - 20000; i < out.size(); ++i)
            ASSERT_EQ(TestDecoder::indexOf(out[i]), TestDecoder::indexOf(out[i - 1]) + 1) << i;
    }
}

TEST(HardMixOutput, AStoppedDeckIsFollowedBySilenceAndNeverReplayed) {
    OutputRig::Options options;
    options.crossfader = 0;
    OutputRig rig(options);
    ASSERT_TRUE(rig.loadAndPlay(0, sineTrack()));
    rig.play(3 * 44100);
    std::vector<Frame>& out = rig.current().front;
    int nonZero = 0;
    for (size_t i = out.size() - 44100; i < out.size(); ++i)
        nonZero += out[i] != 0;
    EXPECT_GT(nonZero, 40000);

    rig.turn();
    const size_t stopAt = out.size();
    rig.deck(0).pause();
    // Three buffer lengths: the 2 s buffer is never heard again after the frames that
    // were already between the cursors.
    rig.play(3 * kLaneFrames, 1000);
    size_t firstNonZeroAfter = 0;
    for (size_t i = stopAt + kLatency; i < out.size(); ++i) {
        if (out[i] != 0) {
            firstNonZeroAfter = i;
            break;
        }
    }
    EXPECT_EQ(firstNonZeroAfter, 0u)
        << "stale frames replayed " << firstNonZeroAfter - stopAt << " frames after the stop";
    // Up to the write cursor the card still played the deck.
    EXPECT_NE(out[stopAt + kLatency - 1], 0u);
}

TEST(HardMixOutput, AShiftedPausedDeckIsHeardFor1152FramesThenSilence) {
    OutputRig::Options options;
    options.crossfader = 0;
    OutputRig rig(options);
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
    std::vector<Frame> snippet(deck.outputRing.begin() + from,
                               deck.outputRing.begin() + from + kSnippetFrames);
    rig.play(2 * kLaneFrames, 1000);
    size_t heard = 0;
    size_t first = 0;
    for (size_t i = shiftAt; i < out.size(); ++i) {
        if (out[i] != 0) {
            if (heard == 0)
                first = i;
            ++heard;
        }
    }
    EXPECT_EQ(heard, static_cast<size_t>(kSnippetFrames));
    EXPECT_EQ(first, shiftAt + kLatency);
    ASSERT_GE(out.size(), first + kSnippetFrames);
    EXPECT_TRUE(std::equal(snippet.begin(), snippet.end(), out.begin() + first));
    // A playing deck plays no snippet.
    EXPECT_EQ(rig.output().playSnippet(0, from, kSnippetFrames), 1);
    deck.play();
    EXPECT_EQ(rig.output().playSnippet(0, from, kSnippetFrames), 0);
}

TEST(HardMixOutput, VolumesFollowLevelAndCrossfaderAndDecideAudibility) {
    OutputRig rig;
    ASSERT_TRUE(rig.loadAndPlay(0, sineTrack()));
    SoundOutput& out = rig.output();
    EXPECT_TRUE(out.isDeckAudible(0));
    EXPECT_FALSE(out.isDeckAudible(1)); // not playing
    EXPECT_TRUE(out.isDeckAudible(-1));
    EXPECT_FALSE(out.isDeckAudible(2));
    EXPECT_FALSE(out.canRecord);

    // Heard at the volume of level x crossfader gain: 200 x 192 at the centre.
    rig.deck(0).setVolume(200);
    rig.play(3 * 44100);
    std::vector<Frame>& played = rig.current().front;
    const TestDecoder::Setup sine = sineTrack();
    int32_t peak = 0;
    for (size_t i = played.size() - 44100; i < played.size(); ++i)
        peak = std::max<int32_t>(peak, frameLeft(played[i]));
    EXPECT_EQ(peak, frameLeft(hardMixOne(makeFrame(sine.amplitude, sine.amplitude), 200 * 192)));

    // Below a deck gain of 100 a playing deck is not audible; at 10 it is silent.
    rig.deck(0).setVolume(1);
    EXPECT_TRUE(out.isDeckAudible(0)); // 192 x 1
    out.setCrossfader(383);            // deck 0 gain 1 x 1
    EXPECT_FALSE(out.isDeckAudible(0));
    rig.play(44100);
    for (size_t i = played.size() - 40000; i < played.size(); ++i)
        ASSERT_EQ(played[i], 0u) << i;
}
