#include "audio/deck/DeckTable.h"

namespace {
thread_local bool tAudioThread = false;
TrackStore* gTrackStore = nullptr;
} // namespace

std::array<Deck*, 2>& decks() {
    static std::array<Deck*, 2> table{};
    return table;
}

Deck* deckAt(int index) {
    if (index < 0 || index > 1)
        return nullptr;
    return decks()[index];
}

std::atomic<SoundOutput*>& currentSoundOutput() {
    static std::atomic<SoundOutput*> output{nullptr};
    return output;
}

std::atomic<bool>& autoMixOn() {
    static std::atomic<bool> on{false};
    return on;
}

std::atomic<int32_t>& deckStatus(int index) {
    static std::array<std::atomic<int32_t>, 2> status{kStatusEmpty, kStatusEmpty};
    return status[index & 1];
}

const char* deckStatusText(int32_t status) {
    switch (status) {
    case kStatusDecoderError:
        return "ERROR\nin the\nMP3 file";
    case kStatusCannotOpen:
        return "Impossible\nto open\nthe file";
    case kStatusEmpty:
        return "Drag a file\non the disc\nto load it";
    default:
        return "";
    }
}

TrackStore* trackStore() {
    return gTrackStore;
}

void setTrackStore(TrackStore* store) {
    gTrackStore = store;
}

std::atomic<bool>& audioLoopRunning() {
    static std::atomic<bool> running{false};
    return running;
}

void markAudioThread() {
    tAudioThread = true;
}

bool onAudioThread() {
    return tAudioThread;
}
