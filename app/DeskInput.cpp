#include "app/DeskInput.h"

#include "app/MainWindow.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "core/Settings.h"

#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kNormalSpeed = 4096;
constexpr int32_t kFullLevel = 256;

bool isPlaying(int deck) {
    const Deck* d = deckAt(deck);
    return d && d->playing.load(std::memory_order_relaxed) != 0;
}

// The place on a disc control as a fraction of the track: clockwise from the top of a
// round disc, left to right along a straight bar. Negative when the point says nothing.
float discFraction(const ControlEntry& disc, QPoint at) {
    if (disc.hitRadius < 0) {
        const int width = disc.hitX2 - disc.hitX1;
        return width > 0 ? float(at.x() - disc.hitX1) / float(width) : -1.0f;
    }
    const int cx = disc.hitX1, cy = disc.hitY1;
    if (at.x() == cx && at.y() == cy)
        return -1.0f;
    return float((std::atan2(double(cx - at.x()), double(at.y() - cy)) / M_PI + 1.0) / 2.0);
}

} // namespace

DeskInput::DeskInput(MainWindow& main, DeskPainter& painter) : main_(main), painter_(painter) {
    setDeckControls(this);
}

DeskInput::~DeskInput() {
    setDeckControls(nullptr);
}

int32_t DeskInput::pitchMin() const {
    return settings().pitchMin();
}
int32_t DeskInput::pitchMax() const {
    return settings().pitchMax();
}

void DeskInput::onPointer(const DeskPointer& p) {
    switch (p.kind) {
    case DeskPointer::Press:
        if (p.button == Qt::LeftButton || p.button == Qt::RightButton)
            buttonDown(p.button == Qt::LeftButton, p.pos);
        break;
    case DeskPointer::Release:
        if (p.button == Qt::LeftButton || p.button == Qt::RightButton)
            buttonUp(p.pos);
        break;
    case DeskPointer::Move:
        move(p.pos, p.buttons != Qt::NoButton);
        break;
    }
}

void DeskInput::press(int index) {
    if (pressed_ >= 0 && pressed_ != index)
        release();
    pressed_ = index;
    painter_.drawDown(index);
}

void DeskInput::release() {
    if (pressed_ < 0)
        return;
    const int index = pressed_;
    pressed_ = -1;
    painter_.drawUp(index);
}

void DeskInput::buttonDown(bool left, QPoint at) {
    main_.hoverControl(-1, {});
    if (!painter_.skin())
        return;
    const int k = hitTest(skin().table, at.x(), at.y(), page_, sliderMode_);
    if (k >= 0)
        act(k, left, at);
}

