// The rendering half of the deck's signal path (audio thread): turning decoded frames
// into output frames at the deck's speed, by plain resampling or by Master Tempo,
// through the DSP plug-in, into the output ring; re-priming, skipping and shifting the
// output; and the heard position reported by the SoundOutput.

#include "audio/deck/Deck.h"

#include "audio/deck/DeckMessages.h"
#include "audio/deck/DeckRings.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/DspPlugin.h"
#include "audio/deck/MasterTempo.h"
#include "audio/deck/Resampler.h"
#include "audio/deck/SoundOutput.h"
#include "core/Settings.h"

#include <algorithm>
#include <cassert>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr float kAutoMixEarliest = 0.8f;    // never start a mix before this position
constexpr int32_t kLongMixBase = 32;        // mix ticks beside LongMix
constexpr double kLongMixPerSecond = 20480; // (LongMix + 32) x speed / this = seconds ahead

static_assert(kSpliceFrames == kSpliceFadeFrames && kSpliceWidth == kSpliceMaxOffset);
static_assert(kInputHistoryFrames >= kResampleHistoryFrames);
static_assert(kSpliceStepFrames == kRenderStepFrames &&
              kTimedSpliceInputFrames <= kMinInputFrames + kSpliceWidth);

} // namespace

// The input window, contiguous, with kInputHistoryFrames readable before it: the frames
// just before decodeReadPos are heard history the decoder has not overwritten.
const Frame* Deck::inputWindowFrames() {
    assert(inputWindow <= kMaxInputWindow);
    if (decodeReadPos >= kInputHistoryFrames && decodeReadPos + inputWindow <= kDecodedRingFrames)
        return &decodedRing[decodeReadPos];
    const int32_t from = wrapDecoded(int64_t{decodeReadPos} - kInputHistoryFrames);
    const int32_t count = kInputHistoryFrames + inputWindow;
    const int32_t first = std::min(count, kDecodedRingFrames - from);
    std::copy_n(&decodedRing[from], first, inputScratch.begin());
    std::copy_n(decodedRing.begin(), count - first, inputScratch.begin() + first);
    return inputScratch.data() + kInputHistoryFrames;
}

bool Deck::renderBlock() {
    const bool withPlugin = dspPlugin.load(kRelaxed) != nullptr;
    // A plug-in may return up to twice what it was given, so keep one step more free.
    const int32_t needed = kRenderRoomFrames + (withPlugin ? kRenderStepFrames : 0);
    if (roomBetween(writePos, playPos) <= needed)
        return false;

    for (;;) {
        int32_t available = decodeWritePos.load(kRelaxed) - decodeReadPos;
        if (available < 0)
            available += kDecodedRingFrames;
        if (available >= inputWindow)
            break;
        if (!decodeFrame())
            return false;
    }

    const Frame* input = inputWindowFrames();
    if (settings().masterTempo.load(kRelaxed))
        renderMasterTempo(input);
    else
        renderPlain(input);
    freshStart = 0;
    return true;
}

// Resampling: the pitch follows the speed. The output map names the input frame each
// output frame's position falls after, for either kernel.
void Deck::renderPlain(const Frame* input) {
    const int32_t s = speed.load(kRelaxed);
    int32_t phase = resamplePhase;
    int32_t used = 0;
    for (int32_t i = 0; i < kRenderStepFrames; ++i) {
        outputSource[writePos + i].store(wrapDecoded(int64_t{decodeReadPos} + used), kRelaxed);
        phase += s;
        used += phase >> 12;
        phase &= kUnitSpeed - 1;
    }
    Frame* out = &outputRing[writePos];
    if (settings().classicResampling.load(kRelaxed))
        resampleNearest(out, input, kRenderStepFrames, s, resamplePhase);
    else
        resampleInterpolated(out, input, kRenderStepFrames, s, resamplePhase);
    finishStep(kRenderStepFrames);
    decodeReadPos = wrapDecoded(int64_t{decodeReadPos} + used);
}

