#pragma once
// The desk's window: a frameless widget that shows the 800 x 600 back buffer through
// the view transform and hands pointer, key and close events to its owner in logical
// desk coordinates. It only maps, forwards and paints; what the desk does lives in the
// owner, which derives from it and overrides the hooks.
//
// Key presses are taken on the native window before any child widget sees them, so
// the desk's shortcuts act wherever the focus is; dialogs have their own windows.
//
// Threading: main thread only.

#include "ui/desk/SkinView.h"

#include <QImage>
#include <QWidget>

#include <string>
#include <vector>

// The local files named by a text/uri-list, as file-system bytes (percent escapes
// decoded by hand, so names that are not UTF-8 survive); other schemes are skipped.
std::vector<std::string> localPathsFromUriList(const QByteArray& uriList);

struct DeskPointer {
    enum Kind { Press, Move, Release };
    Kind kind = Move;
    Qt::MouseButton button = Qt::NoButton; // the button pressed or released
    Qt::MouseButtons buttons;              // the buttons held after the event
    QPoint pos;                            // logical; may lie outside while a button is held
};

class DeskWidget : public QWidget {
    Q_OBJECT
public:
    DeskWidget();
    ~DeskWidget() override;

    const SkinView& view() const { return view_; }
    // Repaints what covers a logical rectangle of the back buffer.
    void invalidate(const QRect& logical);
    // Where a child window covering a logical rectangle goes in this widget.
    QRect childGeometry(const QRect& logical) const { return view_.toWidget(logical); }

protected:
    // The picture to show; null shows black.
    virtual const QImage* deskPicture() const = 0;
    virtual void deskPointer(const DeskPointer&) {}
    // True when the key was used (it then reaches no child widget).
    virtual bool deskKey(int /*virtualKey*/) { return false; }
    // False keeps the window open.
    virtual bool deskClose() { return true; }
    virtual void deskLeave() {}
    // The view transform changed (resize, full screen): children must follow.
    virtual void deskViewChanged() {}
    // Files dragged from another program: may they be dropped here, and the drop.
    // Paths are the bytes of the file system, whatever their encoding.
    virtual bool deskDropAllowed(QPoint) { return false; }
    virtual void deskDrop(QPoint, const std::vector<std::string>& /*paths*/) {}

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void forward(DeskPointer::Kind kind, QMouseEvent* event);

    SkinView view_;
    bool filterInstalled_ = false;
};