void DeskInput::act(int k, bool left, QPoint at) {
    using namespace control;
    const int d = k & 1;
    Deck* deck = deckAt(d);
    if (k == kClose || k == kMinimize || k == kMaximize || (k >= 57 && k <= 59) ||
        (k >= 61 && k <= 64) || (k >= 66 && k <= 68)) {
        press(k);
    } else if (k == kGo1 || k == kGo1 + 1) {
        main_.magicSync(d);
        press(k);
    } else if (k >= kPlay1 && k <= kPause1 + 1) {
        if (main_.mixTimer)
            main_.stopMix();
        if (deck) {
            if (isPlaying(d))
                deck->pause();
            else
                deck->play();
        }
        press(k);
    } else if (k == kStop1 || k == kStop1 + 1) {
        if (main_.mixTimer)
            main_.stopMix();
        if (deck) {
            if (skin().cueStop && !isPlaying(d)) {
                deck->setMemory();
                main_.redrawCueMark(d);
            } else {
                deck->stop();
            }
        }
        press(k);
    } else if (k == kMem1 || k == kMem1 + 1) {
        if (deck) {
            if (skin().cueStop && isPlaying(d)) {
                deck->stop();
            } else {
                deck->setMemory();
                main_.redrawCueMark(d);
            }
        }
        press(k);
    } else if (k == kPlatine1 || k == kPlatine1 + 1) {
        selectDeck(d);
    } else if (k == kInfos1 || k == kInfos1 + 1) {
        main_.informationForm = !main_.informationForm;
    } else if (k == kDisc1 || k == kDisc1 + 1) {
        if (main_.mixTimer)
            main_.stopMix();
        const float fraction = discFraction(skin()[k], at);
        if (deck && fraction >= 0.0f)
            deck->playFrom(fraction);
    } else if (k == kPitch1 || k == kPitch1 + 1) {
        startSliderDrag(d, true, left, at);
    } else if (k == kLevel1 || k == kLevel1 + 1) {
        startSliderDrag(d, false, left, at);
    } else if (k == kResetPitch1 || k == kResetPitch1 + 1) {
        if (!main_.pitchResetTimer[d]) {
            main_.startPitchReset(d);
        } else {
            main_.stopPitchReset(d);
            setPitchControl(d, kNormalSpeed);
        }
    } else if (k == kMenuLevel1 || k == kMenuLevel1 + 1) {
        setSliderMode(kSliderModeLevel);
    } else if (k == kMenuPitch1 || k == kMenuPitch1 + 1) {
        setSliderMode(kSliderModePitch);
    } else if (k == kCrossfader) {
        if (main_.mixTimer)
            main_.stopMix();
        startCrossfaderDrag(left, at);
    } else if (k == kSyncPitch1 || k == kSyncPitch1 + 1) {
        main_.syncPitch(d);
        press(k);
    } else if (k == kSyncLevel1 || k == kSyncLevel1 + 1) {
        if (deck)
            deck->syncLevel();
        press(k);
    } else if (k == kSyncBeat1 || k == kSyncBeat1 + 1) {
        main_.syncBeat(d);
        press(k);
    } else if (k >= kMenuFiles && k <= kMenuConfig) {
        selectPage(k - kMenuFiles);
    } else if (k == kMix) {
        main_.mixNow();
    } else if (k == kAutoMixButton) {
        const bool on = !autoMixOn().load(std::memory_order_relaxed);
        main_.setAutoMix(on);
        if (on)
            painter_.drawDown(k);
        else
            painter_.drawUp(k);
    } else if (k == kRecordButton) {
        const bool recording = main_.toggleRecording();
        if (recording)
            painter_.drawDown(k);
        else
            painter_.drawUp(k);
    } else if (k >= kFirstOption && k <= kLastOption) {
        main_.optionClicked(k);
    } else if (k == kWindowDrag) {
        // The system moves the window where it can (Wayland allows nothing else);
        // elsewhere the desk follows the pointer itself.
        QWidget* window = main_.window();
        if (window && !window->isFullScreen() && window->windowHandle() &&
            window->windowHandle()->startSystemMove())
            return;
        dragMode_ = kDragWindow;
        grabX_ = at.x();
        grabY_ = at.y();
    }
}

void DeskInput::startSliderDrag(int d, bool pitch, bool left, QPoint at) {
    const int index = (pitch ? control::kPitch1 : control::kLevel1) + d;
    const SliderTrack track = verticalTrack(skin(), index);
    if (!track.usable())
        return;
    const int value = pitch ? main_.pitchSlider[d] : main_.levelSlider[d];
    dragMode_ = (pitch ? kDragPitch0 : kDragLevel0) + d;
    grabY_ = track.grab(at.y(), value);
    if (!left) {
        const Deck* deck = deckAt(d);
        saved_ = pitch ? (deck ? deck->speed.load(std::memory_order_relaxed) : kNormalSpeed)
                       : main_.deckLevels[d];
    }
    // A click beside the knob brings the knob's centre under the pointer at once.
    if (std::abs(2 * grabY_) >= track.knob) {
        grabY_ = 0;
        move(at, true);
    }
}

void DeskInput::startCrossfaderDrag(bool left, QPoint at) {
    const SliderTrack track = crossfaderTrack(skin());
    if (!track.usable())
        return;
    dragMode_ = kDragCrossfader;
    grabX_ = track.grab(at.x(), main_.crossfader);
    if (!left)
        saved_ = main_.crossfader;
    if (std::abs(2 * grabX_) >= track.knob) {
        grabX_ = 0;
        move(at, true);
    }
}

void DeskInput::move(QPoint at, bool buttonHeld) {
    switch (dragMode_) {
    case kDragCrossfader: {
        const int value = crossfaderTrack(skin()).valueAt(at.x(), grabX_);
        if (value != main_.crossfader)
            setCrossfader(value);
        return;
    }
    case kDragPitch0:
    case kDragPitch1: {
        const int d = dragMode_ - kDragPitch0;
        if (main_.pitchResetTimer[d])
            main_.stopPitchReset(d);
        const int value = verticalTrack(skin(), control::kPitch1 + d).valueAt(at.y(), grabY_);
        if (value != main_.pitchSlider[d])
            setPitchControl(d, pitchMin() + (pitchMax() - pitchMin()) * value / 256);
        return;
    }
    case kDragLevel0:
    case kDragLevel1: {
        const int d = dragMode_ - kDragLevel0;
        const int value = verticalTrack(skin(), control::kLevel1 + d).valueAt(at.y(), grabY_);
        if (value != main_.levelSlider[d])
            setLevelControl(d, kFullLevel - value);
        return;
    }
    case kDragWindow: {
        QWidget* window = main_.window();
        if (!window || settings().maximized.load(std::memory_order_relaxed) ||
            window->isFullScreen()) {
            dragMode_ = kNoDrag;
            return;
        }
        // The grab point stays under the pointer.
        window->move(window->pos() + QPoint(at.x() - grabX_, at.y() - grabY_));
        return;
    }
    default:
        break;
    }
    if (!buttonHeld)
        main_.hoverControl(hitTest(skin().table, at.x(), at.y(), page_, sliderMode_), at);
}

