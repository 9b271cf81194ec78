#include "tools/make-artwork/Desk.h"

#include "tools/make-artwork/Paint.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace {

const ControlTable& table() {
    return builtinControlTable();
}
QRectF displayRect(int k) {
    const ControlEntry& e = table()[k];
    return QRectF(e.x, e.y, e.width, e.height);
}
QColor accentOf(int deck) {
    return deck == 0 ? palette::kCyan : palette::kAmber;
}
bool shown(const DeskState& s, int k) {
    return s.face[k] != Face::Hidden;
}
bool down(const DeskState& s, int k) {
    return s.face[k] == Face::Down;
}

// Knob geometry of the sliders, from the table: travel and the knob's centre line.
struct VerticalTravel {
    int knobLeft, top, bottom, knobWidth, knobHeight;
    int centreRow(int position) const { // position 0..256, 0 at the top
        return top + (bottom - top - knobHeight) * position / 256 + knobHeight / 2;
    }
};
VerticalTravel verticalTravel(int deck) {
    const ControlEntry& slider = table()[control::forDeck(control::kPitch1, deck)];
    const ControlEntry& knob = table()[control::forDeck(control::kVerticalFader1, deck)];
    return {slider.hitX1, slider.hitY1, slider.hitY2, knob.width, knob.height};
}
int crossfaderCentreColumn(int position) { // position 0..384
    const ControlEntry& xf = table()[control::kCrossfader];
    const ControlEntry& knob = table()[control::kHorizontalFader];
    return xf.hitX1 + (xf.hitX2 - xf.hitX1 - knob.width) * position / 384 + knob.width / 2;
}

void drawTopBar(QPainter& p, const DeskState& s) {
    const QRectF bar(0, 0, kDeskWidth, table()[control::kRhythmWindow].y);
    QLinearGradient g(bar.topLeft(), bar.bottomLeft());
    g.setColorAt(0, QColor(24, 26, 30));
    g.setColorAt(1, QColor(16, 17, 20));
    p.fillRect(bar, g);
    p.fillRect(QRectF(1, 1, kDeskWidth - 2, 1), QColor(58, 62, 70));

    // The title sits on the window-drag area, flanked by the two deck colours.
    const QRectF drag = displayRect(control::kWindowDrag);
    drawLabel(p, drag.adjusted(0, -1, 0, 1), "ZORVENDAL", 8, QColor(206, 212, 224), Qt::AlignCenter,
              2.4);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    for (int side = 0; side < 2; ++side) {
        const double x = side == 0 ? drag.left() + 24 : drag.right() - 24;
        p.setPen(QPen(accentOf(side), 1.2));
        p.drawLine(QPointF(x - 14, 5), QPointF(x + 14, 5));
    }
    p.restore();
    // Small deck LEDs at the far left, like a hardware status strip.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::kCyan.darker(150));
    p.drawEllipse(QPointF(10, 5), 2, 2);
    p.setBrush(palette::kAmber.darker(150));
    p.drawEllipse(QPointF(17, 5), 2, 2);
    p.restore();

    // Window frame buttons: minimize, full screen, close.
    const int frame[] = {control::kMinimize, control::kMaximize, control::kClose};
    for (int k : frame) {
        if (!shown(s, k))
            continue;
        const QRectF r = displayRect(k).adjusted(0.5, 0.5, -0.5, -0.5);
        const bool pressed = down(s, k);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QColor lit = k == control::kClose ? palette::kRed : palette::kMint;
        p.setBrush(pressed ? lit.darker(130) : QColor(52, 56, 64));
        p.drawRoundedRect(r, 2, 2);
        QPen pen(pressed ? QColor(255, 255, 255) : QColor(196, 202, 214), 1.2);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QPointF c = r.center() + (pressed ? QPointF(0.5, 0.5) : QPointF(0, 0));
        if (k == control::kClose) {
            p.drawLine(c + QPointF(-2.2, -2.2), c + QPointF(2.2, 2.2));
            p.drawLine(c + QPointF(-2.2, 2.2), c + QPointF(2.2, -2.2));
        } else if (k == control::kMinimize) {
            p.drawLine(c + QPointF(-2.5, 2.2), c + QPointF(2.5, 2.2));
        } else {
            p.drawRect(QRectF(c.x() - 2.5, c.y() - 2.2, 5, 4.4));
        }
        p.restore();
    }
}

