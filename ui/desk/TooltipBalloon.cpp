#include "ui/desk/TooltipBalloon.h"

#include "core/Clock.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kHeight = 30, kBodyHeight = 23, kLeftWidth = 22, kRightWidth = 6;

// The lowest 12 bits of a colour as a 5-6-5 pixel: the key test is that loose.
int low12(QRgb c) {
    const int rgb565 = ((qRed(c) >> 3) << 11) | ((qGreen(c) >> 2) << 5) | (qBlue(c) >> 3);
    return rgb565 & 0xFFF;
}

} // namespace

QRegion balloonRegion(const QImage& picture, int x0, int x1) {
    QRegion region;
    if (picture.isNull())
        return region;
    const int key = low12(picture.pixel(0, 0));
    for (int y = 0; y < std::min(picture.height(), kHeight); ++y) {
        int start = -1;
        for (int x = x0; x < x1; ++x) {
            const bool opaque = low12(picture.pixel(x, y)) != key;
            if (opaque && start < 0)
                start = x;
            if (!opaque && start >= 0) {
                region += QRect(start, y, x - start, 1);
                start = -1;
            }
        }
        if (start >= 0)
            region += QRect(start, y, x1 - start, 1);
    }
    return region;
}

TooltipBalloon::TooltipBalloon(Clock& clock, QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput),
      clock_(clock), balloon_(QImage(":/balloon.png").convertToFormat(QImage::Format_RGB32)) {
    setObjectName("ZORVENDALT");
    setWindowTitle("Zorvendal");
    setAttribute(Qt::WA_ShowWithoutActivating);
    // On Wayland the mask only shapes input: the outside must also be painted clear.
    setAttribute(Qt::WA_TranslucentBackground);
    left_ = balloonRegion(balloon_, 0, kLeftWidth);
    right_ = balloonRegion(balloon_, kLeftWidth + 1, kLeftWidth + 1 + kRightWidth);
}

TooltipBalloon::~TooltipBalloon() {
    clock_.killTimer(kTimerId);
}

void TooltipBalloon::pointAt(QPoint screen, int control, const QString& text) {
    if (control < 0 || (control != control_ && text.isEmpty())) {
        hideBalloon();
        return;
    }
    move(screen.x() - 2, screen.y() - 31);
    if (state_ == 2 && control == control_)
        return; // it follows the pointer
    hideBalloon();
    control_ = control;
    text_ = text;
    state_ = 1;
    // Every move restarts the wait: the balloon shows once the pointer rests.
    clock_.startTimer(kTimerId, kDelayMs, [this](int) {
        clock_.killTimer(kTimerId);
        showBalloon();
    });
}

void TooltipBalloon::hideBalloon() {
    if (state_ == 1)
        clock_.killTimer(kTimerId);
    if (state_ == 2)
        hide();
    state_ = 0;
    control_ = -1;
}

void TooltipBalloon::showBalloon() {
    if (text_.isEmpty() || balloon_.isNull()) {
        state_ = 0;
        control_ = -1;
        return;
    }
    const QFontMetrics metrics(QApplication::font());
    margin_ = std::max(0, (kBodyHeight - metrics.height()) / 2);
    width_ = std::max(29, metrics.horizontalAdvance(text_) + 2 * margin_);
    picture_ = QImage(width_, kHeight, QImage::Format_ARGB32_Premultiplied);
    picture_.fill(Qt::transparent);
    QPainter p(&picture_);
    p.drawImage(0, 0, balloon_, 0, 0, kLeftWidth, kHeight);
    p.drawImage(width_ - kRightWidth, 0, balloon_, kLeftWidth + 1, 0, kRightWidth, kHeight);
    p.drawImage(QRect(kLeftWidth, 0, width_ - kRightWidth - kLeftWidth, kBodyHeight), balloon_,
                QRect(kLeftWidth, 0, 1, kBodyHeight));
    p.setFont(QApplication::font());
    p.setPen(Qt::black);
    p.drawText(QRect(margin_, margin_, width_, kBodyHeight), Qt::AlignLeft | Qt::AlignTop, text_);
    p.end();
    const QRegion shape = left_ +
                          QRegion(kLeftWidth, 0, width_ - kRightWidth - kLeftWidth, kBodyHeight) +
                          right_.translated(width_ - 29, 0);
    resize(width_, kHeight);
    setMask(shape);
    state_ = 2;
    show();
    update();
}

void TooltipBalloon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    // Only the shape is painted; the rest stays clear where the mask cannot cut.
    p.setClipRegion(mask().isEmpty() ? QRegion(rect()) : mask());
    p.drawImage(0, 0, picture_);
}
