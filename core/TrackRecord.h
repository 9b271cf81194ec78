#pragma once
// The records by which a deck knows its track: the shared per-track entry with its
// tempo, the analysis values the deck and the beat analyser keep per track, and the
// row record that every track list and each deck holds.
//
// Threading: entries and records are created and destroyed on the user-interface
// thread. The audio thread writes the bpm of an entry and the values of a
// `TrackAnalysis` that a deck holds, while the user interface reads them; those
// fields are atomics with relaxed order because a stale value is acceptable to every
// reader (display, beat matching) and each value is independent of the others.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct TrackAnalysis {
    // Flags; older versions of the program keep the field as they found it.
    std::atomic<uint32_t> reserved{0};
    std::atomic<float> startPoint{0.0f};
    std::atomic<float> endPoint{0.0f};
    std::atomic<float> memoryPoint{0.0f};
    std::atomic<int32_t> startEnergy{0};
    std::atomic<int32_t> endEnergy{0};
    std::atomic<int32_t> bpmCount{0};
    std::atomic<int32_t> peakEnergy{1};
    std::atomic<int32_t> loudness{0};

    static constexpr int32_t kBpmSetByHand = 2147483647;
    // In reserved: the whole track was analysed, so its values are final and a play
    // (which may see only part of the track) leaves them as they are.
    static constexpr uint32_t kAnalysedWhole = 1;
    bool analysedWhole() const {
        return (reserved.load(std::memory_order_relaxed) & kAnalysedWhole) != 0;
    }
};

struct TrackEntry {
    TrackEntry* next = nullptr;
    int32_t refCount = 0;
    int64_t offset = -1;                     // block in the database file, -1 = none
    std::unique_ptr<TrackAnalysis> analysis; // loaded from first acquire to last release
    uint32_t sizeKey = 0;                    // file size in bytes, 0 = unknown
    std::atomic<float> bpm{0.0f};            // 0 = unknown; written by the analyser
    uint32_t lastUse = 0;                    // dateStamp, 0 = never
    std::unique_ptr<std::string> replacementComment;
    std::string name;
    std::string comment;

    // A bpm is usable when it lies in 1.0 .. 999.0.
    static bool isUsableBpm(double bpm) { return bpm >= 1.0 && bpm <= 999.0; }
};

// Copying duplicates the strings and shares the entry, which the store owns.
struct TrackRecord {
    std::string artist;
    std::string title;
    std::string path;
    TrackEntry* entry = nullptr;
};
