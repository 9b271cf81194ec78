#include "ui/library/DetailsDialogs.h"

#include "library/TrackDatabase.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include <charconv>
#include <cmath>

namespace {

constexpr int kBpmTextChars = 9;
constexpr size_t kCommentBytes = 255;
// The edit boxes' widths in average characters (24 and 124 dialog units).
constexpr int kBpmEditChars = 6;
constexpr int kCommentEditChars = 31;

} // namespace

float parseBpmText(const QString& text) {
    const std::string bytes = text.left(kBpmTextChars).toStdString();
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end &&
           (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f'))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    float value = 0.0f;
    const auto [last, error] = std::from_chars(p, end, value, std::chars_format::general);
    if (error != std::errc() || last == p || !std::isfinite(value))
        return 0.0f;
    return negative ? -value : value;
}

void setTrackBpm(TrackStore& store, TrackEntry* entry, float bpm) {
    if (!entry)
        return;
    TrackAnalysis* analysis = store.acquireAnalysis(entry);
    entry->bpm.store(bpm, std::memory_order_relaxed);
    if (analysis) {
        // Set by hand: the analyser's measurements no longer replace it.
        const bool fixed = bpm > 1.0f && bpm < 999.0f;
        analysis->bpmCount.store(fixed ? TrackAnalysis::kBpmSetByHand : 0,
                                 std::memory_order_relaxed);
    }
    store.releaseAnalysis(entry);
}

void setTrackComment(TrackStore& store, TrackEntry* entry, std::string_view comment) {
    if (!entry)
        return;
    if (comment.size() > kCommentBytes) {
        size_t cut = kCommentBytes;
        // Never half a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(comment[cut]) & 0xC0) == 0x80)
            --cut;
        comment = comment.substr(0, cut);
    }
    store.acquireAnalysis(entry);
    TrackDatabase::setEntryComment(entry, comment);
    store.releaseAnalysis(entry);
}

DetailsDialog::DetailsDialog(Kind kind, TrackStore& store, TrackEntry* entry, QWidget* mainWindow)
    : QDialog(mainWindow), kind_(kind), store_(store), entry_(entry), mainWindow_(mainWindow),
      edit_(new QLineEdit(this)) {
    setWindowTitle(kind == Bpm ? QStringLiteral("Bpm") : QStringLiteral("Comment"));
    setObjectName(kind == Bpm ? QStringLiteral("bpmDialog") : QStringLiteral("commentDialog"));
    edit_->setObjectName(QStringLiteral("value"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout(this);
    row->addWidget(edit_, 1);
    row->addWidget(ok);
    const int chars = kind == Bpm ? kBpmEditChars : kCommentEditChars;
    edit_->setMinimumWidth(edit_->fontMetrics().averageCharWidth() * chars);
    if (kind == Bpm) {
        const float bpm = entry ? entry->bpm.load(std::memory_order_relaxed) : 0.0f;
        edit_->setText(QString::number(double(bpm), 'f', 1));
    } else {
        const char* comment = TrackDatabase::entryComment(entry);
        edit_->setText(comment ? QString::fromUtf8(comment) : QString());
    }
    edit_->selectAll();
    edit_->setFocus();
}

void DetailsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (mainWindow_) {
        QRect frame = frameGeometry();
        frame.moveCenter(mainWindow_->frameGeometry().center());
        move(frame.topLeft() + (pos() - frameGeometry().topLeft()));
    }
    edit_->setFocus();
    edit_->selectAll();
}

void DetailsDialog::accept() {
    if (kind_ == Bpm)
        setTrackBpm(store_, entry_, parseBpmText(edit_->text()));
    else
        setTrackComment(store_, entry_, edit_->text().toStdString());
    QDialog::accept();
}
