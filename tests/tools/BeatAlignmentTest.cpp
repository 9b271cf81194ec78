// Beat alignment of the automatic mix on generated house drums: kick on every beat,
// snare on beats 2 and 4, closed hats on the off-beats, a different kick in each track.
// Each kick also starts a short marker tone in antiphase (left +, right -): the beat
// analyser sums both channels and never hears it, while the side signal of the mix
// (left - right) holds nothing but the markers, so each deck's kicks are timed apart.

#include "tests/ScratchDir.h"
#include "tests/tools/MixTestTracks.h"
#include "tools/mix/MixRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kMixTickSeconds = 0.2;
constexpr double kHeardAfterSeconds = 0.05; // more than the output's latency

struct Kick {
    double startHz, endHz; // pitch sweep
    double sweepS, decayS; // time constants of the sweep and of the level
    double attackS;        // rise time
    double click;          // level of a short noise click at the onset
};

struct DrumTrack {
    double bpm;
    Kick kick;
    double markerHz;
    double seconds = 36.0; // long enough for a whole crossfade before the track ends

    // Interleaved stereo samples of the whole track.
    std::vector<int16_t> render() const {
        const size_t frames = size_t(seconds * kRate);
        std::vector<int16_t> out(2 * frames);
        const double beatFrames = 60.0 * kRate / bpm;
        uint32_t seed = uint32_t(bpm * 1000);
        auto noise = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return double(seed >> 8) / 8388608.0 - 1.0;
        };
        double lastNoise = 0.0;
        for (size_t f = 0; f < frames; ++f) {
            const double beat = std::floor(double(f) / beatFrames);
            const double dt = (double(f) - beat * beatFrames) / kRate;
            const int inBar = int(beat) % 4;
            const double n = noise();
            const double bright = n - lastNoise; // first difference: a high-passed noise
            lastNoise = n;

            const Kick& k = kick;
            const double phase = kTwoPi * (k.endHz * dt + (k.startHz - k.endHz) * k.sweepS *
                                                              (1 - std::exp(-dt / k.sweepS)));
            double drums = 10000.0 * std::min(1.0, dt / k.attackS) * std::exp(-dt / k.decayS) *
                           std::sin(phase);
            if (dt < 0.002)
                drums += k.click * n;
            if (inBar == 1 || inBar == 3)
                drums +=
                    std::exp(-dt / 0.05) * (2500.0 * std::sin(kTwoPi * 190.0 * dt) + 2000.0 * n);
            const double offbeat = dt - 0.5 * beatFrames / kRate;
            if (offbeat >= 0.0)
                drums += 1500.0 * std::exp(-offbeat / 0.015) * bright;
            const double marker = dt < 0.006 ? 1000.0 * std::sin(kTwoPi * markerHz * dt) : 0.0;
            out[2 * f] = int16_t(std::clamp(drums + marker, -32768.0, 32767.0));
            out[2 * f + 1] = int16_t(std::clamp(drums - marker, -32768.0, 32767.0));
        }
        return out;
    }

    bool write(const std::string& path) const {
        const std::vector<int16_t> samples = render();
        return writeWavFile(path, uint32_t(samples.size() / 2),
                            [&](uint32_t first, int count, int16_t* out) {
                                std::copy_n(samples.begin() + 2 * first, 2 * count, out);
                            });
    }
};

// Level of a tone in x[from, to), one value per sample: shifted down by hz and summed
// under a 4-ms Hann window that ends at the sample (so a burst is seen as it starts).
std::vector<float> toneLevel(const std::vector<float>& x, size_t from, size_t to, double hz) {
    const int window = kRate / 250;
    std::vector<double> taper(window);
    for (int j = 0; j < window; ++j)
        taper[j] = 0.5 - 0.5 * std::cos(kTwoPi * (j + 0.5) / window);
    const double w = kTwoPi * hz / kRate;
    const size_t first = from >= size_t(window) ? from - window : 0;
    std::vector<double> is(to - first), qs(to - first);
    for (size_t n = first; n < to; ++n) {
        is[n - first] = x[n] * std::cos(w * double(n));
        qs[n - first] = x[n] * std::sin(w * double(n));
    }
    std::vector<float> level(to - from, 0.0f);
    for (size_t k = std::max(from, first + window); k < to; ++k) {
        double i = 0, q = 0;
        for (int j = 0; j < window; ++j) {
            i += taper[j] * is[k + 1 - window + j - first];
            q += taper[j] * qs[k + 1 - window + j - first];
        }
        level[k - from] = float(std::hypot(i, q));
    }
    return level;
}

