#pragma once
// The playlist and the history as tables of the library: each listens to its model as
// its row observer, so the views keep selection and scroll position through changes.
// The history shows no icons.
//
// Threading: user-interface thread only.

#include "library/History.h"
#include "library/Playlist.h"
#include "library/RowObserver.h"
#include "ui/library/BrowserTrackModel.h"

// Announces a row model's changes to a Qt item model.
class RowChangeRelay : public RowObserver {
public:
    explicit RowChangeRelay(BrowserTrackModel& table) : table_(table) {}
    void rowsAboutToBeInserted(int first, int last) override;
    void rowsInserted() override;
    void rowsAboutToBeRemoved(int first, int last) override;
    void rowsRemoved() override;
    void rowsAboutToBeReordered() override;
    void rowsReordered() override;
    void rowImageChanged(int row) override;
    void rowChanged(int row) override;

private:
    BrowserTrackModel& table_;
};

class PlaylistViewModel : public BrowserTrackModel {
    Q_OBJECT
public:
    explicit PlaylistViewModel(Playlist& playlist, QObject* parent = nullptr);
    ~PlaylistViewModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    const TrackRecord& recordAt(int row) const override { return playlist_.record(row); }
    std::optional<RowImage> imageAt(int row) const override { return playlist_.image(row); }
    Playlist& playlist() { return playlist_; }

private:
    Playlist& playlist_;
    RowChangeRelay relay_;
};

class HistoryViewModel : public BrowserTrackModel {
    Q_OBJECT
public:
    explicit HistoryViewModel(History& history, QObject* parent = nullptr);
    ~HistoryViewModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    const TrackRecord& recordAt(int row) const override { return history_.record(row); }
    std::optional<RowImage> imageAt(int) const override { return std::nullopt; }
    History& history() { return history_; }

private:
    History& history_;
    RowChangeRelay relay_;
};
