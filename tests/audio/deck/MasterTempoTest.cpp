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
    for (double frequency : {97.0, 300.0, 441.0, 1000.0}) {
        const std::vector<Frame> input = sine(kInputFrames, frequency);
        const double period = kSampleRate / frequency;
        for (int tailFrame : {0, 37, 300, 512, 777, 1100}) {
            SCOPED_TRACE(testing::Message() << frequency << " Hz, tail at " << tailFrame);
            const int32_t found = findBestSplice(input.data() + tailFrame, input.data());
            ASSERT_EQ(found % 2, 0);
            ASSERT_GE(found, 0);
            ASSERT_LE(found, kSpliceMaxOffset);
            double phase = std::fmod(found / 2 - tailFrame + 10 * period, period);
            phase = std::min(phase, period - phase);
            EXPECT_LE(phase, std::max(1.0, period / 100.0));
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
}
