#pragma once
// A skin: the bitmap everything on the desk is copied from, the control table that
// says where, and the fonts, colours, flags and deck-text templates that go with it.
// The built-in skin comes from the program's resources; other skins are a pair of
// files NAME.ini and NAME.bmp (or .png) in the home folder.
//
// Threading: built and read on the main thread. The rhythm window's thread never
// touches a skin; what it needs is published to it when a skin is applied.

#include "ui/skin/ControlTable.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

// A colour as the skin files give it: blue * 65536 + green * 256 + red.
using ColorRef = uint32_t;
constexpr ColorRef colorRef(int red, int green, int blue) {
    return uint32_t(blue & 255) << 16 | uint32_t(green & 255) << 8 | uint32_t(red & 255);
}
inline QColor toQColor(ColorRef c) {
    return QColor(c & 255, (c >> 8) & 255, (c >> 16) & 255);
}

struct Skin {
    QImage surface; // RGB32: the bitmap at the top left, the button strip below it
    ControlTable table{};
    bool playPause = true;
    bool cueStop = false;
    bool pitchLevel = true;
    bool mixNowAlwaysVisible = false;
    std::string fontName = "Verdana";
    ColorRef fontColor = colorRef(255, 255, 255);
    ColorRef fontBackColor = colorRef(0, 0, 0);
    ColorRef fontColorTitle = colorRef(0, 255, 0);
    ColorRef fontColorAuthor = colorRef(0, 128, 0);
    ColorRef fontColorSimpleInfos = colorRef(255, 255, 0);
    ColorRef fontColorExtendedInfos = colorRef(255, 255, 0);
    ColorRef fontColorOptions = colorRef(255, 255, 0);
    ColorRef fontColorRecord = colorRef(0, 255, 0);
    ColorRef cueColor = colorRef(128, 128, 128);
    int32_t fontSizeTitle = 14;
    int32_t fontSizeSimpleInfos = 14;
    int32_t fontSizeExtendedInfos = 12;
    int32_t fontSizeAuthor = 14;
    int32_t fontSizeText = 14;
    int32_t rhythmBackColor = 0;
    int32_t rhythmColor1 = 1;
    int32_t rhythmColor2 = 2;
    int32_t rhythmColor3 = 3;
    std::string simpleInfos = "%29Left: %left\n\nBPM: %Pbpm";
    std::string extendedInfos = "Spent: %spent\nLeft: %left\nTo CUE: %cue\nTo End: %end\n"
                                "%58BPM: %bpm\n(local: %Lbpm)\nLevel: %leveldB";
    int32_t version = 0; // of a skin file; 0 = not read

    // Where the button strip starts in the surface.
    int stripTop() const { return surface.height() - kStripHeight; }
    const ControlEntry& operator[](int index) const { return table[index]; }
};

constexpr size_t kSkinFontNameMax = 127;
constexpr size_t kSkinTemplateMax = 511;
constexpr int kSkinLineMax = 511;

// Builds a skin: an empty name gives the built-in one. On failure the deferred fatal
// message is set ("Invalid skin file" unless a picture failure set its own) and the
// partly built skin is returned for the caller to drop.
std::unique_ptr<Skin> loadSkin(const QString& name, const QString& homeFolder);

// The reader of NAME.ini, exposed for tests: applies the text to a skin whose table
// was reset for a skin file. Returns false when the skin is unusable (no version of 1
// or more, or no files window).
bool readSkinText(Skin& skin, const std::string& text);
// A skin file's table before its text is read: every field -1, groups from the
// built-in table.
ControlTable emptySkinTable();
// Puts a bitmap and the button strip together into the skin's surface.
void composeSkinSurface(Skin& skin, const QImage& bitmap, const QImage& strip);
