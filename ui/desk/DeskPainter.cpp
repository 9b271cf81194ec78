#include "ui/desk/DeskPainter.h"

#include <QPainter>

#include <algorithm>

int SliderTrack::valueAt(int pointer, int grabOffset) const {
    if (travel <= 0)
        return 0;
    const int64_t v = int64_t(pointer - knob / 2 - grabOffset - start) * range / travel;
    return int(std::clamp<int64_t>(v, 0, range));
}

SliderTrack crossfaderTrack(const Skin& skin) {
    const ControlEntry& fader = skin[control::kCrossfader];
    const int kw = skin[control::kHorizontalFader].width;
    return {fader.hitX1, fader.hitX2 - fader.hitX1 - kw, kw, 384};
}

SliderTrack verticalTrack(const Skin& skin, int sliderIndex) {
    const ControlEntry& slider = skin[sliderIndex];
    const int kh = skin[control::kVerticalFader1 + (sliderIndex & 1)].height;
    return {slider.hitY1, slider.hitY2 - slider.hitY1 - kh, kh, 256};
}

QRect crossfaderKnob(const Skin& skin, int value) {
    const ControlEntry& knob = skin[control::kHorizontalFader];
    return QRect(crossfaderTrack(skin).knobStart(value), skin[control::kCrossfader].hitY1,
                 knob.width, knob.height);
}

QRect verticalKnob(const Skin& skin, int sliderIndex, int value) {
    const ControlEntry& knob = skin[control::kVerticalFader1 + (sliderIndex & 1)];
    return QRect(skin[sliderIndex].hitX1, verticalTrack(skin, sliderIndex).knobStart(value),
                 knob.width, knob.height);
}

DeskPainter::DeskPainter(QImage& backBuffer, Invalidate invalidate)
    : buffer_(backBuffer), invalidate_(std::move(invalidate)) {}

void DeskPainter::copy(QPoint source, const QRect& target) {
    if (!skin_ || target.isEmpty())
        return;
    QPainter painter(&buffer_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(target.topLeft(), skin_->surface, QRect(source, target.size()));
}

void DeskPainter::drawImage(int index, int sx, int sy) {
    if (!skin_)
        return;
    const ControlEntry& e = (*skin_)[index];
    if (!e.placed() || e.width <= 0 || e.height <= 0)
        return;
    copy(QPoint(sx, sy), QRect(e.x, e.y, e.width, e.height));
    invalidate_(QRect(e.left, e.top, e.right - e.left, e.bottom - e.top));
}

void DeskPainter::drawUp(int index) {
    if (skin_)
        drawImage(index, (*skin_)[index].upX, (*skin_)[index].upY);
}

void DeskPainter::drawDown(int index) {
    if (skin_)
        drawImage(index, (*skin_)[index].downX, (*skin_)[index].downY);
}

void DeskPainter::erase(int index) {
    if (skin_)
        drawImage(index, (*skin_)[index].x, (*skin_)[index].y);
}

void DeskPainter::drawBackground() {
    if (!skin_)
        return;
    copy(QPoint(0, 0), QRect(0, 0, kDeskWidth, kDeskHeight));
    invalidate_(QRect(0, 0, kDeskWidth, kDeskHeight));
}

void DeskPainter::moveCrossfaderKnob(int oldValue, int newValue) {
    if (!skin_)
        return;
    const QRect was = crossfaderKnob(*skin_, oldValue), now = crossfaderKnob(*skin_, newValue);
    copy(was.topLeft(), was);
    const ControlEntry& knob = (*skin_)[control::kHorizontalFader];
    copy(QPoint(knob.upX, knob.upY), now);
    invalidate_(was.united(now));
}

void DeskPainter::moveVerticalKnob(int sliderIndex, int oldValue, int newValue) {
    if (!skin_)
        return;
    const ControlEntry& slider = (*skin_)[sliderIndex];
    const QRect was = verticalKnob(*skin_, sliderIndex, oldValue);
    // The track image under the old knob: the slider's down image, offset by the
    // knob's distance from the slider's corner.
    copy(QPoint(slider.downX + was.x() - slider.x, slider.downY + was.y() - slider.y), was);
    drawVerticalKnob(sliderIndex, newValue);
    invalidate_(was);
}

void DeskPainter::drawVerticalKnob(int sliderIndex, int value) {
    if (!skin_)
        return;
    const QRect now = verticalKnob(*skin_, sliderIndex, value);
    const ControlEntry& knob = (*skin_)[control::kVerticalFader1 + (sliderIndex & 1)];
    copy(QPoint(knob.upX, knob.upY), now);
    invalidate_(now);
}
