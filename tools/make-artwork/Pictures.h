#pragma once
// The pictures around the skin: the button strip, the tooltip balloon, the list icons,
// the cursors, the sound-configuration pictures, the start screen and the icon.

#include <QImage>
#include <QPoint>
#include <QString>

#include <vector>

// 672 x 48: the page buttons' up images in the top row, down images in the bottom row.
QImage drawStrip();

// 29 x 30, hard edges; the colour at 0, 0 marks transparent pixels and no drawn pixel
// shares it, even when only the low 12 bits of a 16-bit pixel are compared.
constexpr QRgb kBalloonKey = 0xffff00ffu;
QImage drawBalloon();

// Four 16 x 16 icons side by side (64 x 16, with alpha): used before, never used, in
// this run's history, playlist file.
QImage drawListIcons();

// A 32 x 32 cursor picture with its hotspot.
struct Cursor {
    QString fileName;
    int id; // the program's cursor number
    QPoint hotspot;
    QImage image;
};
std::vector<Cursor> drawCursors();

// The sound-configuration pictures: three 87 x 90 card layouts (one card, a card
// marked "3D", two cards) and three 105 x 90 listening layouts (loudspeaker,
// loudspeaker and headphones, DJ mixer).
QImage drawCardLayout(int layout);
QImage drawListeningLayout(int layout);

QImage drawStartScreen();
QImage drawIcon(int size);
