// Beat matching and the automatic mix: the main window's sequencing of the decks,
// driven by its timers and by the messages the decks raise. Everything here runs on
// the user-interface thread; deck changes go through the decks' commands.

#include "app/DeskInput.h"
#include "app/MainWindow.h"
#include "app/TimerIds.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckControls.h"
#include "audio/deck/DeckMessages.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"
#include "core/Clock.h"
#include "core/Settings.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

constexpr int32_t kCrossfaderMax = 384;
constexpr int32_t kCrossfaderCentre = 192;
constexpr int32_t kMixSteps = 32;       // crossfader ticks from one side to the other
constexpr int32_t kMixMiddle = 16;      // the tick at which the hold starts
constexpr int32_t kMixHolding = 42;     // mixStep while holding at the middle
constexpr int32_t kCrossfaderStep = 12; // per tick: 32 x 12 = 384
constexpr int32_t kFineSyncLimitBlocks = 153;
constexpr int32_t kFramesPerBlock = 36;
constexpr float kSkipBeatDefaultBpm = 120.0f;

Deck* deck(int index) {
    return deckAt(index);
}

bool hasPosition(const Deck* d) {
    return d && d->position.load(std::memory_order_relaxed) >= 0;
}

bool isPlaying(const Deck* d) {
    return d && d->playing.load(std::memory_order_relaxed);
}

int32_t speedOf(const Deck* d) {
    int32_t s = d->speed.load(std::memory_order_relaxed);
    return s > 0 ? s : 4096;
}

int32_t longMix() {
    return settings().longMix.load(std::memory_order_relaxed);
}

// Output frames by which d's beat peaking at block `dBlock` will start to sound after
// o's at block `oBlock` (from each deck's heard block); nothing when either is not
// rendered yet. Measured from the beats' onsets, which lie before or after their
// envelope peaks by as much as 30 ms, differently for every kick, and on what the decks
// rendered, so a Master Tempo splice that runs the sound ahead of or behind the heard
// estimate counts as it will be heard.
std::optional<int32_t> heardApart(const Deck* d, int32_t dBlock, const Deck* o, int32_t oBlock) {
    const int32_t dFrames = d->outputFramesUntil(d->beatFrame(dBlock));
    const int32_t oFrames = o->outputFramesUntil(o->beatFrame(oBlock));
    if (dFrames < 0 || oFrames < 0)
        return std::nullopt;
    return dFrames - oFrames;
}

} // namespace

bool MainWindow::bothDecksHaveTracks() const {
    return deck(0) && deck(1) && deck(0)->hasTrack() && deck(1)->hasTrack();
}

// The playlist skips the entries a deck cannot load; false when none loaded.
bool MainWindow::takeNext(int d) {
    return takeNextIntoDeck && takeNextIntoDeck(d);
}

bool MainWindow::loadIntoDeck(int d, const TrackRecord& track) {
    Deck* target = deck(d);
    if (!target)
        return false;
    if (mixTimer)
        stopMix();
    stopPitchReset(d);
    pendingLoads_[d & 1].track.reset(); // this load supersedes one that waits
    bool loaded = target->load(track);
    if (loaded && target->track)
        queueAnalysis(*target->track);
    prefetchNextTrack();
    // The history timer restarts at every load, so a track that stays less than 40 s
    // never enters the history.
    clock_.startTimer(kTimerHistory0 + d, kHistoryTimerMs,
                      [this](int id) { onHistoryTimer(id - kTimerHistory0); });
    historyTimer[d] = true;
    selectDeck(d);
    return loaded;
}

void MainWindow::onHistoryTimer(int d) {
    clock_.killTimer(kTimerHistory0 + d);
    historyTimer[d] = false;
    if (addToHistory)
        addToHistory(d);
}

void MainWindow::selectDeck(int d) {
    selectedDeck_ = d & 1;
    selectedDeckShared_.store(selectedDeck_, std::memory_order_relaxed);
    if (SoundOutput* output = soundOutputNow())
        output->setSelectedDeck(selectedDeck_);
    if (desk_)
        desk_->drawSelectedDeck();
}

void MainWindow::setCrossfader(int32_t position) {
    const int32_t old = crossfader;
    crossfader = std::clamp(position, 0, kCrossfaderMax);
    if (SoundOutput* output = soundOutputNow())
        output->setCrossfader(crossfader);
    if (desk_)
        desk_->drawCrossfader(old, crossfader);
}

void MainWindow::syncPitch(int d) {
    stopPitchReset(d);
    if (Deck* target = deck(d))
        target->syncBpm();
}

