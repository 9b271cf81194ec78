#pragma once
// Reads files through once on a thread of its own, so that a later open finds their
// bytes in the system's cache: a load the user asks for then waits for the file on this
// thread, not on the user-interface thread, and a slow disk (a sleeping USB stick, a
// network share) never freezes the window.
//
// Requests are served in order. A read that stalls holds up the requests behind it, but
// never the caller: the destructor leaves such a read to finish on its own.
//
// Threading: request(), finished() and the destructor on one thread; the reader runs on
// the prefetcher's thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class FilePrefetcher {
public:
    // Reads one file through; stop asks a long read to give up. The default reads the
    // file in chunks and keeps nothing.
    using Reader = std::function<void(const std::string& path, const std::atomic<bool>& stop)>;
    static void readThrough(const std::string& path, const std::atomic<bool>& stop);

    explicit FilePrefetcher(Reader reader = readThrough);
    ~FilePrefetcher();
    FilePrefetcher(const FilePrefetcher&) = delete;
    FilePrefetcher& operator=(const FilePrefetcher&) = delete;

    // Queues a read of path; the returned ticket (never 0) tells when it is done.
    uint64_t request(const std::string& path);
    // True once the read of the ticket ended, whether the file could be read or not.
    bool finished(uint64_t ticket) const;

    struct State; // shared with the thread, which may outlive this object

private:
    std::shared_ptr<State> state_;
    uint64_t lastTicket_ = 0;
};
