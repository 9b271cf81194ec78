#include "tools/make-artwork/Pictures.h"

#include "tools/make-artwork/Paint.h"
#include "ui/skin/ControlTable.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

QPen roundPen(QColor ink, double width) {
    QPen pen(ink, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void drawDisc(QPainter& p, QPointF c, double r, QColor ink) {
    p.setPen(roundPen(ink, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.drawEllipse(c, r * 0.28, r * 0.28);
    p.setPen(roundPen(QColor(ink.red(), ink.green(), ink.blue(), 110), 0.9));
    p.drawArc(QRectF(c.x() - r * 0.65, c.y() - r * 0.65, r * 1.3, r * 1.3), 20 * 16, 70 * 16);
}

void drawMagnifier(QPainter& p, QPointF c, double r, QColor ink) {
    p.setPen(roundPen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.setPen(roundPen(ink, 2.6));
    p.drawLine(c + QPointF(r * 0.72, r * 0.72), c + QPointF(r * 1.75, r * 1.75));
}

// The icon of one strip cell, centred in box.
void drawStripIcon(QPainter& p, int x, const QRectF& box, QColor ink) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(roundPen(ink, 1.4));
    p.setBrush(Qt::NoBrush);
    const QPointF c = box.center();
    switch (x) {
    case strip::kSetHome: { // a folder with a pin
        QPainterPath f;
        f.moveTo(c + QPointF(-7, -2));
        f.lineTo(c + QPointF(-3, -2));
        f.lineTo(c + QPointF(-2, -0.8));
        f.lineTo(c + QPointF(6, -0.8));
        f.lineTo(c + QPointF(6, 6));
        f.lineTo(c + QPointF(-7, 6));
        f.closeSubpath();
        p.drawPath(f);
        p.setBrush(palette::kRed);
        p.setPen(roundPen(QColor(20, 20, 24), 0.8));
        p.drawEllipse(c + QPointF(3, -5.5), 2.6, 2.6);
        p.setPen(roundPen(ink, 1.2));
        p.drawLine(c + QPointF(3, -3), c + QPointF(3, 1.5));
        break;
    }
    case strip::kDesktop: // a monitor
        p.drawRoundedRect(QRectF(c.x() - 7, c.y() - 6, 14, 10), 1.5, 1.5);
        p.drawLine(c + QPointF(0, 4), c + QPointF(0, 6.5));
        p.drawLine(c + QPointF(-3.5, 6.5), c + QPointF(3.5, 6.5));
        break;
    case strip::kHome: { // a house
        QPainterPath h;
        h.moveTo(c + QPointF(-7, -0.5));
        h.lineTo(c + QPointF(0, -7));
        h.lineTo(c + QPointF(7, -0.5));
        p.drawPath(h);
        p.drawLine(c + QPointF(-5, -2), c + QPointF(-5, 6.5));
        p.drawLine(c + QPointF(5, -2), c + QPointF(5, 6.5));
        p.drawLine(c + QPointF(-5, 6.5), c + QPointF(5, 6.5));
        p.drawRect(QRectF(c.x() - 1.5, c.y() + 2, 3, 4.5));
        break;
    }
    case strip::kAutoMixUp:
    case strip::kAutoMixDown: { // two curves crossing, "A" for automatic below
        const QPointF top = c + QPointF(0, -9);
        p.setPen(roundPen(palette::kCyan.lighter(ink == palette::kLabel ? 100 : 130), 1.6));
        QPainterPath a;
        a.moveTo(top + QPointF(-7, -5));
        a.cubicTo(top + QPointF(0, -5), top + QPointF(0, 5), top + QPointF(7, 5));
        p.drawPath(a);
        p.setPen(roundPen(palette::kAmber.lighter(ink == palette::kLabel ? 100 : 130), 1.6));
        QPainterPath b;
        b.moveTo(top + QPointF(-7, 5));
        b.cubicTo(top + QPointF(0, 5), top + QPointF(0, -5), top + QPointF(7, -5));
        p.drawPath(b);
        drawLabel(p, QRectF(box.left(), c.y() + 1, box.width(), 14), "A", 12, ink, Qt::AlignCenter,
                  0);
        break;
    }
    case strip::kShuffle: { // two crossing arrows
        QPainterPath a;
        a.moveTo(c + QPointF(-7, -4));
        a.cubicTo(c + QPointF(-1, -4), c + QPointF(0, 4), c + QPointF(6, 4));
        QPainterPath b;
        b.moveTo(c + QPointF(-7, 4));
        b.cubicTo(c + QPointF(-1, 4), c + QPointF(0, -4), c + QPointF(6, -4));
        p.drawPath(a);
        p.drawPath(b);
        for (int s : {-1, 1}) {
            p.drawLine(c + QPointF(6, 4 * s), c + QPointF(3.5, 4 * s - 2));
            p.drawLine(c + QPointF(6, 4 * s), c + QPointF(3.5, 4 * s + 2));
        }
        break;
    }
    case strip::kNewOnly: { // a star
        QPainterPath star;
        for (int i = 0; i < 10; ++i) {
            const double a = i * M_PI / 5;
            const double r = i % 2 == 0 ? 7.5 : 3.2;
            const QPointF pt = c + QPointF(std::sin(a) * r, -std::cos(a) * r + 0.8);
            if (i == 0)
                star.moveTo(pt);
            else
                star.lineTo(pt);
        }
        star.closeSubpath();
        p.setBrush(ink == palette::kLabel ? QColor(230, 190, 60) : QColor(255, 220, 90));
        p.setPen(roundPen(QColor(30, 24, 10), 0.8));
        p.drawPath(star);
        break;
    }
    case strip::kSave: { // a diskette
        QPainterPath d;
        d.moveTo(c + QPointF(-6.5, -6.5));
        d.lineTo(c + QPointF(4.5, -6.5));
        d.lineTo(c + QPointF(6.5, -4.5));
        d.lineTo(c + QPointF(6.5, 6.5));
        d.lineTo(c + QPointF(-6.5, 6.5));
        d.closeSubpath();
        p.drawPath(d);
        p.drawRect(QRectF(c.x() - 3.5, c.y() - 6.5, 6.5, 4));
        p.drawRect(QRectF(c.x() - 4.5, c.y() + 1, 9, 5.5));
        break;
    }
    case strip::kScanDisk: { // a hard drive and a sweep
        p.drawRoundedRect(QRectF(c.x() - 7, c.y() - 1, 14, 7), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(palette::kMint);
        p.drawEllipse(c + QPointF(4, 2.5), 1.2, 1.2);
        p.setPen(roundPen(ink, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - 5, c.y() - 8, 10, 10), 30 * 16, 120 * 16);
        p.drawArc(QRectF(c.x() - 2.5, c.y() - 5.5, 5, 5), 30 * 16, 120 * 16);
        break;
    }
    case strip::kScanCd:
        drawDisc(p, c + QPointF(-1, 0), 6.5, ink);
        p.setPen(roundPen(palette::kMint, 1.3));
        p.drawArc(QRectF(c.x() + 1, c.y() - 9, 8, 8), 270 * 16, 180 * 16);
        break;
    case strip::kDeleteCd:
        drawDisc(p, c + QPointF(-1.5, 0), 6.5, ink);
        p.setPen(roundPen(palette::kRed, 2));
        p.drawLine(c + QPointF(3, 1.5), c + QPointF(8, 6.5));
        p.drawLine(c + QPointF(3, 6.5), c + QPointF(8, 1.5));
        break;
    case strip::kSearch:
        drawMagnifier(p, c + QPointF(-2, -2), 4.5, ink);
        break;
    }
    p.restore();
}

// One strip button: a key over the page area's dark floor.
void drawStripKey(QPainter& p, const QRect& cell, bool pressed) {
    p.fillRect(cell, QColor(10, 11, 13));
    drawKey(p, QRectF(cell).adjusted(1.5, 1.5, -1.5, -1.5), pressed, 3);
}

void drawRecordKey(QPainter& p, const QRect& cell, bool recording) {
    p.fillRect(cell, QColor(10, 11, 13));
    const QRectF key = QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5);
    drawKey(p, key, recording, 6);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF dot(key.left() + 40, key.center().y());
    if (recording) {
        drawGlow(p, dot, 18, palette::kRed, 170);
        drawGlow(p, key.center(), key.width() * 0.5, palette::kRed, 40);
    }
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    QRadialGradient lamp(dot - QPointF(2, 2), 10);
    lamp.setColorAt(0, recording ? QColor(255, 190, 180) : QColor(170, 60, 60));
    lamp.setColorAt(1, recording ? palette::kRed : QColor(80, 20, 22));
    p.setBrush(lamp);
    p.drawEllipse(dot, 9, 9);
    p.restore();
    const QRectF text(key.left() + 56, key.top(), key.width() - 70, key.height());
    drawLabel(p, text.translated(recording ? 0.6 : 0, recording ? 0.6 : 0), "REC", 22,
              recording ? QColor(255, 120, 110) : QColor(226, 230, 238), Qt::AlignCenter, 4);
}

} // namespace

QImage drawStrip() {
    QImage image(kStripWidth, kStripHeight, QImage::Format_RGB32);
    image.fill(QColor(10, 11, 13));
    QPainter p(&image);
    const int cells[] = {strip::kSetHome,  strip::kDesktop, strip::kHome,     strip::kShuffle,
                         strip::kNewOnly,  strip::kSave,    strip::kScanDisk, strip::kScanCd,
                         strip::kDeleteCd, strip::kSearch};
    for (int x : cells) {
        for (int row = 0; row < 2; ++row) {
            const bool pressed = row == 1;
            const QRect cell(x, row * kStripCell, kStripCell, kStripCell);
            drawStripKey(p, cell, pressed);
            drawStripIcon(p, x, QRectF(cell).translated(pressed ? 0.6 : 0, pressed ? 0.6 : 0),
                          pressed ? palette::kMint.lighter(120) : palette::kLabel);
        }
    }
    // Automatic mixing: one tall key; its down image is the lit "on" state.
    for (int x : {strip::kAutoMixUp, strip::kAutoMixDown}) {
        const bool on = x == strip::kAutoMixDown;
        const QRect cell(x, 0, kStripCell, kStripHeight);
        drawStripKey(p, cell, on);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(on ? palette::kMint : palette::kMint.darker(500));
        p.drawRoundedRect(QRectF(x + 7, kStripHeight - 7, 10, 2.4), 1.2, 1.2);
        if (on)
            drawGlow(p, QPointF(x + 12, kStripHeight - 6), 10, palette::kMint, 110);
        p.restore();
        drawStripIcon(p, x,
                      QRectF(cell).adjusted(0, 0, 0, -4).translated(on ? 0.6 : 0, on ? 0.6 : 0),
                      on ? palette::kMint.lighter(120) : palette::kLabel);
    }
    drawRecordKey(p, QRect(strip::kRecordUp, 0, strip::kRecordWidth, kStripHeight), false);
    drawRecordKey(p, QRect(strip::kRecordDown, 0, strip::kRecordWidth, kStripHeight), true);
    return image;
}

QImage drawBalloon() {
    constexpr int W = 29, H = 30, kBodyBottom = 22;
    // The shape, pixel by pixel so that its edges stay hard: a rounded body over rows
    // 0..22 and a tail from the body's bottom-left down to its tip at (2, 29).
    auto inside = [](int x, int y) {
        if (x < 0 || y < 0 || x >= W || y >= H)
            return false;
        if (y <= kBodyBottom) {
            const int cx = std::min(x, W - 1 - x), cy = std::min(y, kBodyBottom - y);
            return cx + cy >= 2; // corners cut by a small diagonal
        }
        const double t = (y - kBodyBottom) / double(H - 1 - kBodyBottom);
        const double left = 4 - 2 * t, right = 12 - 10 * t;
        return x >= std::floor(left + 0.5) && x <= std::floor(right + 0.5);
    };
    QImage image(W, H, QImage::Format_RGB32);
    image.fill(kBalloonKey);
    for (int y = 0; y < H; ++y) {
        // The body's shade depends on the row only, so the stretched column matches it.
        const int shade = 250 - std::min(y, kBodyBottom) * 14 / kBodyBottom;
        for (int x = 0; x < W; ++x) {
            if (!inside(x, y))
                continue;
            const bool edge =
                !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            image.setPixel(x, y, edge ? qRgb(52, 58, 68) : qRgb(shade - 6, shade - 2, shade));
        }
    }
    return image;
}

QImage drawListIcons() {
    QImage image(64, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    auto note = [&](QPointF at, QColor ink) {
        p.setPen(roundPen(ink, 1.5));
        p.drawLine(at + QPointF(3, -6), at + QPointF(3, 3.5));
        p.drawLine(at + QPointF(3, -6), at + QPointF(7, -4));
        p.setPen(roundPen(ink.darker(200), 0.8));
        p.setBrush(ink);
        p.drawEllipse(at + QPointF(0.8, 3.8), 2.6, 2.1);
    };
    // 0: played before, a quiet grey note.
    note(QPointF(6, 8), QColor(150, 156, 168));
    // 1: never played, a bright note with a spark.
    note(QPointF(16 + 6, 8), palette::kMint);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 236, 120));
    QPainterPath spark;
    const QPointF s(16 + 12.5, 4);
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4, r = i % 2 == 0 ? 3.2 : 1;
        const QPointF pt = s + QPointF(std::sin(a) * r, -std::cos(a) * r);
        i == 0 ? spark.moveTo(pt) : spark.lineTo(pt);
    }
    spark.closeSubpath();
    p.drawPath(spark);
    // 2: in this run's history, an amber note with a tick.
    note(QPointF(32 + 4, 8), palette::kAmber);
    p.setPen(roundPen(QColor(255, 255, 255), 1.6));
    p.drawLine(QPointF(32 + 9.5, 11), QPointF(32 + 11.5, 13.5));
    p.drawLine(QPointF(32 + 11.5, 13.5), QPointF(32 + 15, 8.5));
    // 3: a playlist file, a page with lines.
    p.setPen(roundPen(QColor(40, 44, 52), 1));
    p.setBrush(QColor(226, 232, 242));
    QPainterPath page;
    page.moveTo(48 + 3, 1.5);
    page.lineTo(48 + 10, 1.5);
    page.lineTo(48 + 13, 4.5);
    page.lineTo(48 + 13, 14.5);
    page.lineTo(48 + 3, 14.5);
    page.closeSubpath();
    p.drawPath(page);
    p.setPen(roundPen(palette::kCyan.darker(130), 1.2));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(48 + 5, 5.5 + i * 2.5), QPointF(48 + (i == 0 ? 9 : 11), 5.5 + i * 2.5));
    return image;
}

