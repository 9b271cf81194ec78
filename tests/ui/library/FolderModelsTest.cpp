// The file list's listing and sort rules and the folder tree over a scratch folder:
// shortcuts as symbolic links, hidden and unplayable names, the virtual desktop, and
// children read again after a collapse.

#include "audio/deck/MemoryTrackStore.h"
#include "library/History.h"
#include "tests/ScratchDir.h"
#include "ui/library/FolderListModel.h"
#include "ui/library/FolderTreeModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>
#include <unistd.h>

namespace {

// Title -> artist, path, and the size of the entry (-1 for none).
using Listed = std::map<std::string, std::tuple<std::string, std::string, int64_t>>;

Listed listed(const std::string& folder, TrackStore& store, const History& history) {
    Listed byTitle;
    for (const FolderRow& row : listMusicFolder(folder, store, history)) {
        const TrackRecord& r = row.record;
        byTitle[r.title] = {r.artist, r.path, r.entry ? int64_t(r.entry->sizeKey) : -1};
    }
    return byTitle;
}

TEST(FolderListing, ListsMusicAndPlaylistsFollowingLinks) {
    ScratchDir dir;
    const std::string elsewhere = dir.write("elsewhere/Band - Far Away.mp3", std::string(300, 'x'));
    dir.write("music/Loud.MP3", std::string(10, 'x'));
    dir.write("music/Quiet.wav", std::string(20, 'x'));
    dir.write("music/set.M3U", "a.mp3\n");
    dir.write("music/radio.pls", "[Playlist]\n");
    dir.write("music/notes.mp3.txt", "x");
    dir.write("music/.hidden.mp3", "x");
    std::filesystem::create_directories(dir.path("music/folder.mp3"));
    const std::string music = dir.path("music");
    ASSERT_EQ(::symlink(elsewhere.c_str(), (music + "/My Link.mp3").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), (music + "/named.txt").c_str()), 0);
    ASSERT_EQ(::symlink("/nowhere/gone.mp3", (music + "/dangling.mp3").c_str()), 0);
    ASSERT_EQ(::symlink((music + "/loop.mp3").c_str(), (music + "/loop.mp3").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path("elsewhere").c_str(), (music + "/linked folder.mp3").c_str()), 0);

    MemoryTrackStore store;
    History history;
    // A link lists under its own name with the target's path and size; the extension
    // that counts is the target's.
    const Listed expected = {
        {"Loud", {"", music + "/Loud.MP3", 10}},   {"Quiet.wav", {"", music + "/Quiet.wav", 20}},
        {"set.M3U", {"", music + "/set.M3U", -1}}, {"radio.pls", {"", music + "/radio.pls", -1}},
        {"My Link", {"", elsewhere, 300}},         {"named.txt", {"", elsewhere, 300}}};
    EXPECT_EQ(listed(music, store, history), expected);
    EXPECT_TRUE(listMusicFolder(dir.path("missing"), store, history).empty());
}

TEST(FolderListing, SortCodesOrderRows) {
    std::vector<std::unique_ptr<TrackEntry>> entries;
    auto row = [&](const char* title, const char* artist, uint32_t lastUse, float bpm,
                   const char* comment) {
        TrackEntry& e = *entries.emplace_back(std::make_unique<TrackEntry>());
        e.lastUse = lastUse;
        e.bpm = bpm;
        e.comment = comment;
        return FolderRow{TrackRecord{artist, title, "", &e}};
    };
    const FolderRow playlistFile{TrackRecord{"", "m.m3u", "", nullptr}};
    const std::vector<FolderRow> rows = {row("b", "Mid", 5, 120.0f, "Zed"), playlistFile,
                                         row("A", "zed", 9, 128.5f, "alpha"),
                                         row("c", "alpha", 0, 120.004f, "")};
    struct Case {
        int code;
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {-1, {"A", "b", "c", "m.m3u"}}, // last use, most recent first, no entry last
        {0, {"A", "b", "c", "m.m3u"}},  // title ignoring case
        {8, {"m.m3u", "c", "b", "A"}},  // title reversed
        {1, {"m.m3u", "c", "b", "A"}},  // artist ignoring case; an empty one first
        {2, {"A", "b", "c", "m.m3u"}},  // bpm descending; 0.004 apart counts as equal
        {10, {"b", "c", "A", "m.m3u"}}, // bpm ascending, no entry still last
        {3, {"c", "A", "b", "m.m3u"}},  // comment ignoring case, no entry last
        {5, {"b", "m.m3u", "A", "c"}},  // no order
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::vector<FolderRow> sorted = rows;
        sortFolderRows(sorted, c.code);
        std::vector<std::string> titles;
        for (const FolderRow& r : sorted)
            titles.push_back(r.record.title);
        EXPECT_EQ(titles, c.titles);
    }
    EXPECT_EQ(nextSortCode(-1, 2), 2); // from the last-use order a click sorts ascending
}

