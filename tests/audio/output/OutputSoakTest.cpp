// Ten minutes of virtual time of a DJ using both decks at random while a real audio
// thread serves them. The test's thread is the user interface and the cards' clock at
// once, in lockstep with the audio thread, so every recording must hold exactly what the
// card played while it ran; a third thread reads envelopes and analysis records as the
// rhythm display does. Meant for ThreadSanitizer.

#include "tests/audio/WavCheck.h"
#include "tests/audio/output/OutputRig.h"

#include "audio/output/RecordingControl.h"
#include "audio/recorder/Recorder.h"

#include <cmath>
#include <random>

using namespace std::chrono_literals;

namespace {

// What holds of a deck at any moment, whatever the audio thread is doing.
void expectSane(const Deck& d) {
    EXPECT_EQ(d.command.load(std::memory_order_acquire), 0);
    const float p = d.position.load(std::memory_order_relaxed);
    EXPECT_TRUE(std::isfinite(p));
    EXPECT_TRUE(p > -1.001f && p < 1.0001f) << p;
    const int32_t heard = d.heardPos.load(std::memory_order_relaxed);
    EXPECT_TRUE(heard >= 0 && heard < kDecodedRingFrames) << heard;
    const int32_t written = d.decodeWritePos.load(std::memory_order_relaxed);
    EXPECT_EQ(written % kBlockFrames, 0);
    EXPECT_LT(written, kDecodedRingFrames);
    EXPECT_TRUE(d.stopStep.load() >= 0 && d.stopStep.load() <= 2) << d.stopStep.load();
}

// FNV-1a over the frames' bytes, continuing from hash.
uint64_t hashFrames(uint64_t hash, const Frame* frames, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        for (int b = 0; b < 4; ++b) {
            hash ^= (frames[i] >> (8 * b)) & 0xffu;
            hash *= 0x100000001b3ull;
        }
    }
    return hash;
}
constexpr uint64_t kHashStart = 0xcbf29ce484222325ull;

struct Recording {
    std::string path;
    RigCard* card = nullptr; // whose tap hashes what it plays while the recording runs
    int row = 0;
    uint64_t hash = kHashStart;
    int64_t frames = 0;
};

const SoundCardId kCard1 = SoundCardId::fromName("soak", "card one", 0);
const SoundCardId kCard2 = SoundCardId::fromName("soak", "card two", 0);

} // namespace

