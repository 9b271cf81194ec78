#pragma once
// The playlist: the queue of tracks waiting to be played. The automatic mix takes its
// next track from the top; the user fills it from the library lists. Rows are track
// rows (a record with an entry) or playlist-file rows (no entry, the path names a
// ".m3u" or ".pls" file), which stand for the tracks of that file and are expanded when
// they are used. Each row keeps the icon chosen when it was inserted, changed later only
// by the history (through setEntryImage).
//
// Decks are reached through callbacks, so the model works without the main window; the
// main window gives its `MainWindow::loadIntoDeck` and its deck-position test.
//
// Threading: user-interface thread only.

#include "core/TrackRecord.h"
#include "core/TrackStore.h"
#include "library/History.h"
#include "library/RowObserver.h"

#include <functional>
#include <random>
#include <string>
#include <vector>

struct DeckAccess {
    // Loads a copy of the record into deck 0 or 1; the caller keeps its record.
    std::function<bool(int deck, const TrackRecord& record)> load;
    // True when the deck has a track (its position is not negative).
    std::function<bool(int deck)> hasTrack;
};

class Playlist {
public:
    static constexpr int kAtEnd = -1;

    // The store makes the records of expanded playlist files; the history decides the
    // icons. Both must outlive the playlist.
    Playlist(TrackStore& store, const History& history);
    Playlist(const Playlist&) = delete;
    Playlist& operator=(const Playlist&) = delete;

    void setDecks(DeckAccess decks) { decks_ = std::move(decks); }
    void setObserver(RowObserver* observer) { observer_ = observer; }

    int rowCount() const { return static_cast<int>(rows_.size()); }
    // Precondition: 0 <= row < rowCount().
    const TrackRecord& record(int row) const { return rows_[row].record; }
    RowImage image(int row) const { return rows_[row].image; }

    // Inserts rows owning the records before row (clamped to 0..rowCount()), or at the
    // end for kAtEnd.
    void insert(TrackRecord record, int row = kAtEnd);
    void insert(std::vector<TrackRecord> records, int row = kAtEnd);

    // Takes rows from the top until a track loads into deck (0 or 1). A playlist-file
    // row is read and its tracks take its place, in file order; when one of them loads,
    // the file's next track goes into the other deck if that deck has no track. Rows that
    // give no track (an empty or missing playlist file) and tracks the deck cannot load
    // are dropped on the way. False when the playlist ran out before a track loaded.
    bool takeNext(int deck);

    // Removes the given rows (out-of-range indices and repeats ignored) and hands their
    // records back in row order: deleting drops them, dragging inserts them elsewhere.
    std::vector<TrackRecord> removeRows(std::vector<int> rows);

    // Replaces a playlist-file row by the tracks of its file, in file order. Nothing for
    // a track row.
    void expandRow(int row);

    // Puts the rows in a random order, every order equally likely.
    void shuffle();
    void shuffle(std::mt19937& random);

    // Removes every track row whose entry is in the history; playlist-file rows stay.
    void keepNewSongsOnly();

    // Writes the playlist as a ".m3u" file (playlist-file rows expanded in place) and
    // leaves a single playlist-file row for it. When the file cannot be created or
    // written, false and the playlist is unchanged.
    bool saveAs(const std::string& path);

    // Rows with this entry now show this icon (the history changed).
    void setEntryImage(const TrackEntry* entry, RowImage image);
    // Rows with this entry show what it holds now (an analysis was stored).
    void entryChanged(const TrackEntry* entry);
    // Told of every track that enters the playlist (the analysis queue listens).
    std::function<void(const std::vector<TrackRecord>& records)> tracksAdded;

private:
    struct Row {
        TrackRecord record;
        RowImage image;
    };
    TrackRecord removeRow(int row);

    TrackStore& store_;
    const History& history_;
    DeckAccess decks_;
    RowObserver* observer_ = nullptr;
    std::vector<Row> rows_;
    std::mt19937 random_;
};