// Start times (s) of the marker bursts of one tone: where each burst's level first
// reaches a quarter of its own peak (low, so that a crossfader step during a burst does
// not move its start). The detection floor follows the level of the nearby bursts,
// so a deck faded far down by the crossfader is timed as well as a loud one.
std::vector<double> markerStarts(const std::vector<float>& x, double fromS, double toS, double hz) {
    const size_t from = size_t(fromS * kRate), to = std::min(x.size(), size_t(toS * kRate));
    std::vector<double> starts;
    if (to <= from + kRate / 10)
        return starts;
    const std::vector<float> level = toneLevel(x, from, to, hz);
    // The loudest level of each 10-ms stretch, then the floor from a third of a second
    // either side.
    const size_t stretch = kRate / 100, reach = 33;
    std::vector<float> loudest((level.size() + stretch - 1) / stretch, 0.0f);
    for (size_t k = 0; k < level.size(); ++k)
        loudest[k / stretch] = std::max(loudest[k / stretch], level[k]);
    std::vector<float> floors(loudest.size());
    for (size_t b = 0; b < loudest.size(); ++b) {
        const size_t lo = b > reach ? b - reach : 0, hi = std::min(loudest.size(), b + reach + 1);
        floors[b] = 0.2f * *std::max_element(loudest.begin() + lo, loudest.begin() + hi);
    }
    for (size_t k = 1; k < level.size(); ++k) {
        const float floor = floors[k / stretch];
        if (!(level[k] >= floor && level[k - 1] < floor) || floor <= 1.0f)
            continue;
        const size_t end = std::min(level.size(), k + kRate / 100);
        const float peak = *std::max_element(level.begin() + k, level.begin() + end);
        size_t j = k;
        while (j > 0 && level[j - 1] >= 0.25f * peak)
            --j;
        while (j < end && level[j] < 0.25f * peak)
            ++j;
        // A dip inside a burst (a crossfader step, or the ripple where the other deck's
        // marker leaks into a faded deck's detector) is not a new one: a burst and its
        // window last 10 ms, and two starts closer than that cannot be told apart.
        if (starts.empty() || double(from + j) / kRate > starts.back() + 0.010)
            starts.push_back(double(from + j) / kRate);
        while (k < level.size() && level[k] >= floor)
            ++k; // to the end of this burst
    }
    return starts;
}

struct Offsets {
    // Incoming kick minus outgoing kick, per beat; their mean, and the median and the
    // largest of their sizes.
    std::vector<double> ms;
    double mean = 0.0, median = 0.0, worst = 0.0;
    int doubled = 0;   // kicks of one deck closer than half a beat
    int unmatched = 0; // outgoing kicks with no incoming kick within a quarter beat
};

class BeatAlignmentTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.path(name); }
    // Renders the playlist and gathers the kick offsets of every crossfade.
    Offsets mixAndMeasure(bool masterTempo);

    ScratchDir dir_;
};

// Three kicks: a long deep sweep with a slow attack, a short punchy one with a click,
// and a low boom. Tempo ratios to the mix (124 BPM) of 3 %, 11 % and -6.5 %.
const DrumTrack kTracks[] = {
    {124.0, {150.0, 50.0, 0.040, 0.25, 0.003, 0.0}, 1300.0},
    {128.0, {220.0, 60.0, 0.012, 0.08, 0.0005, 3000.0}, 3700.0},
    {138.0, {95.0, 42.0, 0.060, 0.18, 0.0015, 0.0}, 1300.0},
    {116.0, {150.0, 50.0, 0.040, 0.25, 0.003, 0.0}, 3700.0},
};

