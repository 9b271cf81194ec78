// The decoding half of the deck's signal path (audio thread): filling the decoded ring
// one decoder block at a time, and seeking.

#include "audio/deck/Deck.h"

#include "audio/deck/DeckRings.h"
#include "audio/deck/DeckTable.h"
#include "audio/deck/SoundOutput.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

const int16_t* samplesOf(const Frame* block) {
    return reinterpret_cast<const int16_t*>(block);
}

} // namespace

bool Deck::decodeFrame() {
    const int32_t write = decodeWritePos.load(kRelaxed);
    int32_t room = heardPos.load(kRelaxed) - write;
    if (room <= 0)
        room += kDecodedRingFrames;
    if (room < kDecodeRoomFrames)
        return false;

    const int32_t slot = write / kBlockFrames;
    Frame* block = &decodedRing[write];
    Decoder* dec = decoder.load(kRelaxed);
    if (decoding.load(kRelaxed) && dec != nullptr) {
        if (!dec->ready())
            return false; // the disk is late: decode later rather than insert silence
        frameTimes[slot] = dec->position;
        const int32_t result = dec->read(block);
        if (result != 1) {
            if (result != 0)
                deckStatus(index).store(kStatusDecoderError, kRelaxed);
            decoding.store(0, kRelaxed);
            return false;
        }
    } else {
        // After the end of the file: silence, time-stamped as no position.
        frameTimes[slot] = -1.0f;
        std::fill_n(block, kBlockFrames, Frame{0});
    }

    analyser.addFrame(samplesOf(block));
    const int32_t next = write + kBlockFrames;
    decodeWritePos.store(next >= kDecodedRingFrames ? 0 : next, kRelaxed);
    const int32_t unwritten = decodedUnwritten.load(kRelaxed);
    if (unwritten != 0)
        decodedUnwritten.store(std::max(unwritten - kBlockFrames, 0), kRelaxed);
    return true;
}

bool Deck::seekTo(float p) {
    SoundOutput* out = soundOutputNow();
    if (p >= 1.0f) {
        // Past the end: the deck has no position any more (eject).
        position.store(-1.0f, kRelaxed);
        decoding.store(0, kRelaxed);
        if (playing.load(kRelaxed) && out)
            out->deckStopped(index);
        playing.store(0, kRelaxed);
        return false;
    }
    autoMixRaised = 0; // a new place: the mix may be asked for again
    // A negative or undefined position from a damaged record means the beginning.
    if (!(p > 0.0f))
        p = 0.0f;

    decodedRing.fill(Frame{0});
    frameTimes.fill(0.0f);
    const int32_t write = decodeWritePos.load(kRelaxed);
    Decoder* dec = decoder.load(kRelaxed);

    if (dec != nullptr && p == 0.0f) {
        dec->seek(0.0f);
        position.store(0.0f, kRelaxed);
        analyser.reset();
        decodedUnwritten.store(kDecodedRingFrames, kRelaxed);
        heardPos.store(write, kRelaxed); // nothing decoded yet: the next block is heard first
    } else {
        int32_t result = 0;
        if (dec != nullptr) {
            dec->seek(p);
            analyser.reset();
            frameTimes[write / kBlockFrames] = dec->position;
            result = dec->read(&decodedRing[write]);
        }
        if (result != 1) {
            if (result != 0)
                deckStatus(index).store(kStatusDecoderError, kRelaxed);
            position.store(-1.0f, kRelaxed);
            playing.store(0, kRelaxed);
            decoding.store(0, kRelaxed);
            if (out)
                out->deckStopped(index);
            return false;
        }
        analyser.addFrame(samplesOf(&decodedRing[write]));
        const int32_t next = wrapDecoded(write + kBlockFrames);
        decodeWritePos.store(next, kRelaxed);
        decodedUnwritten.store(kDecodedRingFrames - kBlockFrames, kRelaxed);

        // The decoder's position now lies after the block; the frames of the block
        // after p are those from the heard frame to the block's end. The frames before
        // p are skipped.
        // Rounded: both positions are floats, a hair off the frame they stand for.
        const double afterP = (double(dec->position) - double(p)) * lengthInFrames();
        const int32_t framesAfterP =
            static_cast<int32_t>(std::clamp<double>(std::round(afterP), 0.0, kBlockFrames));
        heardPos.store(wrapDecoded(next - framesAfterP), kRelaxed);
        position.store(p, kRelaxed);
    }

    decoding.store(1, kRelaxed);
    reprime(true);
    return true;
}
