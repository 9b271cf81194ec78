#pragma once
// A library list as a report view: full-row selection, several rows, no editing, no
// grid, uniform rows (fast with many rows). Its drags go through a ListDrag, and it
// takes no typed letters (the desk's shortcuts own them).
//
// Threading: user-interface thread only.

#include <QTreeView>

#include <vector>

class ListDrag;

class BrowserListView : public QTreeView {
    Q_OBJECT
public:
    explicit BrowserListView(QWidget* parent = nullptr);

    void setListDrag(ListDrag* drag) { drag_ = drag; }
    ListDrag* listDrag() const { return drag_; }
    // The selected rows, top first.
    std::vector<int> selectedRows() const;
    // A column of width 0 cannot be dragged open in a header, so the header's context
    // menu shows and hides the columns; this opens it at a header point.
    void showColumnMenu(QPoint atHeader);

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    ListDrag* drag_ = nullptr;
};
