#pragma once
// The table behind every track list of the library (file list, playlist, history): the
// columns "Title", "Artist", "Bpm", "Comment" over rows that live where the data lives
// (the folder's rows, the playlist, the history); the model never copies a row.
//
// Threading: user-interface thread only.

#include "core/TrackRecord.h"
#include "library/History.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <optional>
#include <string>

// A cell's text: title, artist, the bpm with one decimal (a '.' whatever the locale)
// when it is not 0, the comment. Bpm and comment are empty for rows without entry.
QString trackCellText(const TrackRecord& record, int column);

class BrowserTrackModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kTitle, kArtist, kBpm, kComment, kColumnCount };

    explicit BrowserTrackModel(QObject* parent = nullptr);

    virtual const TrackRecord& recordAt(int row) const = 0;
    // The row's icon; none for lists that show no icons.
    virtual std::optional<RowImage> imageAt(int row) const = 0;

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The paths of these rows, in row order (what a drag carries).
    std::vector<std::string> pathsOf(const std::vector<int>& rows) const;
    // The rows with this entry show its new values (a details dialog changed them).
    void entryChanged(const TrackEntry* entry);

    // Changes of the rows behind the table, announced by whoever changes them.
    void announceInsert(int first, int last) { beginInsertRows({}, first, last); }
    void insertDone() { endInsertRows(); }
    void announceRemove(int first, int last) { beginRemoveRows({}, first, last); }
    void removeDone() { endRemoveRows(); }
    void announceReset() { beginResetModel(); }
    void resetDone() { endResetModel(); }

private:
    // The four 16-pixel row icons, one per RowImage. Held by the model, so that no
    // picture outlives the application.
    std::array<QIcon, 4> icons_;
};
