#include "tools/make-artwork/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

void drawVinyl(QPainter& p, QPointF c, double r, QColor label) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient body(c, r);
    body.setColorAt(0.0, QColor(40, 40, 44));
    body.setColorAt(0.97, QColor(14, 14, 16));
    body.setColorAt(1.0, QColor(60, 60, 66));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawEllipse(c, r, r);
    // Grooves catch the light as thin rings.
    for (double g = r * 0.38; g < r * 0.96; g += r * 0.035) {
        int shade = 30 + int(18 * std::sin(g * 0.9));
        p.setPen(QPen(QColor(shade, shade, shade + 4), 0.8));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, g, g);
    }
    // A soft highlight across the disc.
    QLinearGradient shine(c - QPointF(r, r), c + QPointF(r, r));
    shine.setColorAt(0.35, QColor(255, 255, 255, 0));
    shine.setColorAt(0.5, QColor(255, 255, 255, 38));
    shine.setColorAt(0.65, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(c, r * 0.96, r * 0.96);
    QRadialGradient lab(c, r * 0.34);
    lab.setColorAt(0.0, label.lighter(140));
    lab.setColorAt(1.0, label.darker(130));
    p.setBrush(lab);
    p.drawEllipse(c, r * 0.33, r * 0.33);
    p.setBrush(QColor(12, 12, 12));
    p.drawEllipse(c, r * 0.035, r * 0.035);
    p.restore();
}

QImage drawStartScreen() {
    QImage image(400, 300, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient bg(0, 0, 0, 300);
    bg.setColorAt(0.0, QColor(24, 26, 38));
    bg.setColorAt(1.0, QColor(6, 6, 10));
    p.fillRect(image.rect(), bg);

    // Light beams from the top, as on a club stage.
    for (int i = 0; i < 5; ++i) {
        QPainterPath beam;
        double x = 40 + i * 80;
        beam.moveTo(x, 0);
        beam.lineTo(x - 60 + i * 10, 300);
        beam.lineTo(x - 20 + i * 10, 300);
        beam.closeSubpath();
        QColor colour = QColor::fromHsv((200 + i * 35) % 360, 200, 255, 22);
        p.fillPath(beam, colour);
    }

    drawVinyl(p, QPointF(105, 150), 82, QColor(230, 120, 20));
    drawVinyl(p, QPointF(295, 150), 82, QColor(30, 140, 230));

    // Crossfader between the decks.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 24));
    p.drawRoundedRect(QRectF(150, 246, 100, 12), 6, 6);
    QLinearGradient knob(0, 240, 0, 264);
    knob.setColorAt(0, QColor(220, 220, 230));
    knob.setColorAt(1, QColor(120, 120, 130));
    p.setBrush(knob);
    p.drawRoundedRect(QRectF(192, 240, 16, 24), 3, 3);

    QFont title("DejaVu Sans", 30, QFont::Black);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    p.setFont(title);
    QRectF titleRect(0, 18, 400, 44);
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(titleRect.translated(2, 2), Qt::AlignCenter, "ZORVENDAL");
    QLinearGradient ink(0, 18, 0, 62);
    ink.setColorAt(0, QColor(255, 214, 120));
    ink.setColorAt(1, QColor(255, 120, 40));
    p.setPen(QPen(QBrush(ink), 1));
    p.drawText(titleRect, Qt::AlignCenter, "ZORVENDAL");

    QFont sub("DejaVu Sans", 9, QFont::Bold);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(sub);
    p.setPen(QColor(170, 190, 220));
    p.drawText(QRectF(0, 270, 400, 20), Qt::AlignCenter, "TWO-DECK DJ DESK");
    p.setPen(QColor(80, 90, 110));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 399, 299));
    return image;
}

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    drawVinyl(p, QPointF(size / 2.0, size / 2.0), size / 2.0 - 1, QColor(230, 120, 20));
    return image;
}

std::vector<Artwork> allArtwork() {
    return {
        {"start-screen.png", drawStartScreen},
        {"icon.png", [] { return drawIcon(64); }},
    };
}