void DeskInput::endDrag() {
    if (saved_ != -1) {
        // A right-button drag returns to where it started.
        switch (dragMode_) {
        case kDragCrossfader:
            setCrossfader(saved_);
            break;
        case kDragPitch0:
        case kDragPitch1:
            setPitchControl(dragMode_ - kDragPitch0, saved_);
            break;
        case kDragLevel0:
        case kDragLevel1:
            setLevelControl(dragMode_ - kDragLevel0, saved_);
            break;
        default:
            break;
        }
    }
    dragMode_ = kNoDrag;
    saved_ = -1;
}

void DeskInput::buttonUp(QPoint) {
    main_.hoverControl(-1, {});
    if (dragMode_ != kNoDrag)
        endDrag();
    if (pressed_ < 0)
        return;
    // The action follows the pressed control, wherever the pointer is released.
    const int index = pressed_;
    release();
    actOnRelease(index);
}

void DeskInput::actOnRelease(int index) {
    QWidget* window = main_.window();
    switch (index) {
    case control::kClose:
        if (window)
            window->close();
        break;
    case control::kMinimize:
        if (window)
            window->showMinimized();
        break;
    case control::kMaximize:
        toggleFullScreen();
        break;
    default:
        main_.pageButtonReleased(index, page_);
        break;
    }
}

void DeskInput::toggleFullScreen() {
    const bool on = !settings().maximized.load(std::memory_order_relaxed);
    settings().maximized.store(on ? 1 : 0, std::memory_order_relaxed);
    QWidget* window = main_.window();
    if (on) {
        if (window)
            window->move(0, 0);
        main_.switchToFullScreen();
    } else {
        main_.restoreDisplayMode();
        if (window)
            window->resize(kDeskWidth, kDeskHeight);
    }
}

void DeskInput::setCrossfader(int32_t position) {
    main_.setCrossfader(position);
}

void DeskInput::drawCrossfader(int32_t old, int32_t now) {
    if (painter_.skin() && crossfaderTrack(skin()).usable())
        painter_.moveCrossfaderKnob(old, now);
}

void DeskInput::setPitchControl(int d, int32_t speed) {
    const int32_t lo = pitchMin(), hi = pitchMax();
    speed = std::clamp(speed, lo, hi);
    if (Deck* deck = deckAt(d))
        deck->setSpeed(speed);
    const int32_t old = main_.pitchSlider[d];
    main_.pitchSlider[d] = (speed - lo) * 256 / (hi - lo);
    if (sliderMode_ != kSliderModeLevel && painter_.skin() &&
        verticalTrack(skin(), control::kPitch1 + d).usable())
        painter_.moveVerticalKnob(control::kPitch1 + d, old, main_.pitchSlider[d]);
}

void DeskInput::setLevelControl(int d, int32_t level) {
    level = std::clamp(level, 0, kFullLevel);
    if (Deck* deck = deckAt(d))
        deck->setVolume(level);
    const int32_t old = main_.levelSlider[d];
    main_.levelSlider[d] = kFullLevel - level;
    main_.deckLevels[d] = level;
    if (sliderMode_ != kSliderModePitch && painter_.skin() &&
        verticalTrack(skin(), control::kLevel1 + d).usable())
        painter_.moveVerticalKnob(control::kLevel1 + d, old, main_.levelSlider[d]);
}

void DeskInput::setSliderMode(int mode) {
    if (sliderMode_ == kSliderModeBoth || mode == sliderMode_ || !painter_.skin())
        return;
    using namespace control;
    for (int d = 0; d < 2; ++d) {
        if (sliderMode_ == kSliderModePitch) {
            painter_.erase(kResetPitch1 + d);
            painter_.erase(kPitch1 + d);
            painter_.drawUp(kMenuLevel1 + d);
        } else {
            painter_.erase(kLevel1 + d);
            painter_.drawUp(kMenuPitch1 + d);
        }
    }
    sliderMode_ = mode;
    showSliders();
}

