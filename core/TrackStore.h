#pragma once
// What a deck needs of the track database: find or create the entry of a file, and
// hold its analysis values while the track is loaded. Called on the user-interface
// thread only.

#include "core/TrackRecord.h"

#include <cstdint>
#include <string>

class TrackStore {
public:
    virtual ~TrackStore() = default;
    // The entry whose name (the part of path after its last '/') and sizeKey match;
    // created when there is none. Never fails.
    virtual TrackEntry* openEntry(const std::string& path, uint32_t sizeKey) = 0;
    // Loads the analysis on first use and counts the reference.
    virtual TrackAnalysis* acquireAnalysis(TrackEntry* entry) = 0;
    // Drops a reference; the last one writes the entry back and frees the analysis.
    virtual void releaseAnalysis(TrackEntry* entry) = 0;
};
