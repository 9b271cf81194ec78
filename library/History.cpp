#include "library/History.h"

#include "library/PlaylistFile.h"

#include <algorithm>

void History::add(const TrackRecord& record) {
    if (observer_ != nullptr)
        observer_->rowsAboutToBeInserted(0, 0);
    rows_.insert(rows_.begin(), record);
    if (observer_ != nullptr)
        observer_->rowsInserted();
    if (record.entry != nullptr && imageListener_)
        imageListener_(record.entry, RowImage::InHistory);
}

void History::removeRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, so the indices still to remove stay valid.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int row = *it;
        if (row < 0 || row >= rowCount())
            continue;
        const TrackEntry* entry = rows_[row].entry;
        if (observer_ != nullptr)
            observer_->rowsAboutToBeRemoved(row, row);
        rows_.erase(rows_.begin() + row);
        if (observer_ != nullptr)
            observer_->rowsRemoved();
        // The same track loaded twice has two rows: it stays "in history" until the
        // last of them goes.
        if (entry != nullptr && imageListener_ && !contains(entry))
            imageListener_(entry, RowImage::UsedBefore);
    }
}

bool History::contains(const TrackEntry* entry) const {
    if (entry == nullptr)
        return false;
    return std::any_of(rows_.begin(), rows_.end(),
                       [entry](const TrackRecord& r) { return r.entry == entry; });
}

RowImage History::imageFor(const TrackRecord& record) const {
    if (record.entry == nullptr)
        return RowImage::PlaylistFile;
    if (contains(record.entry))
        return RowImage::InHistory;
    return record.entry->lastUse == 0 ? RowImage::NeverUsed : RowImage::UsedBefore;
}

bool History::saveAs(const std::string& path) const {
    return writeWholeFile(path, historyFileText(rows_));
}

std::string historyFileText(const std::vector<TrackRecord>& newestFirst) {
    std::string text;
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it) {
        text += it->path;
        text += "\r\n";
    }
    return text;
}