void drawRhythmBay(QPainter& p) {
    const QRectF r = displayRect(control::kRhythmWindow);
    p.fillRect(r.adjusted(-2, 0, 2, 2), QColor(8, 8, 10));
    p.fillRect(r.adjusted(-2, 1, 2, 3).adjusted(0, r.height() + 1, 0, 0),
               QColor(255, 255, 255, 28));
    p.fillRect(r, QColor(3, 4, 6));
    // A faint beat grid, shown until the rhythm window covers it.
    p.save();
    p.setPen(QColor(20, 26, 30));
    for (int x = int(r.left()) + 25; x < r.right(); x += 50)
        p.drawLine(QPointF(x + 0.5, r.top() + 2), QPointF(x + 0.5, r.bottom() - 2));
    p.setPen(QColor(26, 34, 38));
    p.drawLine(QPointF(r.left() + 2, r.center().y() + 0.5),
               QPointF(r.right() - 2, r.center().y() + 0.5));
    p.restore();
}

void drawPlatter(QPainter& p, QPointF c, double r, QColor accent) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // A shadow ring on the panel, then the metal rim with its strobe dots.
    drawGlow(p, c + QPointF(0, 2), r + 3, QColor(0, 0, 0), 150);
    QLinearGradient rim(c - QPointF(r, r), c + QPointF(r, r));
    rim.setColorAt(0, QColor(86, 90, 100));
    rim.setColorAt(0.5, QColor(46, 49, 56));
    rim.setColorAt(1, QColor(24, 25, 29));
    p.setPen(QPen(QColor(6, 6, 8), 1));
    p.setBrush(rim);
    p.drawEllipse(c, r - 0.5, r - 0.5);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 60; ++i) {
        if (i == 0)
            continue; // the top carries the position mark instead
        const double a = i * 2 * M_PI / 60;
        const QPointF dot = c + QPointF(std::sin(a), -std::cos(a)) * (r - 3.3);
        p.setBrush(QColor(120, 126, 138, 150));
        p.drawEllipse(dot, 0.9, 0.9);
    }
    // The record.
    const double vinyl = r - 6.5;
    QRadialGradient body(c, vinyl);
    body.setColorAt(0.0, QColor(34, 34, 38));
    body.setColorAt(0.95, QColor(12, 12, 14));
    body.setColorAt(1.0, QColor(30, 30, 34));
    p.setBrush(body);
    p.drawEllipse(c, vinyl, vinyl);
    p.setBrush(Qt::NoBrush);
    for (double g = vinyl * 0.40; g < vinyl * 0.97; g += 1.6) {
        const int shade = 20 + int(16 * (0.5 + 0.5 * std::sin(g * 1.7)));
        p.setPen(QPen(QColor(shade, shade, shade + 3), 0.6));
        p.drawEllipse(c, g, g);
    }
    // Two gaps between tracks.
    p.setPen(QPen(QColor(6, 6, 7), 1.0));
    p.drawEllipse(c, vinyl * 0.62, vinyl * 0.62);
    p.drawEllipse(c, vinyl * 0.80, vinyl * 0.80);
    // Light falling across the grooves from the top left and bottom right.
    QConicalGradient sheen(c, 45);
    sheen.setColorAt(0.00, QColor(255, 255, 255, 34));
    sheen.setColorAt(0.08, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.42, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.50, QColor(255, 255, 255, 30));
    sheen.setColorAt(0.58, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.92, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.00, QColor(255, 255, 255, 34));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawEllipse(c, vinyl * 0.97, vinyl * 0.97);
    // The label in the deck's colour, a darker ring and the spindle.
    const double label = r * 0.31;
    QRadialGradient lab(c - QPointF(label * 0.3, label * 0.3), label * 1.3);
    lab.setColorAt(0, accent.lighter(115));
    lab.setColorAt(1, accent.darker(190));
    p.setBrush(lab);
    p.drawEllipse(c, label, label);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, label * 0.72, label * 0.72);
    p.setPen(Qt::NoPen);
    QRadialGradient spindle(c - QPointF(0.6, 0.6), 3);
    spindle.setColorAt(0, QColor(230, 232, 238));
    spindle.setColorAt(1, QColor(90, 94, 104));
    p.setBrush(spindle);
    p.drawEllipse(c, 2.6, 2.6);
    // A thin light ring round the platter in the deck's colour.
    QColor ringLight = accent;
    ringLight.setAlpha(150);
    p.setPen(QPen(ringLight, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r - 1.2, r - 1.2);
    p.setPen(Qt::NoPen);
    // The 12 o'clock mark the position hand starts from.
    QPainterPath mark;
    mark.moveTo(c + QPointF(-3.2, -r + 0.8));
    mark.lineTo(c + QPointF(3.2, -r + 0.8));
    mark.lineTo(c + QPointF(0, -r + 6.2));
    mark.closeSubpath();
    p.setBrush(QColor(240, 244, 250));
    p.drawPath(mark);
    p.restore();
}

