#include "audio/output/DeckLane.h"

#include "audio/deck/DeckRings.h"

#include <algorithm>

SoundResult DeckLane::open(SoundDevice& device, int pair, ChannelMap map, int32_t millibels) {
    close();
    std::unique_ptr<SoundBuffer> buffer;
    SoundResult result = device.createBufferOnPair(pair, kLaneFrames, &buffer);
    if (result != SoundResult::Ok)
        return result;
    buffer->setVolume(millibels);
    result = buffer->play();
    if (result != SoundResult::Ok)
        return result;
    buffer_ = std::move(buffer);
    map_ = map;
    copied_ = bufferPos_ = writeCursor_ = playCursor_ = silenceLeft_ = 0;
    return SoundResult::Ok;
}

void DeckLane::close() {
    if (buffer_) {
        buffer_->stop();
        buffer_.reset();
    }
}

void DeckLane::setVolume(int32_t millibels) {
    if (buffer_)
        buffer_->setVolume(millibels);
}

SoundResult DeckLane::readCursors() {
    if (!buffer_)
        return SoundResult::InvalidCall;
    int32_t play = 0;
    int32_t write = 0;
    const SoundResult result = buffer_->getCursors(&play, &write);
    if (result == SoundResult::Ok) {
        playCursor_ = play;
        writeCursor_ = write;
    }
    return result;
}

int32_t DeckLane::heardFrame() const {
    int32_t p = copied_ - bufferPos_ + writeCursor_;
    if (p < 0)
        p += kLaneFrames;
    else if (p >= kLaneFrames)
        p -= kLaneFrames;
    return p;
}

void DeckLane::advance(int32_t& position, int32_t frames) const {
    position += frames;
    if (position >= kLaneFrames)
        position -= kLaneFrames;
}

void DeckLane::submit(const Deck& deck, bool playing) {
    if (!buffer_)
        return;
    if (playing) {
        const int32_t n = framesAhead(copied_, deck.writePos);
        if (n == 0)
            return;
        writeToCard(*buffer_, bufferPos_, deck.outputRing.data(), kOutputRingFrames, copied_, n,
                    map_);
        copied_ = deck.writePos;
        advance(bufferPos_, n);
    } else if (silenceLeft_ > 0) {
        const int32_t n = std::min(framesAhead(bufferPos_, playCursor_), silenceLeft_);
        if (n == 0)
            return;
        writeSilenceToCard(*buffer_, bufferPos_, n);
        advance(bufferPos_, n);
        silenceLeft_ -= n;
    }
}

void DeckLane::resync(const Deck& deck) {
    bufferPos_ = writeCursor_;
    copied_ = deck.playPos;
}

void DeckLane::playSnippet(const Deck& deck, int32_t from, int32_t count) {
    if (!buffer_)
        return;
    const int32_t n = std::min(count, framesAhead(copied_, deck.writePos));
    if (n <= 0)
        return;
    bufferPos_ = writeCursor_;
    writeToCard(*buffer_, bufferPos_, deck.outputRing.data(), kOutputRingFrames,
                std::clamp(from, 0, kOutputRingFrames - 1), n, map_);
    advance(bufferPos_, n);
    silenceLeft_ = kLaneFrames;
}
