#pragma once
// The desk scene and the built-in skin bitmap made from it. Every place comes from the
// built-in control table, so the pictures land exactly where the program copies them.
//
// The skin is 800 x 830: rows 0-599 are the desk in pitch mode with nothing pressed and
// no knobs; rows 600-829 hold the images the table points to there. Images whose corner
// is their display place moved 480 rows down are cut from the alternate scene (level
// mode, every deck button pressed); the others are stamps, each drawn over the panel
// under its display place.

#include "ui/skin/ControlTable.h"

#include <QImage>

#include <array>
#include <vector>

// How a control shows in a scene.
enum class Face { Hidden, Up, Down };

struct DeskState {
    int sliderMode = kSliderModePitch; // kSliderModePitch or kSliderModeLevel
    std::array<Face, kControlCount> face{};
};

// Pitch mode, nothing pressed, no knobs: the background of the skin.
DeskState backgroundState();
// Level mode with every deck button pressed: the source of the "+480" images.
DeskState alternateState();

// Rows the alternate images are moved down by.
constexpr int kAlternateShift = 480;

// The whole 800 x 600 desk in the given state (RGB32).
QImage paintDesk(const DeskState& state);

// The knob pictures: full opaque rectangles of the sizes of the table's knob entries.
QImage drawVerticalKnob(int width, int height);
QImage drawCrossfaderKnob(int width, int height);

// The image of control k in the given face that does not come from a scene cut: drawn
// over the background under the control's display rectangle (knob entries: the knob).
QImage drawStamp(int control, Face face);

// What belongs at one image corner of the skin below row 599, and where it comes from.
struct AlternateImage {
    int control;
    bool down;      // the down corner (else the up corner)
    bool fromScene; // cut from the alternate scene (else a stamp)
    QRect target;   // rectangle in the skin bitmap
};
std::vector<AlternateImage> alternateImages(const ControlTable& table);

// The built-in skin bitmap, 800 x kBuiltinSkinHeight.
QImage drawSkin();