// Splicing: the output runs at 44100 Hz from the input, and the input advances by the
// speed; a cross-fade at the best-matching offset hides each jump.
void Deck::renderMasterTempo(const Frame* input) {
    const int32_t s = speed.load(kRelaxed);
    const bool classic = settings().classicResampling.load(kRelaxed) != 0;
    int32_t offset = 0;
    if (freshStart && !classic) {
        // No splice times the first onset: the input is taken from a little earlier and
        // played from the heard frame on, so that onset comes at the same lead as the
        // later ones, which the splices time.
        const int32_t earlier = freshStartFrames(input, s);
        decodeReadPos = wrapDecoded(int64_t{decodeReadPos} - earlier);
        input = inputWindowFrames();
        offset = 2 * earlier;
    } else if (s != kUnitSpeed) {
        offset = classic ? findBestSplice(spliceTail.data(), input)
                         : findTimedSplice(spliceTail.data(), input, {spliceTailFrame, s});
    }
    const int32_t half = offset / 2;
    const int32_t frames = kRenderStepFrames - half;
    Frame* out = &outputRing[writePos];
    // After a start from pause nothing is heard to fade from: the sound starts at once,
    // as it does without Master Tempo, so a beat on the cue point keeps its attack; after
    // a jump the old sound only fades out quickly, for the same reason.
    const bool fromSilence = !classic && std::all_of(spliceTail.begin(), spliceTail.end(),
                                                     [](Frame f) { return f == 0; });
    if (fromSilence)
        std::copy_n(input + half, kSpliceFrames, out);
    else if (freshStart && !classic)
        crossFadeJump(out, spliceTail.data(), input + half);
    else
        crossFadeSplice(out, spliceTail.data(), input + half);
    std::copy_n(input + half + kSpliceFrames, frames - kSpliceFrames, out + kSpliceFrames);
    // Cross-faded frames count as the new input's: the fade ends in it.
    for (int32_t i = 0; i < frames; ++i)
        outputSource[writePos + i].store(wrapDecoded(int64_t{decodeReadPos} + half + i), kRelaxed);
    finishStep(frames);

    std::copy_n(input + kRenderStepFrames, kSpliceFrames, spliceTail.begin());
    const int64_t u = tempoPhase + int64_t{frames} * s;
    decodeReadPos = wrapDecoded(decodeReadPos + u / kUnitSpeed);
    spliceTailFrame = static_cast<int32_t>(kRenderStepFrames - u / kUnitSpeed);
    tempoPhase = static_cast<int32_t>(u % kUnitSpeed);
}

// Runs the plug-in on the frames just written at writePos and advances writePos,
// copying what ran into the overflow back to the ring's start. Returns the count kept.
int32_t Deck::finishStep(int32_t frames) {
    int32_t count = frames;
    if (DspPlugin* plugin = dspPlugin.load(kRelaxed)) {
        dspCount += frames;
        // A pending command will change the deck at once; spare the plug-in the work.
        if (command.load(kRelaxed) == 0)
            count = std::clamp(plugin->process(&outputRing[writePos], frames), 0, 2 * frames);
        // The plug-in may add, drop or move frames: their sources are not known.
        for (int32_t i = 0; i < count; ++i)
            outputSource[writePos + i].store(-1, kRelaxed);
    }
    outputUnwritten = std::max(outputUnwritten - count, 0);
    int32_t next = writePos + count;
    if (next >= kOutputRingFrames) {
        next -= kOutputRingFrames;
        std::copy_n(&outputRing[kOutputRingFrames], next, outputRing.begin());
        for (int32_t i = 0; i < next; ++i)
            outputSource[i].store(outputSource[kOutputRingFrames + i].load(kRelaxed), kRelaxed);
    }
    writePos = next;
    publishOutputPositions();
    return count;
}

void Deck::publishOutputPositions() {
    sharedPlayPos.store(playPos, kRelaxed);
    sharedWritePos.store(writePos, kRelaxed);
}

void Deck::reprime(bool newPlace) {
    const bool isPlaying = playing.load(kRelaxed) != 0;
    freshStart = newPlace || !isPlaying ? 1 : 0;
    // Where the tail lies in the input that reading resumes from (heardPos): the heard
    // frame's own input when the output map knows it.
    spliceTailFrame = 0;
    if (isPlaying) {
        // The next Master Tempo step fades from what is heard now.
        for (int32_t i = 0; i < kSpliceFrames; ++i)
            spliceTail[i] = outputRing[wrapOutput(int64_t{playPos} + i)];
        const int32_t source = outputSource[playPos].load(kRelaxed);
        if (source >= 0) {
            int32_t e = source - heardPos.load(kRelaxed);
            if (e > kDecodedRingFrames / 2)
                e -= kDecodedRingFrames;
            else if (e < -kDecodedRingFrames / 2)
                e += kDecodedRingFrames;
            spliceTailFrame = e;
        }
    } else {
        spliceTail.fill(Frame{0});
    }
    decodeReadPos = heardPos.load(kRelaxed);
    writePos = playPos;
    publishOutputPositions();
    outputUnwritten = kOutputRingFrames;
    dspCount = 0;
    resamplePhase = 0;
    tempoPhase = 0;
    renderBlock();
    if (isPlaying) {
        if (SoundOutput* out = soundOutputNow())
            out->resyncDeck(index);
    }
}

void Deck::skipOutput(int32_t n) {
    if (n < 0) {
        const int32_t room = roomBetween(writePos, playPos);
        const int32_t history = room - 1;
        if (history <= 0)
            return;
        n = std::max(n, -history);
        playPos = wrapOutput(int64_t{playPos} + n);
        // Frames from the new playPos up to the end of what no render reached since the
        // last re-prime hold older sound: they are heard as silence.
        const int32_t stale = outputUnwritten - (room + n);
        for (int32_t i = 0; i < stale; ++i) {
            outputRing[wrapOutput(int64_t{playPos} + i)] = 0;
            outputSource[wrapOutput(int64_t{playPos} + i)].store(-1, kRelaxed);
        }
    } else if (n > 0) {
        moveForward(n);
    }
    if (n != 0)
        afterMove(false);
}

