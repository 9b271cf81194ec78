#pragma once
// The tooltip balloon: when the pointer rests half a second over a control with a
// tooltip text, a small balloon with the text appears just above and left of it. The
// window's shape is cut from the 29 x 30 balloon picture (a left end with the tail, a
// stretched body, a right end); it never takes a click or the focus.
//
// Threading: main thread only.

#include <QImage>
#include <QRegion>
#include <QString>
#include <QWidget>

class Clock;

// The opaque part of columns x0 .. x1 - 1 of a balloon picture: pixels whose lowest 12
// bits (as 16-bit colour) differ from the top-left pixel's.
QRegion balloonRegion(const QImage& picture, int x0, int x1);

class TooltipBalloon : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimerId = 168;
    static constexpr int kDelayMs = 500;

    TooltipBalloon(Clock& clock, QWidget* owner);
    ~TooltipBalloon() override;

    // The pointer is at a screen point over control k (-1 none) whose text is given.
    void pointAt(QPoint screen, int control, const QString& text);
    void hideBalloon();
    int state() const { return state_; } // 0 hidden, 1 waiting, 2 shown
    int balloonWidth() const { return width_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showBalloon();

    Clock& clock_;
    QImage balloon_;
    QImage picture_; // the current balloon with its text
    QRegion left_, right_;
    QString text_;
    int state_ = 0;
    int control_ = -1;
    int width_ = 29;
    int margin_ = 0;
};
