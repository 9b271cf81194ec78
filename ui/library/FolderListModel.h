#pragma once
// The file list: the music files and playlist files of one folder, as rows of the
// library's track table. Listing follows the file system: a symbolic link stands for a
// shortcut and lists under its own name with its target's path and size (the extension
// test applies to the target); dangling and looping links and hidden names are left out.
//
// Sorting uses the program's own codes: -1 last use (most recent first, rows without
// entry last), 0..3 a column ascending (bpm descending), 8..11 the same reversed;
// clicking a column header gives the column, or the column + 8 when it was already it.
//
// Threading: user-interface thread only (records are made through the track store).

#include "core/TrackStore.h"
#include "library/CatalogueSearch.h" // the lists' sort codes
#include "ui/library/BrowserTrackModel.h"

#include <string>
#include <vector>

struct FolderRow {
    TrackRecord record;
    RowImage image = RowImage::NeverUsed;
};

// The rows of a folder in the order the file system gives them: playable files as track
// rows (entry from the store), ".m3u"/".pls" files as playlist-file rows. Icons from the
// history. Nothing for a folder that cannot be read.
std::vector<FolderRow> listMusicFolder(const std::string& folder, TrackStore& store,
                                       const History& history);

// Sorts rows by a code; codes 4..7 keep the order.
void sortFolderRows(std::vector<FolderRow>& rows, int code);

class FolderListModel : public BrowserTrackModel {
    Q_OBJECT
public:
    FolderListModel(TrackStore& store, const History& history, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    const TrackRecord& recordAt(int row) const override { return rows_[size_t(row)].record; }
    std::optional<RowImage> imageAt(int row) const override { return rows_[size_t(row)].image; }

    // Lists the folder (empty: no folder, no rows) and sorts by last use.
    void fill(const std::string& folder);
    const std::string& folder() const { return folder_; }
    // A header click on column.
    void sortByColumn(int column);
    void sortByCode(int code);
    int sortCode() const { return sortCode_; }
    // Rows with this entry now show this icon (the history changed).
    void setEntryImage(const TrackEntry* entry, RowImage image);

private:
    TrackStore& store_;
    const History& history_;
    std::string folder_;
    std::vector<FolderRow> rows_;
    int sortCode_ = -1;
};
