#include "audio/MasterTempo.h"

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

// Sample j of interleaved 16-bit stereo: left at even j, right at odd j.
inline int32_t sampleAt(const Frame* frames, int32_t j) {
    const Frame f = frames[j >> 1];
    return (j & 1) ? frameRight(f) : frameLeft(f);
}

} // namespace

int32_t findBestSplice(const Frame* tail, const Frame* input) {
    // The tail under a parabolic window (0 at both ends, x2 in the middle), so the
    // frames nearest the middle of the fade weigh most.
    std::array<int32_t, kReferenceSamples> reference;
    for (int i = 0; i < kSpliceFadeFrames; ++i) {
        const int64_t weight = (kSpliceFadeFrames - i) * i;
        reference[2 * i] = static_cast<int32_t>((frameLeft(tail[i]) * weight) >> 15);
        reference[2 * i + 1] = static_cast<int32_t>((frameRight(tail[i]) * weight) >> 15);
    }

    int32_t best = kOffsetRows[0][0];
    int64_t bestScore = -32768;
    int32_t base = 0;
    for (const auto& row : kOffsetRows) {
        for (int32_t step : row) {
            const int32_t candidate = base + step;
            int64_t score = 0;
            for (int k = 0; k < kScoredSamples; ++k) {
                // Each product is scaled down before it is summed; 64 bits because a
                // full-scale product reaches 2^31.
                score +=
                    (static_cast<int64_t>(sampleAt(input, candidate + 2 + k)) * reference[2 + k]) >>
                    8;
            }
            if (score > bestScore) {
                bestScore = score;
                best = candidate;
            }
        }
        base = best;
    }
    return best;
}

void crossFadeSplice(Frame* out, const Frame* tail, const Frame* fresh) {
    for (int i = 0; i < kSpliceFadeFrames; ++i) {
        const int32_t fadeOut = kSpliceFadeFrames - i;
        const int32_t left = (frameLeft(tail[i]) * fadeOut + frameLeft(fresh[i]) * i) >> 9;
        const int32_t right = (frameRight(tail[i]) * fadeOut + frameRight(fresh[i]) * i) >> 9;
        out[i] = makeFrame(static_cast<int16_t>(left), static_cast<int16_t>(right));
    }
}