namespace {

void drawArrow(QPainter& p) {
    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 18);
    arrow.lineTo(5.2, 14);
    arrow.lineTo(8.2, 20.5);
    arrow.lineTo(10.8, 19.3);
    arrow.lineTo(7.9, 13);
    arrow.lineTo(13.5, 13);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0, 0, 0), 1.1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(arrow);
}

void drawDocument(QPainter& p, QPointF at, QColor accent) {
    QPainterPath page;
    page.moveTo(at);
    page.lineTo(at + QPointF(7, 0));
    page.lineTo(at + QPointF(10, 3));
    page.lineTo(at + QPointF(10, 13));
    page.lineTo(at + QPointF(0, 13));
    page.closeSubpath();
    p.setPen(QPen(QColor(20, 22, 26), 1));
    p.setBrush(QColor(240, 244, 250));
    p.drawPath(page);
    p.setPen(QPen(accent, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(at + QPointF(5.5, 4), at + QPointF(5.5, 9.5));
    p.setBrush(accent);
    p.setPen(Qt::NoPen);
    p.drawEllipse(at + QPointF(4, 10), 1.9, 1.5);
}

QImage dragCursor(bool several, bool noDrop) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (several) {
        drawDocument(p, QPointF(18.5, 12.5), palette::kAmber);
        drawDocument(p, QPointF(15.5, 15.5), palette::kCyan);
    } else {
        drawDocument(p, QPointF(15.5, 15.5), palette::kCyan);
    }
    if (noDrop) {
        const QPointF c(22, 24);
        p.setPen(QPen(QColor(255, 255, 255), 5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 5.5, 5.5);
        p.setPen(QPen(palette::kRed, 2.4));
        p.drawEllipse(c, 5.5, 5.5);
        p.drawLine(c + QPointF(-3.9, -3.9), c + QPointF(3.9, 3.9));
    } else {
        // A small green plus: dropping here will load.
        const QPointF c(26, 27);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 120, 60));
        p.drawEllipse(c, 4.5, 4.5);
        p.setPen(QPen(QColor(255, 255, 255), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(-2.3, 0), c + QPointF(2.3, 0));
        p.drawLine(c + QPointF(0, -2.3), c + QPointF(0, 2.3));
    }
    drawArrow(p);
    return image;
}

QImage rhythmCursor() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A vertical double arrow: dragging up or down nudges a deck's phase.
    QPainterPath shape;
    shape.moveTo(16, 2);
    shape.lineTo(22, 9);
    shape.lineTo(18, 9);
    shape.lineTo(18, 23);
    shape.lineTo(22, 23);
    shape.lineTo(16, 30);
    shape.lineTo(10, 23);
    shape.lineTo(14, 23);
    shape.lineTo(14, 9);
    shape.lineTo(10, 9);
    shape.closeSubpath();
    p.setPen(QPen(QColor(0, 0, 0), 1.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(shape);
    // The beat line it moves.
    p.setPen(QPen(QColor(0, 0, 0), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 16), QPointF(27, 16));
    p.setPen(QPen(palette::kCyan, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 16), QPointF(27, 16));
    return image;
}

} // namespace

std::vector<Cursor> drawCursors() {
    return {
        {"cursor-154.png", 154, QPoint(1, 1), dragCursor(false, false)},
        {"cursor-155.png", 155, QPoint(1, 1), dragCursor(true, false)},
        {"cursor-156.png", 156, QPoint(1, 1), dragCursor(false, true)},
        {"cursor-158.png", 158, QPoint(1, 1), dragCursor(true, true)},
        {"cursor-173.png", 173, QPoint(16, 16), rhythmCursor()},
    };
}

namespace {

QImage configTile(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient bg(0, 0, 0, h);
    bg.setColorAt(0, QColor(52, 56, 64));
    bg.setColorAt(1, QColor(26, 28, 33));
    p.fillRect(image.rect(), bg);
    p.fillRect(QRect(0, 0, w, 1), QColor(90, 96, 108));
    return image;
}

void drawCard(QPainter& p, QPointF at, bool threeD, QColor accent) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Circuit board with its edge connector, a chip and the metal bracket with jacks.
    const QRectF board(at.x() + 8, at.y(), 50, 30);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.setBrush(QColor(22, 70, 58));
    p.drawRoundedRect(board, 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(214, 170, 60));
    for (int i = 0; i < 9; ++i)
        p.drawRect(QRectF(board.left() + 8 + i * 4, board.bottom(), 2.4, 4));
    p.setBrush(QColor(16, 18, 22));
    const QRectF chip(board.left() + 18, board.top() + 7, 20, 15);
    p.drawRoundedRect(chip, 1.5, 1.5);
    p.setPen(QPen(QColor(60, 130, 110), 0.8));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(board.left() + 4, board.top() + 6 + i * 5),
                   QPointF(chip.left(), board.top() + 6 + i * 5));
    if (threeD) {
        drawLabel(p, chip, "3D", 10, accent, Qt::AlignCenter, 0);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawEllipse(chip.center(), 2, 2);
    }
    const QRectF bracket(at.x(), at.y() - 4, 7, 40);
    QLinearGradient metal(bracket.topLeft(), bracket.topRight());
    metal.setColorAt(0, QColor(200, 204, 212));
    metal.setColorAt(1, QColor(110, 114, 124));
    p.setPen(QPen(QColor(0, 0, 0, 150), 0.8));
    p.setBrush(metal);
    p.drawRect(bracket);
    const int jacks = threeD ? 4 : 3;
    const QColor jackColours[] = {QColor(90, 200, 90), QColor(90, 140, 230), QColor(230, 110, 160),
                                  QColor(240, 190, 60)};
    for (int i = 0; i < jacks; ++i) {
        p.setBrush(jackColours[i]);
        p.drawEllipse(QPointF(bracket.center().x(), bracket.top() + 7 + i * 8.5), 2.4, 2.4);
    }
    p.restore();
}

