#pragma once
// The audio engine: the sound output chosen by the current configuration and the
// audio thread that drives it. One turn of the audio thread is poll() on the output,
// Deck::serve of deck 0, then of deck 1, submit() on the output, then a sleep of 1 ms;
// decoding, analysis and rendering all happen inside the decks' service. While the
// engine exists it raises the system's playback volume to the maximum (unless
// MultiInstance is on) and puts it back when it ends.
//
// Life: construct (creation steps: system volumes, output for the `Output mode`
// setting on the configured cards), then start() (the audio thread). createAudioEngine()
// does both, as window creation wants; applying a sound configuration constructs, re-
// anchors the playing decks on the new output while no thread runs yet, then starts.
// The decks (the deck table) must exist before start() and outlive the engine.
//
// When the output cannot open its card the deferred fatal message says why, the engine
// has no thread and the program runs on without sound: deck commands are then carried
// out on the posting thread (see Deck::postCommand).
//
// A card lost while playing (unplugged, a stream error) leaves the audio thread turning:
// the decks are still served and every command returns, but no position advances.
// deviceLost() then says so, and the user interface replaces the engine with one for
// the same configuration (recoverLostSoundDevice), which re-opens the named card or
// falls back to the default device, and ends a running recording with its file
// complete.
//
// Threading: everything here on the user-interface thread, except that the audio
// thread runs the loop. Manual mode (options.ownThread false: tests and the offline
// mix tool) has no thread: the caller turns the loop with runTurn() on its own thread,
// which is then the only thread touching decks and output.

#include "audio/output/OutputDevices.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include <pthread.h>

class SoundOutput;

inline constexpr const char* kThreadFailureMessage =
    "Multi-thread operation impossible. You must execute Zorvendal from a multi-thread OS";

struct AudioEngineOptions {
    // Opens the cards; the system's cards when empty.
    SoundDeviceOpener openDevice;
    // False: no audio thread; the caller calls runTurn().
    bool ownThread = true;
    // The audio thread asks for real-time scheduling (refusal is silently accepted).
    bool realTimePriority = true;
    // Raise and restore the system's playback volume (unless MultiInstance is on).
    // Tests and tools that must not touch the machine's mixer turn it off.
    bool systemVolumes = true;
    // The audio thread's sleep after each turn. Tests that step a virtual clock in
    // lockstep with the thread shorten it to run many turns quickly.
    std::chrono::microseconds turnPause{1000};
};

class AudioEngine {
public:
    // Creation steps 1 to 3: system volumes, the output for `Output mode` on the cards
    // of the settings, published as the current output. No thread yet.
    explicit AudioEngine(AudioEngineOptions options = {});
    // Stops and joins the audio thread, clears and destroys the output (ending a
    // recording with its file complete), puts the system volumes back.
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // Creation step 4: starts the audio thread. False when the output is not ready (no
    // thread, the message was set when the card failed) or the thread cannot be
    // created (the "Multi-thread operation impossible" message). In manual mode it
    // only reports whether the output is ready.
    bool start();

    // Manual mode: one turn of the loop (poll, serve deck 0, serve deck 1, submit),
    // without the sleep.
    void runTurn();

    // The output (never null after construction; it may not be ready).
    SoundOutput* output() const { return output_.get(); }
    bool isRunning() const { return thread_.joinable(); }
    bool deviceLost() const;
    // Destroys a recorder the audio thread let go of, once its file is finished. For the
    // user interface's display timer.
    void retireRecorders();
    // Turns completed by the audio thread (or runTurn); relaxed, a progress count.
    uint64_t turns() const { return turns_.load(std::memory_order_relaxed); }
    // CPU time used by the audio thread so far (0 without a thread).
    double threadCpuSeconds() const;
    const AudioEngineOptions& options() const { return options_; }

private:
    void run();
    void turn();

    AudioEngineOptions options_;
    std::unique_ptr<SoundOutput> output_;
    bool volumesSaved_ = false;
    // Written by the user-interface thread, read by the audio thread at every turn;
    // release/acquire so that the thread's last turn sees what was done before the stop.
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> turns_{0};
    std::thread thread_;
    pthread_t threadHandle_{}; // for the thread's CPU clock, valid while thread_ runs
};

// Window creation: constructs the engine and starts its thread.
std::unique_ptr<AudioEngine> createAudioEngine(AudioEngineOptions options = {});

// The output for a configuration row on the given cards (opened here). Not ready, with
// the deferred fatal message set, when card 1 cannot be opened.
std::unique_ptr<SoundOutput> createSoundOutput(int outputMode, const SoundDeviceOpener& opener,
                                               const OutputCardChoice& cards);
