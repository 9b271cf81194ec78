#include "app/StartScreen.h"

#include "core/FatalMessage.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

StartScreen::StartScreen() : picture_(":/start-screen.png") {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setObjectName("ZORVENDALS");
    setAttribute(Qt::WA_OpaquePaintEvent);
    int width = 800, height = 600;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        width = std::max(screen->geometry().width(), 800);
        height = std::max(screen->geometry().height(), 600);
    }
    setGeometry(width / 2 - 200, height / 2 - 150, 400, 300);
}

void StartScreen::present() {
    show();
    repaint();
}

void StartScreen::paintEvent(QPaintEvent* event) {
    if (fatalMessage())
        return;
    QPainter painter(this);
    painter.drawImage(event->rect(), picture_, event->rect());
}
