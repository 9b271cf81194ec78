#pragma once
// A whole track of 44100 Hz stereo frames, filled in memory by one producer thread while
// a reader copies from it. The producer allocates the frames in chunks as it goes (the
// table of chunk pointers is made for the track's fixed length before it starts) and
// publishes how many frames it has delivered through an atomic count, so the reader
// never allocates, locks or waits. Frames the producer never delivers because the
// stream ended early are silence: the track keeps the length it was made with.
//
// Memory: the frames delivered, 176 400 bytes a second (about 10 MB a minute).
//
// Threading: setLength() before the producer starts; then one producer (append,
// finish) and one reader at a time (delivered, progress, copy); requestStop(),
// waitFor() and waitExited() from any thread but the audio thread, which only reads.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/Frame.h"

class DecodedTrack {
public:
    static constexpr int64_t kChunkFrames = 65536; // 256 KiB a chunk

    enum class Progress {
        Decoding, // more frames may come
        Finished, // the producer delivered all it will; the rest is silence
        Failed,   // the producer stopped on an error; frames not delivered cannot be read
    };

    DecodedTrack();
    ~DecodedTrack();
    DecodedTrack(const DecodedTrack&) = delete;
    DecodedTrack& operator=(const DecodedTrack&) = delete;

    // Makes the chunk table for a track of `frames` frames; false when there is no
    // memory for it. Once, before the producer starts.
    bool setLength(int64_t frames);
    int64_t length() const { return length_; }

    // Producer: appends frames after those delivered, dropping any beyond the length;
    // false when memory for a chunk ran out (the track is then Failed).
    bool append(const Frame* frames, int64_t count);
    bool full() const { return delivered_.load(std::memory_order_relaxed) >= length_; }
    // Producer: no more frames (Finished or Failed). Wakes whoever waits.
    void finish(Progress how);
    // Producer, last: it no longer touches the track (or anything it owned).
    void markExited();

    // The flag the producer watches; once set it stops at its next chance.
    const std::atomic<bool>& stopFlag() const { return stop_; }
    void requestStop();

    // Reader: frames delivered so far (acquire: their contents are visible). Read the
    // progress first: a progress other than Decoding makes the final count visible.
    int64_t delivered() const { return delivered_.load(std::memory_order_acquire); }
    Progress progress() const { return progress_.load(std::memory_order_acquire); }
    // Reader: copies frames [from, from + count), all of them delivered, into out.
    void copy(int64_t from, int64_t count, Frame* out) const;

    // Waits until `frames` frames are delivered or the producer finished, at most
    // `timeout`; true unless the time ran out.
    bool waitFor(int64_t frames, std::chrono::milliseconds timeout);
    // Waits until markExited(), at most `timeout`; true when the producer is gone.
    bool waitExited(std::chrono::milliseconds timeout);

private:
    int64_t length_ = 0;
    int64_t chunkCount_ = 0;
    // Written by the producer before the count that covers it is released.
    std::unique_ptr<Frame*[]> chunks_;
    // Release by the producer after the frames and chunk pointers it covers.
    std::atomic<int64_t> delivered_{0};
    // Release by the producer after the last delivered_ store.
    std::atomic<Progress> progress_{Progress::Decoding};
    std::atomic<bool> stop_{false}; // a request, relaxed
    // For waiters only; the producer takes it briefly after each append.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool exited_ = false; // under mutex_
};