void drawSpeaker(QPainter& p, const QRectF& box) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient wood(box.topLeft(), box.topRight());
    wood.setColorAt(0, QColor(30, 32, 36));
    wood.setColorAt(1, QColor(14, 15, 18));
    p.setPen(QPen(QColor(100, 106, 118), 1));
    p.setBrush(wood);
    p.drawRoundedRect(box, 3, 3);
    const double w = box.width();
    auto cone = [&](QPointF c, double r) {
        QRadialGradient g(c, r);
        g.setColorAt(0, QColor(110, 116, 128));
        g.setColorAt(0.35, QColor(30, 32, 36));
        g.setColorAt(0.85, QColor(60, 64, 72));
        g.setColorAt(1, QColor(150, 156, 168));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    };
    cone(QPointF(box.center().x(), box.top() + w * 0.33), w * 0.2);
    cone(QPointF(box.center().x(), box.bottom() - w * 0.45), w * 0.36);
    p.restore();
}

void drawHeadphones(QPainter& p, QPointF c, double s, QColor accent) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(roundPen(QColor(190, 196, 208), s * 0.12));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - s * 0.5, c.y() - s * 0.55, s, s), 0, 180 * 16);
    for (int side : {-1, 1}) {
        p.setPen(QPen(QColor(0, 0, 0, 160), 1));
        p.setBrush(QColor(30, 32, 38));
        p.drawRoundedRect(
            QRectF(c.x() + side * s * 0.5 - s * 0.14, c.y() - s * 0.08, s * 0.28, s * 0.42), 3, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawRoundedRect(
            QRectF(c.x() + side * s * 0.5 - s * 0.05, c.y() + s * 0.02, s * 0.1, s * 0.22), 1, 1);
    }
    p.restore();
}

