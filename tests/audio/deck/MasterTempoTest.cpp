// The Master Tempo kernels on their own: the splice search and the cross-fade.

#include "audio/deck/MasterTempo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

constexpr int kInputFrames = 3600;

std::vector<Frame> sine(int frames, double frequency) {
    std::vector<Frame> out(frames);
    for (int i = 0; i < frames; ++i) {
        const auto v =
            static_cast<int16_t>(12000.0 * std::sin(2.0 * M_PI * frequency * i / kSampleRate));
        out[i] = makeFrame(v, v);
    }
    return out;
}

} // namespace

TEST(MasterTempo, SpliceLandsInPhaseWithTheTail) {
    // On a steady tone the best splice continues the tail's waveform: the new material
    // starts a whole number of periods away from where the tail was taken.
    for (bool timed : {false, true})
        for (double frequency : {97.0, 300.0, 441.0, 1000.0}) {
            const std::vector<Frame> input = sine(kInputFrames + 2000, frequency);
            const double period = kSampleRate / frequency;
            for (int tailFrame : {0, 37, 300, 512, 777, 1100}) {
                SCOPED_TRACE(testing::Message() << frequency << " Hz, tail at " << tailFrame
                                                << (timed ? ", timed" : ", classic"));
                const Frame* tail = input.data() + tailFrame;
                const int32_t found = timed ? findTimedSplice(tail, input.data(), {2000, 4424})
                                            : findBestSplice(tail, input.data());
                ASSERT_TRUE(found % 2 == 0 && found >= 0 && found <= kSpliceMaxOffset) << found;
                double phase = std::fmod(found / 2 - tailFrame + 10 * period, period);
                phase = std::min(phase, period - phase);
                // The timed search may give up a little match to stay near its time.
                EXPECT_LE(phase, std::max(1.0, period / (timed ? 25.0 : 100.0)));
            }
        }
}

