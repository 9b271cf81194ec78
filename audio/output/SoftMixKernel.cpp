#include "audio/output/SoftMixKernel.h"

#include <algorithm>

namespace {

inline int16_t clampSample(int32_t v) {
    return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

} // namespace

void mixTwoDecks(Frame* out, const Frame* a, const Frame* b, int32_t frames, int32_t gainA,
                 int32_t gainB) {
    const int32_t halfA = gainA >> 1;
    const int32_t halfB = gainB >> 1;
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t left = (frameLeft(b[i]) * halfB + frameLeft(a[i]) * halfA) >> 15;
        const int32_t right = (frameRight(b[i]) * halfB + frameRight(a[i]) * halfA) >> 15;
        out[i] = makeFrame(clampSample(left), clampSample(right));
    }
}

void mixOneDeck(Frame* out, const Frame* a, int32_t frames, int32_t gain) {
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t left = (frameLeft(a[i]) * gain) >> 16;
        const int32_t right = (frameRight(a[i]) * gain) >> 16;
        out[i] = makeFrame(static_cast<int16_t>(left), static_cast<int16_t>(right));
    }
}
