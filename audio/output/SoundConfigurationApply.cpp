#include "audio/output/SoundConfigurationApply.h"

#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"
#include "core/Settings.h"

namespace {

std::optional<QByteArray> guidSetting(const std::optional<SoundCardId>& id) {
    if (!id)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(id->bytes.data()),
                      static_cast<qsizetype>(id->bytes.size()));
}

} // namespace

void restartAudioEngine(std::unique_ptr<AudioEngine>& engine, const MixerState& state) {
    AudioEngineOptions options = engine ? engine->options() : AudioEngineOptions{};
    // The old thread ends before anything of the new engine exists.
    engine.reset();
    auto next = std::make_unique<AudioEngine>(std::move(options));
    SoundOutput* out = next->output();
    if (out->isReady()) {
        // The new card's cursors, so the decks continue at its write cursor.
        out->poll();
        out->resyncDeck(-1);
        for (int d = 0; d < 2; ++d) {
            const Deck* deck = deckAt(d);
            if (deck && deck->playing.load(std::memory_order_relaxed))
                out->deckStarted(d);
        }
        out->setDeckLevel(0, state.deckLevels[0]);
        out->setDeckLevel(1, state.deckLevels[1]);
        out->setCrossfader(state.crossfader);
        out->setSelectedDeck(state.selectedDeck);
        // Serve the re-anchoring now: the new thread's first poll must report the frames
        // the decks were at, not positions the output has not re-anchored yet.
        out->submit();
    }
    next->start();
    engine = std::move(next);
}

bool applySoundConfiguration(std::unique_ptr<AudioEngine>& engine, int row,
                             const SoundCardSelection& cards, const MixerState& state) {
    if (row < 0 || row >= kSoundConfigurationCount)
        return false;
    Settings& s = settings();
    s.outputMode.store(row, std::memory_order_relaxed);
    s.soundCardGuid = guidSetting(cards.card1);
    s.soundCard1Guid = guidSetting(cards.card1);
    s.soundCard2Guid = guidSetting(cards.card2);
    restartAudioEngine(engine, state);
    return true;
}

bool recoverLostSoundDevice(std::unique_ptr<AudioEngine>& engine, const MixerState& state) {
    if (!engine || !engine->deviceLost())
        return false;
    restartAudioEngine(engine, state);
    return true;
}
