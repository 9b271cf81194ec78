#pragma once
// What a list view needs to hear from the playlist and history models to stay in step
// with them: each change is announced before it happens and confirmed after, in the
// manner of an item model, so a view keeps its selection and scroll position.
//
// Threading: user-interface thread only, as the models.

class RowObserver {
public:
    virtual ~RowObserver() = default;
    // Rows first..last (inclusive) are about to appear / have appeared.
    virtual void rowsAboutToBeInserted(int first, int last) = 0;
    virtual void rowsInserted() = 0;
    // Rows first..last (inclusive) are about to go / are gone.
    virtual void rowsAboutToBeRemoved(int first, int last) = 0;
    virtual void rowsRemoved() = 0;
    // Every row may move (shuffle); the rows themselves stay the same.
    virtual void rowsAboutToBeReordered() = 0;
    virtual void rowsReordered() = 0;
    // The icon of a row changed.
    virtual void rowImageChanged(int row) = 0;
    // What the row shows of its track changed (its tempo became known).
    virtual void rowChanged(int /*row*/) {}
};
