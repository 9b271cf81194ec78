// Beat matching between the two decks: tempo, level and the envelope peaks.

#include "tests/audio/deck/DeckRig.h"

#include "audio/deck/DspPlugin.h"

TEST(DeckSync, TempoFollowsTheOtherDeck) {
    const struct {
        const char* name;
        float otherBpm;
        int32_t otherSpeed;
        float ownBpm;
        bool narrowRange, synced;
        int32_t speed;
    } cases[] = {
        {"double tempo matched at normal speed", 128.0f, 4096, 64.0f, false, true, 4096},
        {"half tempo matched at normal speed", 64.0f, 4096, 128.0f, false, true, 4096},
        {"needs more than the wide range", 140.0f, 4096, 100.0f, false, false, 4000},
        {"slower other deck", 120.0f, 4096, 125.0f, true, true, 3932},
        {"the other deck's speed counts", 128.0f, 4424, 128.0f, true, true, 4424},
        {"doubled into the wide range", 90.0f, 4096, 200.0f, false, true, 3686},
        {"doubled but outside the narrow range", 90.0f, 4096, 200.0f, true, false, 4000},
        {"own tempo unknown", 128.0f, 4096, 0.0f, false, false, 4000},
        {"other tempo unusable", 1500.0f, 4096, 120.0f, false, false, 4000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeckRig rig;
        settings().limitPitch = c.narrowRange ? 1 : 0;
        ASSERT_TRUE(rig.loadTest(0, {}, {}, c.otherBpm));
        rig.deck(0).setSpeed(c.otherSpeed);
        ASSERT_TRUE(rig.loadTest(1, {}, {}, c.ownBpm));
        rig.deck(1).setSpeed(4000);
        EXPECT_EQ(rig.deck(1).syncBpm(), c.synced);
        EXPECT_EQ(rig.deck(1).speed, c.speed);
    }
}

TEST(DeckSync, LevelFollowsTheOtherDeck) {
    const struct {
        const char* name;
        int32_t otherLoudness, otherVolume, ownLoudness;
        bool synced;
        int32_t volume;
    } cases[] = {
        {"quieter track gets more level", 1000, 200, 800, true, 250},
        {"clamped at full level", 1000, 256, 500, true, 256},
        {"own loudness unknown", 1000, 256, 0, false, 100},
        {"other deck silent", 1000, 0, 800, false, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeckRig rig;
        ASSERT_TRUE(rig.loadTest(0, {}, {.loudness = c.otherLoudness}));
        rig.deck(0).setVolume(c.otherVolume);
        ASSERT_TRUE(rig.loadTest(1, {}, {.loudness = c.ownLoudness}));
        rig.deck(1).setVolume(100);
        EXPECT_EQ(rig.deck(1).syncLevel(), c.synced);
        EXPECT_EQ(rig.deck(1).volume, c.volume);
        EXPECT_EQ(rig.output.level(1), c.volume);
    }
}

TEST(DeckSync, BeatPeakMovesWithTheHeardFrame) {
    // Clicks every 21600 frames: 600 envelope blocks, a beat at the stored 122.5 BPM.
    DeckRig rig;
    const TestDecoder::Setup clicks{.signal = TestDecoder::Signal::Clicks, .clickEvery = 21600};
    ASSERT_TRUE(rig.loadTest(0, clicks, {}, 122.5f));
    Deck& d = rig.deck(0);
    rig.fill(0);

    const int32_t peak = d.findBeatPeak();
    ASSERT_TRUE(peak >= 0 && peak < 600) << peak;
    // Nothing within the beat is stronger than the peak itself.
    EXPECT_EQ(d.findNearestPeak(peak), 0);
    for (int32_t i = 0; i < 600; ++i)
        ASSERT_LE(d.analyser.envelopeAt(d.heardPos / 36 + i),
                  d.analyser.envelopeAt(d.heardPos / 36 + peak));

    // Moving the heard frame towards the peak brings the peak nearer by as much.
    const int32_t step = peak / 2;
    d.skip(step * 36);
    EXPECT_EQ(d.findBeatPeak(), peak - step);
    EXPECT_EQ(d.findNearestPeak(peak - step), 0);
    // A target a little off the peak is drawn back onto it.
    EXPECT_EQ(d.findNearestPeak(peak - step + 10), -10);
    EXPECT_EQ(d.findNearestPeak(peak - step - 10), 10);
}

namespace {

// Hands every frame back unchanged, but as a plug-in it makes the frame map unknown.
class Unchanged : public DspPlugin {
public:
    int process(Frame*, int count) override { return count; }
};

// The output frame, from the heard one, where index-signal frame `value` is first heard:
// the first output frame holding `value` or a later one. A splice cross-fade blends two
// frame numbers, so with Master Tempo only frames inside a run of 64 consecutive ones
// count: a fade's blend steps by 0 or 2 every few frames unless its two sides are a few
// frames apart.
int32_t heardAt(const Deck& d, Frame value, bool spliced) {
    const int32_t rendered = (d.writePos - d.playPos + kOutputRingFrames) % kOutputRingFrames;
    auto at = [&](int32_t i) { return d.outputRing[(d.playPos + i) % kOutputRingFrames]; };
    std::vector<int32_t> run(rendered, 1); // length of the consecutive run through i
    for (int32_t i = 1; i < rendered; ++i)
        if (at(i) == at(i - 1) + 1)
            run[i] = run[i - 1] + 1;
    for (int32_t i = rendered - 2; i >= 0; --i)
        if (at(i + 1) == at(i) + 1)
            run[i] = run[i + 1];
    for (int32_t i = 0; i < rendered; ++i)
        if (at(i) >= value && (!spliced || run[i] >= 64))
            return i;
    return -1;
}

} // namespace

TEST(DeckSync, OutputTimeOfAnInputFrameIsWhereItIsHeard) {
    const struct {
        const char* name;
        bool masterTempo;
        int32_t speed;
    } cases[] = {
        {"Master Tempo, faster", true, 4424},
        {"Master Tempo, slower", true, 3768},
        {"resampled, faster", false, 4424},
        {"resampled, slower", false, 3768},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeckRig rig;
        settings().masterTempo = c.masterTempo ? 1 : 0;
        ASSERT_TRUE(rig.loadTest(0, indexTrack(20)));
        Deck& d = rig.deck(0);
        d.setSpeed(c.speed);
        d.play();
        rig.turns(20);
        rig.fill(0);

        const int32_t heard = d.heardPos;
        for (int32_t ahead = 1000; ahead < 40000; ahead += 2999) {
            const int32_t frame = (heard + ahead) % kDecodedRingFrames;
            const int32_t until = d.outputFramesUntil(frame);
            ASSERT_GE(until, 0) << "input " << ahead << " frames ahead is rendered";
            const int32_t actual = heardAt(d, d.decodedRing[frame], c.masterTempo);
            ASSERT_GE(actual, 0);
            if (c.masterTempo) {
                // The measured time may fall into a cross-fade, which ends in this input.
                EXPECT_GE(actual, until) << ahead;
                EXPECT_LE(actual, until + kSpliceFrames) << ahead;
            } else {
                EXPECT_EQ(actual, until) << ahead;
            }
        }

        // Input not rendered yet has no output time.
        EXPECT_EQ(d.outputFramesUntil((heard + 100000) % kDecodedRingFrames), -1);
        // After a skip the rendered sound moves by as much.
        const int32_t frame = (heard + 20000) % kDecodedRingFrames;
        const int32_t before = d.outputFramesUntil(frame);
        d.skip(5000);
        EXPECT_EQ(d.outputFramesUntil(frame), before - 5000);
        // A plug-in may move frames: their input is no longer known.
        d.setDspPlugin(std::make_unique<Unchanged>());
        rig.turns(20);
        rig.fill(0);
        EXPECT_EQ(d.outputFramesUntil((d.heardPos + 1000) % kDecodedRingFrames), -1);
    }
}
