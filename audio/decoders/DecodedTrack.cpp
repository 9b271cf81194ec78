#include "audio/decoders/DecodedTrack.h"

#include <algorithm>
#include <cstring>
#include <new>

DecodedTrack::DecodedTrack() = default;

DecodedTrack::~DecodedTrack() {
    for (int64_t i = 0; i < chunkCount_; ++i)
        delete[] chunks_[i];
}

bool DecodedTrack::setLength(int64_t frames) {
    if (frames <= 0 || chunks_ != nullptr)
        return false;
    const int64_t count = (frames + kChunkFrames - 1) / kChunkFrames;
    chunks_.reset(new (std::nothrow) Frame*[static_cast<size_t>(count)]());
    if (chunks_ == nullptr)
        return false;
    chunkCount_ = count;
    length_ = frames;
    return true;
}

bool DecodedTrack::append(const Frame* frames, int64_t count) {
    // Only this thread writes delivered_: its own load needs no ordering.
    int64_t at = delivered_.load(std::memory_order_relaxed);
    count = std::min(count, length_ - at);
    while (count > 0) {
        const int64_t index = at / kChunkFrames;
        const int64_t inChunk = at % kChunkFrames;
        if (chunks_[index] == nullptr) {
            chunks_[index] = new (std::nothrow) Frame[kChunkFrames];
            if (chunks_[index] == nullptr) {
                finish(Progress::Failed);
                return false;
            }
        }
        const int64_t take = std::min(count, kChunkFrames - inChunk);
        std::memcpy(chunks_[index] + inChunk, frames, static_cast<size_t>(take) * sizeof(Frame));
        frames += take;
        count -= take;
        at += take;
    }
    delivered_.store(at, std::memory_order_release);
    { std::lock_guard<std::mutex> lock(mutex_); }
    changed_.notify_all();
    return true;
}

void DecodedTrack::finish(Progress how) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        progress_.store(how, std::memory_order_release);
    }
    changed_.notify_all();
}

void DecodedTrack::markExited() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        exited_ = true;
    }
    changed_.notify_all();
}

void DecodedTrack::requestStop() {
    stop_.store(true, std::memory_order_relaxed);
}

void DecodedTrack::copy(int64_t from, int64_t count, Frame* out) const {
    while (count > 0) {
        const int64_t inChunk = from % kChunkFrames;
        const int64_t take = std::min(count, kChunkFrames - inChunk);
        std::memcpy(out, chunks_[from / kChunkFrames] + inChunk,
                    static_cast<size_t>(take) * sizeof(Frame));
        out += take;
        from += take;
        count -= take;
    }
}

bool DecodedTrack::waitFor(int64_t frames, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return progress() != Progress::Decoding || delivered() >= std::min(frames, length_);
    });
}

bool DecodedTrack::waitExited(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return exited_; });
}
