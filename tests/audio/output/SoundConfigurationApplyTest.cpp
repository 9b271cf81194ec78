// Applying sound configurations on virtual cards: decks playing on across a replacement,
// where each row routes each deck, card failures, and the settings a choice stores.

#include "tests/audio/output/OutputRig.h"

#include "audio/output/OutputGains.h"
#include "audio/output/SoundConfiguration.h"

#include <set>

namespace {

const SoundCardId kCard1 = SoundCardId::fromName("test", "card one", 0);
const SoundCardId kCard2 = SoundCardId::fromName("test", "card two", 0);

// Where sound was heard in the last second: "1L", "1R" (card 1), "3L", "3R" (outputs
// 3-4 of card 1), "2L", "2R" (card 2).
std::set<std::string> heardOutputs(OutputRig& rig) {
    std::set<std::string> heard;
    const auto scan = [&](const std::vector<Frame>& frames, const std::string& name) {
        for (size_t i = frames.size() > 44100 ? frames.size() - 44100 : 0; i < frames.size(); ++i) {
            if (frameLeft(frames[i]) > 1000)
                heard.insert(name + "L");
            if (frameRight(frames[i]) > 1000)
                heard.insert(name + "R");
        }
    };
    for (int i = 0; i < rig.currentCount(); ++i) {
        scan(rig.current(i).front, i == 0 ? "1" : "2");
        scan(rig.current(i).rear, "3");
    }
    return heard;
}

} // namespace

