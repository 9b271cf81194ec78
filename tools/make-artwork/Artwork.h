#pragma once
// The catalogue of built-in pictures and the painters that draw them.

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

struct Artwork {
    QString fileName;
    std::function<QImage()> draw;
};

std::vector<Artwork> allArtwork();

// Shared drawing pieces.
void drawVinyl(class QPainter& painter, QPointF centre, double radius, QColor label);
QImage drawStartScreen();
QImage drawIcon(int size);
