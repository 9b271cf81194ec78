#pragma once
// The drag of rows out of a library list onto the desk: not a system drag (it could not
// show the desk's own "no drop" cursors, and Wayland would draw its own), but a capture:
// once the view starts a drag, the source viewport's following moves and the release are
// taken here (the implicit grab keeps them coming over the whole desk), the cursor shows
// whether the place under the pointer takes a drop, and the release drops there.
//
// Any list can use it: it needs the source view (whose startDrag calls start()) and a
// function giving the paths of the rows it drags, called once when the drag begins (a
// list whose drag moves its rows removes them then).
//
// Threading: user-interface thread only.

#include <QObject>
#include <QPoint>

#include <functional>
#include <string>
#include <vector>

class QAbstractItemView;

// Where dragged rows may go, in screen coordinates.
struct ListDropTarget {
    std::function<bool(QPoint global)> allowed;
    std::function<void(QPoint global, std::vector<std::string> paths)> drop;
};

class ListDrag : public QObject {
    Q_OBJECT
public:
    // The desk's four drag cursors.
    enum class Cursor { None, OneMayDrop, OneNoDrop, SeveralMayDrop, SeveralNoDrop };

    ListDrag(QAbstractItemView* source, std::function<std::vector<std::string>()> selectedPaths,
             ListDropTarget target);
    ~ListDrag() override;

    // Called by the source view when a drag begins: takes the rows and the pointer.
    void start();
    bool active() const { return active_; }
    Cursor cursor() const { return cursor_; }
    // The picture of one of the cursors, for those who check what is shown.
    static QString cursorResource(Cursor cursor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCursor(bool mayDrop);
    void finish();

    QAbstractItemView* source_;
    std::function<std::vector<std::string>()> selectedPaths_;
    ListDropTarget target_;
    std::vector<std::string> paths_;
    bool active_ = false;
    Cursor cursor_ = Cursor::None;
};
