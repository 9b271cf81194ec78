#include "audio/output/AudioEngine.h"

#include "audio/card/SystemVolumes.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/output/HardMixOutput.h"
#include "audio/output/SoftMixOutput.h"
#include "core/Settings.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <system_error>

namespace {

// A real-time priority below the sound server's own threads (PipeWire's data loop runs
// at 88), so the program never starves the thread that plays its buffers.
constexpr int kRealTimePriority = 70;

// Real-time scheduling when the system grants it (an rtprio limit, as the "audio" group
// usually has, or CAP_SYS_NICE); the thread runs at normal priority otherwise, silently.
void tryRealTimeScheduling() {
    sched_param param{};
    param.sched_priority = std::min(kRealTimePriority, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

} // namespace

std::unique_ptr<SoundOutput> createSoundOutput(int outputMode, const SoundDeviceOpener& opener,
                                               const OutputCardChoice& cards) {
    const SoundConfiguration config = soundConfiguration(outputMode);
    OutputDevices devices;
    openOutputDevices(opener, cards, config.cards, &devices);
    const OutputLayout layout = outputLayoutFor(config, devices.layout);
    if (layout.softMix)
        return std::make_unique<SoftMixOutput>(std::move(devices), layout);
    return std::make_unique<HardMixOutput>(std::move(devices), layout);
}

AudioEngine::AudioEngine(AudioEngineOptions options) : options_(std::move(options)) {
    if (!options_.openDevice)
        options_.openDevice = systemSoundDeviceOpener();
    const Settings& s = settings();
    if (options_.systemVolumes && s.multiInstance.load(std::memory_order_relaxed) == 0) {
        saveSystemVolumes();
        volumesSaved_ = true;
    }
    output_ = createSoundOutput(s.outputMode.load(std::memory_order_relaxed), options_.openDevice,
                                outputCardChoiceFromSettings());
    // Release: a thread that loads the pointer with acquire sees the built output.
    currentSoundOutput().store(output_.get(), std::memory_order_release);
}

AudioEngine::~AudioEngine() {
    if (thread_.joinable()) {
        stop_.store(true, std::memory_order_release);
        thread_.join();
        audioLoopRunning().store(false, std::memory_order_release);
    }
    currentSoundOutput().store(nullptr, std::memory_order_release);
    output_.reset();
    if (volumesSaved_)
        restoreSystemVolumes();
}

bool AudioEngine::start() {
    assert(!onAudioThread());
    if (!output_->isReady())
        return false;
    if (!options_.ownThread || thread_.joinable())
        return true;
    stop_.store(false, std::memory_order_relaxed);
    // Before the thread exists: from now on commands wait for the audio thread.
    audioLoopRunning().store(true, std::memory_order_release);
    try {
        thread_ = std::thread([this] { run(); });
        threadHandle_ = thread_.native_handle();
    } catch (const std::system_error&) {
        audioLoopRunning().store(false, std::memory_order_release);
        reportSoundFailure(kThreadFailureMessage);
        return false;
    }
    return true;
}

void AudioEngine::run() {
    markAudioThread();
    if (options_.realTimePriority)
        tryRealTimeScheduling();
    while (!stop_.load(std::memory_order_acquire)) {
        turn();
        std::this_thread::sleep_for(options_.turnPause);
    }
}

void AudioEngine::turn() {
    SoundOutput* out = output_.get();
    out->poll();
    if (Deck* deck = deckAt(0))
        deck->serve();
    if (Deck* deck = deckAt(1))
        deck->serve();
    out->submit();
    turns_.fetch_add(1, std::memory_order_relaxed);
}

void AudioEngine::runTurn() {
    assert(!thread_.joinable());
    if (!thread_.joinable())
        turn();
}

bool AudioEngine::deviceLost() const {
    return output_->deviceLost();
}

void AudioEngine::retireRecorders() {
    output_->retireRecorder(false);
}

double AudioEngine::threadCpuSeconds() const {
    if (!thread_.joinable())
        return 0.0;
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(threadHandle_, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::unique_ptr<AudioEngine> createAudioEngine(AudioEngineOptions options) {
    auto engine = std::make_unique<AudioEngine>(std::move(options));
    engine->start();
    return engine;
}
