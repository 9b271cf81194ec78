#pragma once
// The catalogue of built-in pictures: each file name under resources/ with the painter
// that draws it.

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

struct Artwork {
    QString fileName;
    std::function<QImage()> draw;
};

std::vector<Artwork> allArtwork();

// The cursor hotspots as the text file written next to the cursors: one line per
// cursor, "FILE ID X Y".
QString cursorHotspotText();