void drawMixer(QPainter& p, const QRectF& box) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(110, 116, 128), 1));
    p.setBrush(QColor(20, 22, 26));
    p.drawRoundedRect(box, 4, 4);
    // Two channel strips of knobs and faders, a crossfader below.
    for (int ch = 0; ch < 2; ++ch) {
        const QColor accent = ch == 0 ? palette::kCyan : palette::kAmber;
        const double x = box.left() + box.width() * (ch == 0 ? 0.3 : 0.7);
        for (int i = 0; i < 2; ++i) {
            p.setPen(QPen(QColor(0, 0, 0), 0.8));
            p.setBrush(QColor(150, 156, 168));
            p.drawEllipse(QPointF(x, box.top() + 8 + i * 9), 3.2, 3.2);
            p.setPen(QPen(accent, 1.2));
            p.drawLine(QPointF(x, box.top() + 8 + i * 9),
                       QPointF(x + 1.5, box.top() + 5.5 + i * 9));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(4, 4, 6));
        p.drawRoundedRect(QRectF(x - 1.5, box.top() + 24, 3, 20), 1.5, 1.5);
        p.setBrush(QColor(210, 214, 222));
        p.drawRect(QRectF(x - 4, box.top() + 28 + ch * 6, 8, 4));
        p.setBrush(accent);
        p.drawRect(QRectF(x - 4, box.top() + 29.5 + ch * 6, 8, 1));
    }
    // Level meters in the middle.
    for (int i = 0; i < 6; ++i) {
        const QColor led = i < 1 ? palette::kRed : i < 2 ? palette::kAmber : palette::kMint;
        p.setPen(Qt::NoPen);
        p.setBrush(led);
        p.drawRect(QRectF(box.center().x() - 3, box.top() + 8 + i * 5, 2.5, 3));
        p.drawRect(QRectF(box.center().x() + 0.5, box.top() + 8 + i * 5, 2.5, 3));
    }
    p.setBrush(QColor(4, 4, 6));
    p.drawRoundedRect(QRectF(box.left() + 10, box.bottom() - 9, box.width() - 20, 3), 1.5, 1.5);
    p.setBrush(QColor(210, 214, 222));
    p.drawRect(QRectF(box.center().x() - 3, box.bottom() - 12, 6, 9));
    p.restore();
}

} // namespace