void MainWindow::magicSync(int d) {
    Deck* target = deck(d);
    if (!target)
        return;
    syncPitch(d);
    target->play();
    syncBeat(d);
}

void MainWindow::syncBeat(int d) {
    if (!bothDecksHaveTracks())
        return;
    Deck* me = deck(d);
    Deck* other = deck(1 - d);
    const int32_t peak = me->findBeatPeak();
    const int32_t p = peak * speedOf(other) / speedOf(me);
    const int32_t r = other->findNearestPeak(p);
    // Skipping forward brings the beat sooner: skip by how much later it comes.
    me->skip(heardApart(me, peak, other, p + r)
                 .value_or(-(r * 4096 / speedOf(other)) * kFramesPerBlock));
}

void MainWindow::fineSync(int d) {
    if (!bothDecksHaveTracks())
        return;
    Deck* me = deck(d);
    Deck* other = deck(1 - d);
    const int32_t theirPeak = other->findBeatPeak();
    const int32_t t1 = theirPeak * speedOf(me) / speedOf(other);
    const int32_t r1 = me->findNearestPeak(t1);
    const int32_t myPeak = me->findBeatPeak();
    const int32_t t2 = myPeak * speedOf(other) / speedOf(me);
    const int32_t r2 = other->findNearestPeak(t2);
    // Both pairings in output frames, from what was rendered where known.
    int32_t c = heardApart(me, myPeak, other, t2 + r2)
                    .value_or(-(r2 * 4096) / speedOf(other) * kFramesPerBlock);
    const int32_t c1 = heardApart(me, t1 + r1, other, theirPeak).value_or(r1 * kFramesPerBlock);
    if (std::abs(c1) < std::abs(c))
        c = c1;
    // Below a block the decks already meet: a skip would only cut the sound. A skip
    // across the start of a beat would double it; the next tick corrects instead.
    if (std::abs(c) >= kFramesPerBlock && std::abs(c) < kFineSyncLimitBlocks * kFramesPerBlock &&
        !me->skipTouchesBeat(c, myPeak))
        me->skip(c);
}

void MainWindow::skipBeat(int d) {
    if (!bothDecksHaveTracks())
        return;
    Deck* me = deck(d);
    const int32_t n = me->beatBlocks(kSkipBeatDefaultBpm);
    me->skip(n * (kFramesPerBlock * 4096) / speedOf(me));
}

void MainWindow::startMix(int t) {
    Deck* target = deck(t);
    if (!hasPosition(target))
        return;
    if (mixTimer)
        clock_.killTimer(kTimerMix);
    if (settings().autoBpm.load(std::memory_order_relaxed))
        syncPitch(t);
    setCrossfader(t == 0 ? kCrossfaderMax : 0);
    target->play();
    mixStep = 0;
    mixHold = longMix();
    mixTarget = t;
    if (Deck* outgoing = deck(1 - t))
        outgoing->mixTriggered.store(1, std::memory_order_relaxed);
    if (drawMixButton)
        drawMixButton(true);
    clock_.startTimer(kTimerMix, kMixTimerMs, [this](int) { onMixTimer(); });
    mixTimer = true;
}

void MainWindow::onMixTimer() {
    if (mixStep == kMixMiddle)
        mixStep = kMixHolding;
    if (mixStep != kMixHolding)
        ++mixStep;
    else if (mixHold > 0)
        --mixHold;
    else
        mixStep = kMixMiddle + 1;

    const int outgoing = 1 - mixTarget;
    if (mixStep == kMixMiddle)
        selectDeck(outgoing);
    if (mixStep == 1)
        syncBeat(mixTarget);
    else
        fineSync(mixStep <= kMixMiddle ? mixTarget : outgoing);

    if (mixStep <= kMixSteps)
        setCrossfader(mixTarget == 0 ? (kMixSteps - mixStep) * kCrossfaderStep
                                     : mixStep * kCrossfaderStep);
    if (mixStep != kMixSteps)
        return;

    stopMix();
    if (autoMixOn().load(std::memory_order_relaxed) && !takeNext(outgoing)) {
        if (Deck* out = deck(outgoing))
            out->eject();
    }
    Deck* incoming = deck(mixTarget);
    if (settings().autoZPitch.load(std::memory_order_relaxed) && incoming &&
        incoming->speed.load(std::memory_order_relaxed) != 4096)
        startPitchReset(mixTarget);
}

void MainWindow::stopMix() {
    clock_.killTimer(kTimerMix);
    mixTimer = false;
    if (drawMixButton)
        drawMixButton(false);
}

