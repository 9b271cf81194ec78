#include "library/CatalogueScan.h"

CatalogueScan::CatalogueScan(std::string cataloguePath) : writer_(std::move(cataloguePath)) {}

CatalogueScan::~CatalogueScan() {
    stop();
    join();
}

bool CatalogueScan::start(Catalogue kept, std::vector<ScanTarget> targets, int kinds) {
    if (thread_.joinable() || !writer_.open())
        return false;
    walker_.clearStop();
    finished_.store(false, std::memory_order_relaxed);
    outcome_.store(Outcome::Running, std::memory_order_relaxed);
    lines_.store(0, std::memory_order_relaxed);
    thread_ = std::thread(&CatalogueScan::run, this, std::move(kept), std::move(targets), kinds);
    return true;
}

void CatalogueScan::stop() {
    walker_.requestStop();
}

void CatalogueScan::join() {
    if (thread_.joinable())
        thread_.join();
}

CatalogueScan::Outcome CatalogueScan::outcome() const {
    return outcome_.load(std::memory_order_relaxed);
}

void CatalogueScan::run(Catalogue kept, std::vector<ScanTarget> targets, int kinds) {
    bool written = kept.writeAll(writer_);
    kept.clear(); // the copy may be large: give it back before the walk
    const DiscWalker::LineSink sink = [this](std::string_view line) {
        if (!writer_.write(line) || !writer_.write("\r\n"))
            return false;
        lines_.fetch_add(1, std::memory_order_relaxed);
        return true;
    };
    for (const ScanTarget& target : targets) {
        if (!written || walker_.stopRequested())
            break;
        // A volume that cannot be read is skipped; a failed write ends the scan.
        walker_.walk(target.root, target.head, kinds, sink);
        written = writer_.ok();
    }
    const bool stopped = walker_.stopRequested();
    Outcome outcome = Outcome::WriteFailed;
    if (written && writer_.commit())
        outcome = stopped ? Outcome::Stopped : Outcome::Done;
    else
        writer_.discard();
    outcome_.store(outcome, std::memory_order_relaxed);
    finished_.store(true, std::memory_order_release);
}
