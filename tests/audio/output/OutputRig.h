#pragma once
// Two test decks and an audio engine on virtual sound cards that the test steps by
// hand. Every card the engine opens is made by the rig and stays the rig's: the
// engine's output gets a thin device that creates its buffers on the rig's card, so a
// test can read what each card played (per output pair), pull a card away (its cursor
// reads then fail, as an unplugged card's do) and keep the cards of a replaced engine.
//
// Manual mode (the default): no audio thread; play() alternates one turn of the audio
// loop and a step of the cards' clock, and deck commands are carried out at once on
// the test's thread. Threaded mode: the engine's own audio thread serves the decks and
// play() waits for it to finish turns between clock steps (lockstep).
//
// Settings that steer the signal path are reset to known values, and the deferred
// fatal message is cleared.

#include "tests/audio/deck/DeckRig.h"

#include "audio/card/VirtualCard.h"
#include "audio/output/AudioEngine.h"
#include "audio/output/SoundConfigurationApply.h"
#include "core/FatalMessage.h"

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <thread>

// One card opened for an engine, with what it played.
struct RigCard {
    std::unique_ptr<VirtualCard> card;
    std::optional<SoundCardId> requested; // the identifier the output asked for
    bool exclusive = true;
    int pairs = 1;
    bool current = true;      // opened for the engine that runs now
    bool keep = true;         // append played frames to front/rear
    std::vector<Frame> front; // outputs 1-2
    std::vector<Frame> rear;  // outputs 3-4
    // Also sees outputs 1-2, for long runs that cannot keep every frame.
    std::function<void(const Frame*, int32_t)> tap;
};

class OutputRig : public TestDecks {
public:
    struct Options {
        bool ownThread = false;
        int outputMode = 0;
        int32_t crossfader = 192; // applied to the output after creation
    };
    OutputRig();
    explicit OutputRig(const Options& options);

    AudioEngine& engine() { return *engine_; }
    std::unique_ptr<AudioEngine>& enginePtr() { return engine_; }
    SoundOutput& output() { return *engine_->output(); }

    // Cards: all ever opened, oldest first; current(i) is the i-th of the running engine.
    std::deque<RigCard>& cards() { return cards_; }
    RigCard& current(int i = 0);
    int currentCount() const;

    // What the next opens answer: each queued code is the result of one open (Ok makes
    // a card); when the queue is empty every open succeeds.
    std::deque<SoundResult> openResults;
    // A card asked for two output pairs answers InvalidParam (a stereo-only card).
    bool stereoOnly = false;
    // Every open asked for, in order: the identifier (none for the default device).
    std::vector<std::optional<SoundCardId>> openRequests;

    // Configures deck i's decoder and loads its "test:" track.
    bool load(int i, const TestDecoder::Setup& setup);
    // Loads deck i's "test:" track again with the decoder as configured (the decoder is
    // not touched before the deck is suspended: safe while an audio thread runs).
    bool reload(int i);
    // Loads deck i and plays it, then turns until its renderer filled the output ring.
    bool loadAndPlay(int i, const TestDecoder::Setup& setup);

    // Plays `frames` frames of virtual time: a turn of the audio loop (manual) or a wait
    // for the audio thread's turns (threaded), then a clock step of at most `step`.
    void play(int64_t frames, int32_t step = 441);
    // One turn of the loop without moving the clock (manual mode).
    void turn() { engine_->runTurn(); }

    // Replaces the engine for a configuration, as the configuration dialog's OK.
    bool apply(int row, const SoundCardSelection& cards = {}, const MixerState& state = {});
    // Pulls the current card i away (as unplugging it does).
    void unplug(int i = 0);

private:
    AudioEngineOptions engineOptions();
    void advanceCurrent(int64_t frames);
    void waitForTurns(int turns);

    Options options_;
    std::deque<RigCard> cards_;
    std::unique_ptr<AudioEngine> engine_; // destroyed before the cards it plays on
};

// The frame a deck's sample pair becomes at deck gain g on the soft-mix output.
Frame softMixOne(Frame f, int32_t gain);
// ... and through a hard-mix buffer at the volume of that gain.
Frame hardMixOne(Frame f, int32_t gain);

constexpr int32_t kLatency = VirtualCard::kLatencyFrames;