void MainWindow::mixNow() {
    if (mixTimer) {
        stopMix();
        return;
    }
    const int s = selectedDeck_;
    const int o = 1 - s;
    Deck* selected = deck(s);
    Deck* other = deck(o);
    if (!selected || !other)
        return;
    auto hasOpenTrack = [](Deck* d) { return d->duration.load(std::memory_order_relaxed) >= 0; };
    // Gives a deck a position to start from: its own, a stop, or the next entry.
    auto prepare = [&](int index) {
        Deck* d = deck(index);
        if (hasPosition(d))
            return true;
        if (hasOpenTrack(d)) {
            d->stop();
            return true;
        }
        return takeNext(index);
    };
    const bool sPlaying = isPlaying(selected), oPlaying = isPlaying(other);
    if (!sPlaying && !oPlaying) {
        if (hasPosition(other))
            other->play();
        else if (hasPosition(selected))
            selected->play();
        else if (hasOpenTrack(other)) {
            other->stop();
            other->play();
        } else if (hasOpenTrack(selected)) {
            selected->stop();
            selected->play();
        } else if (takeNext(o)) {
            other->play();
        }
        return;
    }
    if (sPlaying != oPlaying) {
        const int into = sPlaying ? o : s;
        if (prepare(into))
            startMix(into);
        return;
    }
    if (crossfader < kCrossfaderCentre)
        startMix(1);
    else if (crossfader > kCrossfaderCentre)
        startMix(0);
    else
        startMix(s);
}

void MainWindow::startPitchReset(int d) {
    clock_.startTimer(kTimerPitchReset0 + d, kPitchResetTimerMs,
                      [this](int id) { onPitchResetTimer(id - kTimerPitchReset0); });
    pitchResetTimer[d] = true;
    if (showPitchResetIndicator)
        showPitchResetIndicator(d, true);
}

void MainWindow::onPitchResetTimer(int d) {
    Deck* target = deck(d);
    if (!target)
        return;
    int32_t s = target->speed.load(std::memory_order_relaxed);
    if (s < 4080)
        s += 16;
    else if (s < 4113)
        s = 4096;
    else
        s -= 16;
    deckControls().setPitchControl(d, s);
    if (s == 4096)
        stopPitchReset(d);
}

void MainWindow::stopPitchReset(int d) {
    if (!pitchResetTimer[d])
        return;
    clock_.killTimer(kTimerPitchReset0 + d);
    pitchResetTimer[d] = false;
    if (showPitchResetIndicator)
        showPitchResetIndicator(d, false);
}

void MainWindow::setAutoMix(bool on) {
    autoMixOn().store(on, std::memory_order_relaxed);
    if (!on)
        return;
    for (int d : {selectedDeck_, 1 - selectedDeck_}) {
        if (deck(d) && !hasPosition(deck(d)))
            takeNext(d);
    }
}

void MainWindow::onDeckMessage(int message, int d) {
    if (message == kMsgAutoMixStart)
        startMix(d);
    else if (message == kMsgTrackEnded && autoMixOn().load(std::memory_order_relaxed))
        followTrackEnd(d);
}

// Automatic mixing after deck d's track ended. Loading the next entry stops a running
// mix, and only a playing deck starts the next one: handled as it comes, an end during
// a crossfade would leave both decks silent with tracks still queued.
void MainWindow::followTrackEnd(int d) {
    Deck* ended = deck(d);
    Deck* other = deck(1 - d);
    if (!ended || !other)
        return;
    if (mixTimer && d != mixTarget)
        return; // the outgoing track: the mix runs on and its end loads the next entry
    if (mixTimer) {
        // The incoming track was shorter than its crossfade: the next entry comes in on
        // the same deck and the crossfade goes on from where it is.
        const int32_t step = mixStep;
        const int32_t hold = mixHold;
        if (!takeNext(d)) {
            stopMix();
            setCrossfader(d == 0 ? kCrossfaderMax : 0); // all on the deck still playing
            return;
        }
        if (settings().autoBpm.load(std::memory_order_relaxed))
            syncPitch(d);
        ended->play();
        syncBeat(d);
        mixStep = step;
        mixHold = hold;
        mixTarget = d;
        other->mixTriggered.store(1, std::memory_order_relaxed);
        if (drawMixButton)
            drawMixButton(true);
        clock_.startTimer(kTimerMix, kMixTimerMs, [this](int) { onMixTimer(); });
        mixTimer = true;
        return;
    }
    if (isPlaying(other)) {
        takeNext(d); // the playing deck mixes it in near its own end
        return;
    }
    // Nothing plays any more: the set goes on at once, in playlist order. A track the
    // other deck holds and never played comes first.
    if (hasPosition(other) && other->fresh) {
        other->play();
        takeNext(d);
    } else if (takeNext(d)) {
        ended->play();
    }
}
