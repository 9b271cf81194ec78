#include "audio/deck/MasterTempo.h"
#include "core/HotLoop.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kReferenceSamples = 2 * kSpliceFadeFrames; // interleaved left/right
constexpr int kScoredSamples = kReferenceSamples - 2;    // the window's zero ends skipped

// The offsets tried, one row per refinement; each row is relative to the best so far.
constexpr std::array<std::array<int32_t, 8>, 4> kOffsetRows{{
    {248, 498, 748, 998, 1248, 1498, 1748, 1998},
    {-200, -150, -100, -50, 50, 100, 150, 200},
    {-40, -30, -20, -10, 10, 20, 30, 40},
    {-8, -6, -4, -2, 2, 4, 6, 8},
}};

} // namespace

// The score of one candidate: the sum over k of (x(k) * ref(k)) >> 8, each product
// shifted before it is added. ref reaches 17 bits, so a product does not fit 32 bits;
// with ref = high * 256 + low (low in 0..255) the same value is
//   (x * ref) >> 8 == x * high + ((x * low) >> 8)
// exactly, from two 16 x 16 products that vectorise. A term stays below 2^24, so 64
// of them are summed in 32 bits before the total goes to 64 bits.
namespace {

constexpr int kChunk = 64;

ZV_HOT_LOOP int64_t spliceScore(const int16_t* x, const int16_t* high, const int16_t* low) {
    int64_t score = 0;
    for (int start = 0; start < kScoredSamples; start += kChunk) {
        const int end = start + kChunk < kScoredSamples ? start + kChunk : kScoredSamples;
        int32_t part = 0;
        for (int k = start; k < end; ++k) {
            const int32_t sample = x[k];
            part += sample * high[k] + ((sample * low[k]) >> 8);
        }
        score += part;
    }
    return score;
}

// The tail under a parabolic window (0 at both ends, x2 in the middle), so the frames
// nearest the middle of the fade weigh most.
int32_t weightedTail(const Frame* tail, int j) {
    const int i = j >> 1;
    const int64_t weight = (kSpliceFadeFrames - i) * i;
    const int32_t sample = (j & 1) ? frameRight(tail[i]) : frameLeft(tail[i]);
    return static_cast<int32_t>((sample * weight) >> 15);
}

template <typename Score> int32_t searchSplice(Score score) {
    int32_t best = kOffsetRows[0][0];
    int64_t bestScore = -32768;
    int32_t base = 0;
    for (const auto& row : kOffsetRows) {
        for (int32_t step : row) {
            const int32_t candidate = base + step;
            const int64_t value = score(candidate);
            if (value > bestScore) {
                bestScore = value;
                best = candidate;
            }
        }
        base = best;
    }
    return best;
}

constexpr int kInputSamples = kSpliceMaxOffset + 2 + kScoredSamples;

} // namespace

int32_t findBestSplice(const Frame* tail, const Frame* input) {
    std::array<int16_t, kScoredSamples> high, low;
    for (int k = 0; k < kScoredSamples; ++k) {
        const int32_t ref = weightedTail(tail, k + 2);
        high[k] = static_cast<int16_t>(ref >> 8);
        low[k] = static_cast<int16_t>(ref & 0xff);
    }
    // The input as plain 16-bit samples (left at even, right at odd indices). Every
    // candidate is even, so sample candidate + 2 + k has the parity of k.
    std::array<int16_t, kInputSamples> samples;
    for (int j = 0; j < kInputSamples; j += 2) {
        samples[j] = frameLeft(input[j >> 1]);
        samples[j + 1] = frameRight(input[j >> 1]);
    }
    return searchSplice([&](int32_t candidate) {
        return spliceScore(samples.data() + candidate + 2, high.data(), low.data());
    });
}

int32_t findBestSpliceReference(const Frame* tail, const Frame* input) {
    return searchSplice([&](int32_t candidate) {
        int64_t score = 0;
        for (int k = 0; k < kScoredSamples; ++k) {
            const int32_t j = candidate + 2 + k;
            const int64_t x = (j & 1) ? frameRight(input[j >> 1]) : frameLeft(input[j >> 1]);
            score += (x * weightedTail(tail, k + 2)) >> 8;
        }
        return score;
    });
}