QImage drawCardLayout(int layout) {
    QImage image = configTile(87, 90);
    QPainter p(&image);
    const char* names[] = {"1 CARD", "4 OUT \u00b7 3D", "2 CARDS"};
    if (layout == 2) {
        drawCard(p, QPointF(12, 14), false, palette::kAmber);
        drawCard(p, QPointF(20, 32), false, palette::kCyan);
    } else {
        drawCard(p, QPointF(14, 22), layout == 1, palette::kCyan);
    }
    drawLabel(p, QRectF(0, 72, 87, 14), names[layout], 9, QColor(214, 220, 232), Qt::AlignCenter,
              0.8);
    return image;
}

QImage drawListeningLayout(int layout) {
    QImage image = configTile(105, 90);
    QPainter p(&image);
    const char* names[] = {"SPEAKERS", "+ HEADPHONES", "EXT. MIXER"};
    if (layout == 0) {
        drawSpeaker(p, QRectF(35, 8, 36, 58));
    } else if (layout == 1) {
        drawSpeaker(p, QRectF(14, 8, 34, 58));
        drawHeadphones(p, QPointF(74, 36), 34, palette::kCyan);
    } else {
        drawMixer(p, QRectF(18, 10, 70, 56));
    }
    drawLabel(p, QRectF(0, 72, 105, 14), names[layout], 9, QColor(214, 220, 232), Qt::AlignCenter,
              0.6);
    return image;
}

