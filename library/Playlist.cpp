#include "library/Playlist.h"

#include "library/PlaylistFile.h"

#include <algorithm>
#include <cassert>
#include <iterator>

Playlist::Playlist(TrackStore& store, const History& history)
    : store_(store), history_(history), random_(std::random_device{}()) {}

void Playlist::insert(TrackRecord record, int row) {
    std::vector<TrackRecord> records;
    records.push_back(std::move(record));
    insert(std::move(records), row);
}

void Playlist::insert(std::vector<TrackRecord> records, int row) {
    if (records.empty())
        return;
    if (row < 0 || row > rowCount())
        row = rowCount();
    std::vector<Row> added;
    added.reserve(records.size());
    for (TrackRecord& record : records) {
        const RowImage image = history_.imageFor(record);
        added.push_back(Row{std::move(record), image});
    }
    if (observer_ != nullptr)
        observer_->rowsAboutToBeInserted(row, row + static_cast<int>(added.size()) - 1);
    rows_.insert(rows_.begin() + row, std::make_move_iterator(added.begin()),
                 std::make_move_iterator(added.end()));
    if (observer_ != nullptr)
        observer_->rowsInserted();
    if (tracksAdded) {
        std::vector<TrackRecord> records;
        for (size_t i = 0; i < added.size(); ++i)
            records.push_back(rows_[row + i].record);
        tracksAdded(records);
    }
}

void Playlist::entryChanged(const TrackEntry* entry) {
    if (observer_ == nullptr || entry == nullptr)
        return;
    for (int row = 0; row < rowCount(); ++row)
        if (rows_[row].record.entry == entry)
            observer_->rowChanged(row);
}

TrackRecord Playlist::removeRow(int row) {
    if (observer_ != nullptr)
        observer_->rowsAboutToBeRemoved(row, row);
    TrackRecord record = std::move(rows_[row].record);
    rows_.erase(rows_.begin() + row);
    if (observer_ != nullptr)
        observer_->rowsRemoved();
    return record;
}

bool Playlist::takeNext(int deck) {
    assert((deck == 0 || deck == 1) && decks_.load && decks_.hasTrack);
    if ((deck != 0 && deck != 1) || !decks_.load || !decks_.hasTrack)
        return false;
    const int other = 1 - deck;
    // Rows at the top that came from the playlist file expanded last.
    size_t fromFile = 0;
    while (!rows_.empty()) {
        // The row leaves before any deck loads, so whatever the loader does sees a
        // playlist that no longer holds it.
        const TrackRecord top = removeRow(0);
        if (top.entry == nullptr) {
            // A playlist file: its tracks take the row's place, in file order.
            std::vector<TrackRecord> tracks = readPlaylist(store_, top.path);
            fromFile = tracks.size();
            insert(std::move(tracks), 0);
            continue;
        }
        const bool sameFile = fromFile > 0;
        fromFile = sameFile ? fromFile - 1 : 0;
        if (!decks_.load(deck, top))
            continue;
        // The file's next track goes into the other deck when that one has no track; a
        // busy deck leaves it in the playlist with the rest.
        if (sameFile && fromFile > 0 && !decks_.hasTrack(other))
            decks_.load(other, removeRow(0));
        return true;
    }
    return false;
}

std::vector<TrackRecord> Playlist::removeRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<TrackRecord> removed;
    // From the bottom up, so the indices still to remove stay valid.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it >= 0 && *it < rowCount())
            removed.push_back(removeRow(*it));
    }
    std::reverse(removed.begin(), removed.end());
    return removed;
}

void Playlist::expandRow(int row) {
    if (row < 0 || row >= rowCount() || rows_[row].record.entry != nullptr)
        return;
    const TrackRecord fileRow = removeRow(row);
    insert(readPlaylist(store_, fileRow.path), row);
}

void Playlist::shuffle() {
    shuffle(random_);
}

void Playlist::shuffle(std::mt19937& random) {
    if (observer_ != nullptr)
        observer_->rowsAboutToBeReordered();
    // A uniform shuffle: sorting with a comparison that answers at random breaks the
    // ordering contract of std::sort (undefined behaviour) and is biased anyway.
    std::shuffle(rows_.begin(), rows_.end(), random);
    if (observer_ != nullptr)
        observer_->rowsReordered();
}

void Playlist::keepNewSongsOnly() {
    for (int row = rowCount() - 1; row >= 0; --row) {
        const TrackEntry* entry = rows_[row].record.entry;
        if (entry != nullptr && history_.contains(entry))
            removeRow(row);
    }
}

bool Playlist::saveAs(const std::string& path) {
    std::vector<TrackRecord> records;
    records.reserve(rows_.size());
    for (const Row& row : rows_)
        records.push_back(row.record);
    // The whole text is made before the file is created anew: a playlist-file row may
    // name the very file being replaced, and its tracks must be read first.
    if (!writeWholeFile(path, playlistFileText(records)))
        return false;
    if (!rows_.empty()) {
        if (observer_ != nullptr)
            observer_->rowsAboutToBeRemoved(0, rowCount() - 1);
        rows_.clear();
        if (observer_ != nullptr)
            observer_->rowsRemoved();
    }
    insert(makePlaylistFileRecord(path));
    return true;
}

void Playlist::setEntryImage(const TrackEntry* entry, RowImage image) {
    if (entry == nullptr)
        return;
    for (int row = 0; row < rowCount(); ++row) {
        if (rows_[row].record.entry == entry && rows_[row].image != image) {
            rows_[row].image = image;
            if (observer_ != nullptr)
                observer_->rowImageChanged(row);
        }
    }
}
