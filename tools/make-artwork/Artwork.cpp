#include "tools/make-artwork/Artwork.h"

#include "tools/make-artwork/Desk.h"
#include "tools/make-artwork/Pictures.h"

std::vector<Artwork> allArtwork() {
    std::vector<Artwork> all = {
        {"skin.png", drawSkin},
        {"strip.png", drawStrip},
        {"balloon.png", drawBalloon},
        {"list-icons.png", drawListIcons},
        {"sound-card-one.png", [] { return drawCardLayout(0); }},
        {"sound-card-four.png", [] { return drawCardLayout(1); }},
        {"sound-card-two.png", [] { return drawCardLayout(2); }},
        {"sound-listen-speakers.png", [] { return drawListeningLayout(0); }},
        {"sound-listen-headphones.png", [] { return drawListeningLayout(1); }},
        {"sound-listen-mixer.png", [] { return drawListeningLayout(2); }},
        {"start-screen.png", drawStartScreen},
        {"icon.png", [] { return drawIcon(256); }},
        {"icon-128.png", [] { return drawIcon(128); }},
        {"icon-48.png", [] { return drawIcon(48); }},
        {"icon-32.png", [] { return drawIcon(32); }},
        {"icon-16.png", [] { return drawIcon(16); }},
    };
    const std::vector<Cursor> cursors = drawCursors();
    for (size_t i = 0; i < cursors.size(); ++i) {
        all.push_back({cursors[i].fileName, [i] {
                           // The hotspot travels with the picture as two text keys.
                           Cursor c = drawCursors()[i];
                           c.image.setText("HotspotX", QString::number(c.hotspot.x()));
                           c.image.setText("HotspotY", QString::number(c.hotspot.y()));
                           return c.image;
                       }});
    }
    return all;
}

QString cursorHotspotText() {
    QString text = "# Cursor pictures (32 x 32, with alpha): file, cursor number, hotspot x, y.\n";
    for (const Cursor& c : drawCursors())
        text += QString("%1 %2 %3 %4\n")
                    .arg(c.fileName)
                    .arg(c.id)
                    .arg(c.hotspot.x())
                    .arg(c.hotspot.y());
    return text;
}
