#pragma once
// The one road from the audio thread to the main thread: a deck raises message 1068
// (start the automatic mix into a deck) or 1069 (a deck's track has ended). Raising
// neither allocates nor blocks: each (message, deck) pair is an atomic slot holding
// the sequence number at which it was raised, and an eventfd wakes the main thread.
// The main thread takes the pending pairs in the order they were raised. A pair
// raised again before it was taken is delivered once. A deck raises 1068 once each
// time the mix becomes due, not on every turn.
//
// Threading: raise() from any thread (the audio thread in practice); fd() and
// takePending() on the main thread only.

#include <array>
#include <atomic>
#include <cstdint>

constexpr int kMsgAutoMixStart = 1068; // WM_USER + 44, deck = the deck to mix in
constexpr int kMsgTrackEnded = 1069;   // WM_USER + 45, deck = the deck that ended

struct DeckMessage {
    int message = 0;
    int deck = 0;
};

class DeckMessages {
public:
    DeckMessages();
    ~DeckMessages();
    DeckMessages(const DeckMessages&) = delete;
    DeckMessages& operator=(const DeckMessages&) = delete;

    void raise(int message, int deck);
    // The descriptor that becomes readable when something was raised; -1 if eventfd
    // is unavailable (then the main thread must poll takePending()).
    int fd() const { return fd_; }
    // Fills out with the pending messages, oldest first; returns how many (at most 4).
    int takePending(std::array<DeckMessage, 4>& out);

private:
    static int slotOf(int message, int deck);

    // 0 = not pending, else the raise sequence number. The raiser's release store
    // pairs with the taker's acquire exchange.
    std::array<std::atomic<uint64_t>, 4> slots_{};
    std::atomic<uint64_t> sequence_{0};
    int fd_ = -1;
};

// The process-wide channel to the main window.
DeckMessages& deckMessages();
