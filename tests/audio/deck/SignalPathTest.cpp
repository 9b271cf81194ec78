// The deck's signal path driven turn by turn through a TestOutput: which input frames
// are heard at each speed, Master Tempo's pitch, seeking, skipping and shifting, the
// end of the track and the automatic-mix trigger.

#include "tests/audio/deck/DeckRig.h"
#include "tests/audio/decoders/DecoderTestSupport.h"

#include "audio/deck/DeckMessages.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/Resampler.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Steps between the input frames of consecutive heard frames.
std::vector<int64_t> steps(const std::vector<Frame>& frames) {
    std::vector<int64_t> out;
    for (size_t i = 1; i < frames.size(); ++i)
        out.push_back(TestDecoder::indexOf(frames[i]) - TestDecoder::indexOf(frames[i - 1]));
    return out;
}

std::vector<Frame> renderedAhead(const Deck& d) {
    std::vector<Frame> out;
    for (int32_t i = d.playPos; i != d.writePos; i = (i + 1) % kOutputRingFrames)
        out.push_back(d.outputRing[i]);
    return out;
}

// Signal-to-noise ratio in dB of the left channel against the sine at `hz` that fits
// it best (least squares): what an ideal resampler would have made of the input tone.
double toneSnr(const std::vector<Frame>& frames, double hz) {
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    std::vector<double> c(frames.size()), s(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        c[i] = std::cos(2.0 * M_PI * hz * double(i) / kSampleRate);
        s[i] = std::sin(2.0 * M_PI * hz * double(i) / kSampleRate);
        const double x = frameLeft(frames[i]);
        cc += c[i] * c[i], ss += s[i] * s[i], cs += c[i] * s[i], xc += x * c[i], xs += x * s[i];
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    double signal = 0, noise = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const double fit = a * c[i] + b * s[i];
        signal += fit * fit;
        noise += (frameLeft(frames[i]) - fit) * (frameLeft(frames[i]) - fit);
    }
    return 10.0 * std::log10(signal / noise);
}

// Frames where a burst starts: the left channel passes half the amplitude after at
// least `quiet` frames below it.
std::vector<double> burstStarts(const std::vector<Frame>& frames, int amplitude, int quiet) {
    std::vector<double> starts;
    int64_t last = -quiet;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (std::abs(frameLeft(frames[i])) < amplitude / 2)
            continue;
        if (int64_t(i) - last >= quiet)
            starts.push_back(double(i));
        last = int64_t(i);
    }
    return starts;
}

// Loads the track on deck 0 and plays it from the start at the speed.
Deck& startAt(DeckRig& rig, const TestDecoder::Setup& track, int32_t speed) {
    EXPECT_TRUE(rig.loadTest(0, track));
    Deck& d = rig.deck(0);
    d.setSpeed(speed);
    rig.fill(0);
    d.play();
    return d;
}

// Messages raised since the last call.
std::vector<DeckMessage> takeMessages() {
    std::array<DeckMessage, 4> pending;
    const int n = deckMessages().takePending(pending);
    return {pending.begin(), pending.begin() + n};
}

} // namespace

TEST(SignalPath, PlainResamplingUsesInputFramesAtTheSpeed) {
    const struct {
        int32_t speed;
        int64_t smallStep; // the usual step between heard input frames
        int64_t oddStep;   // the step of a dropped (2) or repeated (0) frame
    } cases[] = {{4096, 1, 1}, {4424, 1, 2}, {3768, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed);
        DeckRig rig;
        startAt(rig, indexTrack(), c.speed);
        rig.output.collect(0, true);
        rig.turns(300);
        const auto& heard = rig.output.heard(0);
        ASSERT_GT(heard.size(), 250000u);
        EXPECT_EQ(TestDecoder::indexOf(heard.front()), 0);

        int64_t odd = 0;
        for (int64_t step : steps(heard)) {
            ASSERT_TRUE(step == c.smallStep || step == c.oddStep) << step;
            odd += step != c.smallStep;
        }
        // |speed - 4096| / 4096 of the frames: about every twelfth at the +-8 % ends.
        const double expected = std::abs(c.speed - 4096) / 4096.0;
        EXPECT_NEAR(double(odd) / double(heard.size() - 1), expected, 0.001);
    }
}

