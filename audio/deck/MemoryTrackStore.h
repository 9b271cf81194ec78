#pragma once
// A track store that keeps its entries in memory for the run: what the decks use until
// the database file exists, and what engine tests use. Entries are found by file name
// (after the last '/') and size; analysis values survive from the last release to the
// next acquire of the same entry, as if they had been written back.
//
// Threading: user-interface thread only, as every TrackStore.

#include "core/TrackStore.h"

#include <memory>
#include <vector>

class MemoryTrackStore : public TrackStore {
public:
    MemoryTrackStore();
    ~MemoryTrackStore() override;
    MemoryTrackStore(const MemoryTrackStore&) = delete;
    MemoryTrackStore& operator=(const MemoryTrackStore&) = delete;

    TrackEntry* openEntry(const std::string& path, uint32_t sizeKey) override;
    TrackAnalysis* acquireAnalysis(TrackEntry* entry) override;
    void releaseAnalysis(TrackEntry* entry) override;

    int entryCount() const { return static_cast<int>(entries_.size()); }

private:
    // The values of an entry whose analysis is not loaded.
    struct Saved {
        float startPoint = 0.0f;
        float endPoint = 0.0f;
        float memoryPoint = 0.0f;
        int32_t startEnergy = 0;
        int32_t endEnergy = 0;
        int32_t bpmCount = 0;
        int32_t peakEnergy = 1;
        int32_t loudness = 0;
    };
    struct Stored {
        std::unique_ptr<TrackEntry> entry;
        Saved saved;
    };
    Stored* find(const TrackEntry* entry);

    std::vector<Stored> entries_;
};
