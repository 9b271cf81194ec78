#pragma once
// The deck information text: a skin's template with placeholders for the times, tempo,
// speed and loudness of a deck, expanded into pieces of text and where each is drawn.
// Kept apart from painting so that the expansion can be checked without fonts.
//
// Threading: any (pure functions).

#include <QPoint>

#include <cstdint>
#include <string>
#include <vector>

// What the text shows of a deck, read once per redraw.
struct DeckView {
    int32_t status = 157;    // 0 loaded, 153 decoder error, 156 cannot open, 157 no track
    float position = -1.0f;  // fraction of the track heard, -1 none
    int32_t duration = -1;   // whole seconds, -1 no track
    int32_t speed = 4096;    // 1/4096
    float storedBpm = 0.0f;  // the track's tempo in the database
    float runningBpm = 0.0f; // the analyser's tempo so far
    float memoryPoint = 0.0f, startPoint = 0.0f, endPoint = 0.0f;
    int32_t loudness = 0, runningLoudness = 0;
    int32_t volume = 256; // the deck's level 0..256
};

struct TextPiece {
    QPoint origin; // offset from the information area's top-left corner
    std::string text;
};

std::vector<TextPiece> expandDeckTemplate(const std::string& pattern, const DeckView& deck);
