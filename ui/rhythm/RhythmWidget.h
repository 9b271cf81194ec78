#pragma once
// The rhythm window: a child of the desk over the skin's rhythm rectangle. Its drawing
// thread renders frames of both decks' envelopes; this widget only paints the latest
// one, on the user-interface thread, and turns vertical drags into phase nudges.
//
// Threading: main thread, except the envelope source, which runs on the drawing thread.

#include "ui/rhythm/RhythmFrames.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>

class RhythmWidget : public QWidget {
    Q_OBJECT
public:
    // nudge(deck, pixels up) is called for each step of a drag: left button the
    // selected deck, right button the other one.
    using Nudge = std::function<void(bool selectedDeck, int pixelsUp)>;
    RhythmWidget(QWidget* parent, RhythmRenderer::EnvelopeSource source, Nudge nudge);
    ~RhythmWidget() override;

    // Starts the drawing thread at the frame size; false when it cannot run.
    bool start(int width, int height);
    void stop();
    void suspend() { renderer_.suspend(); }
    void resume() { renderer_.resume(); }
    // A skin's colours (RGB) for the four picture indices, and the frame size.
    void setColours(const std::array<QRgb, 4>& colours);
    void setFrameSize(int width, int height) { renderer_.setSize(width, height); }
    RhythmRenderer& renderer() { return renderer_; }
    // The last frame painted, as an image (for tests and the desk's picture).
    QImage currentImage() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    RhythmRenderer renderer_;
    Nudge nudge_;
    QVector<QRgb> colours_;
    QImage image_;          // the latest frame as an indexed image, shared with no thread
    int dragSelected_ = -1; // 1 selected deck, 0 the other, -1 no drag
    int lastY_ = 0;
};

// The colours of the palette indices a skin names (0..15): the classic 16-colour
// palette, with the first four tuned to the desk.
QRgb rhythmPaletteColour(int index);
