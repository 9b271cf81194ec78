#include "audio/recorder/Recorder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <system_error>

static_assert(std::atomic<uint64_t>::is_always_lock_free, "write() must not take a lock");
static_assert(std::atomic<uint32_t>::is_always_lock_free, "write() must not take a lock");

Recorder::Recorder(const std::string& path, const RecorderOptions& options)
    : fileName_(path), options_(options),
      ringFrames_(std::bit_ceil(static_cast<uint64_t>(std::max(options.ringFrames, 2)))),
      ringMask_(ringFrames_ - 1), ring_(std::make_unique<std::atomic<uint32_t>[]>(ringFrames_)),
      chunk_(std::make_unique<uint8_t[]>(kChunkFrames * kWavFrameBytes)) {}

std::unique_ptr<Recorder> Recorder::create(const std::string& path, std::string* error,
                                           const RecorderOptions& options) {
    std::unique_ptr<Recorder> recorder(new Recorder(path, options));
    if (!recorder->file_.create(path, error))
        return nullptr;
    try {
        recorder->thread_ = std::thread([r = recorder.get()] { r->run(); });
    } catch (const std::system_error&) {
        if (error)
            *error = "The recorder cannot start its thread.";
        return nullptr; // the file stays, a valid empty recording
    }
    return recorder;
}

Recorder::~Recorder() {
    stop();
}

void Recorder::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void Recorder::write(const Frame* frames, int count) {
    if (count <= 0)
        return;
    // Only this thread changes produced_: its own last value.
    const uint64_t start = produced_.load(std::memory_order_relaxed);
    const uint64_t end = start + static_cast<uint64_t>(count);
    reserved_.store(end, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    // A call longer than the ring keeps only its last ringFrames_ frames; the writer
    // counts the others as lost.
    const uint64_t skip = static_cast<uint64_t>(count) > ringFrames_ ? count - ringFrames_ : 0;
    uint64_t index = start + skip;
    const Frame* source = frames + skip;
    while (index < end) {
        const uint64_t slot = index & ringMask_;
        const uint64_t piece = std::min(end - index, ringFrames_ - slot); // up to the ring's end
        std::atomic<uint32_t>* target = &ring_[slot];
        for (uint64_t i = 0; i < piece; ++i)
            target[i].store(source[i], std::memory_order_relaxed);
        index += piece;
        source += piece;
    }
    produced_.store(end, std::memory_order_release);
}

void Recorder::detach() {
    detached_.store(true, std::memory_order_release);
}

bool Recorder::isFinished() const {
    return finished_.load(std::memory_order_acquire);
}

void Recorder::run() {
    for (;;) {
        bool finishing;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, options_.drainPeriod, [this] { return stopRequested_; });
            finishing = stopRequested_;
        }
        finishing = finishing || detached_.load(std::memory_order_acquire);
        drain(finishing);
        if (finishing)
            break;
    }
    file_.finish();
    finished_.store(true, std::memory_order_release);
}

void Recorder::drain(bool finishing) {
    // Only up to what is published now, so that a producer that keeps writing cannot
    // keep the writer here forever.
    const uint64_t target = produced_.load(std::memory_order_acquire);
    const uint64_t minWrite = static_cast<uint64_t>(
        std::clamp<int64_t>(options_.minWriteFrames, 1, static_cast<int64_t>(ringFrames_ / 2)));
    if (!finishing && target - consumed_ < minWrite)
        return;
    while (consumed_ < target) {
        uint64_t available = target - consumed_;
        if (available > ringFrames_) {
            // The producer lapped the writer: the oldest frames are gone.
            framesLost_.fetch_add(static_cast<int64_t>(available - ringFrames_),
                                  std::memory_order_relaxed);
            consumed_ = target - ringFrames_;
            available = ringFrames_;
        }
        const int64_t count = static_cast<int64_t>(std::min<uint64_t>(available, kChunkFrames));
        writeChunk(consumed_, count);
        consumed_ += static_cast<uint64_t>(count);
    }
    if (file_.frames() - headerFrames_ >= options_.headerUpdateFrames && file_.updateSizes())
        headerFrames_ = file_.frames();
}

void Recorder::writeChunk(uint64_t first, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t frame =
            ring_[(first + static_cast<uint64_t>(i)) & ringMask_].load(std::memory_order_relaxed);
        putFrameBytes(chunk_.get() + i * kWavFrameBytes, frame);
    }
    // Any slot we copied that the producer had overwritten is now covered by reserved_:
    // frames below reserved_ - ringFrames_ may hold newer sound. Overwriting runs in
    // frame order, so the doubtful frames are a prefix of the chunk.
    std::atomic_thread_fence(std::memory_order_acquire);
    const uint64_t reserved = reserved_.load(std::memory_order_relaxed);
    const uint64_t firstIntact = reserved > ringFrames_ ? reserved - ringFrames_ : 0;
    const int64_t overwritten =
        firstIntact > first ? static_cast<int64_t>(std::min<uint64_t>(firstIntact - first, count))
                            : 0;
    const int64_t toWrite = count - overwritten;
    const int64_t written = file_.append(chunk_.get() + overwritten * kWavFrameBytes, toWrite);
    framesLost_.fetch_add(overwritten + (toWrite - written), std::memory_order_relaxed);
    framesWritten_.store(file_.frames(), std::memory_order_relaxed);
}

std::string Recorder::describe() const {
    const int64_t frames = framesWritten();
    const int64_t seconds = frames / kSampleRate;
    char time[64];
    std::snprintf(time, sizeof time, "%i:%.2i:%.2i", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    // to_chars ignores the user's locale: the decimal point is always '.'.
    char size[32];
    const double mebibytes = static_cast<double>(frames) * kWavFrameBytes / 1048576.0;
    const auto sizeEnd =
        std::to_chars(size, size + sizeof size - 1, mebibytes, std::chars_format::fixed, 1).ptr;
    *sizeEnd = '\0';
    std::string text = "Saving WAV file\nFileName: " + fileName_ + "\nTime Recorded: " + time +
                       "\nFileSize: " + size + " Mo";
    if (const int64_t lost = framesLost(); lost > 0) {
        char line[80];
        std::snprintf(line, sizeof line, "\nLost: %" PRId64 " frames (disk too slow or full)",
                      lost);
        text += line;
    }
    return text;
}
