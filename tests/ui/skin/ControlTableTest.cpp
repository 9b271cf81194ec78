// The built-in control table: page controls placed from the files window, consistent
// entries, hit testing by page, slider mode and zone, and names.

#include "ui/skin/ControlTable.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool sameEntry(const ControlEntry& a, const ControlEntry& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The page areas, buttons and option rows that skin files get from the files window's
// rectangle must land exactly where the built-in skin has them.
TEST(ControlTable, PlacementFromTheFilesWindowGivesTheBuiltInRows) {
    ControlTable placed = builtinControlTable();
    for (int i = 53; i <= 85; ++i)
        placed[i] = ControlEntry{-1, -1, -1, -1, -1, -1, -1, -1, -1,
                                 -1, -1, -1, -1, -1, -1, -1, -1, defaultGroup(i)};
    placePageControls(placed, kBuiltinSkinHeight);
    for (int i = 53; i <= 85; ++i)
        EXPECT_TRUE(sameEntry(placed[i], builtinControlTable()[i])) << "control " << i;
}

TEST(ControlTable, EveryEntryIsConsistent) {
    for (int i = 0; i < kControlCount; ++i) {
        const ControlEntry& e = builtinControlTable()[i];
        if (!e.placed())
            continue;
        EXPECT_EQ(e.right, e.x + e.width) << i;
        EXPECT_EQ(e.bottom, e.y + e.height) << i;
        EXPECT_LE(e.right, kDeskWidth) << i;
        EXPECT_LE(e.bottom, kDeskHeight) << i;
        if (e.hitRadius > 0) { // a round zone lies inside its control
            EXPECT_TRUE(e.hitX1 - e.hitRadius >= e.left && e.hitX1 + e.hitRadius <= e.right) << i;
        }
    }
}

TEST(ControlTable, HitTestOrderGroupsAndZones) {
    const ControlTable& t = builtinControlTable();
    struct Case {
        int x, y, page, sliderMode, expected;
        const char* why;
    };
    const Case cases[] = {
        {238, 326, kPageFiles, 0, control::kPlay1, "play1 wins over pause1 at the same place"},
        {561, 326, kPageFiles, 0, control::kPlay1 + 1, "play2"},
        {238 + 14, 326, kPageFiles, 0, control::kPlay1, "edge of the disc is inside"},
        {238 + 11, 326 + 11, kPageFiles, 0, -1, "corner of the square outside the disc"},
        {220, 200, kPageFiles, kSliderModePitch, control::kPitch1, "pitch slider in pitch mode"},
        {220, 200, kPageFiles, kSliderModeLevel, control::kLevel1, "level slider in level mode"},
        {220, 200, kPageFiles, kSliderModeBoth, control::kPitch1, "both modes: lower index"},
        {239, 200, kPageFiles, kSliderModePitch, -1, "right edge of the rectangle is outside"},
        {100, 400, kPageFiles, 0, control::kFilesList, "files list on page 0"},
        {60, 390, kPageSearch, 0, control::kSearchList, "search results on page 1"},
        {100, 400, kPagePlaylist, 0, control::kPlaylistList, "playlist on page 2"},
        {100, 400, kPageRecord, 0, -1, "files window itself is never hit"},
        {400, 330, kPagePlaylist, 0, control::kMix, "mix on the playlist page"},
        {400, 330, kPageFiles, 0, -1, "mix hidden on the files page"},
        {60, 570, kPageHistory, 0, 68, "save button on the history page"},
        {100, 400, kNoPage, 0, -1, "no page chosen: page areas do not answer"},
        {300, 80, kNoPage, 0, control::kRhythmWindow, "always-on control before any page"},
        {295, 70, kPageFiles, 0, control::kRhythmWindow, "fader knob pictures never answer"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hitTest(t, c.x, c.y, c.page, c.sliderMode), c.expected) << c.why;
}

TEST(ControlTable, NamesIgnoreCaseAndUnnamedRowsCannotBeAddressed) {
    EXPECT_EQ(controlIndexByName("PLAY1"), control::kPlay1);
    EXPECT_EQ(controlIndexByName("Sync Beat2"), control::kSyncBeat1 + 1);
    EXPECT_EQ(controlIndexByName("window drag"), control::kWindowDrag);
    EXPECT_EQ(controlIndexByName(""), -1);
    EXPECT_EQ(controlIndexByName("play3"), -1);
    EXPECT_EQ(controlTooltip(control::kMix), "AutoMix Now !");
    EXPECT_TRUE(controlTooltip(control::kDisc1).empty());
}

} // namespace