void DeskInput::showSliders() {
    using namespace control;
    for (int d = 0; d < 2; ++d) {
        if (sliderMode_ != kSliderModeLevel) {
            painter_.drawDown(kPitch1 + d);
            if (sliderMode_ == kSliderModePitch)
                painter_.drawDown(kMenuLevel1 + d);
            drawResetPitch(d, main_.pitchResetTimer[d]);
            if (verticalTrack(skin(), kPitch1 + d).usable())
                painter_.drawVerticalKnob(kPitch1 + d, main_.pitchSlider[d]);
        }
        if (sliderMode_ != kSliderModePitch) {
            painter_.drawDown(kLevel1 + d);
            if (sliderMode_ == kSliderModeLevel)
                painter_.drawDown(kMenuPitch1 + d);
            if (verticalTrack(skin(), kLevel1 + d).usable())
                painter_.drawVerticalKnob(kLevel1 + d, main_.levelSlider[d]);
        }
    }
}

void DeskInput::drawResetPitch(int d, bool running) {
    if (!painter_.skin() || sliderMode_ == kSliderModeLevel)
        return;
    if (running)
        painter_.drawDown(control::kResetPitch1 + d);
    else
        painter_.drawUp(control::kResetPitch1 + d);
}

void DeskInput::drawMixButton(bool running) {
    if (!painter_.skin() || (page_ != kPagePlaylist && !skin().mixNowAlwaysVisible))
        return;
    if (running)
        painter_.drawDown(control::kMix);
    else
        painter_.drawUp(control::kMix);
}

void DeskInput::selectDeck(int d) {
    main_.selectDeck(d);
}

void DeskInput::drawSelectedDeck() {
    if (!painter_.skin())
        return;
    painter_.drawDown(control::kPlatine1 + main_.selectedDeck());
    painter_.drawUp(control::kPlatine1 + 1 - main_.selectedDeck());
}

void DeskInput::drawPlayFace(int d) {
    if (!painter_.skin() || !skin().playPause)
        return;
    const int32_t playing = isPlaying(d) ? 1 : 0;
    if (playing == playSeen_[d])
        return;
    playSeen_[d] = playing;
    release();
    painter_.drawUp((playing ? control::kPause1 : control::kPlay1) + d);
}

void DeskInput::drawPageButtons(int page) {
    switch (page) {
    case kPageFiles:
        for (int k : {57, 58, 59})
            painter_.drawUp(k);
        break;
    case kPageSearch:
        for (int k : {61, 62, 63, 64})
            painter_.drawUp(k);
        break;
    case kPagePlaylist:
        for (int k : {57, 58, 59})
            painter_.drawUp(k);
        if (autoMixOn().load(std::memory_order_relaxed))
            painter_.drawDown(control::kAutoMixButton);
        else
            painter_.drawUp(control::kAutoMixButton);
        for (int k : {66, 67, 68})
            painter_.drawUp(k);
        break;
    case kPageHistory:
        painter_.drawUp(68);
        break;
    case kPageRecord:
        if (main_.recording())
            painter_.drawDown(control::kRecordButton);
        else
            painter_.drawUp(control::kRecordButton);
        break;
    default:
        break;
    }
}

void DeskInput::selectPage(int page) {
    if (!painter_.skin())
        return;
    const bool mixAlways = skin().mixNowAlwaysVisible;
    if (page_ >= 0) {
        painter_.drawUp(control::kMenuFiles + page_);
        main_.pageHidden(page_);
    }
    painter_.drawUp(control::kFilesWindow);
    if (page_ == kPagePlaylist && !mixAlways)
        painter_.erase(control::kMix);
    page_ = page;
    if (page == kPagePlaylist || mixAlways)
        drawMixButton(main_.mixTimer);
    drawPageButtons(page);
    main_.pageShown(page);
    painter_.drawDown(control::kMenuFiles + page);
}

void DeskInput::applySkin(int sliderMode) {
    painter_.drawBackground();
    const int page = page_ < 0 ? kPageFiles : page_;
    page_ = -1;
    selectPage(page);
    drawSelectedDeck();
    // A skin without separate pitch and level controls shows both sets at once.
    sliderMode_ = skin().pitchLevel ? sliderMode : kSliderModeBoth;
    showSliders();
    for (int d = 0; d < 2; ++d) {
        playSeen_[d] = -1;
        drawPlayFace(d);
    }
    drawCrossfader(main_.crossfader, main_.crossfader);
}
