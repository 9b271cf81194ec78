#include "audio/output/SoftMixOutput.h"

#include "audio/deck/DeckRings.h"
#include "audio/deck/DeckTable.h"
#include "audio/output/OutputGains.h"
#include "audio/output/SoftMixKernel.h"

#include <algorithm>
#include <new>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool isDeckIndex(int deck) {
    return deck == 0 || deck == 1;
}

void advanceRing(int32_t& position, int32_t frames) {
    position += frames;
    if (position >= kOutputRingFrames)
        position -= kOutputRingFrames;
}

} // namespace

SoftMixOutput::SoftMixOutput(OutputDevices devices, const OutputLayout& layout)
    : SoundOutput(true), layout_(layout), devices_(std::move(devices)) {
    SoundDevice* card = devices_.cards[layout_.decks[0].device].get();
    if (!card)
        return;
    mixBuffer_.reset(new (std::nothrow) Frame[kSoftMixFrames]());
    std::unique_ptr<SoundBuffer> buffer;
    if (!mixBuffer_ || card->createBufferOnPair(layout_.decks[0].pair, kSoftMixFrames, &buffer) !=
                           SoundResult::Ok) {
        reportSoundFailure(kSoundMessageDriver);
        return;
    }
    if (layout_.preListening) {
        SoundDevice* cueCard = devices_.cards[layout_.cue.device].get();
        for (auto& lane : cueLanes_) {
            if (!cueCard || lane.open(*cueCard, layout_.cue.pair, layout_.cue.map,
                                      kVolumeSilence) != SoundResult::Ok) {
                reportSoundFailure(kSoundMessageDriver);
                return;
            }
        }
    }
    buffer_ = std::move(buffer);
    buffer_->play();
    ready_ = true;
    setCrossfader(kCrossfaderCentre);
    applyCueVolumes();
}

SoftMixOutput::~SoftMixOutput() {
    if (buffer_)
        buffer_->stop();
    buffer_.reset();
    for (auto& lane : cueLanes_)
        lane.close();
}

void SoftMixOutput::storeDeckGain(int deck) {
    deckGains_[deck].store(crossfaderGains_[deck].load(kRelaxed) * levels_[deck].load(kRelaxed),
                           kRelaxed);
}

void SoftMixOutput::setDeckLevel(int deck, int level) {
    if (!ready_)
        return;
    if (isDeckIndex(deck)) {
        levels_[deck].store(std::clamp(level, 0, kMaxLevel), kRelaxed);
        storeDeckGain(deck);
    }
    requestResync();
}

void SoftMixOutput::setCrossfader(int position) {
    if (!ready_)
        return;
    const CrossfaderGains gains = crossfaderCurve(position);
    crossfaderGains_[0].store(gains.deck0, kRelaxed);
    crossfaderGains_[1].store(gains.deck1, kRelaxed);
    storeDeckGain(0);
    storeDeckGain(1);
    requestResync();
}

void SoftMixOutput::applyCueVolumes() {
    if (!layout_.preListening)
        return;
    const int selected = selectedDeck_.load(kRelaxed);
    for (int d = 0; d < 2; ++d)
        cueLanes_[d].setVolume(d == selected ? kVolumeFull : kVolumeSilence);
}

void SoftMixOutput::setSelectedDeck(int deck) {
    if (!ready_ || !isDeckIndex(deck))
        return;
    selectedDeck_.store(deck, kRelaxed);
    applyCueVolumes();
}

void SoftMixOutput::resyncDeck(int deck) {
    if (!ready_)
        return;
    for (int d = 0; d < 2; ++d) {
        if (deck < 0 || deck == d)
            anchored_[d] = false;
    }
    requestResync();
    if (!layout_.preListening)
        return;
    for (int d = 0; d < 2; ++d) {
        if (deck >= 0 && deck != d)
            continue;
        if (const Deck* dk = deckAt(d))
            cueLanes_[d].resync(*dk);
    }
}

void SoftMixOutput::deckStarted(int deck) {
    if (!ready_ || !isDeckIndex(deck))
        return;
    playing_[deck].store(1, kRelaxed);
    resyncDeck(deck);
}

void SoftMixOutput::deckStopped(int deck) {
    if (!ready_ || !isDeckIndex(deck))
        return;
    playing_[deck].store(0, kRelaxed);
    if (layout_.preListening)
        cueLanes_[deck].owesSilence();
    resyncDeck(deck);
}

int SoftMixOutput::playSnippet(int deck, int32_t ringPos, int32_t frames) {
    // The loudspeakers' mix has no room for it; the headphones play it as a hard-mix
    // lane would, so the DJ can hear where a paused deck was shifted to.
    if (ready_ && layout_.preListening && isDeckIndex(deck) && !playing_[deck].load(kRelaxed)) {
        if (const Deck* dk = deckAt(deck))
            cueLanes_[deck].playSnippet(*dk, ringPos, frames);
    }
    return 1;
}

bool SoftMixOutput::isDeckAudible(int deck) {
    if (!ready_ || !isDeckIndex(deck))
        return false;
    return playing_[deck].load(kRelaxed) && deckGains_[deck].load(kRelaxed) >= kAudibleGain;
}

void SoftMixOutput::handToRecorder(RecorderSink& sink, int32_t playCursor) {
    const Frame* mix = mixBuffer_.get();
    if (playCursor > lastPlayCursor_) {
        sink.write(mix + lastPlayCursor_, playCursor - lastPlayCursor_);
    } else if (playCursor < lastPlayCursor_) {
        sink.write(mix + lastPlayCursor_, kSoftMixFrames - lastPlayCursor_);
        sink.write(mix, playCursor);
    }
}

