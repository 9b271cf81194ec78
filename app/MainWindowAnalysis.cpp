// Tracks analysed in the background before they play: what is queued, and the outcome
// stored into the database on this thread, where the rows showing it are told.

#include "app/MainWindow.h"
#include "library/AnalysisService.h"
#include "library/Playlist.h"
#include "library/TrackDatabase.h"

void MainWindow::queueAnalysis(const TrackRecord& track) {
    // Playlist-file rows have no entry; their tracks are queued when they are read.
    if (analysis_ && database_ && track.entry != nullptr && !database_->analysedWhole(track.entry))
        analysis_->queue(track.path);
}

void MainWindow::storeFinishedAnalyses() {
    if (!analysis_ || !database_)
        return;
    for (const FileReport& report : analysis_->takeFinished()) {
        const TrackEntry* entry = storeWholeAnalysis(*database_, report);
        if (entry && playlist_)
            playlist_->entryChanged(entry);
    }
}

int MainWindow::analysesPending() const {
    return analysis_ ? analysis_->pending() : 0;
}