// The scale beside a vertical slider: ticks at every eighth of the travel, a long
// detent mark in the middle, and the mode's legend.
void drawVerticalSlider(QPainter& p, int deck, bool pitchMode) {
    const ControlEntry& e = table()[control::forDeck(control::kPitch1, deck)];
    const QRectF area(e.x, e.y, e.width, e.height);
    const VerticalTravel v = verticalTravel(deck);
    const QColor accent = accentOf(deck);
    const double slotX = v.knobLeft + v.knobWidth / 2.0;
    const double slotTop = v.centreRow(0) - 4, slotBottom = v.centreRow(256) + 5;

    // The wider side of the knob carries the legend, the narrower side short ticks.
    const double leftRoom = v.knobLeft - area.left();
    const double rightRoom = area.right() - (v.knobLeft + v.knobWidth);
    const bool legendRight = rightRoom >= leftRoom;
    const double legendX0 = legendRight ? v.knobLeft + v.knobWidth + 1 : area.left() + 1;
    const double legendX1 = legendRight ? area.right() - 1 : v.knobLeft - 1;
    const double smallX0 = legendRight ? area.left() + 2 : v.knobLeft + v.knobWidth + 1;
    const double smallX1 = legendRight ? v.knobLeft - 1 : area.right() - 2;

    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int pos = 0; pos <= 256; pos += 16) {
        const int row = v.centreRow(pos);
        const bool major = pos % 64 == 0;
        const bool centre = pos == 128;
        QColor ink = centre ? accent : QColor(150, 156, 168, major ? 220 : 120);
        p.setPen(ink);
        const double len = centre ? 9 : major ? 6 : 3;
        if (legendRight)
            p.drawLine(QPointF(legendX0 + 1, row), QPointF(legendX0 + len, row));
        else
            p.drawLine(QPointF(legendX1 - len, row), QPointF(legendX1 - 1, row));
        p.drawLine(QPointF(legendRight ? smallX1 - (major ? 4 : 2) : smallX0, row),
                   QPointF(legendRight ? smallX1 : smallX0 + (major ? 4 : 2), row));
    }
    p.restore();

    // The slot the knob rides in.
    drawRecess(p, QRectF(slotX - 3, slotTop, 6, slotBottom - slotTop), 3);
    p.fillRect(QRectF(slotX - 0.5, slotTop + 3, 1, slotBottom - slotTop - 6), QColor(0, 0, 0));

    const double legendW = legendX1 - legendX0;
    const double textX = legendRight ? legendX0 + 8 : legendX0;
    const QRectF topBox(textX, v.centreRow(0) - 5, legendW - 8, 10);
    const QRectF bottomBox(textX, v.centreRow(256) - 6, legendW - 8, 10);
    const int align = (legendRight ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
    if (pitchMode) {
        // The top is the slowest speed.
        drawLabel(p, topBox.adjusted(legendRight ? 0 : -8, 0, legendRight ? 8 : 0, 0), "\u2212", 10,
                  palette::kLabel, align, 0);
        drawLabel(p, bottomBox.adjusted(legendRight ? 0 : -8, 0, legendRight ? 8 : 0, 0), "+", 10,
                  palette::kLabel, align, 0);
    } else {
        // A wedge that narrows towards silence at the bottom.
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        const double x0 = legendRight ? legendX0 + 10 : legendX1 - 10;
        const double wide = legendRight ? 9 : -9;
        QPainterPath wedge;
        wedge.moveTo(x0, v.centreRow(0));
        wedge.lineTo(x0 + wide, v.centreRow(0));
        wedge.lineTo(x0, v.centreRow(256));
        wedge.closeSubpath();
        QLinearGradient fill(0, v.centreRow(0), 0, v.centreRow(256));
        fill.setColorAt(0, accent);
        fill.setColorAt(1, accent.darker(400));
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPath(wedge);
        p.restore();
    }
}

