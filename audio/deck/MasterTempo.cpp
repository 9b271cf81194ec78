#include "audio/deck/MasterTempo.h"
#include "core/HotLoop.h"

#include <array>

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

void crossFadeSplice(Frame* out, const Frame* tail, const Frame* fresh) {
    for (int i = 0; i < kSpliceFadeFrames; ++i) {
        const int32_t fadeOut = kSpliceFadeFrames - i;
        const int32_t left = (frameLeft(tail[i]) * fadeOut + frameLeft(fresh[i]) * i) >> 9;
        const int32_t right = (frameRight(tail[i]) * fadeOut + frameRight(fresh[i]) * i) >> 9;
        out[i] = makeFrame(static_cast<int16_t>(left), static_cast<int16_t>(right));
    }
}