namespace {

constexpr int kCandidates = kSpliceMaxOffset / 2 + 1; // every whole-frame offset
constexpr int kStepFrames = kSpliceStepFrames;
constexpr int kPreferredFrame = 561; // the middle: room to either side
// Correlation a splice must gain to move the sound 10 ms (441 frames) off its time:
// little between onsets, where only the smoothness of the splice is heard, much at an
// onset, whose time is the beat.
constexpr float kDriftCost = 0.2f / 441.0f;
constexpr float kOnsetTimeCost = 5.0f / 441.0f;
constexpr float kOnsetHitCost = 8.0f; // more than any correlation, or 16 ms of timing, can gain
constexpr int kOnsetMargin = kOnsetMarginFrames;
constexpr float kSilence = 1e-3f; // window energy below which a window counts as silent
constexpr int kMaxOnsets = 64;
// Input a step looks at for onsets: through the next step's tail and its margin, so an
// onset the next step can only continue seamlessly is timed by this one.
constexpr int kOnsetSpan = kTimedSpliceInputFrames;

// Correlation of ref with x at every even offset: candidate c starts at x[2c].
ZV_HOT_LOOP void correlateAll(const float* x, const float* ref, float* out) {
    for (int c = 0; c < kCandidates; ++c) {
        const float* xc = x + 2 * c;
        float acc[8] = {};
        for (int k = 0; k < kReferenceSamples; k += 8)
            for (int j = 0; j < 8; ++j)
                acc[j] += xc[k + j] * ref[k + j];
        out[c] = ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
    }
}

} // namespace

// An onset: a block at least 6 times as loud as any of the 8 before it (256 frames, more
// than half the period of a low note, so a steady tone's ripple never counts) and not
// far below the loudest block of the span.
int findOnsets(const Frame* input, int frames, int32_t* onsets, int capacity, bool afterSilence) {
    constexpr int kMaxBlocks = kOnsetSpan / kOnsetBlockFrames + 1;
    std::array<float, kMaxBlocks> energy{};
    const int blocks = std::min(frames / kOnsetBlockFrames, kMaxBlocks);
    float loudest = 0.0f;
    for (int b = 0; b < blocks; ++b) {
        float e = 0.0f;
        for (int i = b * kOnsetBlockFrames; i < (b + 1) * kOnsetBlockFrames; ++i) {
            const float v = float(frameLeft(input[i])) + float(frameRight(input[i]));
            e += v * v;
        }
        energy[b] = e;
        loudest = std::max(loudest, e);
    }
    int count = 0;
    const float floor = std::max(loudest * 0.1f, 1e4f * kOnsetBlockFrames);
    constexpr int kLookBack = 8;
    for (int b = afterSilence ? 0 : kLookBack; b < blocks && count < capacity; ++b) {
        float before = 0.0f;
        for (int k = std::max(b - kLookBack, 0); k < b; ++k)
            before = std::max(before, energy[k]);
        if (energy[b] > floor && energy[b] > 6.0f * before)
            onsets[count++] = b * kOnsetBlockFrames;
    }
    return count;
}

