// Decoding, analysis and rendering of one deck as fast as the machine allows:
//   bench_deck_render FILE [SPEED] [plain|tempo] [classic]
// A drain output takes every rendered frame as heard at once, so the deck never
// waits for a sound card. Prints the output seconds, the wall time and the factor
// over real time.

#include "audio/deck/Deck.h"
#include "audio/deck/DeckMessages.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/MemoryTrackStore.h"
#include "audio/deck/SoundOutput.h"
#include "core/Settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reports the last rendered frame of each playing deck as heard.
class DrainOutput : public SoundOutput {
public:
    void setDeckLevel(int, int) override {}
    void setCrossfader(int) override {}
    void resyncDeck(int) override {}
    int submit() override { return 1; }
    int playSnippet(int, int32_t, int32_t) override { return 1; }
    void poll() override {
        for (int i = 0; i < 2; ++i) {
            Deck* d = deckAt(i);
            if (!d || !playing[i])
                continue;
            int32_t ahead = d->writePos - d->playPos;
            if (ahead < 0)
                ahead += kOutputRingFrames;
            heardFrames += ahead;
            d->updatePlayPosition(d->writePos);
        }
    }
    void deckStarted(int deck) override { playing[deck & 1] = true; }
    void deckStopped(int deck) override { playing[deck & 1] = false; }
    void setSelectedDeck(int) override {}
    bool isDeckAudible(int) override { return false; }

    bool playing[2] = {false, false};
    int64_t heardFrames = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_deck_render FILE [SPEED] [plain|tempo] [classic]\n");
        return 2;
    }
    const int32_t speed = argc > 2 ? std::atoi(argv[2]) : 4096;
    const bool tempo = argc > 3 && std::strcmp(argv[3], "tempo") == 0;
    const bool classic = argc > 4 && std::strcmp(argv[4], "classic") == 0;
    settings().masterTempo = tempo ? 1 : 0;
    settings().classicResampling = classic ? 1 : 0;
    settings().autoBpm = 0;
    settings().autoLevel = 0;

    MemoryTrackStore store;
    setTrackStore(&store);
    DrainOutput output;
    currentSoundOutput().store(&output);
    auto deck = std::make_unique<Deck>(0);
    decks()[0] = deck.get();

    TrackRecord track;
    track.path = argv[1];
    if (!deck->load(track)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    deck->setSpeed(speed);
    deck->play();

    const auto start = std::chrono::steady_clock::now();
    std::array<DeckMessage, 4> messages;
    bool ended = false;
    while (!ended) {
        output.poll();
        deck->serve();
        int n = deckMessages().takePending(messages);
        for (int i = 0; i < n; ++i)
            ended |= messages[i].message == kMsgTrackEnded;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double seconds = double(output.heardFrames) / kSampleRate;
    std::printf("%s speed %d %s%s: %.1f s of output in %.3f s, %.0f x real time, bpm %.2f\n",
                argv[1], speed, tempo ? "master-tempo" : "plain", classic ? " classic" : "",
                seconds, wall, seconds / wall, deck->getBpm());
    decks()[0] = nullptr;
    currentSoundOutput().store(nullptr);
    deck.reset();
    setTrackStore(nullptr);
    return 0;
}
