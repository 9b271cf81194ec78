#include "ui/desk/DeskWidget.h"

#include "ui/desk/VirtualKeys.h"
#include "ui/skin/ControlTable.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <cmath>

DeskWidget::DeskWidget() {
    setWindowTitle("Zorvendal");
    setObjectName("ZORVENDAL");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_StaticContents);
    setWindowIcon(QIcon(":/icon.png"));
    // Without tracking there are no hover moves, hence no tooltips.
    setMouseTracking(true);
    setAcceptDrops(true);
    resize(kDeskWidth, kDeskHeight);
    winId();
    if (QWindow* native = windowHandle()) {
        native->installEventFilter(this);
        filterInstalled_ = true;
    }
}

DeskWidget::~DeskWidget() {
    if (filterInstalled_ && windowHandle())
        windowHandle()->removeEventFilter(this);
}

void DeskWidget::invalidate(const QRect& logical) {
    // One pixel more on each side: a scaled edge pixel is shared by two rectangles.
    update(view_.toWidget(logical).adjusted(-1, -1, 1, 1));
}

void DeskWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QImage* picture = deskPicture();
    if (!picture || picture->isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    if (view_.identity()) {
        painter.drawImage(event->rect(), *picture, event->rect());
        return;
    }
    const QRect target = view_.picture();
    const QRegion letterbox = QRegion(event->rect()).subtracted(target);
    for (const QRect& r : letterbox)
        painter.fillRect(r, Qt::black);
    // Nearest-neighbour keeps whole-number scales crisp; other scales are smoothed.
    const double pixels = view_.scale() * devicePixelRatioF();
    if (std::abs(pixels - std::round(pixels)) > 1e-9)
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipRect(event->rect());
    painter.drawImage(QRectF(target), *picture, QRectF(0, 0, kDeskWidth, kDeskHeight));
}

void DeskWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_.resize(size());
    deskViewChanged();
    update();
}

void DeskWidget::forward(DeskPointer::Kind kind, QMouseEvent* event) {
    DeskPointer p;
    p.kind = kind;
    p.button = event->button();
    p.buttons = event->buttons();
    // A press in the letterbox is nobody's; moves and releases of a drag follow the
    // pointer outside the picture.
    if (kind == DeskPointer::Press || (kind == DeskPointer::Move && p.buttons == Qt::NoButton)) {
        std::optional<QPoint> at = view_.toLogical(event->position());
        if (!at) {
            if (kind == DeskPointer::Move)
                deskLeave();
            return;
        }
        p.pos = *at;
    } else {
        p.pos = view_.toLogicalUnbounded(event->position());
    }
    deskPointer(p);
}

void DeskWidget::mousePressEvent(QMouseEvent* event) {
    forward(DeskPointer::Press, event);
}
void DeskWidget::mouseMoveEvent(QMouseEvent* event) {
    forward(DeskPointer::Move, event);
}
void DeskWidget::mouseReleaseEvent(QMouseEvent* event) {
    forward(DeskPointer::Release, event);
}

void DeskWidget::leaveEvent(QEvent* event) {
    deskLeave();
    QWidget::leaveEvent(event);
}

void DeskWidget::closeEvent(QCloseEvent* event) {
    if (deskClose())
        event->accept();
    else
        event->ignore();
}

bool DeskWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == windowHandle()) {
        const int vk = virtualKeyFromQt(static_cast<QKeyEvent*>(event)->key());
        if (vk != 0 && deskKey(vk))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

std::vector<std::string> localPathsFromUriList(const QByteArray& uriList) {
    std::vector<std::string> paths;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        // file:///path or file://localhost/path
        if (!line.startsWith("file://"))
            continue;
        QByteArray rest = line.mid(7);
        if (rest.startsWith("localhost/"))
            rest = rest.mid(9);
        if (!rest.startsWith('/'))
            continue;
        paths.push_back(QByteArray::fromPercentEncoding(rest).toStdString());
    }
    return paths;
}

void DeskWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat("text/uri-list"))
        event->acceptProposedAction();
}

void DeskWidget::dragMoveEvent(QDragMoveEvent* event) {
    const std::optional<QPoint> at = view_.toLogical(event->position());
    if (at && deskDropAllowed(*at))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DeskWidget::dropEvent(QDropEvent* event) {
    const std::optional<QPoint> at = view_.toLogical(event->position());
    if (!at || !event->mimeData()->hasFormat("text/uri-list"))
        return;
    event->acceptProposedAction();
    deskDrop(*at, localPathsFromUriList(event->mimeData()->data("text/uri-list")));
}
