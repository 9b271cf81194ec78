#include "ui/desk/SkinView.h"

#include "ui/skin/ControlTable.h"

#include <algorithm>
#include <cmath>

void SkinView::resize(QSize widget) {
    const double sx = double(widget.width()) / kDeskWidth;
    const double sy = double(widget.height()) / kDeskHeight;
    scale_ = std::max(std::min(sx, sy), 1e-6);
    const double w = kDeskWidth * scale_, h = kDeskHeight * scale_;
    // Whole-pixel origin, so a 1:1 or 2:1 picture stays on the pixel grid.
    originX_ = std::floor((widget.width() - w) / 2);
    originY_ = std::floor((widget.height() - h) / 2);
    picture_ = QRect(int(originX_), int(originY_), int(std::lround(w)), int(std::lround(h)));
}

QPointF SkinView::toWidget(QPointF logical) const {
    return {originX_ + logical.x() * scale_, originY_ + logical.y() * scale_};
}

QRect SkinView::toWidget(const QRect& logical) const {
    if (logical.isEmpty())
        return {};
    const double left = std::floor(originX_ + logical.left() * scale_);
    const double top = std::floor(originY_ + logical.top() * scale_);
    const double right = std::ceil(originX_ + (logical.left() + logical.width()) * scale_);
    const double bottom = std::ceil(originY_ + (logical.top() + logical.height()) * scale_);
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

std::optional<QPoint> SkinView::toLogical(QPointF widget) const {
    const QPoint p = toLogicalUnbounded(widget);
    if (p.x() < 0 || p.y() < 0 || p.x() >= kDeskWidth || p.y() >= kDeskHeight)
        return std::nullopt;
    return p;
}

QPoint SkinView::toLogicalUnbounded(QPointF widget) const {
    return QPoint(int(std::floor((widget.x() - originX_) / scale_)),
                  int(std::floor((widget.y() - originY_) / scale_)));
}
