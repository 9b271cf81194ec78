// Artist and title from file names, the day stamps, and the record every list makes.

#include "library/TrackNames.h"
#include "library/TrackDatabase.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

struct NameCase {
    const char* fileName;
    const char* artist;
    const char* title;
};

TEST(TrackNamesTest, SplitsArtistAndTitle) {
    const NameCase cases[] = {
        {"Some_Band - Tune.mp3", "Some Band", "Tune"},
        {"(Some Band) Tune.MP3", "Some Band", "Tune"},
        {"Tune.wav", "", "Tune.wav"},
        {"Tune.mp3", "", "Tune"},
        {".mp3", "", ".mp3"}, // only four characters: kept
        {"a.mp3", "", "a"},
        {"__ Band-Title_.Mp3", "Band", "Title "}, // leading spaces go, trailing stay
        {"Band   -   Title - Side 2.mp3", "Band", "Title - Side 2"}, // first dash only
        {"-Title.mp3", "", "Title"},
        {"Band-.mp3", "Band", ""},
        {"(  Spaced Band  )   Title.mp3", "Spaced Band", "Title"},
        {"(Unclosed Band.mp3", "Unclosed Band", ""},
        {"()Title.mp3", "", "Title"},
        {"(A) B - C.mp3", "A", "B - C"}, // parentheses win over the dash
        {"Song.mp3.wav", "", "Song.mp3.wav"},
        {"", "", ""},
        {"___", "", ""},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.fileName);
        const TrackName name = splitTrackName(c.fileName);
        EXPECT_EQ(name.artist, c.artist);
        EXPECT_EQ(name.title, c.title);
    }
}

TEST(TrackNamesTest, FileNameIsThePartAfterTheLastSlash) {
    EXPECT_EQ(trackFileName("/music/a/Tune.mp3"), "Tune.mp3");
    EXPECT_EQ(trackFileName("Tune.mp3"), "Tune.mp3");
    EXPECT_EQ(trackFileName("/music/"), "");
}

TEST(TrackNamesTest, DateStampsPackYearMonthAndDay) {
    EXPECT_EQ(dateStamp(2000, 1, 1), (2000u * 16 + 1) * 64 + 1);
    EXPECT_EQ(dateStamp(2024, 12, 31), 0x1fa31fu); // (32384 + 12) * 64 + 31
    // Later days have larger stamps, across day, month and year boundaries.
    EXPECT_LT(dateStamp(2024, 1, 31), dateStamp(2024, 2, 1));
    EXPECT_LT(dateStamp(2024, 12, 31), dateStamp(2025, 1, 1));
    EXPECT_LT(dateStamp(1999, 12, 31), dateStamp(2000, 1, 1));

    // Today's stamp is the local date, read around the call so midnight cannot split it.
    auto localStamp = [] {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        return dateStamp(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    };
    const uint32_t before = localStamp();
    const uint32_t today = dateStamp();
    const uint32_t after = localStamp();
    EXPECT_TRUE(today == before || today == after);
}

TEST(TrackNamesTest, ARecordTakesItsNamesFromTheFileAndSharesTheEntry) {
    TrackDatabase db("/nonexistent-folder/zorvendal Internal Database"); // memory only
    const TrackRecord record = makeTrackRecord(db, "/music/Some_Band - Tune.mp3", 1234);
    EXPECT_EQ(record.artist, "Some Band");
    EXPECT_EQ(record.title, "Tune");
    EXPECT_EQ(record.path, "/music/Some_Band - Tune.mp3");
    ASSERT_NE(record.entry, nullptr);
    EXPECT_EQ(record.entry->name, "Some_Band - Tune.mp3");
    EXPECT_EQ(record.entry->sizeKey, 1234u);
    const TrackRecord copy = record;
    EXPECT_EQ(copy.entry, record.entry);
    EXPECT_EQ(makeTrackRecord(db, "/other/Some_Band - Tune.mp3", 1234).entry, record.entry);
    EXPECT_NE(makeTrackRecord(db, "/music/Some_Band - Tune.mp3", 0).entry, record.entry);
}

} // namespace
