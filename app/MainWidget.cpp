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

bool MainWidget::deskDropAllowed(QPoint at) {
    return owner_.dropAllowed(at);
}

void MainWidget::deskDrop(QPoint at, const std::vector<std::string>& paths) {
    owner_.dropFiles(at, paths);
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

void MainWidget::deskViewChanged() {
    owner_.layOutChildren();
}
