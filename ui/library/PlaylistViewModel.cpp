#include "ui/library/PlaylistViewModel.h"

void RowChangeRelay::rowsAboutToBeInserted(int first, int last) {
    table_.announceInsert(first, last);
}

void RowChangeRelay::rowsInserted() {
    table_.insertDone();
}

void RowChangeRelay::rowsAboutToBeRemoved(int first, int last) {
    table_.announceRemove(first, last);
}

void RowChangeRelay::rowsRemoved() {
    table_.removeDone();
}

void RowChangeRelay::rowsAboutToBeReordered() {
    // Every row may move and rows do not know where they went: the view starts afresh.
    table_.announceReset();
}

void RowChangeRelay::rowsReordered() {
    table_.resetDone();
}

void RowChangeRelay::rowImageChanged(int row) {
    const QModelIndex cell = table_.index(row, BrowserTrackModel::kTitle);
    emit table_.dataChanged(cell, cell, {Qt::DecorationRole});
}

void RowChangeRelay::rowChanged(int row) {
    emit table_.dataChanged(table_.index(row, 0), table_.index(row, table_.columnCount() - 1));
}

PlaylistViewModel::PlaylistViewModel(Playlist& playlist, QObject* parent)
    : BrowserTrackModel(parent), playlist_(playlist), relay_(*this) {
    playlist_.setObserver(&relay_);
}

PlaylistViewModel::~PlaylistViewModel() {
    playlist_.setObserver(nullptr);
}

int PlaylistViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : playlist_.rowCount();
}

HistoryViewModel::HistoryViewModel(History& history, QObject* parent)
    : BrowserTrackModel(parent), history_(history), relay_(*this) {
    history_.setObserver(&relay_);
}

HistoryViewModel::~HistoryViewModel() {
    history_.setObserver(nullptr);
}

int HistoryViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : history_.rowCount();
}
