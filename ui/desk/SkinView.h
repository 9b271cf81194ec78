#pragma once
// The one transform between the desk's 800 x 600 logical picture and the widget that
// shows it: painting, hit tests, invalidation and the geometry of child windows all go
// through it, so a full-screen desk scales every part the same way.
//
// The picture keeps its aspect: it is scaled by s = min(W / 800, H / 600) and centred,
// the rest of the widget is letterbox.
//
// Threading: main thread (it is plain arithmetic).

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <optional>

class SkinView {
public:
    SkinView() = default;
    explicit SkinView(QSize widget) { resize(widget); }
    void resize(QSize widget);

    double scale() const { return scale_; }
    // Where the 800 x 600 picture lies in the widget.
    QRect picture() const { return picture_; }
    bool identity() const { return scale_ == 1.0 && picture_.topLeft() == QPoint(0, 0); }

    // A logical point of the picture as widget coordinates.
    QPointF toWidget(QPointF logical) const;
    // The widget rectangle covering a logical rectangle, rounded outwards: what must be
    // repainted when the logical rectangle changed, and where a child window goes.
    QRect toWidget(const QRect& logical) const;
    // The logical pixel under a widget point (the floor of the inverse map); none in the
    // letterbox.
    std::optional<QPoint> toLogical(QPointF widget) const;
    // The same without bounds: while a button is held the desk follows the pointer
    // outside the picture too (slider drags clamp on their own).
    QPoint toLogicalUnbounded(QPointF widget) const;

private:
    double scale_ = 1.0;
    double originX_ = 0.0, originY_ = 0.0;
    QRect picture_{0, 0, 800, 600};
};
