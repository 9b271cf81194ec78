#pragma once
// Two decks with test decoders, a TestOutput as the current sound output and an
// in-memory track store, registered as the process-wide ones for the rig's lifetime.
// No audio thread: commands are carried out on the posting thread and turn() runs one
// audio-loop turn.

#include "tests/audio/deck/TestDecoder.h"
#include "tests/audio/deck/TestOutput.h"

#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/MemoryTrackStore.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// A deck that decodes "test:" paths with its TestDecoder and every other path as the
// program does.
class TestDeck : public Deck {
public:
    explicit TestDeck(int index) : Deck(index) {}
    TestDecoder testDecoder;

protected:
    Decoder* decoderFor(const std::string& path) override;
};

struct AnalysisValues {
    float startPoint = 0.0f;
    float endPoint = 0.0f;
    float memoryPoint = 0.0f;
    int32_t endEnergy = 0;
    int32_t peakEnergy = 1;
    int32_t loudness = 0;
};

// Two test decks and a track store, registered as the process-wide ones while they
// live, with the settings that steer the signal path reset to known values.
class TestDecks {
public:
    TestDecks();
    ~TestDecks();
    TestDeck& deck(int i) { return *decks_[i]; }
    MemoryTrackStore store;

private:
    std::unique_ptr<TestDeck> decks_[2];
};

class DeckRig : public TestDecks {
public:
    DeckRig();
    ~DeckRig();

    TestOutput output;

    // A record of a "test:" track whose entry already holds the given values and bpm.
    TrackRecord record(const std::string& name, const AnalysisValues& values = {}, float bpm = 0.0f,
                       uint32_t sizeKey = 123456);
    // Configures deck i's decoder and loads a "test:" track into it.
    bool loadTest(int i, const TestDecoder::Setup& setup, const AnalysisValues& values = {},
                  float bpm = 0.0f);

    // One turn of the audio loop: poll, serve deck 0 and 1, submit.
    void turn();
    void turns(int n);
    // Serves deck i until it has nothing left to render or decode (at most `limit`).
    void fill(int i, int limit = 2000);
};
