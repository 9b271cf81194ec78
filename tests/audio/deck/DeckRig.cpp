#include "tests/audio/deck/DeckRig.h"

#include "audio/deck/DeckMessages.h"

Decoder* TestDeck::decoderFor(const std::string& path) {
    if (path.rfind("test:", 0) == 0)
        return &testDecoder;
    return Deck::decoderFor(path);
}

TestDecks::TestDecks() {
    Settings& s = settings();
    s.masterTempo = 0;
    // Index signals tell which input frame is heard only when frames are taken whole.
    s.classicResampling = 1;
    s.autoBpm = 0;
    s.autoLevel = 0;
    s.longMix = 0;
    s.limitPitch = 0;
    autoMixOn() = false;
    audioLoopRunning() = false;
    deckStatus(0) = kStatusEmpty;
    deckStatus(1) = kStatusEmpty;
    for (int i = 0; i < 2; ++i) {
        decks_[i] = std::make_unique<TestDeck>(i);
        decks()[i] = decks_[i].get();
    }
    setTrackStore(&store);
    std::array<DeckMessage, 4> drained;
    deckMessages().takePending(drained);
}

TestDecks::~TestDecks() {
    setTrackStore(nullptr);
    decks()[0] = nullptr;
    decks()[1] = nullptr;
}

DeckRig::DeckRig() {
    currentSoundOutput().store(&output);
}

DeckRig::~DeckRig() {
    currentSoundOutput().store(nullptr);
}

TrackRecord DeckRig::record(const std::string& name, const AnalysisValues& values, float bpm,
                            uint32_t sizeKey) {
    TrackRecord r{"", "", "test:" + name, nullptr};
    r.entry = store.openEntry(r.path, sizeKey);
    r.entry->bpm = bpm;
    TrackAnalysis* a = store.acquireAnalysis(r.entry);
    a->startPoint = values.startPoint;
    a->endPoint = values.endPoint;
    a->memoryPoint = values.memoryPoint;
    a->endEnergy = values.endEnergy;
    a->peakEnergy = values.peakEnergy;
    a->loudness = values.loudness;
    store.releaseAnalysis(r.entry);
    return r;
}

bool DeckRig::loadTest(int i, const TestDecoder::Setup& setup, const AnalysisValues& values,
                       float bpm) {
    deck(i).testDecoder.configure(setup);
    return deck(i).load(record("track" + std::to_string(i), values, bpm, setup.sizeKey));
}

void DeckRig::turn() {
    output.poll();
    deck(0).serve();
    deck(1).serve();
    output.submit();
}

void DeckRig::turns(int n) {
    for (int i = 0; i < n; ++i)
        turn();
}

void DeckRig::fill(int i, int limit) {
    for (Deck& d = deck(i); limit-- > 0;) {
        const int32_t write = d.writePos;
        const int32_t decoded = d.decodeWritePos;
        d.serve();
        if (d.writePos == write && d.decodeWritePos == decoded)
            return;
    }
}
