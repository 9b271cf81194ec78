#pragma once
// Generated test music: a decaying kick-like thump on every beat (a tone falling from
// 100 Hz to 60 Hz, dying away in about 60 ms) over a little white noise, with optional
// quiet sections. Deterministic, so a failing case can be reproduced.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct ClickTrack {
    double bpm = 120.0;
    double amplitude = 20000.0; // peak of the thump
    double noise = 300.0;       // peak of the white noise
    double loudFromS = 0.0;     // outside [loudFromS, loudToS) the signal is quietGain
    double loudToS = 1e9;
    double quietGain = 1.0;
    uint32_t seed = 12345;

    static constexpr int kRate = 44100;

    // Fills frames [first, first + count) as interleaved 16-bit stereo samples.
    void render(int64_t first, int count, int16_t* out) {
        const double beatFrames = 60.0 * kRate / bpm;
        const double twoPi = 2.0 * std::acos(-1.0);
        for (int i = 0; i < count; ++i) {
            const int64_t f = first + i;
            const double beat = std::floor(static_cast<double>(f) / beatFrames);
            const double dt = (static_cast<double>(f) - beat * beatFrames) / kRate;
            const double phase = twoPi * (60.0 * dt + 40.0 * 0.03 * (1.0 - std::exp(-dt / 0.03)));
            const double thump = amplitude * std::exp(-dt / 0.06) * std::sin(phase);
            const double t = static_cast<double>(f) / kRate;
            const double gain = (t >= loudFromS && t < loudToS) ? 1.0 : quietGain;
            for (int c = 0; c < 2; ++c) {
                const double s = gain * (thump + noise * nextNoise());
                out[2 * i + c] = static_cast<int16_t>(std::clamp(s, -32768.0, 32767.0));
            }
        }
    }

private:
    double nextNoise() { // uniform in [-1, 1)
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    }
};
