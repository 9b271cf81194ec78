#include "app/MainWidget.h"

#include "app/MainWindow.h"
#include "app/VirtualKeys.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QWindow>

MainWidget::MainWidget(MainWindow& owner) : owner_(owner) {
    setWindowTitle("Zorvendal");
    setObjectName("ZORVENDAL");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setWindowIcon(QIcon(":/icon.png"));
    setMouseTracking(true);
    resize(MainWindow::kWidth, MainWindow::kHeight);
    // The key filter sits on the native window, so it sees every key press of the
    // main window before any child widget does; dialogs have their own windows.
    winId();
    if (QWindow* native = windowHandle()) {
        native->installEventFilter(this);
        filterInstalled_ = true;
    }
}

MainWidget::~MainWidget() {
    if (filterInstalled_ && windowHandle())
        windowHandle()->removeEventFilter(this);
}

QRect MainWidget::pictureRect() const {
    const int w = width(), h = height();
    if (w == MainWindow::kWidth && h == MainWindow::kHeight)
        return rect();
    // Letterbox: the largest 4:3 rectangle that fits, centred.
    int pw = w, ph = w * MainWindow::kHeight / MainWindow::kWidth;
    if (ph > h) {
        ph = h;
        pw = h * MainWindow::kWidth / MainWindow::kHeight;
    }
    return QRect((w - pw) / 2, (h - ph) / 2, pw, ph);
}

QPoint MainWidget::toPicture(QPointF pos) const {
    QRect r = pictureRect();
    if (r.width() <= 0 || r.height() <= 0)
        return {};
    return QPoint(int((pos.x() - r.x()) * MainWindow::kWidth / r.width()),
                  int((pos.y() - r.y()) * MainWindow::kHeight / r.height()));
}

void MainWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QImage* buffer = owner_.backBuffer();
    QRect target = pictureRect();
    if (!buffer) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    if (target == rect()) {
        painter.drawImage(event->rect(), *buffer, event->rect());
        return;
    }
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, *buffer);
}

void MainWidget::closeEvent(QCloseEvent* event) {
    if (owner_.quitRequested()) {
        event->accept();
        return;
    }
    if (!owner_.onClose()) {
        event->ignore();
        return;
    }
    event->accept();
    owner_.onDestroy();
}

bool MainWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        int vk = virtualKeyFromQt(key->key());
        if (vk != 0 && owner_.onKeyDown(vk))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}
