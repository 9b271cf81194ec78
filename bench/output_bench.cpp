// The audio thread's cost with both decks playing with Master Tempo (speeds 4300 and
// 3900) on the real-time virtual card, in Hard Mix and in Soft Mix: the thread's CPU
// use (its own CPU clock over the run; also over 5 s with both decks paused: the cost
// of the loop's own turns), the round trip of deck commands posted every 10 ms from
// this thread, and the soft-mix arithmetic alone per second of sound.
//
// Usage: bench_output [SECONDS] [FILE]
//   SECONDS  measured time per output kind (default 20), after 8 s of warm-up
//   FILE     the track both decks play (".wav" or MP3); by default a 3-minute WAV of
//            tones and beats written to the temporary folder

#include "audio/card/VirtualCard.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/MemoryTrackStore.h"
#include "audio/deck/SoundOutput.h"
#include "audio/output/AudioEngine.h"
#include "audio/output/SoftMixKernel.h"
#include "audio/recorder/WavWriter.h"
#include "core/Settings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Three minutes of a 120 bpm beat over two tones, as a WAV file.
std::string writeTrack() {
    const std::string path =
        (std::filesystem::temp_directory_path() / "zv-bench-output.wav").string();
    const int64_t frames = int64_t{180} * kSampleRate;
    std::vector<uint8_t> bytes(kWavHeaderBytes + frames * kWavFrameBytes);
    makeWavHeader(bytes.data(), frames);
    for (int64_t n = 0; n < frames; ++n) {
        const double t = double(n) / kSampleRate;
        const double beat = std::fmod(t, 0.5);
        const double kick =
            beat < 0.08 ? std::sin(2 * std::numbers::pi * 60 * t) * (1 - beat / 0.08) : 0;
        const double left = 0.3 * std::sin(2 * std::numbers::pi * 220 * t) + 0.5 * kick;
        const double right = 0.3 * std::sin(2 * std::numbers::pi * 330 * t) + 0.5 * kick;
        const auto l = static_cast<int16_t>(std::lround(left * 30000));
        const auto r = static_cast<int16_t>(std::lround(right * 30000));
        putFrameBytes(bytes.data() + kWavHeaderBytes + n * kWavFrameBytes, makeFrame(l, r));
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * double(v.size())));
    return v[i];
}

void runEngine(int outputMode, int seconds, const std::string& path) {
    settings().outputMode = outputMode;
    AudioEngineOptions options;
    options.systemVolumes = false;
    options.openDevice = [](const SoundCardId*, bool, int pairs,
                            std::unique_ptr<SoundDevice>* device) {
        *device = VirtualCard::createRealTime({}, pairs);
        return SoundResult::Ok;
    };
    auto engine = createAudioEngine(options);
    if (!engine->isRunning()) {
        std::fprintf(stderr, "bench_output: the engine did not start\n");
        std::exit(1);
    }
    const int speeds[2] = {4300, 3900};
    for (int d = 0; d < 2; ++d) {
        Deck* deck = deckAt(d);
        TrackRecord record;
        record.path = path;
        if (!deck->load(record)) {
            std::fprintf(stderr, "bench_output: cannot load %s\n", path.c_str());
            std::exit(1);
        }
        deck->setSpeed(speeds[d]);
    }
    engine->output()->setCrossfader(192);
    // The loop's own cost: decks loaded and paused (their rings full), output turning.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double idleCpu = engine->threadCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double idlePercent = 100.0 * (engine->threadCpuSeconds() - idleCpu) / 5.0;
    for (int d = 0; d < 2; ++d)
        deckAt(d)->play();
    std::this_thread::sleep_for(std::chrono::seconds(2));

    std::vector<double> roundTrips;
    const double cpuStart = engine->threadCpuSeconds();
    const auto wallStart = Clock::now();
    const auto end = wallStart + std::chrono::seconds(seconds);
    for (int i = 0; Clock::now() < end; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto posted = Clock::now();
        deckAt(i % 2)->postCommand(DeckCommand::Nothing);
        roundTrips.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
    }
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    const double cpu = engine->threadCpuSeconds() - cpuStart;
    std::printf("%s: audio thread CPU %.2f %% of one core over %.1f s (idle loop %.2f %%, "
                "%.0f turns/s); deck command round trip p50 %.3f ms, p99 %.3f ms, max %.3f ms "
                "(%zu commands); positions %.3f %.3f\n",
                outputMode == 1 ? "Soft Mix" : "Hard Mix", 100.0 * cpu / wall, wall, idlePercent,
                double(engine->turns()) / (wall + 8.0), percentile(roundTrips, 0.5),
                percentile(roundTrips, 0.99), percentile(roundTrips, 1.0), roundTrips.size(),
                deckAt(0)->position.load(), deckAt(1)->position.load());
    for (int d = 0; d < 2; ++d)
        deckAt(d)->pause();
}

// The soft-mix arithmetic alone: both decks mixed, per second of sound.
void benchSoftMixKernel() {
    std::vector<Frame> a(kSampleRate), b(kSampleRate), out(kSampleRate);
    for (int i = 0; i < kSampleRate; ++i) {
        a[i] = makeFrame(static_cast<int16_t>(i * 7), static_cast<int16_t>(-i * 5));
        b[i] = makeFrame(static_cast<int16_t>(i * 3), static_cast<int16_t>(i * 11));
    }
    constexpr int kSeconds = 2000;
    uint32_t sink = 0;
    const auto start = Clock::now();
    for (int s = 0; s < kSeconds; ++s) {
        mixTwoDecks(out.data(), a.data(), b.data(), kSampleRate, 49152 - (s & 1), 30000);
        sink += out[static_cast<size_t>(s) % out.size()];
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("Soft Mix arithmetic (two decks): %.1f us per second of sound (%.4f %% of one "
                "core) [%u]\n",
                1e6 * seconds / kSeconds, 100.0 * seconds / kSeconds, sink & 1);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string path = argc > 2 ? argv[2] : writeTrack();
    Settings& s = settings();
    s.masterTempo = 1;
    s.autoBpm = 0;
    s.autoLevel = 0;
    s.crossfader = 0;
    s.limitPitch = 0;
    MemoryTrackStore store;
    setTrackStore(&store);
    std::unique_ptr<Deck> deck0 = std::make_unique<Deck>(0);
    std::unique_ptr<Deck> deck1 = std::make_unique<Deck>(1);
    decks()[0] = deck0.get();
    decks()[1] = deck1.get();

    runEngine(0, seconds, path);
    runEngine(1, seconds, path);
    benchSoftMixKernel();

    decks()[0] = nullptr;
    decks()[1] = nullptr;
    setTrackStore(nullptr);
    return 0;
}
