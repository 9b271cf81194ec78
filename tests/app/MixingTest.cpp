// The main window's sequencing of a mix, on test decks in virtual time: the crossfade,
// Mix Now, AutoMix going on at track ends, the pitch reset glide and the history delay.

#include "tests/audio/deck/DeckRig.h"

#include "app/MainWindow.h"
#include "app/TimerIds.h"
#include "audio/deck/DeckMessages.h"
#include "core/Clock.h"

#include <QCoreApplication>

namespace {

class MixingTest : public ::testing::Test {
protected:
    void SetUp() override {
        const TestDecoder::Setup track = sineTrack();
        ASSERT_TRUE(rig_.loadTest(0, track));
        ASSERT_TRUE(rig_.loadTest(1, track));
        main_.takeNextIntoDeck = [this, track](int deck) {
            taken_.push_back(deck);
            return playlistHasTracks_ && rig_.loadTest(deck, track);
        };
    }

    // Ticks of 200 ms until the mix ends (bounded), noting the crossfader after each.
    std::vector<int32_t> runMix() {
        std::vector<int32_t> positions;
        for (int tick = 0; tick < 500 && main_.mixTimer; ++tick) {
            clock_.advance(kMixTimerMs);
            positions.push_back(main_.crossfader);
        }
        return positions;
    }

