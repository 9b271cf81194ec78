#include "tools/make-artwork/Paint.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

void drawPanel(QPainter& p, const QRectF& rect, uint32_t seed) {
    p.save();
    QLinearGradient base(rect.topLeft(), rect.bottomLeft());
    base.setColorAt(0.0, palette::kPanel.lighter(108));
    base.setColorAt(1.0, palette::kPanelDark);
    p.fillRect(rect, base);
    // Brushed grain: faint horizontal streaks of varying length and brightness.
    Noise noise(seed);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int streaks = int(rect.width() * rect.height() / 90);
    for (int i = 0; i < streaks; ++i) {
        const double x = rect.left() + noise.next() * rect.width();
        const double y = rect.top() + std::floor(noise.next() * rect.height());
        const double len = 6 + noise.next() * 40;
        const bool light = noise.next() < 0.5;
        p.setPen(light ? QColor(255, 255, 255, 7) : QColor(0, 0, 0, 10));
        p.drawLine(QPointF(x, y), QPointF(std::min(x + len, rect.right() - 1), y));
    }
    p.restore();
}

void drawRecess(QPainter& p, const QRectF& rect, double radius, QColor floor) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Light catches the lower lip, the upper lip is in shadow.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 26));
    p.drawRoundedRect(rect.adjusted(0, 0, 0, 1), radius, radius);
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawRoundedRect(rect.adjusted(0, -1, 0, 0), radius, radius);
    p.setBrush(floor);
    p.drawRoundedRect(rect, radius, radius);
    QLinearGradient shade(rect.topLeft(),
                          rect.topLeft() + QPointF(0, std::min(8.0, rect.height())));
    shade.setColorAt(0, QColor(0, 0, 0, 120));
    shade.setColorAt(1, QColor(0, 0, 0, 0));
    p.setBrush(shade);
    p.drawRoundedRect(rect, radius, radius);
    p.restore();
}

void drawGlass(QPainter& p, const QRectF& rect) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Bezel: a dark frame one pixel outside the glass with a light lower lip.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 30));
    p.drawRoundedRect(rect.adjusted(-2, -2, 2, 3), 4, 4);
    p.setBrush(QColor(4, 5, 6));
    p.drawRoundedRect(rect.adjusted(-2, -3, 2, 2), 4, 4);
    QLinearGradient glass(rect.topLeft(), rect.bottomLeft());
    glass.setColorAt(0.0, QColor(12, 20, 18));
    glass.setColorAt(1.0, palette::kGlass);
    p.setBrush(glass);
    p.drawRoundedRect(rect, 3, 3);
    // A faint diagonal reflection across the upper part; text stays readable under it.
    QPainterPath shine;
    shine.moveTo(rect.topLeft());
    shine.lineTo(rect.topRight());
    shine.lineTo(rect.right(), rect.top() + rect.height() * 0.18);
    shine.lineTo(rect.left(), rect.top() + rect.height() * 0.42);
    shine.closeSubpath();
    QLinearGradient sheen(rect.topLeft(), rect.bottomLeft());
    sheen.setColorAt(0.0, QColor(200, 255, 230, 16));
    sheen.setColorAt(0.4, QColor(200, 255, 230, 4));
    p.setClipRect(rect);
    p.fillPath(shine, sheen);
    p.restore();
}

void drawScrew(QPainter& p, QPointF c, double r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient head(c - QPointF(r / 3, r / 3), r * 1.4);
    head.setColorAt(0, QColor(150, 155, 165));
    head.setColorAt(1, QColor(50, 52, 58));
    p.setPen(QPen(QColor(0, 0, 0, 160), 0.8));
    p.setBrush(head);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(QColor(20, 20, 24), 0.9));
    p.drawLine(c + QPointF(-r * 0.6, r * 0.6), c + QPointF(r * 0.6, -r * 0.6));
    p.restore();
}

void drawGlow(QPainter& p, QPointF c, double r, QColor colour, int alpha) {
    QRadialGradient glow(c, r);
    QColor inner = colour, outer = colour;
    inner.setAlpha(alpha);
    outer.setAlpha(0);
    glow.setColorAt(0, inner);
    glow.setColorAt(1, outer);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(c, r, r);
    p.restore();
}

