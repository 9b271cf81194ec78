#pragma once
// "Choose a skin": lists "(default)" and every NAME.bmp (or .png) of the home folder
// that has its NAME.ini beside it. OK loads the chosen skin through the caller; a skin
// that fails is reported and the dialog stays open with the old skin current.
//
// Threading: main thread only.

#include "ui/dialogs/SmallDialogs.h"

#include <QStringList>

#include <functional>

class QListWidget;

class SkinChooser : public CentredDialog {
    Q_OBJECT
public:
    // Loads and applies the skin of that name ("" = built-in); on failure returns false
    // and sets *error to the text to show.
    using Apply = std::function<bool(const QString& name, QString* error)>;
    // Shows a failure (a message box with the stop icon in the program).
    using Report = std::function<void(const QString& text)>;

    SkinChooser(QWidget* parent, const QString& homeFolder, const QString& current, Apply apply,
                Report report);

    // The skin names of a folder, sorted by name (the directory's own order is random).
    static QStringList skinNames(const QString& homeFolder);
    QListWidget* list() const { return list_; }
    // OK: true when a skin was applied and the dialog closed.
    bool choose();

private:
    QListWidget* list_;
    Apply apply_;
    Report report_;
};
