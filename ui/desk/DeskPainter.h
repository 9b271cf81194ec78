#pragma once
// Drawing of the desk's controls into the back buffer: every image is a copy of a
// rectangle of the current skin's surface, and every drawn rectangle is handed to the
// invalidation callback, which repaints it on screen. Also the geometry of the three
// kinds of slider, which drawing and dragging share.
//
// Threading: main thread only.

#include "ui/skin/Skin.h"

#include <QImage>
#include <QRect>

#include <functional>

// Where a slider's knob runs: its travel starts at `start` (x of the crossfader, y of
// a vertical slider) and is `travel` pixels long; the knob is `knob` pixels across in
// the direction of travel; `range` is the value at the far end (384 or 256).
struct SliderTrack {
    int start = 0, travel = 0, knob = 0, range = 1;
    // The knob's leading edge for a slider value (integer division toward zero).
    int knobStart(int value) const { return start + travel * value / range; }
    // The pointer's offset from the knob's centre when a drag starts there.
    int grab(int pointer, int value) const {
        return (pointer - knob / 2 - start) - travel * value / range;
    }
    // The value that puts the knob's centre, less the grab, under the pointer.
    int valueAt(int pointer, int grab) const;
    bool usable() const { return travel > 0; }
};

// The crossfader (control 34 with the knob of control 35).
SliderTrack crossfaderTrack(const Skin& skin);
// A vertical slider: control 22..25 with the knob of control 36 + deck.
SliderTrack verticalTrack(const Skin& skin, int sliderIndex);
QRect crossfaderKnob(const Skin& skin, int value);
QRect verticalKnob(const Skin& skin, int sliderIndex, int value);

class DeskPainter {
public:
    using Invalidate = std::function<void(const QRect&)>;
    DeskPainter(QImage& backBuffer, Invalidate invalidate);

    void setSkin(const Skin* skin) { skin_ = skin; }
    const Skin* skin() const { return skin_; }
    QImage& backBuffer() { return buffer_; }

    // A control's up or down image at its place; erase puts the background back.
    void drawUp(int index);
    void drawDown(int index);
    void erase(int index);
    // Copies a rectangle of the skin surface to a place of the back buffer.
    void copy(QPoint source, const QRect& target);
    // The whole background, for a new skin.
    void drawBackground();
    void invalidate(const QRect& r) { invalidate_(r); }

    // Moves a knob from one value to another: the old place gets the track (or the
    // background) back, the knob image goes to the new place, both are repainted.
    void moveCrossfaderKnob(int oldValue, int newValue);
    void moveVerticalKnob(int sliderIndex, int oldValue, int newValue);
    // Draws a vertical slider's knob without erasing (the track was just drawn).
    void drawVerticalKnob(int sliderIndex, int value);

private:
    void drawImage(int index, int sx, int sy);

    QImage& buffer_;
    Invalidate invalidate_;
    const Skin* skin_ = nullptr;
};
