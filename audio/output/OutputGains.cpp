#include "audio/output/OutputGains.h"

#include "audio/card/SoundCard.h"
#include "core/Settings.h"

#include <algorithm>
#include <cmath>

CrossfaderGains crossfaderCurve(int32_t position) {
    const int32_t x = std::clamp(position, 0, kCrossfaderMax);
    std::atomic<int32_t>& setting = settings().crossfader;
    switch (static_cast<CrossfaderMode>(setting.load(std::memory_order_relaxed))) {
    case CrossfaderMode::Smooth:
        return {std::min(kFullCrossfaderGain, kCrossfaderMax - x),
                std::min(kFullCrossfaderGain, x)};
    case CrossfaderMode::Full:
        // Integer division truncates toward zero, as the curve is defined.
        return {std::min(kFullCrossfaderGain, (kCrossfaderMax - x) * 256 / kCrossfaderCentre),
                std::min(kFullCrossfaderGain, x * 256 / kCrossfaderCentre)};
    case CrossfaderMode::Cut:
        return {x <= kCrossfaderCentre ? kFullCrossfaderGain : 0,
                x >= kCrossfaderCentre ? kFullCrossfaderGain : 0};
    }
    // A damaged setting: both decks silent this time, and a known curve from now on.
    setting.store(static_cast<int32_t>(CrossfaderMode::Smooth), std::memory_order_relaxed);
    return {0, 0};
}

int32_t gainToMillibels(int32_t gain) {
    if (gain <= kSilentGain)
        return kVolumeSilence;
    if (gain >= kFullDeckGain)
        return kVolumeFull;
    const double millibels = 2000.0 * std::log10(static_cast<double>(gain) / kFullDeckGain);
    // Truncation toward zero; the smallest gain above kSilentGain gives about -7550.
    return std::max(kVolumeSilence, static_cast<int32_t>(millibels));
}
