#pragma once
// The two track details dialogs: "Bpm" corrects a track's tempo, "Comment" attaches a
// comment. Both edit the track's entry in the track store, so the value follows the
// track into every list, the decks and later runs.
//
// Threading: user-interface thread only.

#include "core/TrackRecord.h"
#include "core/TrackStore.h"

#include <QDialog>
#include <QString>

#include <string_view>

class QLineEdit;

// The tempo typed: at most the first 9 characters, read as a decimal number with a '.'
// whatever the locale (leading blanks and a sign allowed, trailing text ignored); text
// that is not a finite number gives 0.
float parseBpmText(const QString& text);

// Stores a tempo set by hand: within 1 .. 999 (both excluded) the analyser leaves it
// alone from then on; otherwise (0, 1 or less, 999 or more) its next measurement
// replaces it. The entry's last use becomes today and it is written when nobody holds it.
void setTrackBpm(TrackStore& store, TrackEntry* entry, float bpm);
// Replaces the comment (at most 255 bytes, cut on a character boundary); last use and
// writing as for the tempo.
void setTrackComment(TrackStore& store, TrackEntry* entry, std::string_view comment);

class DetailsDialog : public QDialog {
    Q_OBJECT
public:
    enum Kind { Bpm, Comment };

    // entry must not be null; the dialog centres itself on mainWindow when shown.
    DetailsDialog(Kind kind, TrackStore& store, TrackEntry* entry, QWidget* mainWindow);

    QLineEdit* edit() const { return edit_; }

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    Kind kind_;
    TrackStore& store_;
    TrackEntry* entry_;
    QWidget* mainWindow_;
    QLineEdit* edit_;
};
