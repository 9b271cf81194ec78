#include "ui/library/ListDrag.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>

namespace {

// The cursors' hot spots: the arrow's tip at the top left.
constexpr int kHotSpot = 1;

QCursor makeCursor(ListDrag::Cursor kind) {
    return QCursor(QPixmap(ListDrag::cursorResource(kind)), kHotSpot, kHotSpot);
}

} // namespace

ListDrag::ListDrag(QAbstractItemView* source,
                   std::function<std::vector<std::string>()> selectedPaths, ListDropTarget target)
    : QObject(source), source_(source), selectedPaths_(std::move(selectedPaths)),
      target_(std::move(target)) {}

ListDrag::~ListDrag() {
    if (active_)
        QGuiApplication::restoreOverrideCursor();
}

QString ListDrag::cursorResource(Cursor cursor) {
    switch (cursor) {
    case Cursor::OneMayDrop:
        return QStringLiteral(":/cursor-154.png");
    case Cursor::OneNoDrop:
        return QStringLiteral(":/cursor-156.png");
    case Cursor::SeveralMayDrop:
        return QStringLiteral(":/cursor-155.png");
    case Cursor::SeveralNoDrop:
        return QStringLiteral(":/cursor-158.png");
    case Cursor::None:
        break;
    }
    return {};
}

void ListDrag::start() {
    if (active_ || !selectedPaths_)
        return;
    paths_ = selectedPaths_();
    if (paths_.empty())
        return;
    active_ = true;
    source_->viewport()->installEventFilter(this);
    cursor_ = paths_.size() == 1 ? Cursor::OneNoDrop : Cursor::SeveralNoDrop;
    QGuiApplication::setOverrideCursor(makeCursor(cursor_));
    showCursor(target_.allowed && target_.allowed(QCursor::pos()));
}

void ListDrag::showCursor(bool mayDrop) {
    const bool one = paths_.size() == 1;
    const Cursor wanted = mayDrop ? (one ? Cursor::OneMayDrop : Cursor::SeveralMayDrop)
                                  : (one ? Cursor::OneNoDrop : Cursor::SeveralNoDrop);
    if (wanted == cursor_)
        return;
    cursor_ = wanted;
    QGuiApplication::changeOverrideCursor(makeCursor(cursor_));
}

bool ListDrag::eventFilter(QObject* watched, QEvent* event) {
    if (!active_ || watched != source_->viewport())
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        showCursor(target_.allowed && target_.allowed(move->globalPosition().toPoint()));
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        std::vector<std::string> paths = std::move(paths_);
        finish();
        if (target_.drop)
            target_.drop(at, std::move(paths));
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return true; // another button while dragging: the drag goes on
    case QEvent::Hide:
        // The list went away under the drag (a page key): its release will never come.
        finish();
        return false;
    default:
        return false;
    }
}

void ListDrag::finish() {
    source_->viewport()->removeEventFilter(this);
    active_ = false;
    cursor_ = Cursor::None;
    paths_.clear();
    QGuiApplication::restoreOverrideCursor();
}