int32_t findTimedSplice(const Frame* tail, const Frame* input, const SplicePlan& plan) {
    // Samples scaled to +-1; the window is the same parabola as the classic search's.
    std::array<float, kReferenceSamples> ref;
    float refEnergy = 0.0f;
    for (int j = 0; j < kReferenceSamples; ++j) {
        const int i = j >> 1;
        const float weight =
            float((kSpliceFadeFrames - i) * i) / float(kSpliceFadeFrames * kSpliceFadeFrames / 4);
        ref[j] = float((j & 1) ? frameRight(tail[i]) : frameLeft(tail[i])) * (weight / 32768.0f);
        refEnergy += ref[j] * ref[j];
    }
    constexpr int kSamples = 2 * (kCandidates - 1) + kReferenceSamples;
    std::array<float, kSamples> x;
    for (int j = 0; j < kSamples; j += 2) {
        x[j] = float(frameLeft(input[j >> 1])) / 32768.0f;
        x[j + 1] = float(frameRight(input[j >> 1])) / 32768.0f;
    }
    // After silence there is nothing to match: only the onsets' timing counts, so that
    // a beat after a silent passage comes at the same lead as every other.
    const bool silentTail = refEnergy < kSilence;
    std::array<float, kCandidates> corr;
    if (!silentTail)
        correlateAll(x.data(), ref.data(), corr.data());

    std::array<int32_t, kMaxOnsets> onsets;
    const int onsetCount = findOnsets(input, kOnsetSpan, onsets.data(), kMaxOnsets);

    // The input advances by r per output frame, so input frame d of a step spliced at h
    // is heard (d - h) output frames after the step starts, where r (d - h) input frames
    // of ideal time pass: it comes (d - h)(1 - r) + h input frames early. Every onset
    // should come `lead` early: on time when the tempo rises (h = d (r - 1) / r reaches
    // it), else as little early as an onset at the end of the span can be.
    const float r = float(plan.speed) / 4096.0f;
    const float lead = float(onsetLeadFrames(plan.speed));
    const int e = plan.tailFrame;

    double energy = 0.0; // of each candidate's window, slid along in double: no drift
    for (int k = 0; k < kReferenceSamples; ++k)
        energy += double(x[k]) * x[k];
    int best = kPreferredFrame;
    float bestScore = -1e30f;
    for (int c = 0; c < kCandidates; ++c) {
        if (c > 0) {
            const int out = 2 * (c - 1), in = out + kReferenceSamples;
            energy += double(x[in]) * x[in] + double(x[in + 1]) * x[in + 1] -
                      double(x[out]) * x[out] - double(x[out + 1]) * x[out + 1];
        }
        float score = !silentTail && energy > kSilence
                          ? corr[c] / std::sqrt(float(energy) * refEnergy)
                          : 0.0f;
        const bool seamless = std::abs(c - e) <= 1;
        const int clearFrom = std::min(e, c) - kOnsetMargin;
        const int clearTo = std::max(e, c) + kSpliceFadeFrames + kOnsetMargin;
        int played = -1; // the first onset this step plays
        for (int n = 0; n < onsetCount; ++n) {
            const int d = onsets[n];
            if (!seamless && d >= clearFrom && d < clearTo)
                score -= kOnsetHitCost;
            // Up to the end of the next tail: an onset there is played by the next step
            // continuing this one seamlessly, so its time is set here.
            if (played < 0 && d >= c && d < kOnsetSpan)
                played = d;
        }
        if (played >= 0)
            score -= kOnsetTimeCost * std::abs(float(played - c) * (1.0f - r) + float(c) - lead);
        else
            score -= kDriftCost * float(std::abs(c - kPreferredFrame));
        if (score > bestScore) {
            bestScore = score;
            best = c;
        }
    }
    return 2 * best;
}

int32_t onsetLeadFrames(int32_t speed) {
    return speed < 4096 ? (4096 - speed) * kOnsetSpan / 4096 : 0;
}

// Input frame d of the step, taken to begin s frames before input[0] and played from
// there, comes (d + s)(1 - r) + r s = s + d (1 - r) early: s = lead - d (1 - r) puts it
// at the lead (when slowing down, s lies in 0..lead).
int32_t freshStartFrames(const Frame* input, int32_t speed) {
    int32_t onset = 0;
    findOnsets(input, kOnsetSpan, &onset, 1, true);
    const int32_t frames =
        onsetLeadFrames(speed) - static_cast<int32_t>(int64_t{onset} * (4096 - speed) / 4096);
    return std::clamp(frames, 0, kCandidates - 1);
}

namespace {

// out[i] = tail[i] x (n - i) / n + fresh[i] x i / n for n = 2^bits frames.
template <int bits> void crossFade(Frame* out, const Frame* tail, const Frame* fresh) {
    constexpr int32_t n = 1 << bits;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t left = (frameLeft(tail[i]) * (n - i) + frameLeft(fresh[i]) * i) >> bits;
        const int32_t right = (frameRight(tail[i]) * (n - i) + frameRight(fresh[i]) * i) >> bits;
        out[i] = makeFrame(static_cast<int16_t>(left), static_cast<int16_t>(right));
    }
}

} // namespace

void crossFadeSplice(Frame* out, const Frame* tail, const Frame* fresh) {
    static_assert(kSpliceFadeFrames == 1 << 9);
    crossFade<9>(out, tail, fresh);
}

void crossFadeJump(Frame* out, const Frame* tail, const Frame* fresh) {
    static_assert(kJumpFadeFrames == 1 << 6);
    crossFade<6>(out, tail, fresh);
    std::copy_n(fresh + kJumpFadeFrames, kSpliceFadeFrames - kJumpFadeFrames,
                out + kJumpFadeFrames);
}
