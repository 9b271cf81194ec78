#pragma once
// "Choose your configuration": how the sound reaches the listener. Two picture lists
// (the card layout and the listening layout), the cards to use, and hard or soft mix.
// OK is enabled only for a combination the program can serve; the caller applies it
// while the music plays on.
//
// Threading: main thread only.

#include "audio/card/SoundCard.h"
#include "ui/dialogs/SmallDialogs.h"

#include <QStyledItemDelegate>

#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

// Draws a list item as its picture, with a red rounded frame when selected.
class PictureDelegate : public QStyledItemDelegate {
public:
    explicit PictureDelegate(QSize size, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), size_(size) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return size_; }

private:
    QSize size_;
};

class SoundConfigDialog : public CentredDialog {
    Q_OBJECT
public:
    SoundConfigDialog(QWidget* parent, int outputMode, std::vector<SoundCardInfo> cards,
                      const std::optional<SoundCardId>& card1,
                      const std::optional<SoundCardId>& card2);

    // The row of the current choice, -1 when the combination is invalid.
    int row() const;
    std::optional<SoundCardId> card1() const;
    std::optional<SoundCardId> card2() const;

    QListWidget* cardLayouts() const { return cardLayouts_; }
    QListWidget* listeningLayouts() const { return listening_; }
    QComboBox* secondCard() const { return card2_; }
    QRadioButton* softMix() const { return soft_; }
    QPushButton* okButton() const { return ok_; }

private:
    void update();
    void confirm();
    std::optional<SoundCardId> cardOf(const QComboBox* list) const;

    std::vector<SoundCardInfo> cards_;
    QListWidget* cardLayouts_;
    QListWidget* listening_;
    QComboBox* card1_;
    QComboBox* card2_;
    QLabel* card2Label_;
    QRadioButton* hard_;
    QRadioButton* soft_;
    QPushButton* ok_;
};