void drawResetButton(QPainter& p, const QRectF& r, QColor accent, bool pressed) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = r.center();
    const double rad = r.width() / 2.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(6, 6, 8));
    p.drawEllipse(c, rad, rad);
    QRadialGradient cap(c - QPointF(1.2, 1.5), rad * 1.6);
    cap.setColorAt(0, pressed ? accent.lighter(130) : QColor(110, 116, 128));
    cap.setColorAt(1, pressed ? accent.darker(140) : QColor(36, 38, 44));
    p.setBrush(cap);
    p.drawEllipse(c, rad - 1.2, rad - 1.2);
    p.setBrush(pressed ? QColor(255, 255, 255) : accent.darker(160));
    p.drawEllipse(c + (pressed ? QPointF(0.4, 0.4) : QPointF()), 1.3, 1.3);
    p.restore();
}

// The two mode keys beside a slider: "VOL" (menu level) above "PITCH" (menu pitch).
void drawModeKeys(QPainter& p, int deck, bool pitchMode) {
    const QColor accent = accentOf(deck);
    const int keys[] = {control::forDeck(control::kMenuLevel1, deck),
                        control::forDeck(control::kMenuPitch1, deck)};
    for (int i = 0; i < 2; ++i) {
        const bool active = (i == 1) == pitchMode;
        const QRectF r = displayRect(keys[i]).adjusted(2, 2, -2, -2);
        drawKey(p, r, active, 3);
        // LED strip along the key's top.
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(active ? accent : accent.darker(450));
        p.drawRoundedRect(QRectF(r.left() + 6, r.top() + 3, r.width() - 12, 2.4), 1.2, 1.2);
        if (active)
            drawGlow(p, QPointF(r.center().x(), r.top() + 4), r.width() * 0.45, accent, 70);
        p.restore();
        const QRectF text = r.adjusted(0, 6, 0, 0).translated(active ? 0.5 : 0, active ? 0.5 : 0);
        drawLabel(p, text, i == 0 ? "VOL" : "PITCH", 7,
                  active ? accent.lighter(140) : palette::kLabel, Qt::AlignCenter, 0.2);
    }
}

