#include "audio/decoders/BufferedFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

class PosixFileSource final : public ByteSource {
public:
    PosixFileSource(int fd, int64_t size) : fd_(fd), size_(size) {}
    ~PosixFileSource() override { ::close(fd_); }

    int64_t size() const override { return size_; }
    int64_t readAt(int64_t offset, void* destination, int64_t count) override {
        for (;;) {
            const ssize_t got = pread(fd_, destination, static_cast<size_t>(count), offset);
            if (got >= 0 || errno != EINTR)
                return got;
        }
    }

private:
    int fd_;
    int64_t size_;
};

} // namespace

struct BufferedFile::State {
    State(std::unique_ptr<ByteSource> from, int64_t bytes)
        : source(std::move(from)), size(bytes), chunkCount((bytes + kChunkBytes - 1) / kChunkBytes),
          chunks(new std::atomic<uint8_t*>[static_cast<size_t>(chunkCount)]), end(bytes) {
        for (int64_t i = 0; i < chunkCount; ++i)
            chunks[i].store(nullptr, kRelaxed);
    }
    ~State() {
        for (int64_t i = 0; i < chunkCount; ++i)
            delete[] chunks[i].load(kRelaxed);
    }

    int64_t chunkLength(int64_t index) const {
        return std::min(kChunkBytes, size - index * kChunkBytes);
    }

    std::unique_ptr<ByteSource> source; // the loader's alone
    const int64_t size;
    const int64_t chunkCount;
    // Null until loaded; the loader publishes each chunk with release, readers take it
    // with acquire, and nothing changes a chunk after that.
    std::unique_ptr<std::atomic<uint8_t*>[]> chunks;
    // The chunk the reader needs next: a hint, so relaxed.
    std::atomic<int64_t> wanted{0};
    // The chunk that could not be read (-1: none); the loader stops there. Release, so
    // a reader that sees it also sees `finished` in order.
    std::atomic<int64_t> failedChunk{-1};
    // Where the file ends now: its size, or less once the loader found it cut short.
    // Stored before the chunk that shows it is published, so acquiring that chunk
    // makes it visible.
    std::atomic<int64_t> end;
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    // Wakes readers that may wait (opening); the audio thread never touches these.
    std::mutex mutex;
    std::condition_variable loaded;
};

namespace {

// The loader thread: reads every chunk once, from the wanted one onwards and round,
// until all are loaded, one fails, or the file was closed.
void loadChunks(const std::shared_ptr<BufferedFile::State>& state) {
    BufferedFile::State& s = *state;
    int64_t next = 0;
    int64_t lastWanted = 0;
    int64_t left = s.chunkCount;
    while (left > 0 && !s.stop.load(kRelaxed)) {
        const int64_t wanted = s.wanted.load(kRelaxed);
        if (wanted != lastWanted)
            next = lastWanted = wanted;
        // Only this thread stores chunks: its own loads need no ordering.
        while (s.chunks[next].load(kRelaxed) != nullptr)
            next = (next + 1) % s.chunkCount;
        const int64_t length = s.chunkLength(next);
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(length)]);
        const int64_t start = next * BufferedFile::kChunkBytes;
        int64_t done = 0;
        int64_t got = 0;
        while (done < length &&
               (got = s.source->readAt(start + done, buffer.get() + done, length - done)) > 0)
            done += got;
        if (got < 0) {
            s.failedChunk.store(next, std::memory_order_release);
            break;
        }
        // A file cut short since it was opened ends where it now does; what was loaded
        // before the cut plays.
        if (done < length)
            s.end.store(std::min(s.end.load(kRelaxed), start + done), kRelaxed);
        s.chunks[next].store(buffer.release(), std::memory_order_release);
        --left;
        { std::lock_guard<std::mutex> lock(s.mutex); }
        s.loaded.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.finished.store(true, kRelaxed);
    }
    s.loaded.notify_all();
}

} // namespace

BufferedFile::BufferedFile() = default;

BufferedFile::~BufferedFile() {
    close();
}

bool BufferedFile::open(const char* path) {
    close();
    // O_NONBLOCK keeps open() itself from waiting on a FIFO; regular files ignore it.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    return open(std::make_unique<PosixFileSource>(fd, info.st_size));
}

bool BufferedFile::open(std::unique_ptr<ByteSource> source) {
    close();
    if (source == nullptr || source->size() < 0)
        return false;
    const int64_t size = source->size();
    auto state = std::make_shared<State>(std::move(source), size);
    if (state->chunkCount > 0) {
        try {
            std::thread(loadChunks, state).detach();
        } catch (const std::system_error&) {
            return false;
        }
    }
    state_ = std::move(state);
    size_ = size;
    cursor_ = 0;
    return true;
}

void BufferedFile::close() {
    if (state_ != nullptr)
        state_->stop.store(true, kRelaxed);
    state_.reset(); // the loader keeps what it still uses
    size_ = 0;
    cursor_ = 0;
    mayWait_ = false;
}

const uint8_t* BufferedFile::chunkAt(int64_t offset, bool& failed) {
    State& s = *state_;
    const int64_t index = offset / kChunkBytes;
    const auto isLoaded = [&] { return s.chunks[index].load(std::memory_order_acquire); };
    if (const uint8_t* chunk = isLoaded())
        return chunk;
    s.wanted.store(index, kRelaxed);
    if (!mayWait_) {
        failed = s.failedChunk.load(std::memory_order_acquire) == index;
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    s.loaded.wait(lock, [&] { return isLoaded() != nullptr || s.finished.load(kRelaxed); });
    const uint8_t* chunk = isLoaded();
    failed = chunk == nullptr;
    return chunk;
}

bool BufferedFile::waitForStart(int64_t bytes) {
    if (state_ == nullptr)
        return false;
    const bool mayWait = mayWait_;
    mayWait_ = true;
    bool failed = false;
    for (int64_t offset = 0; offset < std::min(bytes, size_) && !failed; offset += kChunkBytes)
        chunkAt(offset, failed);
    mayWait_ = mayWait;
    return !failed;
}

bool BufferedFile::ready(int64_t count) {
    if (state_ == nullptr)
        return false;
    const int64_t end = std::min(size_, cursor_ + std::max<int64_t>(count, 0));
    for (int64_t offset = cursor_; offset < end;
         offset = (offset / kChunkBytes + 1) * kChunkBytes) {
        if (state_->chunks[offset / kChunkBytes].load(std::memory_order_acquire) == nullptr) {
            state_->wanted.store(offset / kChunkBytes, kRelaxed);
            return false;
        }
    }
    return true;
}

int64_t BufferedFile::read(void* destination, int64_t count) {
    if (state_ == nullptr || count < 0)
        return -1;
    auto* out = static_cast<uint8_t*>(destination);
    const int64_t wanted = std::min(count, std::max<int64_t>(size_ - cursor_, 0));
    int64_t copied = 0;
    while (copied < wanted) {
        bool failed = false;
        const uint8_t* chunk = chunkAt(cursor_, failed);
        if (failed)
            return -1;
        if (chunk == nullptr)
            break; // not loaded yet
        const int64_t index = cursor_ / kChunkBytes;
        const int64_t inChunk = cursor_ - index * kChunkBytes;
        const int64_t end = state_->end.load(kRelaxed); // ordered by the chunk's acquire
        const int64_t take =
            std::min({wanted - copied, state_->chunkLength(index) - inChunk, end - cursor_});
        if (take <= 0)
            break; // the file was cut short here
        std::memcpy(out + copied, chunk + inChunk, static_cast<size_t>(take));
        copied += take;
        cursor_ += take;
    }
    return copied;
}
