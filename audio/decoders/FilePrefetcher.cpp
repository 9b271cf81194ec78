#include "audio/decoders/FilePrefetcher.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr size_t kReadChunkBytes = 256 * 1024;

} // namespace

struct FilePrefetcher::State {
    explicit State(Reader r) : reader(std::move(r)) {}

    const Reader reader;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::pair<uint64_t, std::string>> queue; // under mutex
    std::atomic<bool> stop{false};
    // Tickets are served in order, so every ticket up to this one is done. Release,
    // so a caller that sees it also sees what the read left in the cache.
    std::atomic<uint64_t> finishedUpTo{0};
};

namespace {

void serve(const std::shared_ptr<FilePrefetcher::State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stop.load() || !state->queue.empty(); });
        if (state->stop.load())
            return;
        auto [ticket, path] = std::move(state->queue.front());
        state->queue.pop_front();
        lock.unlock();
        state->reader(path, state->stop);
        lock.lock();
        state->finishedUpTo.store(ticket, std::memory_order_release);
    }
}

} // namespace

void FilePrefetcher::readThrough(const std::string& path, const std::atomic<bool>& stop) {
    // Without blocking on open: a FIFO named as a track must not hold the thread.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        std::vector<char> chunk(kReadChunkBytes);
        while (!stop.load(std::memory_order_relaxed)) {
            const ssize_t got = ::read(fd, chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
        }
    }
    ::close(fd);
}

FilePrefetcher::FilePrefetcher(Reader reader) : state_(std::make_shared<State>(std::move(reader))) {
    std::thread([state = state_] { serve(state); }).detach();
}

FilePrefetcher::~FilePrefetcher() {
    // An idle thread ends at once; one in a read that stalls ends when the read does
    // (it owns its share of the state and of the reader).
    std::lock_guard lock(state_->mutex);
    state_->stop.store(true);
    state_->wake.notify_all();
}

uint64_t FilePrefetcher::request(const std::string& path) {
    const uint64_t ticket = ++lastTicket_;
    std::lock_guard lock(state_->mutex);
    state_->queue.emplace_back(ticket, path);
    state_->wake.notify_all();
    return ticket;
}

bool FilePrefetcher::finished(uint64_t ticket) const {
    return state_->finishedUpTo.load(std::memory_order_acquire) >= ticket;
}
