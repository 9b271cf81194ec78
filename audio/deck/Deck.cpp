// The deck object, its command mailbox and the operations of the user-interface thread.
// The audio-thread half (decoding, rendering, heard position) lives in DeckDecode.cpp
// and DeckRender.cpp; beat matching in DeckSync.cpp.

#include "audio/deck/Deck.h"

#include "audio/deck/DeckControls.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/DspPlugin.h"
#include "audio/deck/SoundOutput.h"
#include "core/Settings.h"
#include "core/TrackStore.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <thread>
#include <utility>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

} // namespace

Deck::Deck(int deckIndex)
    : index(deckIndex), analyser(AnalyserOwner{&decoding, frameTimes.data()}) {
    frameTimes.fill(-1.0f);
    for (auto& source : outputSource)
        source.store(-1, kRelaxed);
}

Deck::~Deck() {
    delete dspPlugin.load(kRelaxed);
}

Decoder* Deck::decoderFor(const std::string& path) {
    return &decoders.forName(path);
}

Deck* Deck::otherDeck() const {
    return deckAt(1 - index);
}

// --- Mailbox -------------------------------------------------------------------------

void Deck::postCommand(DeckCommand code, int32_t a1, float a2, DspPlugin* plugin) {
    // The audio thread would wait for itself.
    assert(!onAudioThread());
    commandArg1.store(a1, kRelaxed);
    commandArg2.store(a2, kRelaxed);
    commandPlugin.store(plugin, kRelaxed);
    command.store(static_cast<int32_t>(code), std::memory_order_release);
    // Without an audio thread nobody else touches the deck: carry the command out here
    // instead of waiting for ever.
    if (!audioLoopRunning().load(std::memory_order_acquire))
        serveCommand();
    commandDone.acquire();
}

void Deck::serve() {
    if (command.load(std::memory_order_acquire) != 0) {
        serveCommand();
        return;
    }
    if (suspended.load(kRelaxed))
        return;
    if (!renderBlock())
        decodeFrame();
}

void Deck::serveCommand() {
    const int32_t code = command.load(std::memory_order_acquire);
    const int32_t a1 = commandArg1.load(kRelaxed);
    const float a2 = commandArg2.load(kRelaxed);
    const bool isSuspended = suspended.load(kRelaxed) != 0;
    SoundOutput* out = soundOutputNow();

    switch (static_cast<DeckCommand>(code)) {
    case DeckCommand::Start:
        suspended.store(0, kRelaxed);
        seekTo(a2);
        break;
    case DeckCommand::Suspend:
        suspended.store(1, kRelaxed);
        decoding.store(0, kRelaxed);
        if (playing.load(kRelaxed)) {
            if (out)
                out->deckStopped(index);
            playing.store(0, kRelaxed);
        }
        break;
    case DeckCommand::Play:
        if (!playing.load(kRelaxed) && out)
            out->deckStarted(index);
        playing.store(1, kRelaxed);
        break;
    case DeckCommand::Pause:
        if (playing.load(kRelaxed) && out)
            out->deckStopped(index);
        playing.store(0, kRelaxed);
        break;
    case DeckCommand::Seek:
        seekTo(a2);
        break;
    case DeckCommand::Skip:
        if (!isSuspended)
            skipOutput(a1);
        break;
    case DeckCommand::Shift:
        if (!isSuspended)
            shiftOutput(a1);
        break;
    case DeckCommand::SetSpeed: {
        // Bounded so that one step's input always fits the scratch buffer.
        const int32_t s = std::clamp(a1, 0, kMaxSpeed);
        speed.store(s, kRelaxed);
        inputWindow = std::max(s * kRenderStepFrames / kUnitSpeed, kMinInputFrames) + kSpliceWidth;
        if (!isSuspended)
            reprime();
        break;
    }
    case DeckCommand::SetDspPlugin:
        dspPlugin.store(commandPlugin.load(kRelaxed), kRelaxed);
        if (!isSuspended)
            reprime();
        break;
    case DeckCommand::Refresh:
        if (!isSuspended)
            reprime();
        break;
    default:
        break;
    }
    command.store(0, kRelaxed);
    commandDone.release();
}

// --- Loading ---------------------------------------------------------------------------

