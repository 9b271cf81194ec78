#pragma once
// One scan of the catalogue on a worker thread: the lines kept from the old catalogue
// are written to a new file, the walk of each volume appends its lines, and the new file
// replaces the old one only when every write succeeded. A stopped scan keeps what it
// wrote so far; a failed write (a full disk) leaves the old catalogue untouched.
//
// Threading: start(), stop(), finished(), outcome() and currentPath() on the
// user-interface thread; the walk and the writes on the worker. The destructor stops the
// walk and joins the worker, so closing the program during a scan is safe.

#include "library/Catalogue.h"
#include "library/DiscWalker.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// A volume to walk and the head of its lines ("/media/data:" or "CD3=").
struct ScanTarget {
    std::string root;
    std::string head;
};

class CatalogueScan {
public:
    enum class Outcome { Running, Done, Stopped, WriteFailed };

    explicit CatalogueScan(std::string cataloguePath);
    ~CatalogueScan();
    CatalogueScan(const CatalogueScan&) = delete;
    CatalogueScan& operator=(const CatalogueScan&) = delete;

    // Creates the new file and starts the worker. False, with nothing started and the
    // old file untouched, when the file cannot be created.
    bool start(Catalogue kept, std::vector<ScanTarget> targets, int kinds);
    // Asks the walk to end; what was written is kept.
    void stop();
    // Waits for the worker to end (after stop(), promptly).
    void join();
    // True once the worker has finished its work (outcome() is then final).
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    Outcome outcome() const;
    uint64_t linesWritten() const { return lines_.load(std::memory_order_relaxed); }
    std::string currentPath() const { return walker_.currentPath(); }
    // Tests stand a folder for another file system through it.
    DiscWalker& walker() { return walker_; }

private:
    void run(Catalogue kept, std::vector<ScanTarget> targets, int kinds);

    CatalogueWriter writer_;
    DiscWalker walker_;
    std::thread thread_;
    // Release on the worker, acquire on the reader: outcome_ is written before it.
    std::atomic<bool> finished_{false};
    std::atomic<Outcome> outcome_{Outcome::Running};
    std::atomic<uint64_t> lines_{0}; // relaxed: a progress figure only
};
