#include "ui/library/BrowserListView.h"

#include "ui/library/ListDrag.h"

#include <QHeaderView>

#include <algorithm>

BrowserListView::BrowserListView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setItemsExpandable(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Without drag enabled, press and move would select rows instead of dragging them.
    setDragEnabled(true);
    setSortingEnabled(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    // Letters belong to the desk's shortcuts, also when an input method sends them.
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

std::vector<int> BrowserListView::selectedRows() const {
    std::vector<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void BrowserListView::startDrag(Qt::DropActions) {
    if (drag_)
        drag_->start();
}
