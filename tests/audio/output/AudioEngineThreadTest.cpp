// The audio engine with its own audio thread, in lockstep with the test, while a card is
// pulled away (for ThreadSanitizer).

#include "tests/audio/output/OutputRig.h"

using namespace std::chrono_literals;

namespace {

// Turns the thread has made while the test waits for at most a few seconds.
bool threadTurns(AudioEngine& engine) {
    const uint64_t before = engine.turns();
    for (int i = 0; i < 2000 && engine.turns() < before + 3; ++i)
        std::this_thread::sleep_for(1ms);
    return engine.turns() >= before + 3;
}

} // namespace

TEST(AudioEngineThread, ALostCardKeepsTheLoopTurningUntilTheEngineIsReplaced) {
    for (int mode : {0, 1, 4}) {
        SCOPED_TRACE(mode);
        {
            OutputRig rig({.ownThread = true, .outputMode = mode, .crossfader = 0});
            ASSERT_TRUE(rig.engine().isRunning());
            EXPECT_TRUE(audioLoopRunning().load());
            EXPECT_EQ(soundOutputNow(), rig.engine().output());
            ASSERT_TRUE(rig.load(0, indexTrack()));
            rig.play(44100, 512);
            Deck& deck = rig.deck(0);
            deck.play();
            rig.play(44100, 512);
            // The card played the deck's frames in order (at unity gain on one card).
            const std::vector<Frame>& first = rig.current().front;
            for (size_t i = first.size() - 20000; mode != 4 && i < first.size(); ++i)
                ASSERT_EQ(TestDecoder::indexOf(first[i]), TestDecoder::indexOf(first[i - 1]) + 1);
            EXPECT_FALSE(rig.engine().deviceLost());

            rig.unplug(0);
            ASSERT_TRUE(threadTurns(rig.engine()));
            EXPECT_TRUE(rig.engine().deviceLost());
            // Every command still returns; the deck stays where the card left it.
            deck.pause();
            deck.playFrom(0.25f);
            deck.shift(5000);
            deck.setSpeed(3900);
            EXPECT_EQ(deck.playing, 1);
            EXPECT_TRUE(threadTurns(rig.engine()));
            const float stuck = deck.position;

            // The display timer replaces the engine: the deck goes on from there.
            const MixerState state{.crossfader = 0};
            for (auto& c : rig.cards())
                c.current = false;
            ASSERT_TRUE(recoverLostSoundDevice(rig.enginePtr(), state));
            EXPECT_FALSE(recoverLostSoundDevice(rig.enginePtr(), state));
            ASSERT_TRUE(rig.engine().isRunning());
            EXPECT_FALSE(rig.engine().deviceLost());
            EXPECT_EQ(soundOutputNow(), rig.engine().output());
            EXPECT_EQ(deck.playing, 1);
            rig.play(2 * 44100, 512);
            EXPECT_GT(deck.position, stuck + 1.0f / 60);
            const std::vector<Frame>& out = rig.current().front;
            ASSERT_GE(out.size(), size_t{2 * 44100});
            EXPECT_NE(out.back(), 0u);
            deck.pause();
            EXPECT_FALSE(rig.output().isDeckAudible(0));
        }
        EXPECT_FALSE(audioLoopRunning().load());
        EXPECT_EQ(soundOutputNow(), nullptr);
    }
}
