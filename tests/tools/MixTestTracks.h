#pragma once
// Generated tracks for the tools' tests, written as 44100 Hz 16-bit stereo WAV files:
// ClickTrack music as it is, or with a marker tone that tells the track apart in a mix.

#include "tests/audio/ClickTrack.h"
#include "tests/audio/WavCheck.h"

#include <functional>

// Writes `frames` frames that render(first, count, samples) fills in blocks.
inline bool writeWavFile(const std::string& path, uint32_t frames,
                         const std::function<void(uint32_t, int, int16_t*)>& render) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fwrite(wavHeader(frames).data(), 1, 44, f);
    std::vector<int16_t> block(2 * 4096);
    for (uint32_t first = 0; first < frames; first += 4096) {
        const int count = int(std::min<uint32_t>(4096, frames - first));
        render(first, count, block.data());
        std::fwrite(block.data(), 4, count, f);
    }
    return std::fclose(f) == 0;
}

// l x left + r x right of each frame of a 44100 Hz 16-bit stereo WAV file with a 44-byte
// header (what writeWavFile and the recorder write).
inline std::vector<float> readMix(const std::string& path, float l, float r) {
    std::vector<float> mix;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return mix;
    std::fseek(f, 44, SEEK_SET);
    std::vector<int16_t> block(2 * 65536);
    size_t frames;
    while ((frames = std::fread(block.data(), 4, 65536, f)) > 0)
        for (size_t i = 0; i < frames; ++i)
            mix.push_back(l * block[2 * i] + r * block[2 * i + 1]);
    std::fclose(f);
    return mix;
}

inline bool writeClickWav(const std::string& path, ClickTrack click, double seconds) {
    return writeWavFile(
        path, uint32_t(seconds * ClickTrack::kRate),
        [&](uint32_t first, int count, int16_t* out) { click.render(first, count, out); });
}

// A kick-like thump on every beat (what the beat analyser follows) and, at the start of
// each beat, a short burst of a marker tone.
struct MixTestTrack {
    double bpm = 120.0;
    double seconds = 60.0;
    double markerHz = 700.0;
    uint32_t seed = 1;

    static constexpr double kMarkerSeconds = 0.015;
    static constexpr double kMarkerAmplitude = 6000.0;

    bool write(const std::string& path) const {
        ClickTrack click;
        click.bpm = bpm;
        click.amplitude = 16000.0;
        click.seed = seed;
        const double beatFrames = 60.0 * ClickTrack::kRate / bpm;
        const double twoPi = 2.0 * std::acos(-1.0);
        return writeWavFile(
            path, uint32_t(seconds * ClickTrack::kRate),
            [&](uint32_t first, int count, int16_t* out) {
                click.render(first, count, out);
                for (int i = 0; i < count; ++i) {
                    const double frame = double(first + i);
                    const double sinceBeat =
                        (frame - std::floor(frame / beatFrames) * beatFrames) / ClickTrack::kRate;
                    if (sinceBeat >= kMarkerSeconds)
                        continue;
                    const double m = kMarkerAmplitude * std::sin(twoPi * markerHz * sinceBeat);
                    for (int c = 0; c < 2; ++c)
                        out[2 * i + c] = int16_t(std::clamp(out[2 * i + c] + m, -32768.0, 32767.0));
                }
            });
    }
};