TEST(MasterTempo, FastSpliceSearchAgreesWithThePlainOne) {
    // Full-scale and near-silent material, where products overflow 32 bits or the
    // scores sit close together, and a correlated tail taken from the input itself.
    uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    const struct {
        const char* name;
        std::function<Frame(int)> frame;
    } cases[] = {
        {"random full scale", [&](int) { return Frame(next()); }},
        {"extremes",
         [&](int) { return (next() & 1) ? makeFrame(32767, -32768) : makeFrame(-32768, 32767); }},
        {"constant full scale", [](int) { return makeFrame(32767, 32767); }},
        {"quiet noise",
         [&](int) { return makeFrame(int16_t(next() % 5) - 2, int16_t(next() % 3) - 1); }},
        {"tone",
         [](int i) {
             auto v = int16_t(30000 * std::sin(i * 0.0627));
             return makeFrame(v, v);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 10; ++round) {
            std::vector<Frame> input(kInputFrames), tail(kSpliceFadeFrames);
            for (int i = 0; i < kInputFrames; ++i)
                input[i] = c.frame(i + round * 977);
            for (int i = 0; i < kSpliceFadeFrames; ++i)
                tail[i] =
                    round % 2 ? c.frame(i + 13) : input[(i + 300 + round * 50) % kInputFrames];
            const int32_t found = findBestSplice(tail.data(), input.data());
            EXPECT_EQ(found, findBestSpliceReference(tail.data(), input.data()));
            // An even offset (whole frames) that one step's input can hold.
            EXPECT_TRUE(found % 2 == 0 && found >= 0 && found <= kSpliceMaxOffset) << found;
        }
    }
}

TEST(MasterTempo, OnsetsAreFoundAtBurstsNotInSteadySound) {
    const struct {
        const char* name;
        double lowHz;      // a steady tone under everything, 0 for none
        int burstAt;       // -1 for none
        int expectedFirst; // block start expected, -1 for no onset
    } cases[] = {
        {"burst after silence", 0, 1000, 992},
        {"burst over a quiet low tone", 55, 2000, 1984},
        {"steady low tone", 55, -1, -1},
        {"steady chord note", 131, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Frame> input(kInputFrames);
        for (int i = 0; i < kInputFrames; ++i) {
            double v = c.lowHz > 0 ? 1500 * std::sin(2 * M_PI * c.lowHz * i / kSampleRate) : 0;
            if (c.burstAt >= 0 && i >= c.burstAt)
                v += 20000 * std::exp(-(i - c.burstAt) / 2000.0) * std::sin(i * 0.05);
            input[i] = makeFrame(int16_t(v), int16_t(v));
        }
        int32_t onsets[8];
        const int n = findOnsets(input.data(), kInputFrames, onsets, 8);
        if (c.expectedFirst < 0) {
            EXPECT_EQ(n, 0);
        } else {
            ASSERT_GE(n, 1);
            EXPECT_NEAR(onsets[0], c.expectedFirst, kOnsetBlockFrames);
        }
    }
}

TEST(MasterTempo, TimedSpliceNeverFadesAnOnsetInTwice) {
    // A burst just inside the tail would be heard twice (from the tail and again from
    // the new input) unless the splice continues the tail exactly; after silence the
    // sound starts where the tail was taken too, give or take a frame, neither fading
    // the burst in nor skipping it. (Tails far from the middle offset
    // would put the burst more than 8 ms off its time, which outweighs doubling it.)
    for (int tailFrame : {100, 400, 700}) {
        SCOPED_TRACE(tailFrame);
        std::vector<Frame> input(kInputFrames + 2000);
        for (size_t i = 0; i < input.size(); ++i) {
            double v = 800 * std::sin(i * 0.031);
            if (int(i) >= tailFrame + 200)
                v += 20000 * std::exp(-(int(i) - tailFrame - 200) / 3000.0) * std::sin(i * 0.07);
            input[i] = makeFrame(int16_t(v), int16_t(v));
        }
        for (int32_t speed : {3768, 4424})
            EXPECT_NEAR(findTimedSplice(input.data() + tailFrame, input.data(), {tailFrame, speed}),
                        2 * tailFrame, 2);
        const std::vector<Frame> silence(kSpliceFadeFrames, 0);
        EXPECT_NEAR(findTimedSplice(silence.data(), input.data(), {tailFrame, 4424}), 2 * tailFrame,
                    2);
    }
}

TEST(MasterTempo, AfterSilenceTheNextOnsetComesAtTheLead) {
    // Nothing to match after a silent passage, but the beat that ends it must come as
    // early as every other beat: input frame d of a step spliced at c comes
    // (d - c)(1 - r) + c early, which should be the lead. A step that starts afresh is
    // taken to begin that much earlier for the same reason.
    for (int onsetAt : {1200, 2000, 3000}) {
        std::vector<Frame> input(kInputFrames + 2000, 0);
        for (size_t i = onsetAt; i < input.size(); ++i) {
            const auto v = int16_t(20000 * std::sin(i * 0.02));
            input[i] = makeFrame(v, v);
        }
        const std::vector<Frame> silence(kSpliceFadeFrames, 0);
        for (int32_t speed : {3768, 4424}) {
            SCOPED_TRACE(testing::Message() << onsetAt << ", " << speed);
            const double r = speed / 4096.0, lead = onsetLeadFrames(speed);
            EXPECT_NEAR(lead, speed < 4096 ? 0.08 * kTimedSpliceInputFrames : 0.0, 1.0);
            const int32_t c = findTimedSplice(silence.data(), input.data(), {300, speed}) / 2;
            EXPECT_NEAR((onsetAt - c) * (1.0 - r) + c, lead, kOnsetBlockFrames);
            const int32_t s = freshStartFrames(input.data(), speed);
            EXPECT_NEAR((onsetAt + s) * (1.0 - r) + r * s, lead, kOnsetBlockFrames);
            // Sound from the first frame on is itself the onset.
            EXPECT_NEAR(freshStartFrames(input.data() + onsetAt, speed), lead, 1.0);
        }
    }
}

TEST(MasterTempo, CrossFadeRunsFromTailToFresh) {
    std::vector<Frame> tail(kSpliceFadeFrames, makeFrame(-32768, 32767));
    std::vector<Frame> fresh(kSpliceFadeFrames, makeFrame(32767, -32768));
    std::vector<Frame> out(kSpliceFadeFrames);
    crossFadeSplice(out.data(), tail.data(), fresh.data());
    EXPECT_EQ(out[0], tail[0]);
    for (int i = 1; i < kSpliceFadeFrames; ++i) {
        EXPECT_GE(frameLeft(out[i]), frameLeft(out[i - 1]));
        EXPECT_LE(frameRight(out[i]), frameRight(out[i - 1]));
    }
    // Equal sound on both sides passes unchanged.
    crossFadeSplice(out.data(), fresh.data(), fresh.data());
    EXPECT_EQ(out, fresh);
    // A jump's fade is over within 1.5 ms: a beat at the new place keeps its attack.
    crossFadeJump(out.data(), tail.data(), fresh.data());
    EXPECT_EQ(out[0], tail[0]);
    EXPECT_GT(frameLeft(out[kJumpFadeFrames / 2]), -1000);
    for (int i = kJumpFadeFrames; i < kSpliceFadeFrames; ++i)
        ASSERT_EQ(out[i], fresh[i]) << i;
}
