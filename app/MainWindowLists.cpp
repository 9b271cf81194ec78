// What a double click on a library row does: a track goes into a free deck, else into
// the playlist; a playlist file fills the free decks and the playlist, or opens in place
// when it is a playlist row.

#include "app/MainWindow.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "library/Playlist.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"

bool MainWindow::deckFree(int d) const {
    // Free: not playing, and not holding a track loaded since it last played.
    const Deck* deck = deckAt(d);
    return deck && !deck->playing.load(std::memory_order_relaxed) && !deck->fresh;
}

void MainWindow::activateRecord(const TrackRecord& shown, int playlistRow) {
    if (!playlist_ || !database_)
        return;
    // The row may leave the playlist below: keep the record.
    const TrackRecord record = shown;
    const int selected = selectedDeck_;
    if (record.entry) {
        int target = -1;
        if (deckFree(selected))
            target = selected;
        else if (deckFree(1 - selected))
            target = 1 - selected;
        if (target < 0) {
            if (playlistRow < 0)
                playlist_->insert(record);
            return;
        }
        if (loadIntoDeck(target, record) && playlistRow >= 0)
            playlist_->removeRows({playlistRow});
        return;
    }
    if (playlistRow >= 0) {
        playlist_->expandRow(playlistRow);
        return;
    }
    std::vector<TrackRecord> tracks = readPlaylist(*database_, record.path);
    size_t next = 0;
    if (next < tracks.size() && deckFree(selected))
        loadIntoDeck(selected, tracks[next++]);
    if (next < tracks.size() && deckFree(1 - selected))
        loadIntoDeck(1 - selected, tracks[next++]);
    tracks.erase(tracks.begin(), tracks.begin() + long(next));
    playlist_->insert(std::move(tracks));
}
