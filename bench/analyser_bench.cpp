// Feeds minutes of generated music through the beat analyser, as the audio thread
// does, and prints how many times faster than real time it runs.
//
// Usage: bench_analyser [minutes]   (default 10)

#include "audio/analyser/BeatAnalyser.h"
#include "tests/audio/ClickTrack.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kDecoderBlock = 1152;
constexpr int kLoopBlocks = 1148; // about 30 s of music, rendered once and looped

struct Result {
    double seconds;
    long blocks;
};

Result run(const std::vector<int16_t>& music, long blocks) {
    std::atomic<int32_t> decoding{1};
    std::vector<float> frameTimes(256, 0.0f);
    auto analyser = std::make_unique<BeatAnalyser>(AnalyserOwner{&decoding, frameTimes.data()});
    TrackAnalysis record;
    TrackEntry entry;
    analyser->attach(&record, &entry);

    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; n < blocks; ++n) {
        frameTimes[analyser->blockWrite() / 32] = static_cast<float>(n) / blocks;
        analyser->addFrame(music.data() + (n % kLoopBlocks) * 2 * kDecoderBlock);
    }
    const auto end = std::chrono::steady_clock::now();
    std::printf("  tempo %.2f BPM, peak %d, loudness %d\n", entry.bpm.load(),
                record.peakEnergy.load(), record.loudness.load());
    return {std::chrono::duration<double>(end - start).count(), blocks};
}

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!(minutes > 0.0)) {
        std::fprintf(stderr, "usage: bench_analyser [minutes]\n");
        return 2;
    }
    std::vector<int16_t> music(size_t(kLoopBlocks) * 2 * kDecoderBlock);
    ClickTrack track{.bpm = 126.0, .noise = 3000.0};
    track.render(0, kLoopBlocks * kDecoderBlock, music.data());

    const long blocks = static_cast<long>(minutes * 60.0 * 44100.0 / kDecoderBlock);
    const double audioSeconds = blocks * double(kDecoderBlock) / 44100.0;
    std::printf("beat analyser: %.1f minutes of audio (%ld decoder blocks)\n", audioSeconds / 60.0,
                blocks);
    const Result r = run(music, blocks);
    std::printf("  %.3f s, %.1f us per decoder block, %.0f x real time\n", r.seconds,
                r.seconds * 1e6 / r.blocks, audioSeconds / r.seconds);
    return 0;
}
