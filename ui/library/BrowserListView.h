#pragma once
// A library list as a report view: full-row selection, several rows, no editing, no
// grid, uniform rows (fast with many rows). Its drags go through a ListDrag, and it
// takes no typed letters (the desk's shortcuts own them).
//
// Threading: user-interface thread only.

#include <QTreeView>

class ListDrag;

class BrowserListView : public QTreeView {
    Q_OBJECT
public:
    explicit BrowserListView(QWidget* parent = nullptr);

    void setListDrag(ListDrag* drag) { drag_ = drag; }
    ListDrag* listDrag() const { return drag_; }
    // The selected rows, top first.
    std::vector<int> selectedRows() const;

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    ListDrag* drag_ = nullptr;
};
