#pragma once
// The pieces every picture of the desk is built from: the palette, the brushed panel,
// recesses, lit round buttons, square keys, small glyphs and engraved labels. All of
// them draw with a QPainter that has antialiasing on, and none uses randomness other
// than the fixed-seed generator below, so two runs draw the same pixels.

#include <QColor>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>

namespace palette {
const QColor kPanel(44, 47, 53);     // graphite
const QColor kPanelDark(30, 32, 37); // lower half of the panel gradient
const QColor kRecess(13, 14, 17);    // bottoms of slots and bays
const QColor kGlass(6, 9, 10);       // LCD glass
const QColor kLabel(168, 176, 190);  // engraved label ink
const QColor kCyan(0, 206, 236);     // left deck
const QColor kAmber(255, 166, 20);   // right deck
const QColor kMint(70, 232, 150);    // page keys and system controls
const QColor kRed(240, 52, 52);
} // namespace palette

// Deterministic noise: a small linear congruential generator with a fixed seed.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed) {}
    // A value in 0..1.
    double next() {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) / double(1u << 24);
    }

private:
    uint32_t state_;
};

// The graphite panel with a faint brushed grain, filling rect.
void drawPanel(QPainter& p, const QRectF& rect, uint32_t seed);
// A sunken area: dark floor, shadow along the top, light along the bottom edge.
void drawRecess(QPainter& p, const QRectF& rect, double radius, QColor floor = palette::kRecess);
// LCD glass: near-black with a faint reflection across its upper part.
void drawGlass(QPainter& p, const QRectF& rect);
// Two small screws at the given points, for a finished look.
void drawScrew(QPainter& p, QPointF centre, double radius);

// A round button filling the circle inscribed in rect: metal bezel, rubber cap, an LED
// ring in the accent colour (lit when lit is set) and a glyph drawn by the caller's
// function. Pressed buttons are darker and their glyph moves one pixel down and right.
// The outer bezel (the outer ringWidth pixels) is the same in every state, so images
// of a pressed and a released button agree along their rim.
enum class Glyph { None, Play, Pause, Stop, Cue, Magic, One, Two, Dot };
void drawRoundButton(QPainter& p, const QRectF& rect, QColor accent, Glyph glyph, bool pressed,
                     bool lit);
// A rounded rectangular key with a caller-drawn face.
void drawKey(QPainter& p, const QRectF& rect, bool pressed, double radius = 3);

// A glyph centred in box, in colour ink.
void drawGlyph(QPainter& p, Glyph glyph, const QRectF& box, QColor ink);

// Engraved text: DejaVu Sans Bold at pixelSize, with a dark shadow one pixel below.
void drawLabel(QPainter& p, const QRectF& box, const QString& text, int pixelSize,
               QColor ink = palette::kLabel, int flags = Qt::AlignCenter, double spacing = 0.6);
// A colour's glow: a radial gradient of the colour fading to transparent.
void drawGlow(QPainter& p, QPointF centre, double radius, QColor colour, int alpha);