TEST(SignalPath, TonesStayCleanAndMasterTempoKeepsThePitch) {
    // Nearest-frame resampling reaches 28 dB at 1 kHz and 7 dB at 10 kHz; at normal speed
    // the sound passes untouched (85 dB: the tone's own 16-bit rounding). Master Tempo
    // keeps the tone's pitch. Either way the track advances at the deck's speed.
    const struct {
        int32_t speed;
        double hz, minSnr; // minSnr in dB; 0: with Master Tempo
    } cases[] = {{4424, 1000, 60}, {4424, 10000, 45}, {3768, 1000, 60},  {3768, 10000, 45},
                 {5448, 1000, 60}, {5448, 10000, 45}, {4096, 10000, 85}, {4424, 441, 0},
                 {3768, 441, 0},   {2730, 441, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed << ", " << c.hz << " Hz");
        DeckRig rig;
        settings().masterTempo = c.minSnr == 0 ? 1 : 0;
        settings().classicResampling = 0;
        TestDecoder::Setup tone = sineTrack();
        tone.frequency = c.hz;
        Deck& d = startAt(rig, tone, c.speed);
        rig.turns(10);
        const float from = d.position;
        rig.output.collect(0, true);
        rig.turns(60);
        const auto& heard = rig.output.heard(0);
        ASSERT_GT(heard.size(), 40000u);
        if (c.minSnr > 0) {
            EXPECT_GE(toneSnr(heard, c.hz * c.speed / 4096.0), c.minSnr);
        } else {
            EXPECT_NEAR(decodertest::measureFrequency(heard, 0, 0, heard.size()), c.hz,
                        c.hz * 0.01);
        }
        const double heardSeconds = double(heard.size()) / kSampleRate;
        EXPECT_NEAR((d.position - from) * 60.0 / heardSeconds, c.speed / 4096.0, 0.02);
    }
}

TEST(SignalPath, SpeedingUpFiltersWhatWouldFoldBack) {
    // A 19 kHz tone played 33 % faster lies above the output's Nyquist frequency: all
    // that is heard of it is folded back (at -2 dB through a fixed cutoff).
    DeckRig rig;
    settings().classicResampling = 0;
    TestDecoder::Setup tone = sineTrack();
    tone.frequency = 19000;
    startAt(rig, tone, 5448);
    rig.turns(10);
    rig.output.collect(0, true);
    rig.turns(40);
    const auto& heard = rig.output.heard(0);
    ASSERT_GT(heard.size(), 30000u);
    double power = 0;
    for (Frame f : heard)
        power += double(frameLeft(f)) * frameLeft(f);
    const double input = double(tone.amplitude) * tone.amplitude / 2.0;
    EXPECT_LE(10.0 * std::log10(power / double(heard.size()) / input), -20.0);
}

TEST(SignalPath, ResamplingKernelsConsumeTheSameInput) {
    // The output map, positions and beat matching follow the phase walk: changing the
    // kernel must not change which input a step consumes.
    std::vector<Frame> input(8000, makeFrame(1000, -1000)), out(kRenderStepFrames);
    for (int32_t speed : {2730, 3768, 4095, 4096, 4097, 4424, 5462}) {
        for (int32_t start : {0, 1, 2048, 4095}) {
            int32_t phaseA = start, phaseB = start;
            const int32_t a =
                resampleNearest(out.data(), input.data() + 8, kRenderStepFrames, speed, phaseA);
            const int32_t b = resampleInterpolated(out.data(), input.data() + 8, kRenderStepFrames,
                                                   speed, phaseB);
            EXPECT_EQ(a, b) << speed;
            EXPECT_EQ(phaseA, phaseB) << speed;
            // A constant passes unchanged at every position.
            EXPECT_EQ(out[kRenderStepFrames / 2], makeFrame(1000, -1000)) << speed;
        }
    }
}