TEST(SoundConfigurationApply, DecksPlayOnAcrossTheReplacementWithTheirLevelAndCrossfader) {
    const struct {
        const char* name;
        int from, to;
        bool soft; // the new output mixes in software
    } cases[] = {{"hard to soft", 0, 1, true},
                 {"soft to hard", 1, 0, false},
                 {"hard to two cards with headphones", 0, 4, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OutputRig rig({.outputMode = c.from});
        ASSERT_TRUE(rig.loadAndPlay(0, indexTrack()));
        // Deck 0 at level 200, crossfader gain 256 on the Smooth curve.
        const MixerState state{.deckLevels = {200, 256}, .crossfader = 100};
        rig.deck(0).setVolume(200);
        rig.output().setCrossfader(state.crossfader);
        rig.play(2 * 44100, 1000);
        rig.turn();
        Deck& deck = rig.deck(0);
        const int64_t heard = TestDecoder::indexOf(deck.outputRing[deck.playPos]);
        const float position = deck.position;

        ASSERT_TRUE(rig.apply(c.to, {kCard1, kCard2}, state));
        ASSERT_TRUE(rig.output().isReady());
        EXPECT_EQ(rig.output().canRecord, c.soft);
        EXPECT_TRUE(deck.playing == 1 && rig.output().isDeckAudible(0));
        rig.play(3 * 44100, 1000);
        EXPECT_GT(deck.position, position + 2.5f / 60);

        // The new card starts at its write cursor with the frame the deck heard, at the
        // same deck gain (level 200 x crossfader gain 256).
        const int32_t gain = 200 * 256;
        const std::vector<Frame>& out = rig.current(0).front;
        for (int32_t i = 0; i < kLatency; ++i)
            ASSERT_EQ(out[i], 0u) << i;
        for (int64_t k = 0; k < 2 * 44100; ++k) {
            const Frame f = static_cast<Frame>(heard + k);
            ASSERT_EQ(out[kLatency + k], c.soft ? softMixOne(f, gain) : hardMixOne(f, gain))
                << "frame " << k;
        }
        if (c.to == 4) {
            // The headphones get the selected deck alone, at full level.
            const std::vector<Frame>& cue = rig.current(1).front;
            for (int64_t k = 0; k < 44100; ++k)
                ASSERT_EQ(cue[kLatency + k], static_cast<Frame>(heard + k)) << "frame " << k;
        }
    }
}

TEST(SoundConfigurationApply, EachRowRoutesTheDecksWhereItSays) {
    // Crossfader all on deck 0 and deck 1 selected for the headphones: deck 1 is heard
    // only where the crossfader does not act (pre-listening, external mixer).
    const struct {
        int row;
        bool sameCards;  // both card settings name the same card
        bool stereoOnly; // the "four-output" card has two outputs
        std::set<std::string> deck0;
        std::set<std::string> deck1;
    } cases[] = {
        {0, false, false, {"1L", "1R"}, {}},
        {1, false, false, {"1L", "1R"}, {}},
        {2, false, false, {"1L", "1R"}, {"2L", "2R"}},
        {3, false, false, {"1L", "1R"}, {"3L", "3R"}},
        {4, false, false, {"1L", "1R"}, {"2L", "2R"}},
        {5, false, false, {"1L", "1R"}, {"3L", "3R"}},
        {6, false, false, {"1L"}, {"1R"}},
        {7, false, false, {"1L"}, {"1R"}},
        {8, false, false, {"1L", "1R"}, {"2L", "2R"}},
        {9, false, false, {"1L", "1R"}, {"3L", "3R"}},
        {10, false, false, {"1L"}, {"1R"}},
        // Without a second card or a second pair: the one-card layout.
        {4, true, false, {"1L"}, {"1R"}},
        {2, true, false, {"1L"}, {"1R"}},
        {5, false, true, {"1L"}, {"1R"}},
        {9, false, true, {"1L"}, {"1R"}},
    };
    for (const auto& c : cases) {
        for (int playing = 0; playing < 2; ++playing) {
            SCOPED_TRACE(testing::Message() << "row " << c.row << (c.sameCards ? " same cards" : "")
                                            << (c.stereoOnly ? " stereo only" : "") << ", deck "
                                            << playing << " playing");
            OutputRig rig;
            rig.stereoOnly = c.stereoOnly;
            ASSERT_TRUE(rig.apply(c.row, {kCard1, c.sameCards ? kCard1 : kCard2},
                                  {.crossfader = 0, .selectedDeck = 1}));
            ASSERT_TRUE(rig.output().isReady());
            ASSERT_TRUE(rig.loadAndPlay(playing, sineTrack()));
            rig.play(44100, 2000);
            EXPECT_EQ(heardOutputs(rig), playing == 0 ? c.deck0 : c.deck1);
        }
    }
}

// ... and selecting the other deck moves the pre-listening at once.
TEST(SoundConfigurationApply, SelectingTheOtherDeckMovesThePreListening) {
    OutputRig rig;
    ASSERT_TRUE(rig.apply(4, {kCard1, kCard2}, {.crossfader = 0, .selectedDeck = 1}));
    ASSERT_TRUE(rig.loadAndPlay(0, sineTrack()));
    rig.output().setSelectedDeck(0);
    rig.play(44100, 2000);
    EXPECT_EQ(heardOutputs(rig), (std::set<std::string>{"1L", "1R", "2L", "2R"}));
}

TEST(SoundConfigurationApply, CardFailuresGiveTheirMessageOrFallBackOnce) {
    const struct {
        const char* name;
        bool named;
        std::vector<SoundResult> results;
        const char* message; // null: opened
        size_t opens;        // 2: the second asked for the default device
    } cases[] = {
        {"busy", false, {SoundResult::DeviceBusy}, kSoundMessageBusy, 1},
        {"out of memory", false, {SoundResult::OutOfMemory}, kSoundMessageNoMemory, 1},
        {"no default device", false, {SoundResult::NotFound}, kSoundMessageDriver, 1},
        {"named card gone", true, {SoundResult::NotFound}, nullptr, 2},
        {"named card and default fail",
         true,
         {SoundResult::Failed, SoundResult::Failed},
         kSoundMessageDriver,
         2},
        {"named card busy", true, {SoundResult::DeviceBusy}, kSoundMessageBusy, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OutputRig rig;
        ASSERT_TRUE(rig.load(0, sineTrack()));
        rig.openResults.assign(c.results.begin(), c.results.end());
        rig.openRequests.clear();
        ASSERT_TRUE(rig.apply(0, c.named ? SoundCardSelection{kCard1, {}} : SoundCardSelection{}));
        ASSERT_EQ(rig.openRequests.size(), c.opens);
        EXPECT_EQ(rig.openRequests[0].has_value(), c.named);
        EXPECT_FALSE(rig.openRequests.back().has_value() && c.opens == 2);
        if (c.message) {
            EXPECT_STREQ(fatalMessage(), c.message);
            EXPECT_FALSE(rig.output().isReady() || rig.engine().start());
            // Without sound the program goes on: commands are carried out, the dead
            // output ignores every call.
            rig.deck(0).play();
            rig.turn();
            rig.deck(0).shift(1000);
            rig.deck(0).pause();
            EXPECT_FALSE(rig.output().isDeckAudible(0));
        } else {
            EXPECT_TRUE(fatalMessage() == nullptr && rig.output().isReady());
        }
    }
}

TEST(SoundConfigurationApply, SettingsAndExclusiveUseFollowTheChoice) {
    OutputRig rig;
    EXPECT_FALSE(rig.apply(11) || rig.apply(-1));
    EXPECT_EQ(settings().outputMode, 0);
    // A damaged Output mode is served as the plain hard mix; the four-output layout has
    // no row for loudspeakers only.
    EXPECT_FALSE(soundConfiguration(11).softMix);
    EXPECT_EQ(soundConfiguration(-1).listening, ListeningLayout::Speakers);
    EXPECT_EQ(findSoundConfiguration(1, 0, 0), -1);
    EXPECT_EQ(findSoundConfiguration(2, 2, 1), 2); // the external mixer mixes by itself

    ASSERT_TRUE(rig.apply(8, {kCard1, kCard2}));
    EXPECT_EQ(settings().outputMode, 8);
    ASSERT_TRUE(settings().soundCardGuid && settings().soundCard1Guid && settings().soundCard2Guid);
    EXPECT_EQ(*settings().soundCardGuid, *settings().soundCard1Guid);
    EXPECT_EQ(*settings().soundCardGuid,
              QByteArray(reinterpret_cast<const char*>(kCard1.bytes.data()), 16));
    EXPECT_EQ(rig.current(0).requested, kCard1);
    EXPECT_EQ(rig.current(1).requested, kCard2);
    EXPECT_TRUE(rig.current(0).exclusive);

    // The default device stores no identifier; MultiInstance shares the card.
    settings().multiInstance = 1;
    ASSERT_TRUE(rig.apply(1));
    EXPECT_FALSE(settings().soundCardGuid || settings().soundCard2Guid);
    EXPECT_FALSE(rig.current(0).requested || rig.current(0).exclusive);
    settings().multiInstance = 0;
}
