#pragma once
// The main window's widget: a frameless 800 x 600 surface that paints from the back
// buffer of its MainWindow and hands it the window's events. In full screen the
// picture is scaled to fit with its aspect kept, and pointer positions are mapped
// back to 800 x 600.

#include <QWidget>

class MainWindow;

class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(MainWindow& owner);
    ~MainWidget() override;

    // The rectangle the 800 x 600 picture occupies inside the widget.
    QRect pictureRect() const;
    QPoint toPicture(QPointF widgetPos) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainWindow& owner_;
    bool filterInstalled_ = false;
};