bool Deck::load(const TrackRecord& record) {
    // A copy first: the caller may hand in this deck's own record, released below.
    TrackRecord newTrack = record;
    postCommand(DeckCommand::Suspend);
    // From here on the audio thread leaves the deck alone until the start command.

    if (track) {
        retireRecord();
        // Only a reference this deck took is given back: a load that failed to open its
        // file never acquired one.
        if (heldEntry_ && heldStore_)
            heldStore_->releaseAnalysis(heldEntry_);
        heldEntry_ = nullptr;
        heldStore_ = nullptr;
        track.reset();
    }
    if (Decoder* old = decoder.load(kRelaxed))
        old->close();

    track = std::move(newTrack);
    analyser.fullReset();
    mixTriggered.store(0, kRelaxed);
    fresh = 1;

    const DecoderSet::Opened opened = decoders.open(*decoderFor(track->path), track->path.c_str());
    Decoder* dec = opened.decoder;
    decoder.store(dec, kRelaxed);
    const int32_t seconds = opened.seconds;
    if (seconds <= 0) {
        deckStatus(index).store(kStatusCannotOpen, kRelaxed);
        duration.store(-1, kRelaxed);
        trackFrames.store(0, kRelaxed);
        position.store(-1.0f, kRelaxed);
        return false;
    }
    duration.store(seconds, kRelaxed);
    trackFrames.store(
        dec->lengthFrames() > 0 ? dec->lengthFrames() : int64_t{seconds} * kSampleRate, kRelaxed);

    if (TrackStore* store = trackStore()) {
        if (track->entry == nullptr || track->entry->sizeKey == 0)
            track->entry = store->openEntry(track->path, dec->sizeKey);
        TrackAnalysis* values = store->acquireAnalysis(track->entry);
        heldEntry_ = track->entry;
        heldStore_ = store;
        analyser.attach(values, track->entry);
        sharedRecord_.store(values, std::memory_order_release);
    }

    const TrackAnalysis* values = attachedAnalysis();
    const float memory = values ? values->memoryPoint.load(kRelaxed) : 0.0f;
    const float start = values ? values->startPoint.load(kRelaxed) : 0.0f;
    float p = memory;
    stopStep.store(memory != 0.0f ? 1 : 2, kRelaxed);
    if (autoMixOn().load(kRelaxed) && p < start) {
        p = start;
        stopStep.store(0, kRelaxed);
    }
    // A point in the second half (or a damaged one) starts the track from its beginning.
    if (!(p >= 0.0f && p < 0.5f))
        p = 0.0f;
    position.store(p, kRelaxed);

    const bool synced = settings().autoBpm.load(kRelaxed) && syncBpm();
    if (!synced)
        deckControls().setPitchControl(index, kUnitSpeed);
    if (settings().autoLevel.load(kRelaxed) && !syncLevel())
        deckControls().setLevelControl(index, kMaxLevel);

    postCommand(DeckCommand::Start, 0, p);
    // A start seek that read nothing leaves the deck without a position: the track is
    // shown but could never play, so the load fails (the track stays for stop/playFrom).
    if (position.load(kRelaxed) < 0.0f) {
        deckStatus(index).store(kStatusDecoderError, kRelaxed);
        return false;
    }
    deckStatus(index).store(kStatusLoaded, kRelaxed);
    return true;
}

// --- The analysis record across threads ------------------------------------------------

namespace {
// References held by the calling thread, to catch a load that would wait for itself.
thread_local int tHeldRefs = 0;
} // namespace

AnalysisRef::AnalysisRef(AnalysisRef&& other) noexcept
    : readers_(std::exchange(other.readers_, nullptr)),
      record_(std::exchange(other.record_, nullptr)) {}

AnalysisRef& AnalysisRef::operator=(AnalysisRef&& other) noexcept {
    if (this != &other) {
        AnalysisRef gone(std::move(*this));
        readers_ = std::exchange(other.readers_, nullptr);
        record_ = std::exchange(other.record_, nullptr);
    }
    return *this;
}

AnalysisRef::~AnalysisRef() {
    if (readers_ != nullptr) {
        --tHeldRefs;
        readers_->fetch_sub(1); // seq_cst: the retiring load sees every read done
    }
}

AnalysisRef Deck::analysis() const {
    for (;;) {
        const uint32_t epoch = readerEpoch_.load();
        std::atomic<int32_t>& count = readers_[epoch & 1];
        count.fetch_add(1);
        if (readerEpoch_.load() == epoch) {
            TrackAnalysis* current = sharedRecord_.load(std::memory_order_acquire);
            if (current == nullptr) {
                count.fetch_sub(1);
                return {};
            }
            ++tHeldRefs;
            return AnalysisRef(&count, current);
        }
        // A load switched epochs meanwhile: it may not wait for this count.
        count.fetch_sub(1);
    }
}

