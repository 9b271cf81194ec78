// Artist and title from file names, and the day stamps. (The record every list makes
// is tested with the playlist reader.)

#include "library/TrackNames.h"

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

TEST(TrackNamesTest, DateStampsPackYearMonthAndDay) {
    EXPECT_EQ(dateStamp(2000, 1, 1), (2000u * 16 + 1) * 64 + 1);
    EXPECT_EQ(dateStamp(2024, 12, 31), 0x1fa31fu); // (32384 + 12) * 64 + 31

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

} // namespace