TEST(SignalPath, MasterTempoKeepsBeatsOnTimeAndTheTempoExact) {
    // Bursts every half second: each burst's start must keep its place on a line whose
    // slope is the period the speed asks for, the first one heard included: played
    // from pause, or after a cue jump (onto a burst, or 30 ms before one) while playing.
    for (int32_t speed : {4424, 3768}) {
        for (int jumpEarly : {-1, 0, 1323}) { // frames before the burst jumped to; -1: none
            SCOPED_TRACE(testing::Message() << speed << ", jump " << jumpEarly);
            DeckRig rig;
            settings().masterTempo = 1;
            settings().classicResampling = 0;
            TestDecoder::Setup clicks{.signal = TestDecoder::Signal::Clicks,
                                      .frequency = 150.0,
                                      .clickFrames = 4000,
                                      .seconds = 60};
            ASSERT_TRUE(rig.loadTest(0, clicks));
            Deck& d = rig.deck(0);
            d.setSpeed(speed);
            d.play();
            if (jumpEarly >= 0) {
                rig.turns(389); // 9 s heard: the input lies between two bursts
                d.playFrom(float((20.0 * kSampleRate - jumpEarly) / (60.0 * kSampleRate)));
            }
            rig.output.collect(0, true);
            rig.turns(2000);
            const std::vector<double> starts =
                burstStarts(rig.output.heard(0), clicks.amplitude, 8000);
            ASSERT_GE(starts.size(), 70u);
            const size_t n = starts.size();
            double sx = 0, sy = 0, sxx = 0, sxy = 0;
            for (size_t i = 0; i < n; ++i) {
                const double x = double(i), y = starts[i];
                sx += x, sy += y, sxx += x * x, sxy += x * y;
            }
            const double slope = (double(n) * sxy - sx * sy) / (double(n) * sxx - sx * sx);
            const double intercept = (sy - slope * sx) / double(n);
            double sum = 0, worst = 0;
            for (size_t i = 0; i < n; ++i) {
                const double r = starts[i] - (intercept + slope * double(i));
                sum += r * r;
                worst = std::max(worst, std::abs(r));
            }
            const double period = 22050.0 * 4096.0 / speed;
            EXPECT_NEAR(slope / period, 1.0, 20e-6);
            EXPECT_LE(std::sqrt(sum / double(n)), 0.002 * kSampleRate);
            EXPECT_LE(worst, 0.004 * kSampleRate);
        }
    }
}

TEST(SignalPath, SeekStartsAtTheAskedFrameAndThePositionRunsOn) {
    // 30 s, and 2.9 s: a length in whole seconds would misplace the start by hundreds
    // of frames and let the position run back at each block.
    for (int32_t extraFrames : {0, 40000}) {
        for (bool stepBack : {false, true}) {
            for (float p : {0.25f, 0.5f, 0.5371f, 0.9f}) {
                SCOPED_TRACE(testing::Message()
                             << "extra " << extraFrames << " stepBack " << stepBack << " p " << p);
                DeckRig rig;
                TestDecoder::Setup s = indexTrack(extraFrames ? 2 : 30);
                s.extraFrames = extraFrames;
                s.stepBack = stepBack; // the MP3 decoder seeks one block early
                ASSERT_TRUE(rig.loadTest(0, s));
                TestDeck& d = rig.deck(0);
                const double frames = double(d.testDecoder.frameCount());
                d.playFrom(p);
                EXPECT_FLOAT_EQ(d.position, p);
                rig.output.collect(0, true);
                float last = d.position;
                for (int turn = 0; turn < 10; ++turn) { // 10240 frames: before any end
                    rig.turn();
                    ASSERT_GE(d.position, last) << "turn " << turn;
                    last = d.position;
                }
                // Positions are floats: at 0.9 of a 30 s track one step of a float is 0.08
                // frames, and the decoder's and the seek's positions are rounded apart.
                const auto& heard = rig.output.heard(0);
                EXPECT_NEAR(double(TestDecoder::indexOf(heard.front())), double(p) * frames, 2.0);
                EXPECT_NEAR(d.position, p + double(heard.size()) / frames, 2.0 / frames + 1e-6);
            }
        }
    }
}

