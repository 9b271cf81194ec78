#pragma once
// The desk window of the main window object: shows its back buffer and hands it the
// window's pointer, key and close events.

#include "ui/desk/DeskWidget.h"

class MainWindow;

class MainWidget : public DeskWidget {
    Q_OBJECT
public:
    explicit MainWidget(MainWindow& owner);

protected:
    const QImage* deskPicture() const override;
    void deskPointer(const DeskPointer& pointer) override;
    bool deskKey(int virtualKey) override;
    bool deskClose() override;
    void deskLeave() override;
    void deskViewChanged() override;
    bool deskDropAllowed(QPoint at) override;
    void deskDrop(QPoint at, const std::vector<std::string>& paths) override;

private:
    MainWindow& owner_;
};
