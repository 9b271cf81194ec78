// The deck's measurements for beat matching and the rhythm display: tempo and level
// synchronisation with the other deck, and the envelope peaks around the heard frame.
// Envelope entries cover 36 frames each; the analyser keeps 8192 of them, one per
// 36 frames of the decoded ring, so the entry of decoded-ring frame f is f / 36.

#include "audio/deck/Deck.h"

#include "audio/deck/DeckControls.h"
#include "audio/deck/DeckRings.h"
#include "audio/deck/DeckTable.h"
#include "core/Settings.h"

#include <algorithm>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kEnvelopeBlocks = BeatAnalyser::kRingBlocks;
constexpr double kBeatBlocksPerBpm = 73500.0; // blocks of 36 frames in a minute
constexpr int32_t kNearestWeight = 1000;      // distance weighting of findNearestPeak
constexpr int32_t kColumnUnit = 1024;         // rhythm columns: speed steps per entry / 4
// A beat's envelope shows several ripple peaks a few ms apart, and which of them is
// highest flips from beat to beat; summed over a few blocks either side the beat has
// one stable top.
constexpr int32_t kPeakSmoothBlocks = 3;
// Output frames either side of a beat's start that a skip must leave alone (10 ms): the
// start is known to a millisecond or two, and Master Tempo splices move it further.
constexpr int32_t kBeatStartMargin = 441;

int64_t smoothedEnvelope(const BeatAnalyser& analyser, int32_t block) {
    int64_t sum = 0;
    for (int32_t k = -kPeakSmoothBlocks; k <= kPeakSmoothBlocks; ++k)
        sum += analyser.envelopeAt(block + k);
    return sum;
}

// A decoded-ring position as a signed distance from the heard frame: what was rendered
// lies within a few seconds of it either way, and the ring spans 6.7 s.
int32_t unwrapAround(int32_t frame, int32_t heard) {
    int32_t d = frame - heard;
    if (d >= kDecodedRingFrames / 2)
        d -= kDecodedRingFrames;
    else if (d < -kDecodedRingFrames / 2)
        d += kDecodedRingFrames;
    return d;
}

} // namespace

int32_t Deck::beatBlocks(float defaultBpm) const {
    float bpm = defaultBpm;
    if (track && track->entry != nullptr) {
        const float stored = track->entry->bpm.load(kRelaxed);
        if (TrackEntry::isUsableBpm(stored))
            bpm = stored;
    }
    // No search needs more than the envelope's span.
    return std::min(static_cast<int32_t>(kBeatBlocksPerBpm / bpm), kEnvelopeBlocks);
}

bool Deck::syncBpm() {
    const Deck* other = otherDeck();
    if (!track || track->entry == nullptr || other == nullptr)
        return false;
    const double theirs = other->getBpm();
    if (!TrackEntry::isUsableBpm(theirs))
        return false;
    const double ours = track->entry->bpm.load(kRelaxed);
    if (!TrackEntry::isUsableBpm(ours))
        return false;
    // Match to half or double tempo when that is closer.
    double ratio = theirs / ours;
    while (ratio > 1.5)
        ratio /= 2.0;
    while (ratio < 0.75)
        ratio *= 2.0;
    const int32_t s = static_cast<int32_t>(ratio * kUnitSpeed);
    if (s < settings().pitchMin() || s > settings().pitchMax())
        return false;
    deckControls().setPitchControl(index, s);
    return true;
}

bool Deck::syncLevel() {
    const Deck* other = otherDeck();
    if (!track || other == nullptr)
        return false;
    const int32_t theirs = other->getLoudness();
    const TrackAnalysis* values = attachedAnalysis();
    if (theirs == 0 || values == nullptr)
        return false;
    const int32_t ours = values->loudness.load(kRelaxed);
    if (ours == 0)
        return false;
    deckControls().setLevelControl(index, std::clamp(theirs / ours, 0, kMaxLevel));
    return true;
}

int32_t Deck::findBeatPeak() const {
    if (!track)
        return 0;
    const int32_t first = heardPos.load(kRelaxed) / kEnvelopeBlockFrames;
    const int32_t written = decodeWritePos.load(kRelaxed) / kEnvelopeBlockFrames;
    int32_t span = written - first;
    if (span < 0)
        span += kEnvelopeBlocks;
    const int32_t n = std::min(beatBlocks(kDefaultBeatBpm), span);
    int64_t best = 0;
    int32_t result = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t value = smoothedEnvelope(analyser, first + i);
        if (value > best) {
            best = value;
            result = i;
        }
    }
    return result;
}