TEST(SignalPath, MasterTempoAtNormalSpeedEqualsPlainAfterTheFirstStep) {
    DeckRig rig;
    ASSERT_TRUE(rig.loadTest(0, sineTrack()));
    Deck& d = rig.deck(0);
    rig.fill(0);
    const std::vector<Frame> plain = renderedAhead(d);
    ASSERT_GT(plain.size(), size_t{10 * kRenderStepFrames});

    settings().masterTempo = 1;
    d.refresh();
    rig.fill(0);
    const std::vector<Frame> tempo = renderedAhead(d);
    ASSERT_EQ(tempo.size(), plain.size());
    // The first step fades in from the silence that a paused deck had heard.
    EXPECT_NE(tempo[25], plain[25]); // a quarter period of the tone: its peak
    for (size_t i = kRenderStepFrames; i < plain.size(); ++i)
        ASSERT_EQ(tempo[i], plain[i]) << "frame " << i;
}

TEST(SignalPath, TrackEndOrReadErrorIsReportedOnceAndStopsTheDeck) {
    // A 3 s track played to its end; a 10 s one whose decoder fails at frame 50000.
    for (const int64_t failAt : {int64_t{-1}, int64_t{50000}}) {
        SCOPED_TRACE(failAt);
        DeckRig rig;
        TestDecoder::Setup s = indexTrack(failAt < 0 ? 3 : 10);
        s.failAtFrame = failAt;
        ASSERT_TRUE(rig.loadTest(0, s));
        Deck& d = rig.deck(0);
        d.play();
        rig.output.collect(0, true);
        int ended = 0;
        for (int turn = 0; turn < 600; ++turn) {
            rig.turn();
            for (const DeckMessage& m : takeMessages()) {
                EXPECT_EQ(m.message, kMsgTrackEnded);
                EXPECT_EQ(m.deck, 0);
                ++ended;
            }
        }
        EXPECT_EQ(ended, 1);
        EXPECT_EQ(deckStatus(0), failAt < 0 ? kStatusLoaded : kStatusDecoderError);
        EXPECT_EQ(d.playing, 0);
        EXPECT_LT(d.position, 0.0f);
        EXPECT_EQ(d.stopStep, 0);
        EXPECT_EQ(rig.output.stopped(0), 1);

        // Every full block before the end was heard once, in order, then silence.
        const int64_t end = failAt < 0 ? 3 * kSampleRate : failAt;
        const int64_t lastFrame = (end / kBlockFrames) * kBlockFrames - 1;
        int64_t expected = 0;
        for (Frame f : rig.output.heard(0)) {
            if (expected > lastFrame) {
                EXPECT_EQ(f, 0u);
                continue;
            }
            ASSERT_EQ(TestDecoder::indexOf(f), expected);
            ++expected;
        }
        EXPECT_EQ(expected, lastFrame + 1);

        // A stop gives the ended deck its position back.
        d.stop();
        EXPECT_FLOAT_EQ(d.position, 0.0f);
    }
}

