#pragma once
// The three display areas of each deck: the information text, the title area and the
// disc, whose hand shows the play position and whose tick shows the memory point. All
// drawn into the back buffer through the desk painter.
//
// Threading: main thread only.

#include "ui/desk/DeckText.h"

#include <QFont>
#include <QPoint>

#include <array>
#include <string>

class DeskPainter;
class QPainter;
struct Skin;

class DeckDisplay {
public:
    explicit DeckDisplay(DeskPainter& painter);

    // Fonts and pens of the current skin; discs are drawn again from scratch.
    void applySkin();
    void drawInfo(int deck, const DeckView& view, bool extended);
    void drawTitle(int deck, const std::string& author, const std::string& title);
    void drawDisc(int deck, const DeckView& view);
    // The record page's status text, centred in its area (empty: the area is cleared).
    void drawRecorderText(const std::string& text);
    // Forgets the hand and restores the disc, so the next redraw draws hand and tick.
    void redrawCueMark(int deck);

    // The interface fonts: text (options, recorder), title, author, simple, extended.
    enum FontKind { kText, kTitle, kAuthor, kSimple, kExtended, kFontCount };
    const QFont& font(FontKind kind) const { return fonts_[kind]; }

private:
    void drawRoundDisc(int deck, const DeckView& view);
    void drawBarDisc(int deck, const DeckView& view);

    DeskPainter& painter_;
    std::array<QFont, kFontCount> fonts_;
    std::array<QPoint, 2> hand_{};
    std::array<int, 2> bar_{0, 0};
};

// The font of a skin's face and size: the size is the height of a line, as the skins
// were drawn for, not the em.
QFont skinFont(const std::string& face, int lineHeight);