void drawGlyph(QPainter& p, Glyph glyph, const QRectF& box, QColor ink) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const QPointF c = box.center();
    const double s = std::min(box.width(), box.height());
    switch (glyph) {
    case Glyph::None:
        break;
    case Glyph::Play: {
        QPainterPath tri;
        tri.moveTo(c + QPointF(-s * 0.28, -s * 0.34));
        tri.lineTo(c + QPointF(s * 0.38, 0));
        tri.lineTo(c + QPointF(-s * 0.28, s * 0.34));
        tri.closeSubpath();
        p.drawPath(tri);
        break;
    }
    case Glyph::Pause:
        p.drawRect(QRectF(c.x() - s * 0.30, c.y() - s * 0.32, s * 0.2, s * 0.64));
        p.drawRect(QRectF(c.x() + s * 0.10, c.y() - s * 0.32, s * 0.2, s * 0.64));
        break;
    case Glyph::Stop:
        p.drawRect(QRectF(c.x() - s * 0.27, c.y() - s * 0.27, s * 0.54, s * 0.54));
        break;
    case Glyph::Dot:
        p.drawEllipse(c, s * 0.3, s * 0.3);
        break;
    case Glyph::Magic: {
        // A four-pointed sparkle with a small companion.
        auto star = [&](QPointF at, double r) {
            QPainterPath path;
            for (int i = 0; i < 8; ++i) {
                const double a = i * M_PI / 4;
                const double rr = (i % 2 == 0) ? r : r * 0.28;
                const QPointF pt = at + QPointF(std::sin(a) * rr, -std::cos(a) * rr);
                if (i == 0)
                    path.moveTo(pt);
                else
                    path.lineTo(pt);
            }
            path.closeSubpath();
            p.drawPath(path);
        };
        star(c + QPointF(-s * 0.06, s * 0.04), s * 0.36);
        star(c + QPointF(s * 0.28, -s * 0.26), s * 0.14);
        break;
    }
    case Glyph::Cue: {
        // A cue marker: a flag over the line it marks.
        QPainterPath flag;
        flag.moveTo(c + QPointF(-s * 0.34, -s * 0.36));
        flag.lineTo(c + QPointF(s * 0.34, -s * 0.36));
        flag.lineTo(c + QPointF(0, s * 0.02));
        flag.closeSubpath();
        p.drawPath(flag);
        p.drawRect(QRectF(c.x() - s * 0.07, c.y() - s * 0.1, s * 0.14, s * 0.48));
        break;
    }
    case Glyph::One:
    case Glyph::Two: {
        const QString text = glyph == Glyph::One ? "1" : "2";
        QFont font("DejaVu Sans", 8, QFont::Bold);
        font.setPixelSize(int(s * 0.62));
        font.setHintingPreference(QFont::PreferFullHinting);
        p.setFont(font);
        p.setPen(ink);
        p.drawText(box, Qt::AlignCenter, text);
        break;
    }
    }
    p.restore();
}

void drawRoundButton(QPainter& p, const QRectF& rect, QColor accent, Glyph glyph, bool pressed,
                     bool lit) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = rect.center();
    const double r = std::min(rect.width(), rect.height()) / 2.0;
    const double ring = std::max(3.0, r * 0.26); // the bezel, equal in every state

    // Bezel: brushed metal ring with a dark outline.
    QLinearGradient bezel(c - QPointF(0, r), c + QPointF(0, r));
    bezel.setColorAt(0, QColor(128, 134, 144));
    bezel.setColorAt(0.5, QColor(64, 68, 76));
    bezel.setColorAt(1, QColor(36, 38, 44));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(8, 8, 10));
    p.drawEllipse(c, r, r);
    p.setBrush(bezel);
    p.drawEllipse(c, r - 0.8, r - 0.8);
    p.setBrush(QColor(10, 10, 12));
    p.drawEllipse(c, r - ring + 0.9, r - ring + 0.9);

    // LED ring between bezel and cap.
    const double led = r - ring;
    QColor ledColour = lit ? accent : accent.darker(420);
    p.setBrush(ledColour);
    p.drawEllipse(c, led, led);
    if (lit)
        drawGlow(p, c, led, accent.lighter(130), 120);

    // The cap: convex rubber, darker and slightly smaller when pressed.
    const double capR = led - std::max(1.2, r * 0.09);
    QRadialGradient cap(c - QPointF(capR * 0.35, capR * 0.45), capR * 1.6);
    if (pressed) {
        cap.setColorAt(0, QColor(52, 55, 62));
        cap.setColorAt(1, QColor(18, 19, 22));
    } else {
        cap.setColorAt(0, QColor(92, 97, 108));
        cap.setColorAt(1, QColor(28, 30, 35));
    }
    p.setBrush(QColor(0, 0, 0, 200));
    p.drawEllipse(c, capR + 0.6, capR + 0.6);
    p.setBrush(cap);
    p.drawEllipse(c, capR, capR);
    if (!pressed) {
        // Specular highlight on the top of the cap.
        QRadialGradient shine(c - QPointF(0, capR * 0.45), capR * 0.7);
        shine.setColorAt(0, QColor(255, 255, 255, 46));
        shine.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(shine);
        p.drawEllipse(c, capR, capR);
    }

    const QPointF shift = pressed ? QPointF(0.7, 0.7) : QPointF(0, 0);
    const double g = capR * 1.25;
    const QRectF box(c.x() - g / 2 + shift.x(), c.y() - g / 2 + shift.y(), g, g);
    QColor ink = lit ? accent.lighter(150) : QColor(214, 220, 230);
    if (glyph == Glyph::Cue || glyph == Glyph::One || glyph == Glyph::Two)
        ink = lit ? accent.lighter(160) : accent;
    if (lit)
        drawGlow(p, box.center(), g * 0.7, accent, 90);
    drawGlyph(p, glyph, box, ink);
    p.restore();
}

void drawKey(QPainter& p, const QRectF& rect, bool pressed, double radius) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 190));
    p.drawRoundedRect(rect.adjusted(-0.5, -0.5, 0.5, 0.8), radius + 0.5, radius + 0.5);
    QLinearGradient face(rect.topLeft(), rect.bottomLeft());
    if (pressed) {
        face.setColorAt(0, QColor(22, 24, 28));
        face.setColorAt(1, QColor(40, 43, 49));
    } else {
        face.setColorAt(0, QColor(86, 91, 101));
        face.setColorAt(0.12, QColor(64, 68, 77));
        face.setColorAt(1, QColor(38, 40, 46));
    }
    p.setBrush(face);
    p.drawRoundedRect(rect, radius, radius);
    p.restore();
}

void drawLabel(QPainter& p, const QRectF& box, const QString& text, int pixelSize, QColor ink,
               int flags, double spacing) {
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(pixelSize);
    font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    font.setHintingPreference(QFont::PreferVerticalHinting);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 170));
    p.drawText(box.translated(0, 1), flags, text);
    p.setPen(ink);
    p.drawText(box, flags, text);
    p.restore();
}
