#pragma once
// Keeps the screen saver and display power-off away while the desk is the active
// window: a DJ watching the decks must not see the screen go dark. Uses the desktop's
// org.freedesktop.ScreenSaver service when the session has one; otherwise does nothing.
//
// Threading: main thread only.

#include <QObject>

#include <cstdint>

class ScreenSaverInhibitor : public QObject {
    Q_OBJECT
public:
    ScreenSaverInhibitor();
    ~ScreenSaverInhibitor() override;
    bool inhibited() const { return cookie_ != 0; }

private:
    void applicationStateChanged(Qt::ApplicationState state);
    void inhibit();
    void release();

    uint32_t cookie_ = 0;
};
