#include "audio/deck/Resampler.h"
#include "core/HotLoop.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr int kTaps = kResampleHistoryFrames + kResampleLookaheadFrames; // 16
constexpr int kPhaseBits = 12;
constexpr int kTableBits = 10;                // 1024 sub-frame positions
constexpr int kTablePhases = 1 << kTableBits; // timing error below 1/2048 frame
constexpr int kCoefficientBits = 14;          // Q14: 1.0 = 16384
constexpr double kCutoff = 0.47;              // of the sample rate: passes 20.7 kHz
constexpr double kKaiserBeta = 7.0;           // side lobes near -70 dB
// Speeding up, the output's Nyquist frequency lies lower in the input by the speed:
// content above it would fold back into the audible band. One table per band of
// speeds above normal (4.2 % each, up to 5464), cut off for the top of its band.
constexpr int kBandSpeeds = 4096 / 24;
constexpr int kSpeedBands = 8;

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// One row of 16 taps per sub-frame position. Tap k weighs input frame k - 7 relative to
// the frame the phase stands on; each row sums to exactly 1.0 so a constant passes
// unchanged at every position.
struct Kernel {
    std::array<std::array<int16_t, kTaps>, kTablePhases + 1> rows{};
    explicit Kernel(double cutoff) {
        const double half = kTaps / 2.0;
        for (int p = 0; p <= kTablePhases; ++p) {
            const double fraction = double(p) / kTablePhases;
            std::array<double, kTaps> h{};
            double sum = 0.0;
            for (int k = 0; k < kTaps; ++k) {
                const double t = (k - (kResampleHistoryFrames - 1)) - fraction;
                const double x = 2.0 * cutoff * t;
                const double sinc = x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
                const double r = t / half;
                const double window =
                    r * r < 1.0 ? besselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) : 0.0;
                h[k] = 2.0 * cutoff * sinc * window / besselI0(kKaiserBeta);
                sum += h[k];
            }
            // Rounded so that the row sums to 1.0 exactly: the largest tap takes the rest.
            int total = 0, largest = 0;
            for (int k = 0; k < kTaps; ++k) {
                rows[p][k] =
                    static_cast<int16_t>(std::lround(h[k] / sum * (1 << kCoefficientBits)));
                total += rows[p][k];
                if (rows[p][k] > rows[p][largest])
                    largest = k;
            }
            rows[p][largest] =
                static_cast<int16_t>(rows[p][largest] + (1 << kCoefficientBits) - total);
        }
    }
};

// Table 0 for normal speed and below, table b for speeds up to 4096 + b x kBandSpeeds.
struct Kernels {
    std::array<Kernel, kSpeedBands + 1> bands;
    Kernels() : bands(make(std::make_index_sequence<kSpeedBands + 1>())) {}
    template <size_t... B>
    static std::array<Kernel, kSpeedBands + 1> make(std::index_sequence<B...>) {
        return {Kernel(kCutoff * 4096.0 / (4096.0 + double(B) * kBandSpeeds))...};
    }
    const Kernel& forSpeed(int32_t speed) const {
        const int32_t band = (speed - 4096 + kBandSpeeds - 1) / kBandSpeeds;
        return bands[std::clamp(band, 0, kSpeedBands)];
    }
};

// Built before main(), never on the audio thread.
const Kernels kKernels;

int16_t saturate(int32_t v) {
    return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

} // namespace

// The sum of |taps| stays below 1.3 in Q14, so 16 products of full-scale samples fit 32
// bits with room to spare.
ZV_HOT_LOOP int32_t resampleInterpolated(Frame* out, const Frame* input, int32_t frames,
                                         int32_t speed, int32_t& phase) {
    constexpr int kShift = kPhaseBits - kTableBits;
    if (speed == 1 << kPhaseBits && phase == 0) {
        // Normal speed lands on whole frames: the sound passes untouched.
        for (int32_t i = 0; i < frames; ++i)
            out[i] = input[i];
        return frames;
    }
    const Kernel& kernel = kKernels.forSpeed(speed);
    int32_t used = 0;
    int32_t p = phase;
    for (int32_t i = 0; i < frames; ++i) {
        // Rounded to the nearest row; row kTablePhases is the next frame's position.
        const int16_t* taps = kernel.rows[(p + (1 << (kShift - 1))) >> kShift].data();
        const Frame* x = input + used - (kResampleHistoryFrames - 1);
        int32_t left = 1 << (kCoefficientBits - 1), right = 1 << (kCoefficientBits - 1);
        for (int k = 0; k < kTaps; ++k) {
            left += int32_t{frameLeft(x[k])} * taps[k];
            right += int32_t{frameRight(x[k])} * taps[k];
        }
        out[i] = makeFrame(saturate(left >> kCoefficientBits), saturate(right >> kCoefficientBits));
        p += speed;
        used += p >> kPhaseBits;
        p &= (1 << kPhaseBits) - 1;
    }
    phase = p;
    return used;
}

int32_t resampleNearest(Frame* out, const Frame* input, int32_t frames, int32_t speed,
                        int32_t& phase) {
    int32_t used = 0;
    int32_t p = phase;
    for (int32_t i = 0; i < frames; ++i) {
        out[i] = input[used];
        p += speed;
        used += p >> kPhaseBits;
        p &= (1 << kPhaseBits) - 1;
    }
    phase = p;
    return used;
}
