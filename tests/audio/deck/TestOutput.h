#pragma once
// A sound output for engine tests: like the hard-mix output it keeps a play cursor per
// playing deck (1024 frames per poll, never past what was rendered) and reports the
// ring frame there to the deck; it counts the decks' calls and may collect the frames
// heard. Deck-side calls run on the audio thread; the counters are atomics.

#include "audio/deck/SoundOutput.h"
#include "core/Frame.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

class TestOutput : public SoundOutput {
public:
    TestOutput();

    void setDeckLevel(int deck, int level) override;
    void setCrossfader(int) override {}
    void resyncDeck(int deck) override;
    int submit() override { return 1; }
    int playSnippet(int deck, int32_t ringPos, int32_t frames) override;
    void poll() override;
    void deckStarted(int deck) override;
    void deckStopped(int deck) override;
    void setSelectedDeck(int) override {}
    bool isDeckAudible(int deck) override;

    // Appends every frame sent for the deck to heard(deck) while on.
    void collect(int deck, bool on);
    std::vector<Frame>& heard(int deck) { return heard_[deck & 1]; }

    int started(int deck) const { return started_[deck & 1].load(); }
    int stopped(int deck) const { return stopped_[deck & 1].load(); }
    int resyncs(int deck) const { return resyncs_[deck & 1].load(); }
    int level(int deck) const { return level_[deck & 1].load(); }

    struct Snippet {
        int deck = -1;
        int32_t from = -1;
        int32_t frames = 0;
    };
    int snippetCount() const { return snippetCount_.load(); }
    Snippet lastSnippet() const { return lastSnippet_; }

private:
    static constexpr int32_t kFramesPerPoll = 1024;
    std::array<std::atomic<bool>, 2> playing_{};
    std::array<std::atomic<int32_t>, 2> cursor_{};
    std::array<std::atomic<int>, 2> started_{};
    std::array<std::atomic<int>, 2> stopped_{};
    std::array<std::atomic<int>, 2> resyncs_{};
    std::array<std::atomic<int>, 2> level_{};
    std::array<bool, 2> collecting_{};
    std::array<std::vector<Frame>, 2> heard_;
    std::atomic<int> snippetCount_{0};
    Snippet lastSnippet_;
};