void SoftMixOutput::poll() {
    if (!ready_)
        return;
    if (layout_.preListening) {
        for (auto& lane : cueLanes_) {
            if (lane.readCursors() == SoundResult::DeviceLost)
                markDeviceLost();
        }
    }
    int32_t play = 0;
    int32_t write = 0;
    const SoundResult result = buffer_->getCursors(&play, &write);
    if (result != SoundResult::Ok) {
        if (result == SoundResult::DeviceLost)
            markDeviceLost();
        return;
    }
    writeCursor_ = write;
    if (RecorderSink* sink = recorderForPoll())
        handToRecorder(*sink, play);
    lastPlayCursor_ = play;

    // A deck started, stopped or moved since the last submit has no mix position yet.
    // With an audio thread that cannot happen here (deck commands run inside the turn,
    // before its submit); without one the command ran on the user-interface thread
    // between two turns, acting on the positions of the last report. Then no deck is
    // reported: the next submit anchors every deck on those positions, so the decks
    // stay where the user interface placed them relative to each other. A change of
    // gain alone leaves the positions valid: they are reported, and the re-mix starts
    // at the frame under the write cursor.
    if (!anchored_[0] || !anchored_[1])
        return;
    int32_t mixedAhead = writePos_ - writeCursor_;
    if (mixedAhead < 0)
        mixedAhead += kSoftMixFrames;
    for (int d = 0; d < 2; ++d) {
        if (!playing_[d].load(kRelaxed))
            continue;
        if (Deck* deck = deckAt(d))
            deck->updatePlayPosition(wrapOutput(int64_t{mixPos_[d]} - mixedAhead));
    }
}

int32_t SoftMixOutput::mixDecks(const Deck* deck0, const Deck* deck1) {
    // Space: up to one frame short of the play cursor.
    int32_t space = lastPlayCursor_ - writePos_;
    if (space <= 0)
        space += kSoftMixFrames;
    space -= 1;
    if (space <= 0)
        return 0;

    const int32_t gain0 = deckGains_[0].load(kRelaxed);
    const int32_t gain1 = deckGains_[1].load(kRelaxed);
    const bool mix0 = deck0 && playing_[0].load(kRelaxed) && gain0 != 0;
    const bool mix1 = deck1 && playing_[1].load(kRelaxed) && gain1 != 0;
    Frame* const mix = mixBuffer_.get();

    int32_t n = space;
    if (mix0 && mix1) {
        const int32_t a = framesAhead(mixPos_[0], deck0->writePos);
        const int32_t b = framesAhead(mixPos_[1], deck1->writePos);
        if (a == 0 || b == 0)
            return 0; // wait for the renderer
        n = std::min({a, b, space});
        for (int32_t left = n; left > 0;) {
            const int32_t chunk =
                std::min({left, kOutputRingFrames - mixPos_[0], kOutputRingFrames - mixPos_[1],
                          kSoftMixFrames - writePos_});
            mixTwoDecks(mix + writePos_, &deck0->outputRing[mixPos_[0]],
                        &deck1->outputRing[mixPos_[1]], chunk, gain0, gain1);
            advanceRing(mixPos_[0], chunk);
            advanceRing(mixPos_[1], chunk);
            writePos_ = (writePos_ + chunk) % kSoftMixFrames;
            left -= chunk;
        }
    } else if (mix0 || mix1) {
        const int d = mix0 ? 0 : 1;
        const Deck* deck = mix0 ? deck0 : deck1;
        const int32_t gain = mix0 ? gain0 : gain1;
        const int32_t a = framesAhead(mixPos_[d], deck->writePos);
        if (a == 0)
            return 0;
        n = std::min(a, space);
        for (int32_t left = n; left > 0;) {
            const int32_t chunk =
                std::min({left, kOutputRingFrames - mixPos_[d], kSoftMixFrames - writePos_});
            mixOneDeck(mix + writePos_, &deck->outputRing[mixPos_[d]], chunk, gain);
            // The other deck keeps its place in time.
            advanceRing(mixPos_[0], chunk);
            advanceRing(mixPos_[1], chunk);
            writePos_ = (writePos_ + chunk) % kSoftMixFrames;
            left -= chunk;
        }
    } else {
        for (int32_t left = n; left > 0;) {
            const int32_t chunk = std::min(left, kSoftMixFrames - writePos_);
            std::fill_n(mix + writePos_, chunk, Frame{0});
            writePos_ = (writePos_ + chunk) % kSoftMixFrames;
            left -= chunk;
        }
        advanceRing(mixPos_[0], n % kOutputRingFrames);
        advanceRing(mixPos_[1], n % kOutputRingFrames);
    }
    return n;
}

int SoftMixOutput::submit() {
    if (!ready_)
        return 0;
    const Deck* deck0 = deckAt(0);
    const Deck* deck1 = deckAt(1);
    if (layout_.preListening) {
        if (deck0)
            cueLanes_[0].submit(*deck0, playing_[0].load(kRelaxed) != 0);
        if (deck1)
            cueLanes_[1].submit(*deck1, playing_[1].load(kRelaxed) != 0);
    }
    if (resyncRequested_.exchange(false, std::memory_order_acquire)) {
        // Everything mixed beyond the write cursor is mixed again.
        mixPos_[0] = deck0 ? deck0->playPos : 0;
        mixPos_[1] = deck1 ? deck1->playPos : 0;
        writePos_ = writeCursor_;
        anchored_ = {true, true};
    }
    const int32_t start = writePos_;
    const int32_t n = mixDecks(deck0, deck1);
    if (n == 0)
        return 0;
    writeToCard(*buffer_, start, mixBuffer_.get(), kSoftMixFrames, start, n, layout_.decks[0].map);
    return 1;
}
