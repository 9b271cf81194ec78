#include "audio/deck/MemoryTrackStore.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

MemoryTrackStore::MemoryTrackStore() = default;

MemoryTrackStore::~MemoryTrackStore() = default;

MemoryTrackStore::Stored* MemoryTrackStore::find(const TrackEntry* entry) {
    for (Stored& stored : entries_) {
        if (stored.entry.get() == entry)
            return &stored;
    }
    return nullptr;
}

TrackEntry* MemoryTrackStore::openEntry(const std::string& path, uint32_t sizeKey) {
    const std::string name = nameOf(path);
    for (Stored& stored : entries_) {
        if (stored.entry->sizeKey == sizeKey && stored.entry->name == name)
            return stored.entry.get();
    }
    auto entry = std::make_unique<TrackEntry>();
    entry->name = name;
    entry->sizeKey = sizeKey;
    entries_.push_back(Stored{std::move(entry), Saved{}});
    return entries_.back().entry.get();
}

TrackAnalysis* MemoryTrackStore::acquireAnalysis(TrackEntry* entry) {
    Stored* stored = find(entry);
    if (stored == nullptr)
        return nullptr;
    if (!entry->analysis) {
        entry->analysis = std::make_unique<TrackAnalysis>();
        TrackAnalysis& a = *entry->analysis;
        const Saved& s = stored->saved;
        a.startPoint.store(s.startPoint, kRelaxed);
        a.endPoint.store(s.endPoint, kRelaxed);
        a.memoryPoint.store(s.memoryPoint, kRelaxed);
        a.startEnergy.store(s.startEnergy, kRelaxed);
        a.endEnergy.store(s.endEnergy, kRelaxed);
        a.bpmCount.store(s.bpmCount, kRelaxed);
        a.peakEnergy.store(s.peakEnergy, kRelaxed);
        a.loudness.store(s.loudness, kRelaxed);
    }
    ++entry->refCount;
    return entry->analysis.get();
}

void MemoryTrackStore::releaseAnalysis(TrackEntry* entry) {
    Stored* stored = find(entry);
    if (stored == nullptr || !entry->analysis)
        return;
    if (entry->refCount > 1) {
        --entry->refCount;
        return;
    }
    entry->refCount = 0;
    const TrackAnalysis& a = *entry->analysis;
    stored->saved = Saved{a.startPoint.load(kRelaxed),  a.endPoint.load(kRelaxed),
                          a.memoryPoint.load(kRelaxed), a.startEnergy.load(kRelaxed),
                          a.endEnergy.load(kRelaxed),   a.bpmCount.load(kRelaxed),
                          a.peakEnergy.load(kRelaxed),  a.loudness.load(kRelaxed)};
    entry->analysis.reset();
}