void Deck::retireRecord() {
    assert(tHeldRefs == 0 && "a load would wait for a reference its own thread holds");
    analyser.attach(nullptr, nullptr);
    sharedRecord_.store(nullptr, std::memory_order_release);
    const uint32_t old = readerEpoch_.fetch_add(1);
    // Readers hold the record for a moment's read: a short wait.
    while (readers_[old & 1].load() != 0)
        std::this_thread::yield();
}

// --- Transport ---------------------------------------------------------------------------

void Deck::play() {
    if (position.load(kRelaxed) >= 0.0f)
        postCommand(DeckCommand::Play);
    fresh = 0;
}

void Deck::pause() {
    if (position.load(kRelaxed) >= 0.0f)
        postCommand(DeckCommand::Pause);
}

void Deck::stop() {
    if (duration.load(kRelaxed) < 0)
        return;
    if (playing.load(kRelaxed)) {
        postCommand(DeckCommand::Pause);
        stopStep.store(0, kRelaxed);
    }
    const TrackAnalysis* values = attachedAnalysis();
    const float memory = values ? values->memoryPoint.load(kRelaxed) : 0.0f;
    const float start = values ? values->startPoint.load(kRelaxed) : 0.0f;
    switch (stopStep.load(kRelaxed)) {
    case 0:
        stopStep.store(memory != 0.0f ? 1 : 2, kRelaxed);
        postCommand(DeckCommand::Seek, 0, memory);
        break;
    case 1:
        stopStep.store(2, kRelaxed);
        postCommand(DeckCommand::Seek, 0, 0.0f);
        break;
    default:
        stopStep.store(0, kRelaxed);
        postCommand(DeckCommand::Seek, 0, start);
        break;
    }
}

void Deck::setMemory() {
    const float p = position.load(kRelaxed);
    if (p < 0.0f)
        return;
    if (TrackAnalysis* values = attachedAnalysis())
        values->memoryPoint.store(p, kRelaxed);
}

void Deck::goToMemory() {
    if (duration.load(kRelaxed) < 0)
        return;
    const TrackAnalysis* values = attachedAnalysis();
    postCommand(DeckCommand::Seek, 0, values ? values->memoryPoint.load(kRelaxed) : 0.0f);
}

void Deck::playFrom(float p) {
    if (duration.load(kRelaxed) < 0)
        return;
    postCommand(DeckCommand::Seek, 0, p);
    // A seek that found no sound there leaves nothing to play.
    if (!playing.load(kRelaxed) && position.load(kRelaxed) >= 0.0f)
        postCommand(DeckCommand::Play);
    fresh = 0;
}

void Deck::eject() {
    postCommand(DeckCommand::Seek, 0, 1.0f);
}

void Deck::setSpeed(int32_t s) {
    if (s != speed.load(kRelaxed))
        postCommand(DeckCommand::SetSpeed, s);
}

void Deck::setVolume(int32_t level) {
    if (level == volume.load(kRelaxed))
        return;
    if (SoundOutput* out = soundOutputNow())
        out->setDeckLevel(index, level);
    volume.store(level, kRelaxed);
}

void Deck::skip(int32_t frames) {
    if (position.load(kRelaxed) >= 0.0f)
        postCommand(DeckCommand::Skip, frames);
}

void Deck::shift(int32_t frames) {
    if (position.load(kRelaxed) >= 0.0f)
        postCommand(DeckCommand::Shift, frames);
}

void Deck::setDspPlugin(std::unique_ptr<DspPlugin> plugin) {
    DspPlugin* old = dspPlugin.load(kRelaxed);
    if (plugin.get() == old) {
        // Already the deck's own instance: keep the single owner.
        (void)plugin.release();
        return;
    }
    DspPlugin* next = plugin.release();
    postCommand(DeckCommand::SetDspPlugin, 0, 0.0f, next);
    // The audio thread no longer uses the old instance once the command was served.
    delete old;
}

void Deck::refresh() {
    if (position.load(kRelaxed) >= 0.0f)
        postCommand(DeckCommand::Refresh);
}

// --- Queries ----------------------------------------------------------------------------

double Deck::getBpm() const {
    if (!track || track->entry == nullptr)
        return 0.0;
    const double bpm = track->entry->bpm.load(kRelaxed);
    if (!TrackEntry::isUsableBpm(bpm))
        return bpm;
    return bpm * speed.load(kRelaxed) * (1.0 / kUnitSpeed);
}

int32_t Deck::getLoudness() const {
    const TrackAnalysis* values = attachedAnalysis();
    if (!track || values == nullptr)
        return 0;
    const int64_t loudness =
        static_cast<int64_t>(values->loudness.load(kRelaxed)) * volume.load(kRelaxed);
    return static_cast<int32_t>(std::clamp<int64_t>(loudness, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}
