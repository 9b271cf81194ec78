// The deck's user-facing operations and its commands, run without an audio thread
// (each command is carried out on the posting thread): stop cycle, load placement and
// failures, speed, transport on empty decks, plug-in swaps, decoder choice, analysis
// references, and the syncs a load triggers.

#include "tests/audio/deck/DeckRig.h"
#include "tests/audio/decoders/EncodedFixtures.h"
#include "tests/tools/MixTestTracks.h"

#include "audio/deck/DspPlugin.h"

namespace {

// A plug-in that passes the sound through and reports its destruction.
class PassThrough : public DspPlugin {
public:
    explicit PassThrough(bool* destroyed) : destroyed_(destroyed) {}
    ~PassThrough() override { *destroyed_ = true; }
    int process(Frame*, int count) override { return count; }

private:
    bool* destroyed_;
};

} // namespace

TEST(DeckOperations, StopCycleWalksMemoryBeginningAndStartPoint) {
    // A press pauses and returns to the memory point, then the beginning, the start
    // point, and round again; without a memory point the beginning comes first. The
    // analyser keeps refining the start point while the track decodes, so the deck
    // must use the value of the moment.
    constexpr float kStart = -1.0f;
    const struct {
        float memory;
        int firstStep;
        std::vector<std::pair<float, int>> cycle; // position and stop step after each press
    } cases[] = {
        {0.3f, 1, {{0.3f, 1}, {0.0f, 2}, {kStart, 0}, {0.3f, 1}, {0.0f, 2}, {kStart, 0}}},
        {0.0f, 2, {{0.0f, 2}, {kStart, 0}, {0.0f, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.memory);
        DeckRig rig;
        ASSERT_TRUE(rig.loadTest(0, {}, {.startPoint = 0.1f, .memoryPoint = c.memory}));
        Deck& d = rig.deck(0);
        EXPECT_FLOAT_EQ(d.position, c.memory);
        EXPECT_EQ(d.stopStep, c.firstStep);
        d.play();
        rig.turns(20);
        EXPECT_GT(d.position, c.memory);
        for (const auto& [position, step] : c.cycle) {
            const float start = d.analysis()->startPoint;
            d.stop();
            EXPECT_EQ(d.playing, 0);
            EXPECT_FLOAT_EQ(d.position, position == kStart ? start : position);
            EXPECT_EQ(d.stopStep, step);
        }
        EXPECT_EQ(rig.output.stopped(0), 1);
    }
}

TEST(DeckOperations, LoadPlacesTheDeck) {
    struct Case {
        const char* name;
        bool autoMix;
        float memory, start, expectPosition;
        int expectStopStep;
    };
    const Case cases[] = {
        {"memory point in the second half starts at 0", false, 0.6f, 0.0f, 0.0f, 1},
        {"memory point kept", false, 0.25f, 0.4f, 0.25f, 1},
        {"auto mix moves to a later start point", true, 0.1f, 0.2f, 0.2f, 0},
        {"auto mix keeps a memory point after the start", true, 0.3f, 0.2f, 0.3f, 1},
        {"negative memory point starts at 0", false, -0.5f, 0.0f, 0.0f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeckRig rig;
        autoMixOn() = c.autoMix;
        ASSERT_TRUE(rig.loadTest(1, {}, {.startPoint = c.start, .memoryPoint = c.memory}));
        Deck& d = rig.deck(1);
        EXPECT_FLOAT_EQ(d.position, c.expectPosition);
        EXPECT_EQ(d.stopStep, c.expectStopStep);
        EXPECT_TRUE(d.fresh && !d.playing && !d.suspended);
        EXPECT_EQ(deckStatus(1), kStatusLoaded);
        EXPECT_NE(d.writePos, d.playPos) << "a loaded deck renders ahead, silent until played";
    }
}

TEST(DeckOperations, LoadThatCannotReadItsStartFails) {
    // A start seek that reads an error leaves a deck that could never play: the load
    // fails with the decoder's status instead of reporting a loaded track.
    const struct {
        const char* name;
        bool openFails;
        int64_t failAtFrame;
        int32_t status;
    } cases[] = {{"open fails", true, -1, kStatusCannotOpen},
                 {"start seek reads an error", false, 6 * kSampleRate, kStatusDecoderError}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeckRig rig;
        // A memory point at 0.3: frame 6 x 44100 of 20 s.
        EXPECT_FALSE(rig.loadTest(0, {.failAtFrame = c.failAtFrame, .openFails = c.openFails},
                                  {.memoryPoint = 0.3f}));
        EXPECT_EQ(deckStatus(0), c.status);
        EXPECT_FLOAT_EQ(rig.deck(0).position, -1.0f);
        EXPECT_EQ(rig.deck(0).duration, c.openFails ? -1 : 20);
        rig.deck(0).play();
        EXPECT_EQ(rig.deck(0).playing, 0);
    }
}

TEST(DeckOperations, SpeedCommandSetsTheInputWindow) {
    DeckRig rig;
    ASSERT_TRUE(rig.loadTest(0, {}));
    Deck& d = rig.deck(0);
    d.play();
    // Re-primed while playing; the same speed again posts nothing.
    const struct {
        int32_t speed, expectSpeed, window, resyncs;
    } cases[] = {{5462, 5462, 4117 + 2246, 1},
                 {100000, kMaxSpeed, 6363, 1},
                 {-5, 0, 5846, 1},
                 {0, 0, 5846, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed);
        const int resyncs = rig.output.resyncs(0);
        d.setSpeed(c.speed);
        EXPECT_EQ(d.speed, c.expectSpeed);
        EXPECT_EQ(d.inputWindow, c.window);
        EXPECT_EQ(rig.output.resyncs(0), resyncs + c.resyncs);
    }
}

TEST(DeckOperations, EmptyAndEjectedDecksIgnoreTransport) {
    DeckRig rig;
    Deck& d = rig.deck(0);
    d.fresh = 1;
    d.play();
    EXPECT_EQ(d.fresh, 0);
    EXPECT_EQ(d.playing, 0);
    EXPECT_EQ(rig.output.started(0), 0);
    d.stop();
    d.goToMemory();
    d.playFrom(0.5f);
    EXPECT_FLOAT_EQ(d.position, -1.0f);

    ASSERT_TRUE(rig.loadTest(0, {}));
    d.play();
    rig.turns(5);
    d.eject();
    EXPECT_EQ(d.playing, 0);
    EXPECT_FLOAT_EQ(d.position, -1.0f);
    EXPECT_EQ(d.decoding, 0);
    EXPECT_EQ(rig.output.stopped(0), 1);
    d.play();
    EXPECT_EQ(d.playing, 0);
    // The track stays loaded: stop gives the deck a position again.
    d.stop();
    EXPECT_GE(d.position, 0.0f);
    d.play();
    EXPECT_EQ(d.playing, 1);
}

TEST(DeckOperations, DspPluginIsReplacedOnlyWhenItChanges) {
    DeckRig rig;
    ASSERT_TRUE(rig.loadTest(0, {}));
    Deck& d = rig.deck(0);
    bool firstGone = false, secondGone = false;
    auto* first = new PassThrough(&firstGone);
    d.setDspPlugin(std::unique_ptr<DspPlugin>(first));
    EXPECT_EQ(d.dspPlugin.load(), first);
    // The same instance again posts nothing and destroys nothing.
    const int32_t write = d.writePos;
    d.setDspPlugin(std::unique_ptr<DspPlugin>(first));
    EXPECT_FALSE(firstGone);
    EXPECT_EQ(d.writePos, write);

    d.setDspPlugin(std::make_unique<PassThrough>(&secondGone));
    EXPECT_TRUE(firstGone);
    EXPECT_FALSE(secondGone);
    d.setDspPlugin(nullptr);
    EXPECT_TRUE(secondGone);
    EXPECT_EQ(d.dspPlugin.load(), nullptr);
}

TEST(DeckOperations, DecoderFollowsTheFileName) {
    const ScratchDir dir;
    const std::string wav = dir.path("tone.WAV");
    ASSERT_TRUE(writeClickWav(wav, ClickTrack{}, 2.0));

    DeckRig rig;
    Deck& d = rig.deck(0);
    TrackRecord record{"", "", wav, nullptr};
    EXPECT_TRUE(d.load(record));
    EXPECT_EQ(d.decoder.load(), &d.decoders.wav);
    EXPECT_EQ(d.duration, 2);
    // The entry was found by name and the decoder's size.
    ASSERT_NE(d.track->entry, nullptr);
    EXPECT_EQ(d.track->entry->name, "tone.WAV");
    EXPECT_EQ(d.track->entry->sizeKey, std::filesystem::file_size(wav));

    const std::pair<const char*, Decoder*> names[] = {
        {"a.mp3", &d.decoders.mp3},     {"a.wav.mp3", &d.decoders.mp3},
        {"wav", &d.decoders.mp3},       {"a.wave", &d.decoders.mp3},
        {"x.Wav", &d.decoders.wav},     {"a.FLAC", &d.decoders.ffmpeg},
        {"b.m4a", &d.decoders.ffmpeg},  {"c.mp4", &d.decoders.mp3},
        {"d.opus", &d.decoders.ffmpeg}, {"e.aif", &d.decoders.ffmpeg},
    };
    for (const auto& [name, expected] : names) {
        SCOPED_TRACE(name);
        record.path = dir.path(name);
        EXPECT_FALSE(d.load(record)); // none of them exists
        EXPECT_EQ(d.decoder.load(), expected);
    }

    // A FLAC loads through FFmpeg, with its exact length; named .mp3 it still loads.
    const std::string flac = dir.path("tone.flac");
    ASSERT_EQ(
        fixtures::encode(flac, fixtures::kFlac, 48000, 2, 150000, fixtures::tones({440.0}, 48000)),
        "");
    std::filesystem::copy_file(flac, dir.path("flac.mp3"));
    for (const char* name : {"tone.flac", "flac.mp3"}) {
        SCOPED_TRACE(name);
        record.path = dir.path(name);
        ASSERT_TRUE(d.load(record));
        EXPECT_EQ(d.decoder.load(), &d.decoders.ffmpeg);
        EXPECT_EQ(d.duration, 3);
        EXPECT_EQ(d.trackFrames, int64_t{150000} * kSampleRate / 48000);
    }
}

TEST(DeckOperations, LoadHoldsOneAnalysisReferencePerLoadedTrack) {
    DeckRig rig;
    Deck& d = rig.deck(0);
    const TrackRecord first = rig.record("first");
    // Someone else (a details dialog) holds the first track's values too.
    TrackAnalysis* shared = rig.store.acquireAnalysis(first.entry);

    rig.deck(0).testDecoder.configure({});
    ASSERT_TRUE(d.load(first));
    EXPECT_EQ(first.entry->refCount, 2);
    EXPECT_EQ(d.analysis().get(), shared);

    // A failed open takes no reference, so the next load gives none back.
    rig.deck(0).testDecoder.configure({.openFails = true});
    EXPECT_FALSE(d.load(rig.record("broken")));
    EXPECT_EQ(first.entry->refCount, 1);
    rig.deck(0).testDecoder.configure({});
    ASSERT_TRUE(d.load(rig.record("second")));
    EXPECT_EQ(first.entry->refCount, 1);
    EXPECT_NE(first.entry->analysis, nullptr);

    // Loading the deck's own record again keeps exactly one reference.
    const TrackRecord again = *d.track;
    ASSERT_TRUE(d.load(*d.track));
    EXPECT_EQ(again.entry->refCount, 1);
    rig.store.releaseAnalysis(first.entry);
}

// A load syncs tempo and level to the playing deck (the arithmetic: DeckSyncTest); a
// sync that fails sets the control back to normal.
TEST(DeckOperations, AutoBpmAndAutoLevelOnLoad) {
    DeckRig rig;
    ASSERT_TRUE(rig.loadTest(0, {}, {.loudness = 1000}, 128.0f));
    rig.deck(0).play();
    settings().autoBpm = 1;
    settings().autoLevel = 1;
    for (const bool known : {true, false}) {
        rig.deck(1).setVolume(100);
        rig.deck(1).setSpeed(4000);
        ASSERT_TRUE(rig.loadTest(1, {}, {.loudness = known ? 2000 : 0}, known ? 60.0f : 0.0f));
        EXPECT_EQ(rig.deck(1).speed, known ? 4369 : 4096); // 128 / (2 x 60)
        EXPECT_EQ(rig.deck(1).volume, known ? 128 : 256);
        EXPECT_EQ(rig.output.level(1), rig.deck(1).volume.load());
    }
}
