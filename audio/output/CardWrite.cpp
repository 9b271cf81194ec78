#include "audio/output/CardWrite.h"

#include <algorithm>
#include <cstring>

void mapFrames(Frame* target, const Frame* source, int32_t count, ChannelMap map) {
    switch (map) {
    case ChannelMap::Stereo:
        std::memcpy(target, source, static_cast<size_t>(count) * sizeof(Frame));
        return;
    case ChannelMap::MonoLeft:
    case ChannelMap::MonoRight:
        for (int32_t i = 0; i < count; ++i) {
            // The sum of two 16-bit samples halved always fits 16 bits again.
            const auto mono =
                static_cast<int16_t>((int32_t{frameLeft(source[i])} + frameRight(source[i])) >> 1);
            target[i] = map == ChannelMap::MonoLeft ? makeFrame(mono, 0) : makeFrame(0, mono);
        }
        return;
    }
}

namespace {

// Fills count frames at target from the ring, wrapping in the ring; returns the ring
// position after them.
int32_t fillFromRing(Frame* target, int32_t count, const Frame* ring, int32_t ringFrames,
                     int32_t ringPos, ChannelMap map) {
    while (count > 0) {
        const int32_t piece = std::min(count, ringFrames - ringPos);
        mapFrames(target, ring + ringPos, piece, map);
        target += piece;
        count -= piece;
        ringPos += piece;
        if (ringPos == ringFrames)
            ringPos = 0;
    }
    return ringPos;
}

} // namespace

bool writeToCard(SoundBuffer& buffer, int32_t bufferPos, const Frame* ring, int32_t ringFrames,
                 int32_t ringPos, int32_t count, ChannelMap map) {
    LockedRegions regions;
    if (count <= 0 || buffer.lock(bufferPos, count, &regions) != SoundResult::Ok)
        return false;
    const int32_t next =
        fillFromRing(regions.first, regions.firstFrames, ring, ringFrames, ringPos, map);
    fillFromRing(regions.second, regions.secondFrames, ring, ringFrames, next, map);
    return buffer.unlock(regions) == SoundResult::Ok;
}

bool writeSilenceToCard(SoundBuffer& buffer, int32_t bufferPos, int32_t count) {
    LockedRegions regions;
    if (count <= 0 || buffer.lock(bufferPos, count, &regions) != SoundResult::Ok)
        return false;
    std::fill_n(regions.first, regions.firstFrames, Frame{0});
    std::fill_n(regions.second, regions.secondFrames, Frame{0});
    return buffer.unlock(regions) == SoundResult::Ok;
}
