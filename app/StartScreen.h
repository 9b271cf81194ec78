#pragma once
// The start screen: a 400 x 300 picture shown in the middle of the display while the
// main window is built.

#include <QImage>
#include <QWidget>

class StartScreen : public QWidget {
public:
    StartScreen();
    // Shows the screen and paints it at once.
    void present();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};
