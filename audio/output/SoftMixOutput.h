#pragma once
// "Soft Mix (for recording)": both decks are mixed by the program, sample by sample,
// into one looping card buffer of half a second. The mix buffer keeps a copy of what
// was written to the card at the same positions, so the frames the card has played
// can be handed to the recorder: this output alone can record.
//
// A change of level, crossfader, playing state or deck position sets the resync
// request; the next submit() throws away everything mixed beyond the card's write
// cursor and mixes it again, so a change is heard within the card's latency.
//
// With headphones (see SoundConfiguration.h) the selected deck is also copied, alone
// and at full level, to the headphones' outputs through hard-mix lanes; the recording
// holds the loudspeakers' mix only.
//
// Threading: as SoundOutput.h. The gains are written by the user-interface thread and
// read by the audio thread; each setter stores the gains (relaxed) and then sets the
// resync request with release, and submit() takes the request with acquire, so the
// re-mix uses gains at least as new as the request. The playing flags are written by
// the audio thread and read by isDeckAudible() (relaxed, a hint one turn old is fine).

#include "audio/deck/SoundOutput.h"
#include "audio/output/DeckLane.h"
#include "audio/output/OutputDevices.h"

#include <array>
#include <atomic>
#include <memory>

constexpr int32_t kSoftMixFrames = 22050; // the card buffer and the mix buffer: 0.5 s

class SoftMixOutput final : public SoundOutput {
public:
    // As HardMixOutput: with no card 1 or no buffer the output is not ready.
    SoftMixOutput(OutputDevices devices, const OutputLayout& layout);
    ~SoftMixOutput() override;

    void setDeckLevel(int deck, int level) override;
    void setCrossfader(int position) override;
    void resyncDeck(int deck) override;
    int submit() override;
    int playSnippet(int deck, int32_t ringPos, int32_t frames) override;
    void poll() override;
    void deckStarted(int deck) override;
    void deckStopped(int deck) override;
    void setSelectedDeck(int deck) override;
    bool isDeckAudible(int deck) override;

    const OutputLayout& layout() const { return layout_; }

private:
    void storeDeckGain(int deck);
    void requestResync() { resyncRequested_.store(true, std::memory_order_release); }
    void handToRecorder(RecorderSink& sink, int32_t playCursor);
    int32_t mixDecks(const Deck* deck0, const Deck* deck1);
    void applyCueVolumes();

    OutputLayout layout_;
    OutputDevices devices_;
    std::unique_ptr<SoundBuffer> buffer_;
    std::unique_ptr<Frame[]> mixBuffer_; // kSoftMixFrames
    std::array<DeckLane, 2> cueLanes_;   // open only with pre-listening

    // Audio thread.
    std::array<int32_t, 2> mixPos_{}; // ring position of each deck's next mixed frame
    int32_t writeCursor_ = 0;         // last write cursor read from the card
    int32_t writePos_ = 0;            // where the next mixed frames go (both buffers)
    int32_t lastPlayCursor_ = 0;      // play cursor read by the last poll()
    // False from a deck's start, stop or move (resyncDeck) until the next submit() has
    // anchored its mix position on its playPos: its mix position means nothing before,
    // and poll() reports no deck meanwhile (see there).
    std::array<bool, 2> anchored_{};

    std::atomic<bool> resyncRequested_{false};
    std::array<std::atomic<int32_t>, 2> playing_{};
    std::array<std::atomic<int32_t>, 2> deckGains_{};
    std::array<std::atomic<int32_t>, 2> levels_{256, 256};
    std::array<std::atomic<int32_t>, 2> crossfaderGains_{};
    std::atomic<int32_t> selectedDeck_{0};
};
