#pragma once
// The desk's controls under the pointer: the press and release protocol of the
// buttons, the drags of the crossfader, the pitch and level sliders and the window,
// the menu pages, the slider mode, the selected deck and the play faces. It is also
// the pitch and level control through which the decks and the automatic mix move the
// sliders on screen.
//
// Works in logical 800 x 600 coordinates; the desk widget maps the pointer.
// Threading: main thread only.

#include "audio/deck/DeckControls.h"
#include "ui/desk/DeskPainter.h"
#include "ui/desk/DeskWidget.h"

#include <array>
#include <cstdint>

class MainWindow;

class DeskInput : public DeckControls {
public:
    enum DragMode {
        kNoDrag,
        kDragCrossfader,
        kDragPitch0,
        kDragPitch1,
        kDragLevel0,
        kDragLevel1,
        kDragWindow
    };

    DeskInput(MainWindow& main, DeskPainter& painter);
    ~DeskInput() override;

    void onPointer(const DeskPointer& pointer);
    void buttonDown(bool left, QPoint at);
    void buttonUp(QPoint at);
    void move(QPoint at, bool buttonHeld);

    // DeckControls: the sliders follow every change of speed and level.
    void setPitchControl(int deck, int32_t speed) override;
    void setLevelControl(int deck, int32_t level) override;
    void setCrossfader(int32_t position);
    // The knob and the selected deck's button follow changes made anywhere.
    void drawCrossfader(int32_t oldPosition, int32_t newPosition);
    void drawSelectedDeck();

    void selectPage(int page);
    void setSliderMode(int mode);
    void selectDeck(int deck);
    // Shows the play or the pause face of a deck when its playing state changed.
    void drawPlayFace(int deck);
    void drawResetPitch(int deck, bool running);
    void drawMixButton(bool running);
    // Everything that depends on the skin, drawn again over its background, with the
    // slider mode asked for (the level sliders at start-up, the pitch sliders later).
    void applySkin(int sliderMode);

    int page() const { return page_; }
    int sliderMode() const { return sliderMode_; }
    int pressed() const { return pressed_; }
    int dragMode() const { return dragMode_; }
    int32_t pitchMin() const;
    int32_t pitchMax() const;

private:
    void press(int index);
    void release();
    void act(int index, bool left, QPoint at);
    void actOnRelease(int index);
    void startSliderDrag(int deck, bool pitch, bool left, QPoint at);
    void startCrossfaderDrag(bool left, QPoint at);
    void endDrag();
    void drawPageButtons(int page);
    void showSliders();
    void toggleFullScreen();
    const Skin& skin() const { return *painter_.skin(); }

    MainWindow& main_;
    DeskPainter& painter_;
    int pressed_ = -1;
    int dragMode_ = kNoDrag;
    int grabX_ = 0, grabY_ = 0;
    int32_t saved_ = -1;
    int sliderMode_ = 0;
    int page_ = -1;
    std::array<int32_t, 2> playSeen_{-1, -1};
};
