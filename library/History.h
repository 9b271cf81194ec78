#pragma once
// The history: the tracks loaded into a deck during this run, newest at the top (row 0).
// Rows own copies of the decks' records; entries are shared with the track store.
//
// The history also decides the icon of a row in the playlist and the file list, because
// "is in this run's history" is one of the icon's meanings: `imageFor` gives the icon of
// a new row, and the image listener hears when rows elsewhere must change theirs.
//
// Threading: user-interface thread only.

#include "core/TrackRecord.h"
#include "library/RowObserver.h"

#include <functional>
#include <string>
#include <vector>

// Icons of the playlist and file-list rows (four 16-pixel images side by side).
enum class RowImage {
    UsedBefore = 0,   // a track whose entry has a last-use date
    NeverUsed = 1,    // a track never used (last use 0)
    InHistory = 2,    // a track whose entry is in this run's history
    PlaylistFile = 3, // a row that stands for a playlist file
};

class History {
public:
    // Tells the playlist and the file list that rows with this entry now show this icon.
    using ImageListener = std::function<void(const TrackEntry* entry, RowImage image)>;

    History() = default;
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    void setObserver(RowObserver* observer) { observer_ = observer; }
    void setImageListener(ImageListener listener) { imageListener_ = std::move(listener); }

    int rowCount() const { return static_cast<int>(rows_.size()); }
    // Precondition: 0 <= row < rowCount().
    const TrackRecord& record(int row) const { return rows_[row]; }

    // The track of a deck entered the history: a copy goes on top, and rows elsewhere
    // with its entry show the history icon.
    void add(const TrackRecord& record);
    // Removes the given rows (indices out of range and repeats are ignored). Rows
    // elsewhere with a removed entry go back to "used before", unless another history
    // row still holds that entry.
    void removeRows(std::vector<int> rows);
    // True when some row has this entry; false for no entry.
    bool contains(const TrackEntry* entry) const;

    // The icon a new row gets: playlist file without entry, then in history, then never
    // used, else used before.
    RowImage imageFor(const TrackRecord& record) const;

    // Writes the history file, oldest row first, each path followed by "\r\n". The file
    // is created anew; false when it cannot be created or written. The history stays.
    bool saveAs(const std::string& path) const;

private:
    std::vector<TrackRecord> rows_;
    RowObserver* observer_ = nullptr;
    ImageListener imageListener_;
};

// The text of a history file for these rows (newest first, as the history holds them).
std::string historyFileText(const std::vector<TrackRecord>& newestFirst);