Offsets BeatAlignmentTest::mixAndMeasure(bool masterTempo) {
    Offsets result;
    MixOptions options;
    for (size_t i = 0; i < std::size(kTracks); ++i) {
        options.inputs.push_back(path("drums" + std::to_string(i) + ".wav"));
        EXPECT_TRUE(kTracks[i].write(options.inputs.back()));
    }
    options.output = path(masterTempo ? "mt.wav" : "plain.wav");
    options.database = path(masterTempo ? "mt.db" : "plain.db");
    options.masterTempo = masterTempo;
    MixSummary summary;
    std::string error;
    EXPECT_TRUE(MixRenderer(options).run(&summary, &error)) << error;
    EXPECT_EQ(summary.tracks.size(), std::size(kTracks));
    // Half the difference of the channels: the markers alone.
    const std::vector<float> side = readMix(options.output, 0.5f, -0.5f);

    for (size_t i = 1; i < summary.tracks.size(); ++i) {
        const MixedTrack& in = summary.tracks[i];
        const MixedTrack& out = summary.tracks[i - 1];
        EXPECT_NEAR(kTracks[i].bpm * in.speed / 4096.0, kTracks[0].bpm, 0.5) << "track " << i;
        // Without Master Tempo a marker's pitch moves with its deck's speed.
        auto heardHz = [masterTempo](const DrumTrack& t, int32_t speed) {
            return masterTempo ? t.markerHz : t.markerHz * speed / 4096.0;
        };
        // From the first beat after the beat sync of the first tick is heard: its skip
        // reaches the output after the output's latency, and the jump itself is no kick.
        const double from = in.mixStart + kMixTickSeconds + kHeardAfterSeconds, to = in.mixEnd;
        const std::vector<double> incoming =
            markerStarts(side, from, to, heardHz(kTracks[i], in.speed));
        const std::vector<double> outgoing =
            markerStarts(side, from, to, heardHz(kTracks[i - 1], out.speed));
        const double beat = 60.0 / kTracks[0].bpm;
        for (const auto* kicks : {&incoming, &outgoing})
            for (size_t k = 1; k < kicks->size(); ++k)
                if ((*kicks)[k] - (*kicks)[k - 1] < 0.5 * beat)
                    ++result.doubled;
        EXPECT_GE(outgoing.size(), size_t((to - from) / beat) - 1) << "crossfade " << i;
        for (double t : outgoing) {
            double nearest = 1e9;
            for (double u : incoming)
                if (std::abs(u - t) < std::abs(nearest))
                    nearest = u - t;
            if (std::abs(nearest) > 0.25 * beat)
                ++result.unmatched;
            else
                result.ms.push_back(1000.0 * nearest);
        }
    }
    std::vector<double> sizes;
    for (double ms : result.ms)
        sizes.push_back(std::abs(ms));
    std::sort(sizes.begin(), sizes.end());
    if (!sizes.empty()) {
        result.mean = std::accumulate(result.ms.begin(), result.ms.end(), 0.0) / sizes.size();
        result.median = sizes[sizes.size() / 2];
        result.worst = sizes.back();
    }
    std::printf("%s: %zu beats, offset mean %.2f ms, median |offset| %.2f ms, worst %.2f ms, "
                "%d doubled, %d unmatched\n",
                masterTempo ? "Master Tempo" : "resampling", sizes.size(), result.mean,
                result.median, result.worst, result.doubled, result.unmatched);
    RecordProperty("median_us", int(std::lround(result.median * 1000)));
    RecordProperty("worst_us", int(std::lround(result.worst * 1000)));
    return result;
}

TEST_F(BeatAlignmentTest, KicksOfBothDecksCoincideInEveryBeatWithoutMasterTempo) {
    const Offsets o = mixAndMeasure(false);
    EXPECT_LE(o.worst, 3.0);
    EXPECT_EQ(o.doubled, 0);
    EXPECT_EQ(o.unmatched, 0);
}

// Splices keep every kick at the same distance from its ideal time, so the decks' kicks
// meet as closely as without Master Tempo.
TEST_F(BeatAlignmentTest, KicksOfBothDecksMeetWithMasterTempo) {
    const Offsets o = mixAndMeasure(true);
    EXPECT_LE(std::abs(o.mean), 2.0);
    EXPECT_LE(o.worst, 3.0);
    EXPECT_EQ(o.doubled, 0);
    EXPECT_EQ(o.unmatched, 0);
}

} // namespace
