// Loads that wait for their file on another thread, so that the window keeps answering
// while a slow disk delivers a track, and the read-ahead of the playlist's next track.

#include "app/MainWindow.h"
#include "app/TimerIds.h"
#include "audio/decoders/FilePrefetcher.h"
#include "core/Clock.h"
#include "core/TrackRecord.h"
#include "library/Playlist.h"

namespace {

constexpr int kPendingLoadsTimerMs = 10; // how soon a deck loads once its file is in

} // namespace

void MainWindow::loadIntoDeckSoon(int d, const TrackRecord& track) {
    if (!prefetcher_) {
        loadIntoDeck(d, track);
        return;
    }
    PendingLoad& pending = pendingLoads_[d & 1];
    pending.ticket = prefetcher_->request(track.path);
    pending.track = std::make_unique<TrackRecord>(track);
    if (!clock_.isRunning(kTimerPendingLoads))
        clock_.startTimer(kTimerPendingLoads, kPendingLoadsTimerMs,
                          [this](int) { onPendingLoads(); });
}

bool MainWindow::loadPending(int d) const {
    return pendingLoads_[d & 1].track != nullptr;
}

void MainWindow::onPendingLoads() {
    bool waiting = false;
    for (int d = 0; d < 2; ++d) {
        PendingLoad& pending = pendingLoads_[d];
        if (!pending.track)
            continue;
        if (!prefetcher_ || prefetcher_->finished(pending.ticket)) {
            // A file that could not be read loads all the same: the deck then says why.
            const std::unique_ptr<TrackRecord> track = std::move(pending.track);
            loadIntoDeck(d, *track);
        } else {
            waiting = true;
        }
    }
    if (!waiting)
        clock_.killTimer(kTimerPendingLoads);
}

// The track the playlist gives next is read ahead while this one plays, so that the
// automatic mix does not wait for the disk when it takes it.
void MainWindow::prefetchNextTrack() {
    if (prefetcher_ && playlist_ && playlist_->rowCount() > 0 &&
        playlist_->record(0).entry != nullptr)
        prefetcher_->request(playlist_->record(0).path);
}
