#include "ui/library/BrowserListView.h"

#include "ui/library/ListDrag.h"

#include <QHeaderView>
#include <QMenu>

#include <algorithm>

namespace {
constexpr int kReopenedColumnWidth = 60; // pixels, a column shown again from the menu
}

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
    header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header(), &QHeaderView::customContextMenuRequested, this,
            &BrowserListView::showColumnMenu);
}

void BrowserListView::showColumnMenu(QPoint atHeader) {
    if (!model())
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (int column = 0; column < model()->columnCount(); ++column) {
        QAction* action = menu->addAction(model()->headerData(column, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(header()->sectionSize(column) > 0);
        connect(action, &QAction::toggled, this, [this, column](bool shown) {
            header()->resizeSection(column, shown ? kReopenedColumnWidth : 0);
        });
    }
    menu->popup(header()->mapToGlobal(atHeader));
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
