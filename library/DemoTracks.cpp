#include "library/DemoTracks.h"

#include "audio/recorder/WavWriter.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {

constexpr double kRate = 44100.0;

// A small deterministic noise source, so every run writes the same files.
struct Noise {
    uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return double(int32_t(state)) / 2147483648.0;
    }
};

// Adds a sound into a stereo float buffer at a frame, panned (-1 left .. 1 right).
template <typename Voice>
void addVoice(std::vector<float>& left, std::vector<float>& right, size_t at, double seconds,
              double pan, Voice voice) {
    const size_t n = size_t(seconds * kRate);
    const float gl = float(std::sqrt(0.5 * (1.0 - pan))), gr = float(std::sqrt(0.5 * (1.0 + pan)));
    for (size_t i = 0; i < n && at + i < left.size(); ++i) {
        const float v = float(voice(double(i) / kRate));
        left[at + i] += v * gl;
        right[at + i] += v * gr;
    }
}

double noteHz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

} // namespace

const std::vector<DemoTrack>& demoTracks() {
    static const std::vector<DemoTrack> tracks = {
        {"Zorvendal Demo - Night Shift.wav", 122.0, 33, 11},  // A
        {"Zorvendal Demo - Copper Lines.wav", 126.0, 36, 23}, // C
        {"Zorvendal Demo - Blue Hour.wav", 130.0, 31, 37},    // G
    };
    return tracks;
}

std::vector<uint32_t> renderDemoTrack(const DemoTrack& track, double seconds) {
    const size_t frames = size_t(seconds * kRate);
    std::vector<float> left(frames, 0.0f), right(frames, 0.0f);
    Noise noise{track.seed};
    const double beat = 60.0 / track.bpm;
    const int beats = int(seconds / beat);
    const int introBeats = 32, outroBeats = 32; // eight bars of drums at each end
    // A minor progression, one chord root per bar: i, VI, III, VII.
    const int progression[4] = {0, -4, 3, -2};
    // Sixteenth-note bass rhythm (1 = note) and its octave jumps.
    const int bassSteps[16] = {0, 0, 1, 1, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1};
    const int bassOctave[16] = {0, 0, 0, 12, 0, 0, 12, 0, 0, 0, 0, 12, 0, 0, 7, 0};

    for (int b = 0; b < beats; ++b) {
        const size_t at = size_t(b * beat * kRate);
        const bool main = b >= introBeats && b < beats - outroBeats;
        // Kick on every beat: a falling sine with a click.
        addVoice(left, right, at, 0.35, 0.0, [](double t) {
            const double phase = 2 * M_PI * (50.0 * t + 100.0 * 0.03 * (1 - std::exp(-t / 0.03)));
            return 0.9 * std::sin(phase) * std::exp(-t / 0.22) + 0.3 * std::exp(-t / 0.002);
        });
        // Closed hats on the off-beats, panned a little right.
        addVoice(left, right, at + size_t(beat * kRate / 2), 0.06, 0.3,
                 [&noise, last = 0.0](double t) mutable {
                     const double n = noise.next();
                     const double high = n - last; // a first difference keeps the hiss bright
                     last = n;
                     return 0.22 * high * std::exp(-t / 0.018);
                 });
        if (!main)
            continue;
        // Clap on beats 2 and 4.
        if (b % 2 == 1) {
            addVoice(left, right, at, 0.2, -0.15, [&noise, last = 0.0](double t) mutable {
                // Three quick hand hits, then the room: noise thinned of its lows.
                const double n = noise.next(), bright = n - 0.6 * last;
                last = n;
                const double hits = t < 0.025 ? 0.5 + 0.5 * std::cos(t * 2 * M_PI * 120) : 1.0;
                return 0.22 * bright * std::exp(-t / 0.045) * hits +
                       0.12 * std::sin(2 * M_PI * 190 * t) * std::exp(-t / 0.03);
            });
        }
        // Bass: four sixteenths per beat on the bar's chord root.
        const int bar = b / 4;
        const int root = track.rootNote + progression[bar % 4];
        for (int s = 0; s < 4; ++s) {
            const int step = (b % 4) * 4 + s;
            if (!bassSteps[step])
                continue;
            const double hz = noteHz(root + bassOctave[step]);
            const double length = beat / 4 * 0.9;
            addVoice(left, right, at + size_t(s * beat / 4 * kRate), length, 0.0,
                     [hz, length](double t) {
                         // A saw with its upper partials rolled off: warm, not buzzy.
                         double v = 0.0;
                         for (int k = 1; k <= 6; ++k)
                             v += std::sin(2 * M_PI * hz * k * t) / (k * k * 0.6 + 0.4);
                         const double envelope =
                             std::min(1.0, t / 0.004) * std::min(1.0, (length - t) / 0.01);
                         return 0.28 * v * envelope;
                     });
        }
        // A soft stab on the first beat of every other bar.
        if (b % 8 == 0) {
            addVoice(left, right, at + size_t(beat / 2 * kRate), beat * 0.8, 0.0, [&](double t) {
                double v = 0.0;
                for (int interval : {12, 15, 19})
                    v += std::sin(2 * M_PI * noteHz(root + 24 + interval) * t);
                return 0.06 * v * std::exp(-t / 0.25) * std::min(1.0, t / 0.01);
            });
        }
    }

    std::vector<uint32_t> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        // A gentle limiter keeps the summed voices inside 16 bits without harsh clipping.
        auto sample = [](float v) {
            const double limited = std::tanh(double(v) * 0.9);
            return uint32_t(uint16_t(int16_t(std::lround(limited * 30000.0))));
        };
        out[i] = sample(left[i]) | sample(right[i]) << 16;
    }
    return out;
}

int writeDemoTracks(const std::string& folder, double seconds, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    int written = 0;
    for (const DemoTrack& track : demoTracks()) {
        const std::string path = folder + "/" + track.fileName;
        if (std::filesystem::exists(path, ec)) {
            ++written;
            continue;
        }
        // Written under a temporary name first, so a cut-off run leaves no half track.
        const std::string partial = path + ".part";
        const std::vector<uint32_t> frames = renderDemoTrack(track, seconds);
        std::vector<uint8_t> bytes(frames.size() * kWavFrameBytes);
        for (size_t i = 0; i < frames.size(); ++i)
            putFrameBytes(&bytes[i * kWavFrameBytes], frames[i]);
        WavWriter writer;
        if (!writer.create(partial, error))
            return written;
        const bool complete =
            writer.append(bytes.data(), int64_t(frames.size())) == int64_t(frames.size());
        writer.finish();
        if (!complete) {
            if (error)
                *error = "the disk is full";
            std::filesystem::remove(partial, ec);
            return written;
        }
        std::filesystem::rename(partial, path, ec);
        if (ec) {
            if (error)
                *error = ec.message();
            return written;
        }
        ++written;
    }
    return written;
}
