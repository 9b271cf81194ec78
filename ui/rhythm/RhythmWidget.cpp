#include "ui/rhythm/RhythmWidget.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

QRgb rhythmPaletteColour(int index) {
    static const QRgb kPalette[16] = {
        qRgb(8, 10, 14),     qRgb(190, 58, 52), qRgb(46, 176, 92), qRgb(236, 204, 70),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return kPalette[(index & 0xFFFF) % 16];
}

RhythmWidget::RhythmWidget(QWidget* parent, RhythmRenderer::EnvelopeSource source, Nudge nudge)
    : QWidget(parent),
      renderer_(std::move(source),
                [self = QPointer<RhythmWidget>(this)] {
                    // From the drawing thread: a queued call, so only the user-interface
                    // thread touches the widget.
                    QMetaObject::invokeMethod(self.data(), "update", Qt::QueuedConnection);
                }),
      nudge_(std::move(nudge)) {
    setObjectName("ZORVENDALV");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    colours_ = {rhythmPaletteColour(0), rhythmPaletteColour(1), rhythmPaletteColour(2),
                rhythmPaletteColour(3)};
    const QImage cursor(":/cursor-173.png");
    if (!cursor.isNull())
        setCursor(QCursor(QPixmap::fromImage(cursor), 15, 15));
}

RhythmWidget::~RhythmWidget() {
    stop();
}

bool RhythmWidget::start(int width, int height) {
    return renderer_.start(width, height);
}

void RhythmWidget::stop() {
    renderer_.stop();
}

void RhythmWidget::setColours(const std::array<QRgb, 4>& colours) {
    colours_ = {colours[0], colours[1], colours[2], colours[3]};
    if (!image_.isNull())
        image_.setColorTable(colours_);
    update();
}

QImage RhythmWidget::currentImage() const {
    return image_;
}

void RhythmWidget::paintEvent(QPaintEvent*) {
    if (const RhythmFrame* frame = renderer_.buffer().takeLatest()) {
        if (image_.width() != frame->width || image_.height() != frame->height)
            image_ = QImage(frame->width, frame->height, QImage::Format_Indexed8);
        if (!image_.isNull()) {
            image_.setColorTable(colours_);
            for (int y = 0; y < frame->height; ++y)
                std::memcpy(image_.scanLine(y), frame->pixels.data() + size_t(y) * frame->width,
                            size_t(frame->width));
        }
    }
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(rect(), QColor(colours_[0]));
        return;
    }
    painter.drawImage(rect(), image_);
}

void RhythmWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragSelected_ = 1;
    else if (event->button() == Qt::RightButton)
        dragSelected_ = 0;
    lastY_ = int(event->position().y());
}

void RhythmWidget::mouseMoveEvent(QMouseEvent* event) {
    if (dragSelected_ < 0)
        return;
    const int y = int(event->position().y());
    if (y != lastY_ && nudge_)
        nudge_(dragSelected_ == 1, lastY_ - y);
    lastY_ = y;
}

void RhythmWidget::mouseReleaseEvent(QMouseEvent*) {
    dragSelected_ = -1;
}
