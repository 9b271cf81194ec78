// The track details dialogs: the tempo typed is read in any locale and fixes the track
// only inside 1 .. 999; the comment keeps at most 255 bytes; OK writes, Cancel does not.

#include "ui/library/DetailsDialogs.h"
#include "audio/deck/MemoryTrackStore.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <clocale>

namespace {

TEST(BpmText, ReadsTheFirstNineCharactersAsANumber) {
    const struct {
        const char* text;
        float bpm;
    } cases[] = {
        {"  128.5", 128.5f},    {"+99.5bpm", 99.5f},
        {"-5", -5.0f},          {"1e2", 100.0f},
        {"128,5", 128.0f},      {"abc", 0.0f},
        {"inf", 0.0f},          {"nan", 0.0f},
        {".5", 0.5f},           {"1234567890", 123456789.0f}, // the tenth character is not read
        {"         128", 0.0f},                               // nine blanks read, nothing else
    };
    // A comma locale must not change the reading.
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    for (const auto& c : cases)
        EXPECT_EQ(parseBpmText(QString::fromLatin1(c.text)), c.bpm) << c.text;
    if (comma)
        std::setlocale(LC_NUMERIC, "C");
}

TEST(BpmText, FixesOnlyInsideTheUsableRange) {
    MemoryTrackStore store;
    TrackEntry* entry = store.openEntry("/m/a.mp3", 1);
    for (const float bpm : {998.9f, 1.01f, 1.0f, 999.0f, -3.0f}) {
        SCOPED_TRACE(bpm);
        store.acquireAnalysis(entry)->bpmCount = 7;
        store.releaseAnalysis(entry);
        setTrackBpm(store, entry, bpm);
        EXPECT_EQ(entry->bpm.load(), bpm);
        EXPECT_EQ(store.acquireAnalysis(entry)->bpmCount.load(),
                  bpm > 1.0f && bpm < 999.0f ? TrackAnalysis::kBpmSetByHand : 0);
        store.releaseAnalysis(entry);
        EXPECT_EQ(entry->refCount, 0) << "the analysis was left held";
    }
}

TEST(DetailsDialog, OkStoresTheValueAndCancelKeepsIt) {
    MemoryTrackStore store;
    TrackEntry* entry = store.openEntry("/m/a.mp3", 1);
    entry->bpm = 120.0f;
    {
        DetailsDialog dialog(DetailsDialog::Bpm, store, entry, nullptr);
        dialog.show();
        EXPECT_EQ(dialog.edit()->text(), "120.0");
        EXPECT_EQ(dialog.edit()->selectedText(), "120.0");
        dialog.edit()->setText("abc");
        dialog.reject();
        EXPECT_EQ(entry->bpm.load(), 120.0f);
    }
    {
        DetailsDialog dialog(DetailsDialog::Bpm, store, entry, nullptr);
        dialog.show();
        dialog.edit()->setText("128");
        dialog.findChild<QPushButton*>("ok")->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(entry->bpm.load(), 128.0f);
    }
    {
        DetailsDialog dialog(DetailsDialog::Comment, store, entry, nullptr);
        dialog.show();
        EXPECT_EQ(dialog.edit()->text(), "");
        // 300 bytes of two-byte letters: cut at 255 bytes would split one.
        dialog.edit()->setText(QString(150, QChar(0xE9)));
        dialog.findChild<QPushButton*>("ok")->click();
        const std::string comment = entry->replacementComment ? *entry->replacementComment : "";
        EXPECT_EQ(comment.size(), 254u);
        EXPECT_EQ(QString::fromStdString(comment), QString(127, QChar(0xE9)));
    }
}

} // namespace
