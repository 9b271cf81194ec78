#include "tests/audio/deck/TestOutput.h"

#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"

#include <algorithm>

TestOutput::TestOutput() {
    level_[0] = kMaxLevel;
    level_[1] = kMaxLevel;
}

void TestOutput::setDeckLevel(int deck, int level) {
    if (deck == 0 || deck == 1)
        level_[deck] = level;
}

void TestOutput::resyncDeck(int deck) {
    for (int d = 0; d < 2; ++d) {
        if (deck != -1 && deck != d)
            continue;
        if (Deck* k = deckAt(d))
            cursor_[d] = k->playPos;
        ++resyncs_[d];
    }
}

int TestOutput::playSnippet(int deck, int32_t ringPos, int32_t frames) {
    if (playing_[deck & 1])
        return 0;
    lastSnippet_ = Snippet{deck, ringPos, frames};
    ++snippetCount_;
    return 1;
}

void TestOutput::poll() {
    for (int d = 0; d < 2; ++d) {
        Deck* deck = deckAt(d);
        if (deck == nullptr || !playing_[d])
            continue;
        const int32_t from = cursor_[d];
        int32_t ahead = deck->writePos - from;
        if (ahead < 0)
            ahead += kOutputRingFrames;
        const int32_t n = std::min(kFramesPerPoll, ahead);
        if (collecting_[d]) {
            for (int32_t i = 0; i < n; ++i)
                heard_[d].push_back(deck->outputRing[(from + i) % kOutputRingFrames]);
        }
        cursor_[d] = (from + n) % kOutputRingFrames;
        deck->updatePlayPosition(cursor_[d]);
    }
}

void TestOutput::deckStarted(int deck) {
    playing_[deck & 1] = true;
    ++started_[deck & 1];
    resyncDeck(deck);
}

void TestOutput::deckStopped(int deck) {
    playing_[deck & 1] = false;
    ++stopped_[deck & 1];
    resyncDeck(deck);
}

bool TestOutput::isDeckAudible(int deck) {
    if (deck < 0)
        return playing_[0] || playing_[1];
    return playing_[deck & 1] && level_[deck & 1] >= 100;
}

void TestOutput::collect(int deck, bool on) {
    collecting_[deck & 1] = on;
    if (on)
        heard_[deck & 1].reserve(1 << 20);
}
