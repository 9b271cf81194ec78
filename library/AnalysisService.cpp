#include "library/AnalysisService.h"

#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <utility>

struct AnalysisService::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> queue;    // under mutex
    std::vector<std::string> busy;    // files being analysed; under mutex
    std::vector<FileReport> finished; // under mutex
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
};

namespace {

using State = AnalysisService::State;

void work(State& state, AnalysisService::Priority priority) {
    if (priority == AnalysisService::Priority::Background) {
        // Runs only on time that nothing else wants; failing that, it merely runs nicer.
        sched_param none{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
    }
    FileAnalyser analyser;
    std::unique_lock lock(state.mutex);
    for (;;) {
        state.changed.wait(lock, [&] { return state.stop.load() || !state.queue.empty(); });
        if (state.stop.load())
            return;
        std::string path = std::move(state.queue.front());
        state.queue.pop_front();
        state.busy.push_back(path);
        lock.unlock();
        FileReport report = analyser.analyse(path, &state.stop);
        lock.lock();
        state.busy.erase(std::find(state.busy.begin(), state.busy.end(), path));
        if (!state.stop.load())
            state.finished.push_back(std::move(report));
        state.changed.notify_all();
    }
}

} // namespace

AnalysisService::AnalysisService(int threads, Priority priority)
    : state_(std::make_shared<State>()) {
    for (int i = 0; i < std::max(1, threads); ++i)
        state_->workers.emplace_back(work, std::ref(*state_), priority);
}

AnalysisService::~AnalysisService() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stop.store(true);
        state_->changed.notify_all();
    }
    // A worker stops within one decoder block of its file.
    for (std::thread& worker : state_->workers)
        worker.join();
}

bool AnalysisService::queue(const std::string& path) {
    std::lock_guard lock(state_->mutex);
    // Also a file whose report waits to be stored: analysing it again would be lost work.
    const auto isPath = [&](const FileReport& r) { return r.path == path; };
    if (std::find(state_->queue.begin(), state_->queue.end(), path) != state_->queue.end() ||
        std::find(state_->busy.begin(), state_->busy.end(), path) != state_->busy.end() ||
        std::find_if(state_->finished.begin(), state_->finished.end(), isPath) !=
            state_->finished.end())
        return false;
    state_->queue.push_back(path);
    state_->changed.notify_one();
    return true;
}

std::vector<FileReport> AnalysisService::takeFinished() {
    std::lock_guard lock(state_->mutex);
    return std::exchange(state_->finished, {});
}

int AnalysisService::pending() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<int>(state_->queue.size() + state_->busy.size());
}

void AnalysisService::waitUntilIdle() {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [&] { return state_->queue.empty() && state_->busy.empty(); });
}

TrackEntry* storeWholeAnalysis(TrackDatabase& database, const FileReport& report) {
    if (!report.ok() || !report.warning.empty() || database.isReadOnly())
        return nullptr;
    // A file that changed while it was read is analysed again when next asked for.
    if (fileSizeKey(report.path) != report.sizeKey)
        return nullptr;
    TrackEntry* entry = database.openEntry(report.path, report.sizeKey);
    TrackAnalysis* values = database.acquireAnalysis(entry);
    constexpr auto kRelaxed = std::memory_order_relaxed;
    if (TrackEntry::isUsableBpm(report.bpm) && report.bpmCount >= values->bpmCount.load(kRelaxed)) {
        entry->bpm.store(report.bpm, kRelaxed);
        values->bpmCount.store(report.bpmCount, kRelaxed);
    }
    values->startPoint.store(report.startPoint, kRelaxed);
    values->endPoint.store(report.endPoint, kRelaxed);
    values->startEnergy.store(report.startEnergy, kRelaxed);
    values->endEnergy.store(report.endEnergy, kRelaxed);
    values->peakEnergy.store(report.peak, kRelaxed);
    values->loudness.store(report.loudness, kRelaxed);
    values->reserved.fetch_or(TrackAnalysis::kAnalysedWhole, kRelaxed);
    database.releaseAnalysis(entry);
    return entry;
}

int analyseAhead(TrackDatabase& database, const std::vector<std::string>& paths, int threads) {
    if (database.isReadOnly())
        return 0;
    std::vector<std::string> wanted;
    for (const std::string& path : paths) {
        const uint32_t sizeKey = fileSizeKey(path); // 0: missing, not a file, or empty
        if (sizeKey == 0)
            continue;
        if (!database.analysedWhole(database.openEntry(path, sizeKey)) &&
            std::find(wanted.begin(), wanted.end(), path) == wanted.end())
            wanted.push_back(path);
    }
    if (wanted.empty())
        return 0;
    std::vector<FileReport> reports;
    {
        AnalysisService service(std::min<int>(threads, static_cast<int>(wanted.size())),
                                AnalysisService::Priority::Full);
        for (const std::string& path : wanted)
            service.queue(path);
        service.waitUntilIdle();
        reports = service.takeFinished();
    }
    int stored = 0;
    for (const std::string& path : wanted) {
        const auto report = std::find_if(reports.begin(), reports.end(),
                                         [&](const FileReport& r) { return r.path == path; });
        if (report != reports.end() && storeWholeAnalysis(database, *report) != nullptr)
            ++stored;
    }
    return stored;
}