void drawDeck(QPainter& p, const DeskState& s, int deck) {
    const QColor accent = accentOf(deck);
    const ControlEntry& disc = table()[control::forDeck(control::kDisc1, deck)];
    const QRectF discRect(disc.x, disc.y, disc.width, disc.height);

    // The deck's name above its platter, with a short accent rule.
    const QRectF name(discRect.left(),
                      table()[control::kRhythmWindow].y + table()[control::kRhythmWindow].height +
                          4,
                      discRect.width(), 12);
    drawLabel(p, name, deck == 0 ? "DECK 1" : "DECK 2", 9, accent, Qt::AlignCenter, 2);
    p.fillRect(QRectF(name.left() + 8, name.center().y(), 30, 1), accent.darker(200));
    p.fillRect(QRectF(name.right() - 38, name.center().y(), 30, 1), accent.darker(200));

    drawPlatter(p, QPointF(disc.hitX1, disc.hitY1), disc.hitRadius, accent);
    drawGlass(p, displayRect(control::forDeck(control::kTitle1, deck)));
    drawGlass(p, displayRect(control::forDeck(control::kInfos1, deck)));

    const bool pitchMode = s.sliderMode == kSliderModePitch;
    drawVerticalSlider(p, deck, pitchMode);
    drawModeKeys(p, deck, pitchMode);
    const int reset = control::forDeck(control::kResetPitch1, deck);
    if (pitchMode && shown(s, reset))
        drawResetButton(p, displayRect(reset), accent, down(s, reset));

    struct Button {
        int k;
        Glyph glyph;
    };
    const Button buttons[] = {
        {control::kGo1, Glyph::Magic},    {control::kPlay1, Glyph::Play},
        {control::kPause1, Glyph::Pause}, {control::kStop1, Glyph::Stop},
        {control::kMem1, Glyph::Cue},     {control::kPlatine1, deck ? Glyph::Two : Glyph::One}};
    for (const Button& b : buttons) {
        const int k = control::forDeck(b.k, deck);
        if (!shown(s, k))
            continue;
        // The pause face is seen only while the deck plays, so its light is on.
        const bool lit = down(s, k) || b.k == control::kPause1;
        drawRoundButton(p, displayRect(k), accent, b.glyph, down(s, k), lit);
    }
    // The cue button is too small to carry its name: it is engraved beside it.
    const QRectF mem = displayRect(control::forDeck(control::kMem1, deck));
    const QRectF cueLabel = deck == 0 ? QRectF(mem.right() + 2, mem.top() + 5, 24, 11)
                                      : QRectF(mem.left() - 26, mem.top() + 5, 24, 11);
    drawLabel(p, cueLabel, "CUE", 8, accent, Qt::AlignCenter, 0.8);
    const QRectF go = displayRect(control::forDeck(control::kGo1, deck));
    drawLabel(p, QRectF(go.left() - 6, go.bottom() + 2, go.width() + 12, 11), "MAGIC", 8,
              palette::kLabel, Qt::AlignCenter, 1.2);
}

void drawCentre(QPainter& p, const DeskState& s) {
    const QRectF infos1 = displayRect(control::kInfos1), infos2 = displayRect(control::kInfos1 + 1);
    // A grille between the two information panels.
    const QRectF grille(infos1.right() + 5, infos1.top() + 14, infos2.left() - infos1.right() - 10,
                        infos1.height() - 28);
    for (int i = 0; i < 9; ++i) {
        const QRectF slot(grille.left(), grille.top() + i * grille.height() / 9.0 + 1,
                          grille.width(), 3);
        drawRecess(p, slot, 1.5);
    }
    drawScrew(p, QPointF(grille.center().x(), infos1.top() + 4), 2.6);
    drawScrew(p, QPointF(grille.center().x(), infos1.bottom() - 4), 2.6);
    // Thin deck-coloured rules under the panels.
    p.fillRect(QRectF(infos1.left() + 10, infos1.bottom() + 5, infos1.width() - 20, 1),
               palette::kCyan.darker(180));
    p.fillRect(QRectF(infos2.left() + 10, infos2.bottom() + 5, infos2.width() - 20, 1),
               palette::kAmber.darker(180));

    // Crossfader: legend, ticks, slot.
    const ControlEntry& xf = table()[control::kCrossfader];
    const ControlEntry& knob = table()[control::kHorizontalFader];
    const double slotY = xf.hitY1 + knob.height / 2.0;
    const double left = crossfaderCentreColumn(0), right = crossfaderCentreColumn(384);
    drawLabel(p, QRectF(left, xf.y - 16, right - left, 12), "CROSSFADER", 8, palette::kLabel,
              Qt::AlignCenter, 2);
    drawLabel(p, QRectF(left - 6, xf.y - 16, 14, 12), "1", 9, palette::kCyan, Qt::AlignCenter, 0);
    drawLabel(p, QRectF(right - 8, xf.y - 16, 14, 12), "2", 9, palette::kAmber, Qt::AlignCenter, 0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int pos = 0; pos <= 384; pos += 24) {
        const int col = crossfaderCentreColumn(pos);
        const bool centre = pos == 192, major = pos % 96 == 0;
        QColor ink = centre ? QColor(236, 240, 248) : QColor(150, 156, 168, major ? 220 : 110);
        p.setPen(ink);
        const int len = centre ? 9 : major ? 7 : 4;
        p.drawLine(QPointF(col, xf.y + 2), QPointF(col, xf.y + 1 + len));
        p.drawLine(QPointF(col, xf.y + xf.height - 2 - len), QPointF(col, xf.y + xf.height - 3));
    }
    p.restore();
    drawRecess(p, QRectF(left - 4, slotY - 3, right - left + 8, 6), 3);
    // The two halves of the slot carry the decks' colours, faintly.
    p.fillRect(QRectF(left, slotY - 0.5, (right - left) / 2 - 6, 1), palette::kCyan.darker(300));
    p.fillRect(QRectF((left + right) / 2 + 6, slotY - 0.5, (right - left) / 2 - 6, 1),
               palette::kAmber.darker(300));

    // The automatic-mix bay: an empty recess, or the key when the playlist page shows it.
    const QRectF mix = displayRect(control::kMix);
    drawRecess(p, mix.adjusted(1, 1, -1, -1), 5, QColor(20, 22, 26));
    if (shown(s, control::kMix)) {
        const bool pressed = down(s, control::kMix);
        const QRectF key = mix.adjusted(3, 3, -3, -3);
        drawKey(p, key, pressed, 4);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(pressed ? palette::kMint : palette::kMint.darker(260));
        p.drawEllipse(QPointF(key.left() + 9, key.center().y()), 3, 3);
        if (pressed)
            drawGlow(p, QPointF(key.left() + 9, key.center().y()), 9, palette::kMint, 140);
        p.restore();
        drawLabel(p, key.adjusted(14, 0, 0, 0).translated(pressed ? 0.5 : 0, pressed ? 0.5 : 0),
                  "AUTOMIX NOW !", 8, pressed ? palette::kMint.lighter(120) : QColor(226, 232, 240),
                  Qt::AlignCenter, 0);
    } else {
        drawLabel(p, mix, "AUTOMIX", 8, QColor(62, 66, 74), Qt::AlignCenter, 2);
    }
}

