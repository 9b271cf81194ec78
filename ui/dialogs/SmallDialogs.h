#pragma once
// The shell's small dialogs: the About text, the Shortcuts dialog, and the centring of
// every dialog over the main window.
//
// Threading: main thread only.

#include <QDialog>
#include <QString>

class QWidget;

// The About box's text for a version ("1.12").
QString aboutText(const QString& version);

// Moves a dialog so that its frame is centred over the main window's frame (it may
// then extend beyond the screen, as a dialog over a window at the edge should).
void centreOnMainWindow(QWidget* dialog, const QWidget* mainWindow);

// A dialog that centres itself over its parent each time it is shown.
class CentredDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    void showEvent(QShowEvent* event) override;
};

// "Shortcuts": the keys of the desk in two columns; closes on OK, Escape or the close box.
class ShortcutsDialog : public CentredDialog {
    Q_OBJECT
public:
    explicit ShortcutsDialog(QWidget* parent);
    static const char* leftText();
    static const char* rightText();
};