void Deck::moveForward(int32_t& n) {
    n = std::min(n, framesAhead(playPos, writePos));
    playPos = wrapOutput(int64_t{playPos} + n);
}

// After the heard frame moved: render into the room that opened, then let the output
// play from the new place (a paused deck is heard briefly when asked for).
void Deck::afterMove(bool snippetWhenPaused) {
    publishOutputPositions();
    renderBlock();
    SoundOutput* out = soundOutputNow();
    if (playing.load(kRelaxed)) {
        if (out)
            out->resyncDeck(index);
        return;
    }
    updatePlayPosition(playPos);
    if (snippetWhenPaused && out)
        out->playSnippet(index, playPos, kSnippetFrames);
}

void Deck::shiftOutput(int32_t n) {
    if (n < 0) {
        // Only rendered history counts: the user hears where the track really was.
        const int32_t back = roomBetween(writePos, playPos) - 1 - outputUnwritten;
        if (back <= 0)
            return;
        n = std::max(n, -back);
        playPos = wrapOutput(int64_t{playPos} + n);
    } else if (n > 0) {
        moveForward(n);
    }
    if (n != 0)
        afterMove(true);
}

void Deck::updatePlayPosition(int32_t cursor) {
    // A report outside the ring cannot name a frame of this deck.
    if (cursor < 0 || cursor >= kOutputRingFrames)
        return;
    int64_t ahead = framesAhead(cursor, writePos);
    if (dspPlugin.load(kRelaxed) != nullptr) {
        // The plug-in may change frame counts: measure what is still to be heard in
        // frames given to it.
        const int64_t total = framesAhead(playPos, cursor) + ahead;
        if (total >= 4) {
            dspCount = static_cast<int32_t>((ahead / 4) * dspCount / (total / 4));
            ahead = dspCount;
        }
    }
    const int32_t heard =
        wrapDecoded(decodeReadPos - ((int64_t{speed.load(kRelaxed)} * ahead) >> 12));
    playPos = cursor;
    publishOutputPositions();
    if (heard == heardPos.load(kRelaxed))
        return;
    heardPos.store(heard, kRelaxed);

    const float before = position.load(kRelaxed);
    float now = frameTimes[heard / kBlockFrames] +
                static_cast<float>((heard % kBlockFrames) / lengthInFrames());
    if (now > 1.0f)
        now = 1.0f; // the silence that pads the last block of a track
    position.store(now, kRelaxed);

    SoundOutput* out = soundOutputNow();
    if (now < 0.0f) {
        // The heard frame is silence after the end of the file. Reported once: from
        // then on the deck has no position and the output no longer reports it.
        if (playing.load(kRelaxed) && out)
            out->deckStopped(index);
        playing.store(0, kRelaxed);
        stopStep.store(0, kRelaxed);
        if (before >= 0.0f)
            deckMessages().raise(kMsgTrackEnded, index);
        return;
    }

    if (!wantsAutoMix(now)) {
        autoMixRaised = 0;
        return;
    }
    // Once per approach to the end: the main thread starts the mix or has a reason
    // not to, and a message every turn would cost a system call per millisecond.
    if (autoMixRaised)
        return;
    autoMixRaised = 1;
    deckMessages().raise(kMsgAutoMixStart, 1 - index);
}

// Whether the automatic mix into the other deck is due at heard position `now`: this
// deck plays its track's last stretch and the other deck waits with a position.
bool Deck::wantsAutoMix(float now) const {
    if (!autoMixOn().load(kRelaxed) || mixTriggered.load(kRelaxed) || !playing.load(kRelaxed) ||
        now < kAutoMixEarliest)
        return false;
    const Deck* other = otherDeck();
    if (other == nullptr || other->playing.load(kRelaxed) || other->position.load(kRelaxed) < 0.0f)
        return false;
    const int64_t frames = trackFrames.load(kRelaxed);
    if (frames <= 0)
        return true;
    const int32_t longMix = settings().longMix.load(kRelaxed);
    const double seconds = double(frames) / kSampleRate;
    const double threshold =
        (longMix + kLongMixBase) * double(speed.load(kRelaxed)) / kLongMixPerSecond / seconds + now;
    const TrackAnalysis* values = attachedAnalysis();
    const float endPoint = values ? values->endPoint.load(kRelaxed) : 0.0f;
    return endPoint <= threshold;
}

// The length positions are fractions of; one second when no track is open.
double Deck::lengthInFrames() const {
    const int64_t frames = trackFrames.load(kRelaxed);
    return frames > 0 ? double(frames) : double(kSampleRate);
}
