#include "ui/dialogs/SoundConfigDialog.h"

#include "audio/output/SoundConfiguration.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kItemHeight = 90;

QListWidget* pictureList(QWidget* parent, const char* name, int width,
                         std::initializer_list<const char*> pictures) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setItemDelegate(new PictureDelegate(QSize(width, kItemHeight), list));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (const char* picture : pictures) {
        auto* item = new QListWidgetItem(list);
        item->setData(Qt::DecorationRole, QImage(picture));
    }
    list->setFixedSize(width + 2 * list->frameWidth(), 3 * kItemHeight + 2 * list->frameWidth());
    return list;
}

} // namespace

void PictureDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const QImage picture = index.data(Qt::DecorationRole).value<QImage>();
    painter->drawImage(option.rect.topLeft(), picture);
    if (option.state & QStyle::State_Selected) {
        const QRect r = option.rect.adjusted(1, 1, -2, -2);
        const int rx = ((option.rect.width() - 2) / 4) / 2,
                  ry = ((option.rect.height() - 2) / 4) / 2;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(QPen(Qt::red, 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(r, rx, ry);
        painter->restore();
    }
}

SoundConfigDialog::SoundConfigDialog(QWidget* parent, int outputMode,
                                     std::vector<SoundCardInfo> cards,
                                     const std::optional<SoundCardId>& card1,
                                     const std::optional<SoundCardId>& card2)
    : CentredDialog(parent), cards_(std::move(cards)) {
    setWindowTitle("Choose your configuration");
    setObjectName("SoundConfig");
    cardLayouts_ =
        pictureList(this, "1007", 87,
                    {":/sound-card-one.png", ":/sound-card-four.png", ":/sound-card-two.png"});
    listening_ = pictureList(this, "1015", 105,
                             {":/sound-listen-speakers.png", ":/sound-listen-headphones.png",
                              ":/sound-listen-mixer.png"});
    card1_ = new QComboBox(this);
    card1_->setObjectName("1012");
    card2_ = new QComboBox(this);
    card2_->setObjectName("1013");
    card2Label_ = new QLabel("Sound Card 2", this);
    // The lists are sorted by description; each item knows its card.
    std::vector<int> order(cards_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return cards_[size_t(a)].description < cards_[size_t(b)].description;
    });
    for (int i : order) {
        const QString text = QString::fromStdString(cards_[size_t(i)].description);
        card1_->addItem(text, i);
        card2_->addItem(text, i);
    }
    card1_->setCurrentIndex(-1);
    card2_->setCurrentIndex(-1);
    for (int j = 0; j < card1_->count(); ++j) {
        const SoundCardInfo& info = cards_[size_t(card1_->itemData(j).toInt())];
        if (!info.hasId)
            continue;
        if (card1 && info.id.bytes == card1->bytes)
            card1_->setCurrentIndex(j);
        if (card2 && info.id.bytes == card2->bytes)
            card2_->setCurrentIndex(j);
    }
    hard_ = new QRadioButton("Hard Mix (faster)", this);
    hard_->setObjectName("1016");
    soft_ = new QRadioButton("Soft Mix (for recording)", this);
    soft_->setObjectName("1017");
    const SoundConfiguration current = soundConfiguration(outputMode);
    cardLayouts_->setCurrentRow(int(current.cards));
    listening_->setCurrentRow(int(current.listening));
    (current.softMix ? soft_ : hard_)->setChecked(true);

    auto* mix = new QGroupBox(this);
    auto* mixLayout = new QVBoxLayout(mix);
    mixLayout->addWidget(hard_);
    mixLayout->addWidget(soft_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    auto* grid = new QGridLayout(this);
    grid->addWidget(cardLayouts_, 0, 0, 6, 1);
    grid->addWidget(listening_, 0, 1, 6, 1);
    grid->addWidget(new QLabel("Sound Card", this), 0, 2);
    grid->addWidget(card1_, 1, 2);
    grid->addWidget(card2Label_, 2, 2);
    grid->addWidget(card2_, 3, 2);
    grid->addWidget(mix, 4, 2);
    grid->addWidget(buttons, 5, 2);

    connect(cardLayouts_, &QListWidget::currentRowChanged, this, [this] { update(); });
    connect(listening_, &QListWidget::currentRowChanged, this, [this] { update(); });
    connect(hard_, &QRadioButton::toggled, this, [this] { update(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { confirm(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    update();
}

int SoundConfigDialog::row() const {
    return findSoundConfiguration(cardLayouts_->currentRow(), listening_->currentRow(),
                                  soft_->isChecked() ? 1 : 0);
}

std::optional<SoundCardId> SoundConfigDialog::cardOf(const QComboBox* list) const {
    if (list->currentIndex() < 0)
        return std::nullopt;
    const SoundCardInfo& info = cards_[size_t(list->currentData().toInt())];
    return info.hasId ? std::optional<SoundCardId>(info.id) : std::nullopt;
}

std::optional<SoundCardId> SoundConfigDialog::card1() const {
    return cardOf(card1_);
}
std::optional<SoundCardId> SoundConfigDialog::card2() const {
    return cardOf(card2_);
}

void SoundConfigDialog::update() {
    const bool twoCards = cardLayouts_->currentRow() == int(CardLayout::TwoCards);
    card2_->setVisible(twoCards);
    card2Label_->setVisible(twoCards);
    soft_->setEnabled(listening_->currentRow() != int(ListeningLayout::ExternalMixer));
    ok_->setEnabled(row() >= 0);
}

void SoundConfigDialog::confirm() {
    if (row() < 0) {
        QMessageBox::information(this, "Zorvendal",
                                 "Invalid configuration ! Please choose a valid combination.");
        return;
    }
    accept();
}
