#pragma once
// Records the mix to a WAV file ("Save the mix"). The audio thread hands it every frame
// the card has played; write() copies them into a ring, and the recorder's own writer
// thread moves them from the ring to the file, so the audio thread never waits for the
// disk.
//
// Threading contract (see also RecorderSink.h):
// - create(), stop() and the destructor: user-interface thread only, never the audio
//   thread (they open the file, start or join the writer thread).
// - write() and detach(): one producer thread (the audio thread); lock-free, no
//   allocation, no system call.
// - describe(), isFinished(), framesWritten(), framesLost(): any thread.
// - Stopping: the audio thread calls detach() and hands the recorder to the
//   user-interface thread; the writer then writes every frame received, finishes the
//   file and isFinished() becomes true; the user-interface thread destroys the recorder
//   (at once, or after isFinished()). Destroying a recorder that was never detached is
//   allowed once the producer no longer calls write() (the audio thread has ended): it
//   finishes the file the same way.
//
// Frames are never silently lost: frames the producer overwrote before the writer got
// to them (the disk too slow for more than the ring's length) and frames the file
// refused (a full disk, the format's 4 GiB limit) are counted and shown by describe().
// While recording, the header's sizes are kept up to date every few seconds of sound,
// so a crash leaves a playable file.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/recorder/RecorderSink.h"
#include "audio/recorder/WavWriter.h"

struct RecorderOptions {
    // Frames the ring holds (rounded up to a power of two): about 5.9 s, so ordinary
    // disk delays never cost a frame.
    int ringFrames = 262144;
    // The writer waits for at least this many frames before writing, except when
    // finishing (limited to half the ring).
    int minWriteFrames = 2250;
    // The writer's sleep between two drains.
    std::chrono::milliseconds drainPeriod{50};
    // The header's sizes are rewritten whenever this many frames were written since
    // the last update: 4 s of sound.
    int64_t headerUpdateFrames = 4 * kSampleRate;
};

class Recorder final : public RecorderSink {
public:
    // Creates the file at path (a regular file, emptied when it exists), writes its
    // header and starts the writer thread. Returns null, with the reason in *error
    // (when given), when the file cannot be created or written or the thread cannot
    // start: the recording is then refused before it begins.
    static std::unique_ptr<Recorder> create(const std::string& path, std::string* error,
                                            const RecorderOptions& options = {});
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void write(const Frame* frames, int count) override;
    void detach() override;
    // "Saving WAV file\nFileName: ...\nTime Recorded: h:mm:ss\nFileSize: x.x Mo", with
    // the numbers in the C locale, and "\nLost: N frames (disk too slow or full)" when
    // frames were lost.
    std::string describe() const override;
    bool isFinished() const override;

    // Writes every frame received, finishes the file and waits for the writer thread.
    // The producer must no longer call write(). The recorder can still describe itself.
    void stop();

    int64_t framesWritten() const { return framesWritten_.load(std::memory_order_relaxed); }
    int64_t framesLost() const { return framesLost_.load(std::memory_order_relaxed); }
    const std::string& fileName() const { return fileName_; }

private:
    Recorder(const std::string& path, const RecorderOptions& options);
    void run();                 // the writer thread
    void drain(bool finishing); // moves published frames from the ring to the file
    void writeChunk(uint64_t first, int64_t count);

    static constexpr int64_t kChunkFrames = 16384; // frames per file write

    const std::string fileName_;
    const RecorderOptions options_;
    const uint64_t ringFrames_;
    const uint64_t ringMask_;

    // Ring slots are atomics because the producer may lap the writer and overwrite a
    // slot while the writer copies it; such copies are detected and discarded (see
    // reserved_). Relaxed: ordering comes from the counters and fences around them.
    std::unique_ptr<std::atomic<uint32_t>[]> ring_;
    // Frames ever published by the producer. Release store after the slots are filled,
    // acquire load by the writer: the published slots are then visible.
    std::atomic<uint64_t> produced_{0};
    // Frames the producer has started to store (produced_ plus the call in progress).
    // Stored before a release fence and the slot stores; the writer reads it after an
    // acquire fence that follows its copy, so any overwritten slot it copied shows up
    // as reserved_ > frame + ringFrames_.
    std::atomic<uint64_t> reserved_{0};
    // Set by the producer after its last write (release, pairs with the writer's
    // acquire so the final frames are seen).
    std::atomic<bool> detached_{false};
    // Written by the writer thread, read by describe() on the user-interface thread:
    // relaxed, a count a moment old is fine there.
    std::atomic<int64_t> framesWritten_{0};
    std::atomic<int64_t> framesLost_{0};
    // Set by the writer once the file is complete (release: the counters are final).
    std::atomic<bool> finished_{false};

    // Writer thread only (before the thread starts: create()).
    WavWriter file_;
    uint64_t consumed_ = 0;            // frames taken out of the ring
    int64_t headerFrames_ = 0;         // frames described by the header on disk
    std::unique_ptr<uint8_t[]> chunk_; // file bytes of one chunk

    // Wakes the writer early for stop(); taken only by the user-interface and writer
    // threads, never by the producer.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false; // guarded by mutex_
    std::thread thread_;
};
