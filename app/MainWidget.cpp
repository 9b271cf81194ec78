#include "app/MainWidget.h"

#include "app/MainWindow.h"

MainWidget::MainWidget(MainWindow& owner) : owner_(owner) {}

const QImage* MainWidget::deskPicture() const {
    return owner_.backBuffer();
}

void MainWidget::deskPointer(const DeskPointer& pointer) {
    owner_.onPointer(pointer);
}

bool MainWidget::deskKey(int virtualKey) {
    return owner_.onKeyDown(virtualKey);
}

void MainWidget::deskLeave() {
    owner_.onPointerLeave();
}

bool MainWidget::deskClose() {
    if (owner_.quitRequested())
        return true;
    if (!owner_.onClose())
        return false;
    owner_.onDestroy();
    return true;
}