TEST(OutputSoak, TenMinutesOfRandomUseWithARealAudioThread) {
    ScratchDir dir;
    OutputRig rig({.ownThread = true, .outputMode = 1});
    for (auto& c : rig.cards())
        c.keep = false;
    ASSERT_TRUE(rig.load(0, sineTrack(240)));
    ASSERT_TRUE(rig.load(1, {.signal = TestDecoder::Signal::Clicks,
                             .frequency = 660.0,
                             .clickEvery = 20000,
                             .clickFrames = 9000,
                             .seconds = 300}));
    rig.deck(0).play();
    std::atomic<bool> stop{false};
    std::thread display([&] {
        std::array<uint16_t, 128> heights{};
        while (!stop.load(std::memory_order_acquire)) {
            for (int i = 0; i < 2; ++i) {
                rig.deck(i).getEnvelope(heights.data(), int(heights.size()), 100);
                EXPECT_LT(*std::max_element(heights.begin(), heights.end()), 100);
                // A record a load gave back would be freed memory here.
                if (const AnalysisRef values = rig.deck(i).analysis()) {
                    const float memory = values->memoryPoint.load(std::memory_order_relaxed);
                    EXPECT_TRUE(memory >= 0.0f && memory < 1.0f) << memory;
                }
            }
            std::this_thread::sleep_for(200us);
        }
    });

    MixerState state;
    std::vector<Recording> recordings;
    Recording* running = nullptr;
    const auto endRecording = [&] {
        if (running)
            running->card->tap = nullptr;
        running = nullptr;
    };
    const auto toggle = [&] {
        SoundOutput& out = rig.output();
        const bool wasRecording = out.attachedRecorder() != nullptr;
        std::string path = dir.path("mix" + std::to_string(recordings.size()) + ".wav");
        std::vector<std::string> messages;
        const bool started = toggleRecording(
            &out, [&] { return path; }, [&](const std::string& m) { messages.push_back(m); });
        if (started) {
            RigCard& card = rig.current(0);
            Recording& r = recordings.emplace_back(Recording{path, &card, settings().outputMode});
            // With headphones on one card the loudspeakers' mix goes mono to the left
            // output; the recording holds that mix in stereo.
            const Frame mask = r.row == 10 ? 0xffffu : ~Frame{0};
            card.tap = [&r, mask](const Frame* f, int32_t n) {
                for (int32_t k = 0; k < n; ++k) {
                    const Frame heard = f[k] & mask;
                    r.hash = hashFrames(r.hash, &heard, 1);
                }
                r.frames += n;
            };
            running = &r;
        } else if (wasRecording) {
            endRecording();
        } else {
            EXPECT_FALSE(out.canRecord);
            EXPECT_EQ(messages.size(), 1u);
        }
    };
    recordings.reserve(1000);
    toggle();
    ASSERT_NE(running, nullptr);

    std::mt19937 generator(20241206);
    const auto below = [&](int32_t n) { return static_cast<int32_t>(generator() % uint32_t(n)); };
    constexpr int64_t kTotalFrames = int64_t{10} * 60 * 44100;
    int operations = 0;
    int reconfigurations = 0;
    for (int64_t now = 0; now < kTotalFrames;) {
        const int64_t pause = 8820 + below(57330);
        rig.play(pause, 1024);
        now += pause;
        if (running) {
            // Virtual time outruns a disk: let the writer keep up, as real time would,
            // so that no frame is overwritten in its ring before it is written.
            if (auto* writer = dynamic_cast<Recorder*>(rig.output().attachedRecorder())) {
                const auto behind = [&] { return running->frames - writer->framesWritten(); };
                const auto deadline = std::chrono::steady_clock::now() + 60s;
                while (behind() > 2 * 44100 && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(1ms);
                ASSERT_LE(behind(), 2 * 44100) << "the recorder's writer stopped";
            }
        }
        rig.engine().retireRecorders();
        const int i = below(2);
        Deck& d = rig.deck(i);
        ++operations;
        // Weighted: loading and seeking (which decode 6.7 s of sound at once) are as
        // rare as in a real set, the faders are frequent.
        static const int kWeights[] = {0, 1, 1, 1, 3,  3,  4,  5,  5,  6,  6,  7,  7,  8,
                                       8, 9, 9, 9, 11, 12, 13, 14, 15, 16, 16, 17, 18, 19};
        switch (kWeights[below(std::size(kWeights))]) {
        case 0:
            if (below(2) == 0) {
                ASSERT_TRUE(rig.reload(i));
                EXPECT_TRUE(d.playing == 0 && deckStatus(i) == kStatusLoaded && d.position >= 0);
            }
            break;
        case 1:
        case 2:
            d.play();
            // Playing, unless the deck has no position (ejected, or the track ran out).
            EXPECT_TRUE(d.playing == 1 || d.position < 0.0f);
            break;
        case 3:
            d.pause();
            EXPECT_EQ(d.playing, 0);
            break;
        case 14:
            d.stop();
            EXPECT_EQ(d.playing, 0);
            break;
        case 4: {
            const float p = float(below(950)) / 1000.0f;
            d.playFrom(p);
            EXPECT_TRUE(d.position < 0.0f || d.position >= p - 1e-4f) << "after a seek to " << p;
            break;
        }
        case 5:
            d.setSpeed(2730 + below(5462 - 2730 + 1));
            break;
        case 6:
            d.shift(below(40001) - 20000);
            break;
        case 7:
            d.skip(below(200001) - 100000);
            break;
        case 8:
            d.setVolume(state.deckLevels[i] = below(257));
            break;
        case 9:
        case 10:
            rig.output().setCrossfader(state.crossfader = below(385));
            (void)rig.output().isDeckAudible(i); // read while the audio thread writes
            break;
        case 11:
            settings().masterTempo = 1 - settings().masterTempo;
            break;
        case 12:
            settings().crossfader = below(3);
            rig.output().setCrossfader(state.crossfader);
            break;
        case 13:
            rig.output().setSelectedDeck(state.selectedDeck = i);
            break;
        case 15: {
            // A new configuration ends a recording; soft-mix rows come often, so that
            // recordings happen.
            static const int kRows[] = {0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 1};
            const int row = kRows[below(14)];
            endRecording();
            ASSERT_TRUE(rig.apply(row, {kCard1, kCard2}, state));
            for (auto& c : rig.cards())
                c.keep = false;
            ASSERT_TRUE(rig.engine().isRunning());
            ++reconfigurations;
            break;
        }
        case 16:
            toggle();
            break;
        case 17:
            d.eject();
            EXPECT_FLOAT_EQ(d.position, -1.0f);
            d.play();
            EXPECT_EQ(d.playing, 0);
            break;
        case 18:
            d.setMemory();
            d.goToMemory();
            break;
        default:
            d.refresh();
            break;
        }
        expectSane(rig.deck(0));
        expectSane(rig.deck(1));
    }
    stop.store(true, std::memory_order_release);
    display.join();
    endRecording();
    rig.enginePtr().reset(); // ends the last recording, joins the thread

    EXPECT_GT(operations, 300);
    EXPECT_GT(reconfigurations, 10);
    int nonEmpty = 0;
    for (const Recording& r : recordings) {
        SCOPED_TRACE(testing::Message() << r.path << " row " << r.row);
        const RecordedWav wav = readRecordedWav(r.path);
        ASSERT_TRUE(wav.headerValid) << wav.problem;
        ASSERT_EQ(static_cast<int64_t>(wav.frames.size()), r.frames);
        std::vector<Frame> heard = wav.frames;
        if (r.row == 10)
            mapFrames(heard.data(), wav.frames.data(), static_cast<int32_t>(heard.size()),
                      ChannelMap::MonoLeft);
        EXPECT_EQ(hashFrames(kHashStart, heard.data(), heard.size()), r.hash);
        nonEmpty += r.frames > 44100;
    }
    EXPECT_GT(nonEmpty, 3);
}
