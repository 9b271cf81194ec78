// Cost of the program's own effects on the audio thread:
//   bench_dsp [PLUGIN] [SECONDS]
// Runs each effect of the plug-in file (default: plugins/dsp_zorvendal.so beside this
// program) over SECONDS of music-like sound (default 600) in the deck's blocks of
// 3088 frames, and prints the thread's CPU time as a share of one core while one
// deck plays in real time.

#include "audio/dsp/PluginCatalogue.h"
#include "audio/dsp/WinampDspPlugin.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kStepFrames = 3088; // one rendering step of a deck

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A bass line, a chord and noise, different on the two channels, 10 s long.
std::vector<Frame> music() {
    std::vector<Frame> frames(size_t(10 * kSampleRate));
    uint32_t seed = 1;
    for (size_t i = 0; i < frames.size(); ++i) {
        const double t = double(i) / kSampleRate;
        seed = seed * 1664525u + 1013904223u;
        const double noise = double(int32_t(seed) >> 20) / 2048.0;
        const double bass = std::sin(2 * M_PI * 55.0 * t) * (std::fmod(t, 0.5) < 0.25 ? 1 : 0.3);
        const double chord = std::sin(2 * M_PI * 440.0 * t) + std::sin(2 * M_PI * 554.4 * t);
        frames[i] = makeFrame(int16_t(9000 * bass + 3000 * chord + 1500 * noise),
                              int16_t(9000 * bass - 3000 * chord + 1500 * noise));
    }
    return frames;
}

} // namespace

int main(int argc, char** argv) {
    const std::string plugin = argc > 1
                                   ? argv[1]
                                   : (std::filesystem::canonical("/proc/self/exe").parent_path() /
                                      "plugins" / "dsp_zorvendal.so")
                                         .string();
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 600;
    std::vector<std::string> effects;
    std::string error;
    if (!listModules(plugin, &effects, &error)) {
        std::fprintf(stderr, "bench_dsp: %s: %s\n", plugin.c_str(), error.c_str());
        return 1;
    }
    const std::vector<Frame> source = music();
    std::vector<Frame> block(2 * kStepFrames);
    std::printf("%-40s %10s %14s\n", "effect", "cpu s", "% of one core");
    for (int m = 0; m < int(effects.size()); ++m) {
        WinampDspPlugin effect(plugin, m);
        if (!effect.loaded()) {
            std::fprintf(stderr, "bench_dsp: %s: %s\n", effects[size_t(m)].c_str(),
                         effect.error().c_str());
            return 1;
        }
        const int64_t total = int64_t(seconds) * kSampleRate;
        size_t at = 0;
        const double start = threadSeconds();
        for (int64_t done = 0; done < total; done += kStepFrames) {
            for (int i = 0; i < kStepFrames; ++i, at = (at + 1) % source.size())
                block[size_t(i)] = source[at];
            effect.process(block.data(), kStepFrames);
        }
        const double cpu = threadSeconds() - start;
        std::printf("%-40s %10.3f %14.3f\n", effects[size_t(m)].c_str(), cpu,
                    100.0 * cpu / seconds);
    }
    return 0;
}