namespace {

void drawVinyl(QPainter& p, QPointF c, double r, QColor left, QColor right) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient body(c, r);
    body.setColorAt(0.0, QColor(40, 40, 44));
    body.setColorAt(0.97, QColor(14, 14, 16));
    body.setColorAt(1.0, QColor(60, 60, 66));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawEllipse(c, r, r);
    // Grooves catch the light as thin rings; small icons keep only a few.
    const double step = r < 24 ? r * 0.2 : std::max(1.2, r * 0.03);
    for (double g = r * 0.45; g < r * 0.96; g += step) {
        const int shade = 30 + int(18 * std::sin(g * 0.9));
        p.setPen(QPen(QColor(shade, shade, shade + 4), std::max(0.5, r * 0.008)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, g, g);
    }
    QLinearGradient shine(c - QPointF(r, r), c + QPointF(r, r));
    shine.setColorAt(0.35, QColor(255, 255, 255, 0));
    shine.setColorAt(0.5, QColor(255, 255, 255, 38));
    shine.setColorAt(0.65, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(c, r * 0.96, r * 0.96);
    // The label: the two deck colours, one on each half.
    // Small icons get a bigger label, so that both colours still show.
    const double labelR = r < 24 ? r * 0.5 : r * 0.33;
    const QRectF label(c.x() - labelR, c.y() - labelR, labelR * 2, labelR * 2);
    p.setBrush(left);
    p.drawPie(label, 90 * 16, 180 * 16);
    p.setBrush(right);
    p.drawPie(label, 270 * 16, 180 * 16);
    if (r >= 24) {
        p.setBrush(QColor(12, 12, 12));
        p.drawEllipse(c, r * 0.035 + 0.6, r * 0.035 + 0.6);
    }
    p.restore();
}

} // namespace

QImage drawStartScreen() {
    QImage image(400, 300, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient bg(0, 0, 0, 300);
    bg.setColorAt(0.0, QColor(30, 33, 40));
    bg.setColorAt(1.0, QColor(8, 9, 12));
    p.fillRect(image.rect(), bg);

    // Light beams from the top, as on a club stage, in the two deck colours.
    for (int i = 0; i < 6; ++i) {
        QPainterPath beam;
        const double x = 30 + i * 68;
        beam.moveTo(x, 0);
        beam.lineTo(x - 70 + i * 12, 300);
        beam.lineTo(x - 30 + i * 12, 300);
        beam.closeSubpath();
        QColor colour = i < 3 ? palette::kCyan : palette::kAmber;
        colour.setAlpha(20);
        p.fillPath(beam, colour);
    }

    drawVinyl(p, QPointF(105, 156), 80, palette::kCyan, palette::kCyan.darker(160));
    drawVinyl(p, QPointF(295, 156), 80, palette::kAmber.darker(160), palette::kAmber);
    drawGlow(p, QPointF(105, 156), 90, palette::kCyan, 30);
    drawGlow(p, QPointF(295, 156), 90, palette::kAmber, 30);

    // Crossfader between the decks.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(8, 8, 10));
    p.drawRoundedRect(QRectF(150, 250, 100, 8), 4, 4);
    QLinearGradient knob(0, 242, 0, 266);
    knob.setColorAt(0, QColor(220, 224, 232));
    knob.setColorAt(1, QColor(110, 114, 124));
    p.setBrush(knob);
    p.drawRoundedRect(QRectF(192, 242, 16, 24), 3, 3);
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(QRectF(199.5, 244, 1, 20));

    QFont title("DejaVu Sans", 30, QFont::Black);
    title.setPixelSize(40);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    p.setFont(title);
    const QRectF titleRect(0, 14, 400, 48);
    p.setPen(QColor(0, 0, 0, 170));
    p.drawText(titleRect.translated(2, 2), Qt::AlignCenter, "ZORVENDAL");
    QLinearGradient ink(0, 0, 400, 0);
    ink.setColorAt(0.2, palette::kCyan.lighter(130));
    ink.setColorAt(0.8, palette::kAmber.lighter(115));
    p.setPen(QPen(QBrush(ink), 1));
    p.drawText(titleRect, Qt::AlignCenter, "ZORVENDAL");

    drawLabel(p, QRectF(0, 274, 400, 16), "TWO-DECK DJ DESK", 11, QColor(176, 186, 204),
              Qt::AlignCenter, 3);
    p.setPen(QColor(80, 88, 104));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 399, 299));
    return image;
}

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    drawVinyl(p, QPointF(size / 2.0, size / 2.0), size / 2.0 - 1, palette::kCyan, palette::kAmber);
    return image;
}