// The page icons of the left column.
void drawPageIcon(QPainter& p, int page, const QRectF& box, QColor ink) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(ink, 1.6);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF c = box.center();
    switch (page) {
    case kPageFiles: { // a folder
        QPainterPath f;
        f.moveTo(c + QPointF(-7, -4));
        f.lineTo(c + QPointF(-2.5, -4));
        f.lineTo(c + QPointF(-1, -2.5));
        f.lineTo(c + QPointF(7, -2.5));
        f.lineTo(c + QPointF(7, 5));
        f.lineTo(c + QPointF(-7, 5));
        f.closeSubpath();
        p.drawPath(f);
        p.drawLine(c + QPointF(-7, -0.5), c + QPointF(7, -0.5));
        break;
    }
    case kPageSearch: // a magnifier
        p.drawEllipse(c + QPointF(-1.5, -1.5), 4.5, 4.5);
        p.setPen(QPen(ink, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(2, 2), c + QPointF(6, 6));
        break;
    case kPagePlaylist: // lines with a note
        for (int i = 0; i < 3; ++i)
            p.drawLine(c + QPointF(-7, -4.5 + i * 4), c + QPointF(i == 2 ? -1 : 2, -4.5 + i * 4));
        p.drawLine(c + QPointF(5, -5), c + QPointF(5, 3.5));
        p.drawLine(c + QPointF(5, -5), c + QPointF(7.5, -3.5));
        p.setBrush(ink);
        p.drawEllipse(c + QPointF(3.3, 4), 2, 1.6);
        break;
    case kPageRecord: // a recording dot in a ring
        p.drawEllipse(c, 6.5, 6.5);
        p.setPen(Qt::NoPen);
        p.setBrush(ink == palette::kLabel ? QColor(210, 60, 60) : palette::kRed.lighter(120));
        p.drawEllipse(c, 3.6, 3.6);
        break;
    case kPageHistory: // a clock with a turning arrow
        p.drawArc(QRectF(c.x() - 6.5, c.y() - 6.5, 13, 13), 100 * 16, 300 * 16);
        p.drawLine(c, c + QPointF(0, -3.8));
        p.drawLine(c, c + QPointF(3, 1.5));
        p.drawLine(c + QPointF(-1.5, -8), c + QPointF(-1.1, -6.4));
        break;
    case kPageOptions: { // a gear
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        QPainterPath gear;
        for (int i = 0; i < 16; ++i) {
            const double a0 = i * M_PI / 8, a1 = (i + 1) * M_PI / 8;
            const double r = i % 2 == 0 ? 7 : 5.2;
            const QPointF p0 = c + QPointF(std::sin(a0), -std::cos(a0)) * r;
            const QPointF p1 = c + QPointF(std::sin(a1), -std::cos(a1)) * r;
            if (i == 0)
                gear.moveTo(p0);
            else
                gear.lineTo(p0);
            gear.lineTo(p1);
        }
        gear.closeSubpath();
        gear.addEllipse(c, 2.4, 2.4);
        gear.setFillRule(Qt::OddEvenFill);
        p.drawPath(gear);
        break;
    }
    }
    p.restore();
}

