// Tracks analysed in the background before they play: what is queued, and the outcome
// stored into the database on this thread, where the rows showing it are told.

#include "app/MainWindow.h"
#include "audio/decoders/PlayableFiles.h"
#include "library/AnalysisService.h"
#include "library/Playlist.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"
#include "ui/library/Browser.h"

#include <QLabel>

#include <algorithm>
#include <filesystem>

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

// One level only: a folder's own files are read in one pass, while a walk down a whole
// volume would have no bound.
int MainWindow::analyseFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    if (!analysis_ || !database_ || folder.empty()) {
        showAnalysisProgress(); // a held database says why nothing happens
        return 0;
    }
    std::vector<std::pair<std::string, uint32_t>> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code statError;
        const std::string path = it->path().string();
        // A link to a file counts as the file, as in the file list.
        if (!it->is_regular_file(statError) || !isPlayableFileName(path))
            continue;
        const auto size = fs::file_size(it->path(), statError);
        if (!statError)
            files.emplace_back(path, uint32_t(size));
    }
    // In name order, so that a folder is worked through the way it is listed.
    std::sort(files.begin(), files.end());
    int queued = 0;
    for (const auto& [path, size] : files) {
        const TrackRecord record = makeTrackRecord(*database_, path, size);
        if (record.entry && !database_->analysedWhole(record.entry) && analysis_->queue(path))
            ++queued;
    }
    showAnalysisProgress();
    return queued;
}

QLabel* MainWindow::analysisLabel() const {
    return analysisLabel_.data();
}

QString MainWindow::analysisReadOnlyText() {
    return QStringLiteral("Not analysing: another copy holds the track database");
}

void MainWindow::showAnalysisProgress() {
    if (!analysisLabel_)
        return;
    const int pending = analysesPending();
    // Only beside the library lists: the other pages have no room kept for it.
    const bool listsShown = browser_ && browser_->bar() && browser_->bar()->isVisible();
    // A copy whose database another copy holds learns nothing: the user is told once
    // there, instead of waiting for tempi that never come.
    const bool readOnly = analyseInBackground && database_ && database_->isReadOnly();
    if (readOnly && listsShown) {
        analysisLabel_->setText(analysisReadOnlyText());
        analysisLabel_->show();
        analysisLabel_->raise();
    } else if (pending > 0 && listsShown) {
        analysisLabel_->setText(pending == 1 ? QStringLiteral("Analysing 1 track")
                                             : QStringLiteral("Analysing %1 tracks").arg(pending));
        analysisLabel_->show();
        analysisLabel_->raise();
    } else {
        analysisLabel_->hide();
    }
}