int32_t Deck::findNearestPeak(int32_t target) const {
    if (!track)
        return 0;
    const int32_t first = heardPos.load(kRelaxed) / kEnvelopeBlockFrames;
    const int32_t written = decodeWritePos.load(kRelaxed) / kEnvelopeBlockFrames;
    const int32_t unwritten = decodedUnwritten.load(kRelaxed) / kEnvelopeBlockFrames;
    int32_t ahead = written - first;
    if (ahead < 0)
        ahead += kEnvelopeBlocks;
    // Decoded blocks beyond the start block, and valid ones before it.
    const int32_t forward = ahead - target;
    if (forward <= 0)
        return 0;
    const int32_t backward = kEnvelopeBlocks - unwritten - ahead + target;
    if (backward < 0)
        return 0;

    const int32_t start = first + target;
    const int32_t n = beatBlocks(kDefaultBeatBpm);
    int64_t best = 0;
    int32_t result = 0;
    for (int32_t j = 0; j < n; ++j) {
        // A candidate must beat the best strictly: the nearer one, then the one ahead,
        // wins at equal weight.
        if (j < forward) {
            const int64_t weighted =
                smoothedEnvelope(analyser, start + j) * kNearestWeight / (j + kNearestWeight);
            if (weighted > best) {
                best = weighted;
                result = j;
            }
        }
        if (j < backward) {
            const int64_t weighted =
                smoothedEnvelope(analyser, start - j) * kNearestWeight / (j + kNearestWeight);
            if (weighted > best) {
                best = weighted;
                result = -j;
            }
        }
    }
    return result;
}

int32_t Deck::beatFrame(int32_t block) const {
    const int32_t peak = heardPos.load(kRelaxed) / kEnvelopeBlockFrames + block;
    return wrapDecoded(int64_t{peak} * kEnvelopeBlockFrames + analyser.onsetOffset(peak));
}

bool Deck::skipTouchesBeat(int32_t frames, int32_t nextPeak) const {
    const int32_t play = sharedPlayPos.load(kRelaxed);
    const int32_t write = sharedWritePos.load(kRelaxed);
    const int32_t heard = heardPos.load(kRelaxed);
    auto fromHeard = [heard](int32_t frame) { return unwrapAround(frame, heard); };
    // The starts of the next beat and of the one before, in input frames: the track's
    // own beat is steady there, while splices move the sound that is heard.
    const int32_t next = fromHeard(beatFrame(nextPeak));
    const int32_t onsets[] = {next, next - beatBlocks(kDefaultBeatBpm) * kEnvelopeBlockFrames};
    // A skip back plays the output frames [frames, 0) from the heard one again, a skip
    // forward leaves out [0, frames): look for a beat's start made into any of them.
    const int32_t from =
        std::max(std::min(frames, 0) - kBeatStartMargin, -(roomBetween(write, play) - 1));
    const int32_t to = std::min(std::max(frames, 0) + kBeatStartMargin, framesAhead(play, write));
    int32_t previous = 0;
    for (int32_t i = from; i < to; ++i) {
        const int32_t source = outputSource[wrapOutput(int64_t{play} + i)].load(kRelaxed);
        if (source < 0)
            return false; // where the beats sound is not known
        const int32_t input = fromHeard(source);
        for (const int32_t onset : onsets)
            if (input == onset || (i > from && previous < onset && onset < input))
                return true;
        previous = input;
    }
    return false;
}

int32_t Deck::outputFramesUntil(int32_t decodedFrame) const {
    const int32_t play = sharedPlayPos.load(kRelaxed);
    const int32_t write = sharedWritePos.load(kRelaxed);
    const int32_t heard = heardPos.load(kRelaxed);
    auto fromHeard = [heard](int32_t frame) { return unwrapAround(frame, heard); };
    const int32_t target = fromHeard(decodedFrame);
    const int32_t rendered = framesAhead(play, write);
    for (int32_t i = 0; i < rendered; ++i) {
        const int32_t source = outputSource[wrapOutput(int64_t{play} + i)].load(kRelaxed);
        if (source < 0)
            return -1;
        if (fromHeard(source) >= target)
            return i;
    }
    return -1;
}

void Deck::getEnvelope(uint16_t* heights, int count, int scale) const {
    int32_t entry = heardPos.load(kRelaxed) / kEnvelopeBlockFrames;
    int32_t step = speed.load(kRelaxed);
    if (step == 0)
        step = kUnitSpeed;
    // Any thread: the record is read under a reference, which a load waits for.
    const int64_t peak = [this] {
        const AnalysisRef values = analysis();
        return std::max<int64_t>(values ? values->peakEnergy.load(kRelaxed) : 1, 1);
    }();
    const int64_t top = std::max(scale - 1, 0);
    int32_t accumulator = 0;
    for (int column = 0; column < count; ++column) {
        accumulator += step;
        int32_t maximum = 0;
        if (accumulator >= kColumnUnit) {
            const int32_t entries = accumulator >> 10;
            for (int32_t k = 0; k < entries; ++k)
                maximum = std::max(maximum, analyser.envelopeAt(entry + k));
            entry = (entry + entries) & (kEnvelopeBlocks - 1);
            accumulator &= kColumnUnit - 1;
        }
        heights[column] =
            static_cast<uint16_t>(std::clamp<int64_t>(maximum * int64_t{scale} / peak, 0, top));
    }
}