void drawPageColumn(QPainter& p, const DeskState& s) {
    const QRectF first = displayRect(control::kMenuFiles);
    const QRectF last = displayRect(control::kMenuConfig);
    drawRecess(p,
               QRectF(first.left() - 2, first.top() - 2, first.width() + 4,
                      last.bottom() - first.top() + 4),
               4, QColor(18, 19, 23));
    for (int page = 0; page < 6; ++page) {
        const int k = control::kMenuFiles + page;
        if (!shown(s, k))
            continue;
        const bool pressed = down(s, k);
        const QRectF r = displayRect(k).adjusted(1.5, 1.5, -1.5, -1.5);
        drawKey(p, r, pressed, 3);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        // A small LED at the key's left edge shows the current page.
        p.setBrush(pressed ? palette::kMint : palette::kMint.darker(500));
        p.drawRoundedRect(QRectF(r.left() + 2.5, r.top() + 6, 2, r.height() - 12), 1, 1);
        if (pressed)
            drawGlow(p, r.center(), r.width() * 0.55, palette::kMint, 50);
        p.restore();
        const QRectF box = r.adjusted(3, 0, 0, 0).translated(pressed ? 0.6 : 0, pressed ? 0.6 : 0);
        drawPageIcon(p, page, box, pressed ? palette::kMint.lighter(125) : palette::kLabel);
    }
    // A small engraved mark under the column.
    drawLabel(p, QRectF(first.left() - 4, last.bottom() + 6, first.width() + 8, 12), "ZV", 9,
              QColor(96, 102, 114), Qt::AlignCenter, 1.5);
}

void drawPageArea(QPainter& p) {
    const QRectF r = displayRect(control::kFilesWindow);
    p.fillRect(r.adjusted(-3, -3, 3, 3), QColor(8, 8, 10));
    p.fillRect(QRectF(r.left() - 3, r.bottom() + 2, r.width() + 6, 1), QColor(255, 255, 255, 30));
    p.fillRect(r.adjusted(-1, -1, 1, 1), QColor(34, 37, 42));
    p.fillRect(r, QColor(10, 11, 13));
}

} // namespace

DeskState backgroundState() {
    DeskState s;
    s.sliderMode = kSliderModePitch;
    s.face.fill(Face::Up);
    s.face[control::kPause1] = s.face[control::kPause1 + 1] = Face::Hidden;
    s.face[control::kMix] = Face::Hidden;
    return s;
}

DeskState alternateState() {
    DeskState s = backgroundState();
    s.sliderMode = kSliderModeLevel;
    for (int deck = 0; deck < 2; ++deck)
        for (int k :
             {control::kGo1, control::kPlay1, control::kStop1, control::kMem1, control::kPlatine1})
            s.face[control::forDeck(k, deck)] = Face::Down;
    // The automatic-mix key's down image lies at its place moved down too.
    s.face[control::kMix] = Face::Down;
    return s;
}

QImage paintDesk(const DeskState& s) {
    QImage image(kDeskWidth, kDeskHeight, QImage::Format_RGB32);
    QPainter p(&image);
    drawPanel(p, image.rect(), 0x5eed2026u);
    drawTopBar(p, s);
    drawRhythmBay(p);
    drawDeck(p, s, 0);
    drawDeck(p, s, 1);
    drawCentre(p, s);
    drawPageColumn(p, s);
    drawPageArea(p);
    // A dark outline round the whole window.
    p.setPen(QColor(6, 6, 8));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0, 0, kDeskWidth - 1, kDeskHeight - 1));
    return image;
}