std::vector<QString> childNames(FolderTreeModel& model, const QModelIndex& parent) {
    if (model.canFetchMore(parent))
        model.fetchMore(parent);
    std::vector<QString> names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names.push_back(model.data(model.index(row, 0, parent), Qt::DisplayRole).toString());
    return names;
}

TEST(FolderTree, DesktopListsItsPlacesAndVolumesUnseen) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path("home/only files"));
    dir.write("home/only files/a.mp3", "x");
    FolderTreeModel model;
    model.desktopPlaces = [&] {
        return std::vector<DesktopPlace>{{dir.path("home"), "Home", false},
                                         {"/no/such/volume", "/no/such/volume", true}};
    };
    model.setRoot("");
    EXPECT_TRUE(model.rootIsDesktop());
    const QModelIndex root = model.rootIndex();
    EXPECT_EQ(model.pathOf(root), "");
    EXPECT_EQ(childNames(model, root), (std::vector<QString>{"Home", "/no/such/volume"}));
    const QModelIndex home = model.index(0, 0, root);
    const QModelIndex volume = model.index(1, 0, root);
    EXPECT_TRUE(model.isRoot(root) && !model.isRoot(home));
    EXPECT_TRUE(model.hasChildren(volume)) << "a volume is never looked into before it opens";
    EXPECT_TRUE(model.hasChildren(home));
    EXPECT_EQ(childNames(model, home), std::vector<QString>{"only files"});
    EXPECT_FALSE(model.hasChildren(model.index(0, 0, home)));

    model.setRoot(dir.path("missing"));
    EXPECT_TRUE(model.rootIsDesktop()) << "a root that does not exist";
}

TEST(FolderTree, SubfoldersSortedLinkedAndReadAgainAfterCollapse) {
    ScratchDir dir;
    for (const char* name : {"b", "A", "c10", "c9", ".hidden"})
        std::filesystem::create_directories(dir.path("root/" + std::string(name)));
    dir.write("root/file.mp3", "x");
    std::filesystem::create_directories(dir.path("target"));
    ASSERT_EQ(::symlink(dir.path("target").c_str(), dir.path("root/link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path("root").c_str(), dir.path("root/loop").c_str()), 0);

    FolderTreeModel model;
    model.setRoot(dir.path("root"));
    ASSERT_FALSE(model.rootIsDesktop());
    const QModelIndex root = model.rootIndex();
    const std::vector<QString> expected = {"A", "b", "c10", "c9", "link", "loop"};
    EXPECT_EQ(childNames(model, root), expected);
    EXPECT_EQ(model.pathOf(model.index(4, 0, root)), dir.path("root/link"));
    // A looping link opens one level at a time, on request only.
    EXPECT_EQ(childNames(model, model.index(5, 0, root)).size(), expected.size());

    std::filesystem::create_directories(dir.path("root/new"));
    EXPECT_EQ(childNames(model, root).size(), expected.size()) << "read once while open";
    model.forgetChildren(root);
    EXPECT_EQ(model.rowCount(root), 0);
    EXPECT_EQ(childNames(model, root).size(), expected.size() + 1);
}

} // namespace
