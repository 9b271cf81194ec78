#pragma once
// Knows every track before it plays: worker threads run whole files through the decks'
// own decoders and beat analyser (FileAnalyser), and the outcome is stored into the
// track database as a play stores it, marked as an analysis of the whole track.
//
// Threading: every member on the user-interface thread (the one that owns the track
// database). The workers touch only their own FileAnalyser and the queue; nothing of the
// database. Destruction does not wait for a file being analysed: the worker drops it
// at its next block.

#include "library/FileAnalyser.h"

#include <memory>
#include <string>
#include <vector>

class TrackDatabase;
struct TrackEntry;

class AnalysisService {
public:
    enum class Priority { Background, Full };

    // threads: workers (at least one). Background workers only run while the machine
    // has nothing else to do, so the window and the decks never wait for them.
    AnalysisService(int threads, Priority priority);
    ~AnalysisService();
    AnalysisService(const AnalysisService&) = delete;
    AnalysisService& operator=(const AnalysisService&) = delete;

    // Queues a file; false when it is already queued, being analysed or waiting to be
    // taken.
    bool queue(const std::string& path);
    // Reports of the files finished since the last call, in the order they finished.
    std::vector<FileReport> takeFinished();
    // Files queued or being analysed.
    int pending() const;
    // Waits until every queued file is finished (tools).
    void waitUntilIdle();

    struct State; // shared with the workers

private:
    std::shared_ptr<State> state_;
};

// Stores the analysis of a whole file into its entry, as the beat analyser stores a
// play: the BPM gives way only to a run at least as long as the one behind it (a BPM set
// by hand never does); the points, energies and loudness are the whole track's; the
// memory point stays. The entry is then marked as analysed whole. Returns the entry, or
// null when the report is not one to keep (a failure, or a file that was cut short or
// changed while it was read).
TrackEntry* storeWholeAnalysis(TrackDatabase& database, const FileReport& report);

// Analyses every file of paths whose entry holds no whole-track analysis yet, on threads
// workers at full priority, and stores each outcome, in the order of paths, so that the
// database ends the same whatever order the workers finished in. Returns the count of
// files stored.
int analyseAhead(TrackDatabase& database, const std::vector<std::string>& paths, int threads);