QImage drawVerticalKnob(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), QColor(8, 8, 10));
    QLinearGradient body(0, 0, 0, h);
    body.setColorAt(0.0, QColor(214, 218, 226));
    body.setColorAt(0.45, QColor(150, 155, 166));
    body.setColorAt(0.55, QColor(104, 108, 118));
    body.setColorAt(1.0, QColor(58, 61, 68));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(0.8, 0.8, w - 1.6, h - 1.6), 2.5, 2.5);
    // Grip ridges above and below the centre line.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y : {3, 5, h - 6, h - 4}) {
        p.fillRect(QRect(3, y, w - 6, 1), QColor(0, 0, 0, 60));
        p.fillRect(QRect(3, y + 1, w - 6, 1), QColor(255, 255, 255, 50));
    }
    // The centre line marks the value; the knob's centre row is h / 2.
    p.fillRect(QRect(1, h / 2 - 1, w - 2, 1), QColor(20, 20, 24));
    p.fillRect(QRect(1, h / 2, w - 2, 1), QColor(255, 255, 255));
    return image;
}

QImage drawCrossfaderKnob(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), QColor(8, 8, 10));
    QLinearGradient body(0, 0, w, 0);
    body.setColorAt(0.0, QColor(70, 74, 82));
    body.setColorAt(0.3, QColor(196, 200, 210));
    body.setColorAt(0.7, QColor(150, 154, 164));
    body.setColorAt(1.0, QColor(54, 57, 64));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(0.8, 0.8, w - 1.6, h - 1.6), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y = 5; y < h - 5; y += 3) {
        if (std::abs(y - h / 2) < 4)
            continue;
        p.fillRect(QRect(4, y, w - 8, 1), QColor(0, 0, 0, 55));
    }
    p.fillRect(QRect(w / 2 - 1, 2, 1, h - 4), QColor(20, 20, 24));
    p.fillRect(QRect(w / 2, 2, 1, h - 4), QColor(255, 255, 255));
    return image;
}

QImage drawStamp(int k, Face face) {
    const ControlEntry& e = table()[k];
    if (k == control::kHorizontalFader)
        return drawCrossfaderKnob(e.width, e.height);
    if (k == control::kVerticalFader1 || k == control::kVerticalFader2)
        return drawVerticalKnob(e.width, e.height);
    // Draw the control alone over the panel: every other control at the same place
    // is hidden, and the rest of the scene stays as the background has it.
    DeskState s = backgroundState();
    const QRect place(e.x, e.y, e.width, e.height);
    for (int other = 1; other < kControlCount; ++other) {
        const ControlEntry& o = table()[other];
        if (other != k && o.placed() && o.group != kGroupNever &&
            QRect(o.x, o.y, o.width, o.height) == place)
            s.face[other] = Face::Hidden;
    }
    s.face[k] = face;
    return paintDesk(s).copy(place);
}

std::vector<AlternateImage> alternateImages(const ControlTable& t) {
    std::vector<AlternateImage> images;
    for (int k = 1; k < kControlCount; ++k) {
        const ControlEntry& e = t[k];
        if (!e.placed())
            continue;
        for (bool isDown : {false, true}) {
            const int cx = isDown ? e.downX : e.upX, cy = isDown ? e.downY : e.upY;
            if (cy < kDeskHeight || cy >= kBuiltinSkinHeight)
                continue;
            if (isDown && e.downX == e.upX && e.downY == e.upY)
                continue; // one image serving both states
            const bool fromScene = cx == e.x && cy == e.y + kAlternateShift;
            images.push_back({k, isDown, fromScene, QRect(cx, cy, e.width, e.height)});
        }
    }
    return images;
}

QImage drawSkin() {
    QImage skin(kDeskWidth, kBuiltinSkinHeight, QImage::Format_RGB32);
    skin.fill(QColor(20, 21, 24));
    const QImage background = paintDesk(backgroundState());
    const QImage alternate = paintDesk(alternateState());
    QPainter p(&skin);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, background);
    for (const AlternateImage& a : alternateImages(table())) {
        if (a.fromScene) {
            p.drawImage(a.target.topLeft(),
                        alternate.copy(a.target.translated(0, -kAlternateShift)));
        } else {
            p.drawImage(a.target.topLeft(), drawStamp(a.control, a.down ? Face::Down : Face::Up));
        }
    }
    return skin;
}