    DeckRig rig_;
    VirtualClock clock_;
    MainWindow main_{clock_};
    std::vector<int> taken_;
    bool playlistHasTracks_ = false;
};

TEST_F(MixingTest, CrossfaderRunsToTheIncomingSideHoldingAtTheCentre) {
    for (const int target : {1, 0}) {
        SCOPED_TRACE(target);
        settings().longMix = target ? 40 : 0;
        rig_.deck(1 - target).play();
        main_.startMix(target);
        EXPECT_EQ(main_.crossfader, target ? 0 : 384);
        EXPECT_TRUE(rig_.deck(target).playing.load());
        EXPECT_EQ(rig_.deck(1 - target).mixTriggered.load(), 1)
            << "the outgoing deck must not trigger";
        std::vector<int32_t> expected;
        for (int step = 1; step <= 32; ++step) {
            expected.push_back(target ? step * 12 : 384 - step * 12);
            if (step == 16)
                expected.insert(expected.end(), settings().longMix, 192);
        }
        EXPECT_EQ(runMix(), expected); // 32 + LongMix ticks of 200 ms
        EXPECT_FALSE(clock_.isRunning(kTimerMix));
        EXPECT_EQ(main_.selectedDeck(), 1 - target)
            << "the outgoing deck is selected at the centre";
    }
}

// With nothing playing Mix Now starts the other deck; else the crossfader (at the
// centre, the selected deck) chooses the incoming deck.
TEST_F(MixingTest, MixNowChoosesTheDeckByTheCrossfader) {
    main_.selectDeck(0);
    main_.mixNow();
    EXPECT_TRUE(rig_.deck(1).playing.load());
    EXPECT_FALSE(rig_.deck(0).playing.load());
    EXPECT_FALSE(main_.mixTimer);
    const struct {
        int32_t crossfader;
        int selected, target;
    } cases[] = {{100, 0, 1}, {300, 1, 0}, {192, 0, 0}, {192, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.crossfader);
        rig_.deck(0).play();
        rig_.deck(1).play();
        main_.crossfader = c.crossfader;
        main_.selectDeck(c.selected);
        main_.mixNow();
        ASSERT_TRUE(main_.mixTimer);
        EXPECT_EQ(main_.mixTarget, c.target);
        main_.mixNow(); // a second press stops the running mix
        EXPECT_FALSE(main_.mixTimer);
    }
}

// The deck's message starts a mix; at its end AutoMix loads the next track into the
// outgoing deck (or ejects it), and without AutoMix a track end loads nothing.
TEST_F(MixingTest, AutoMixEndLoadsTheNextTrackOrEjectsTheOutgoingDeck) {
    rig_.deck(0).play();
    main_.onDeckMessage(kMsgAutoMixStart, 1);
    EXPECT_TRUE(main_.mixTimer);
    EXPECT_EQ(main_.mixTarget, 1);
    main_.onDeckMessage(kMsgTrackEnded, 0);
    EXPECT_TRUE(taken_.empty());
    main_.stopMix();
    rig_.deck(1).pause();
    autoMixOn() = true;
    for (const bool entries : {true, false}) { // the load gives deck 0 a track to play again
        SCOPED_TRACE(entries);
        taken_.clear();
        playlistHasTracks_ = entries;
        rig_.deck(0).play();
        main_.startMix(1);
        runMix();
        EXPECT_EQ(taken_, std::vector<int>{0});
        EXPECT_EQ(rig_.deck(0).position.load() >= 0.0f, entries);
        EXPECT_FALSE(rig_.deck(0).playing.load());
        EXPECT_TRUE(rig_.deck(1).playing.load());
        rig_.deck(1).pause();
    }
}

// Whatever ends when, an unattended set goes on with the next entry: a load stops a
// running mix and only a playing deck starts the next one, so each end is followed.
TEST_F(MixingTest, AutoMixGoesOnWhenATrackEnds) {
    enum Other { Plays, Waits, Empty };
    const struct {
        const char* name;
        int mixTicks; // -1: no mix runs; else a mix into deck 1 ran this many ticks
        int ended;
        Other other;
        bool entries;
        int taken;           // the deck an entry was taken into, -1 for none
        const char* playing; // afterwards, per deck
        bool mixRuns;
        int32_t crossfader;
    } cases[] = {
        {"outgoing ends in the mix: it runs on", 10, 0, Plays, true, -1, "01", true, 120},
        {"incoming ends in the mix: the next comes in", 10, 1, Plays, true, 1, "11", true, 120},
        {"incoming ends, playlist empty", 10, 1, Plays, false, 1, "10", false, 0},
        {"nothing plays: the waiting deck first", -1, 0, Waits, true, 0, "01", false, 192},
        {"nothing plays: the next entry", -1, 0, Empty, true, 0, "10", false, 192},
        {"the other deck plays and will mix it in", -1, 0, Plays, true, 0, "01", false, 192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TestDecoder::Setup track = sineTrack();
        ASSERT_TRUE(rig_.loadTest(0, track));
        ASSERT_TRUE(rig_.loadTest(1, track));
        main_.stopMix();
        main_.setCrossfader(192);
        autoMixOn() = true;
        taken_.clear();
        playlistHasTracks_ = c.entries;
        const int other = 1 - c.ended;
        if (c.mixTicks >= 0) {
            rig_.deck(0).play();
            main_.startMix(1);
            for (int tick = 0; tick < c.mixTicks; ++tick)
                clock_.advance(kMixTimerMs);
        } else if (c.other == Plays) {
            rig_.deck(other).play();
        } else if (c.other == Empty) {
            rig_.deck(other).eject();
        }
        rig_.deck(c.ended).eject(); // as at the end of its file
        main_.onDeckMessage(kMsgTrackEnded, c.ended);
        EXPECT_EQ(taken_, c.taken < 0 ? std::vector<int>{} : std::vector<int>{c.taken});
        for (int d = 0; d < 2; ++d)
            EXPECT_EQ(rig_.deck(d).playing.load() != 0, c.playing[d] == '1') << "deck " << d;
        EXPECT_EQ(main_.mixTimer, c.mixRuns);
        EXPECT_EQ(main_.crossfader, c.crossfader);
        if (c.mixRuns) {
            EXPECT_EQ(main_.mixStep, c.mixTicks) << "the crossfade goes on from where it was";
            runMix();
            EXPECT_EQ(main_.crossfader, 384);
        }
    }
}

TEST_F(MixingTest, PitchResetGlidesBackToNormalSpeedAndStops) {
    rig_.deck(0).setSpeed(4200);
    main_.startPitchReset(0);
    for (int tick = 0; tick < 20 && main_.pitchResetTimer[0]; ++tick)
        clock_.advance(kPitchResetTimerMs);
    EXPECT_EQ(rig_.deck(0).speed.load(), 4096); // 4184 ... 4104, then 4096 within 16
    EXPECT_FALSE(clock_.isRunning(kTimerPitchReset0));

    rig_.deck(1).setSpeed(3900);
    main_.startPitchReset(1);
    clock_.advance(kPitchResetTimerMs);
    EXPECT_EQ(rig_.deck(1).speed.load(), 3916);
    main_.syncPitch(1); // a pitch sync stops the glide
    EXPECT_FALSE(clock_.isRunning(kTimerPitchReset1));
}

TEST_F(MixingTest, ATrackEntersTheHistoryFortySecondsAfterItsLastLoad) {
    std::vector<int> added;
    main_.addToHistory = [&](int deck) { added.push_back(deck); };
    TrackRecord first = rig_.record("first");
    TrackRecord second = rig_.record("second");
    rig_.deck(1).testDecoder.configure({});
    main_.loadIntoDeck(1, first);
    clock_.advance(30000);
    main_.loadIntoDeck(1, second); // within 40 s: the first never enters the history
    clock_.advance(39999);
    EXPECT_TRUE(added.empty());
    clock_.advance(1);
    EXPECT_EQ(added, std::vector<int>{1});
    clock_.advance(100000);
    EXPECT_EQ(added.size(), 1u) << "the history timer fires once per load";
    EXPECT_EQ(main_.selectedDeck(), 1) << "loading selects the deck";
}

} // namespace