TEST(SignalPath, AutoMixTrigger) {
    const struct {
        const char* name;
        float endPoint, from;
        int longMix;
        int other; // 0 waits with a track, 1 plays, 2 has no position
        bool triggered;
        float expectAt; // < 0: no message expected
    } cases[] = {
        {"6.4 s before the end point", 0.95f, 0.92f, 0, 0, false, 0.95f - 6.4f / 300.0f},
        {"28.8 s before the end point", 0.95f, 0.85f, 112, 0, false, 0.95f - 28.8f / 300.0f},
        {"never before 0.8", 0.5f, 0.7995f, 0, 0, false, 0.8f},
        {"not while the other deck plays", 0.95f, 0.92f, 0, 1, false, -1.0f},
        {"not into a deck without a position", 0.95f, 0.92f, 0, 2, false, -1.0f},
        {"not after a mix started from it", 0.95f, 0.92f, 0, 0, true, -1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeckRig rig;
        autoMixOn() = true;
        settings().longMix = c.longMix;
        AnalysisValues values;
        values.endPoint = c.endPoint;
        // A stored end point keeps its place while louder blocks are not met before it.
        values.endEnergy = 1 << 30;
        ASSERT_TRUE(rig.loadTest(0, sineTrack(300), values));
        ASSERT_TRUE(rig.loadTest(1, sineTrack(300)));
        if (c.other == 1)
            rig.deck(1).play();
        if (c.other == 2)
            rig.deck(1).eject();
        Deck& d = rig.deck(0);
        d.mixTriggered = c.triggered ? 1 : 0;
        d.playFrom(c.from);
        takeMessages();
        float at = -1.0f;
        for (int turn = 0; turn < 600 && at < 0.0f; ++turn) {
            rig.turn();
            for (const DeckMessage& m : takeMessages()) {
                if (m.message == kMsgAutoMixStart && m.deck == 1)
                    at = d.position;
            }
        }
        if (c.expectAt < 0.0f) {
            EXPECT_LT(at, 0.0f);
            continue;
        }
        // One poll moves the heard position by 1024 frames, 0.000077 of the track.
        EXPECT_GE(at, c.expectAt);
        EXPECT_LT(at, c.expectAt + 0.0002f);
        // Raised once while the mix stays due (the main thread may decline it), again
        // after a seek back into the stretch.
        rig.turns(20);
        EXPECT_TRUE(takeMessages().empty());
        d.playFrom(c.from);
        rig.turns(600);
        EXPECT_EQ(takeMessages().size(), 1u);
    }
}

TEST(SignalPath, ShiftAndSkipStayWithinRenderedSound) {
    DeckRig rig;
    ASSERT_TRUE(rig.loadTest(0, indexTrack()));
    Deck& d = rig.deck(0);
    rig.fill(0);

    // Freshly re-primed: nothing rendered lies behind the heard frame.
    const int32_t playPos = d.playPos;
    const int32_t heardPos = d.heardPos;
    d.shift(-100000);
    EXPECT_EQ(d.playPos, playPos);
    EXPECT_EQ(d.heardPos, heardPos);
    EXPECT_EQ(rig.output.snippetCount(), 0);

    // Paused and shifted forward: the new place is heard for 1152 frames.
    d.shift(2000);
    EXPECT_EQ(d.playPos, playPos + 2000);
    EXPECT_EQ(d.heardPos, heardPos + 2000);
    ASSERT_EQ(rig.output.snippetCount(), 1);
    EXPECT_EQ(rig.output.lastSnippet().deck, 0);
    EXPECT_EQ(rig.output.lastSnippet().from, d.playPos);
    EXPECT_EQ(rig.output.lastSnippet().frames, 1152);

    // After a while of playing the rendered history allows going back.
    d.play();
    rig.turns(120);
    ASSERT_EQ(d.outputUnwritten, 0);
    d.pause();
    const int32_t before = d.heardPos;
    d.shift(-5000);
    EXPECT_EQ(d.heardPos, before - 5000);
    EXPECT_EQ(rig.output.snippetCount(), 2);
    // A playing deck is resynchronised instead.
    d.play();
    const int resyncs = rig.output.resyncs(0);
    d.shift(-1000);
    EXPECT_EQ(rig.output.snippetCount(), 2);
    EXPECT_EQ(rig.output.resyncs(0), resyncs + 1);

    // A skip back past what was rendered since a seek is heard as silence.
    rig.turns(100); // the whole output ring holds rendered sound now
    d.playFrom(0.5f);
    rig.turns(5);
    const int32_t unwritten = d.outputUnwritten;
    ASSERT_GT(unwritten, 1000);

    d.skip(-kOutputRingFrames);
    EXPECT_EQ(d.playPos, (d.writePos + 1) % kOutputRingFrames);
    rig.output.collect(0, true);
    rig.turns(120);
    const auto& heard = rig.output.heard(0);
    size_t silent = 0;
    while (silent < heard.size() && heard[silent] == 0)
        ++silent;
    // What lay there came from before the seek; then the sound rendered at the seek.
    EXPECT_EQ(silent, size_t(unwritten - 1));
    ASSERT_LT(silent, heard.size());
    EXPECT_NEAR(double(TestDecoder::indexOf(heard[silent])), 0.5 * 60 * kSampleRate, 1.0);
}
