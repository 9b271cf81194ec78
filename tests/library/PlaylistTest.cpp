// The playlist and history models, with callbacks standing for the main window: taking
// the next track, playlist-file rows, icons, removal, shuffle and the saved files.

#include <map>

#include "audio/deck/MemoryTrackStore.h"
#include "library/History.h"
#include "library/Playlist.h"
#include "library/PlaylistFile.h"
#include "library/TrackNames.h"
#include "tests/library/LibraryTestSupport.h"

namespace {

using Paths = std::vector<std::string>;

// Keeps its own row count from the announcements alone and checks it against the model
// after each change, so a missing or misplaced announcement shows.
class CountingObserver : public RowObserver {
public:
    explicit CountingObserver(const Playlist& p) : playlist(p), rows(p.rowCount()) {}
    void rowsAboutToBeInserted(int first, int last) override {
        EXPECT_TRUE(first >= 0 && first <= rows && last >= first);
        pending = last - first + 1;
    }
    void rowsAboutToBeRemoved(int first, int last) override {
        EXPECT_TRUE(first >= 0 && last < rows && last >= first);
        pending = last - first + 1;
    }
    void rowsInserted() override { EXPECT_EQ(playlist.rowCount(), rows += pending); }
    void rowsRemoved() override { EXPECT_EQ(playlist.rowCount(), rows -= pending); }
    void rowsAboutToBeReordered() override {}
    void rowsReordered() override { EXPECT_EQ(playlist.rowCount(), rows); }
    void rowImageChanged(int row) override { EXPECT_TRUE(row >= 0 && row < rows); }

    const Playlist& playlist;
    int rows;
    int pending = 0;
};

class PlaylistTest : public testing::Test {
protected:
    PlaylistTest() : playlist(store, history), observer(playlist) {
        playlist.setObserver(&observer);
        playlist.setDecks({[this](int deck, const TrackRecord& r) {
                               loads.emplace_back(deck, r.path);
                               const bool ok = r.path.find("broken") == std::string::npos;
                               hasTrack[deck] = hasTrack[deck] || ok;
                               return ok;
                           },
                           [this](int deck) { return hasTrack[deck]; }});
        history.setImageListener(
            [this](const TrackEntry* e, RowImage image) { playlist.setEntryImage(e, image); });
    }

    TrackRecord track(const std::string& name) {
        return makeTrackRecord(store, "/music/" + name, 1000);
    }
    // A playlist file naming the tracks, as a playlist-file row.
    TrackRecord listFile(const std::string& name, const Paths& tracks) {
        std::string text = "#EXTM3U\n";
        for (const std::string& t : tracks)
            text += t + "\n";
        return makePlaylistFileRecord(dir.write(name, text));
    }
    Paths rowPaths() const {
        Paths paths;
        for (int i = 0; i < playlist.rowCount(); ++i)
            paths.push_back(playlist.record(i).path);
        return paths;
    }

    ScratchDir dir;
    MemoryTrackStore store;
    History history;
    Playlist playlist;
    CountingObserver observer;
    std::vector<std::pair<int, std::string>> loads;
    bool hasTrack[2] = {false, false};
};

// The file's first track goes into the deck, the second into the other deck if free.
TEST_F(PlaylistTest, TakeNextExpandsAPlaylistFileRow) {
    const Paths all = {"/m/1.mp3", "/m/2.mp3", "/m/3.mp3", "/m/4.mp3"};
    for (const bool otherBusy : {false, true}) {
        SCOPED_TRACE(otherBusy);
        playlist.removeRows({0, 1, 2, 3, 4});
        loads.clear();
        hasTrack[0] = false;
        hasTrack[1] = otherBusy;
        playlist.insert({listFile("set.m3u", all), track("next.mp3")});
        EXPECT_TRUE(playlist.takeNext(0));
        using Loads = std::vector<std::pair<int, std::string>>;
        EXPECT_EQ(loads, (otherBusy ? Loads{{0, all[0]}} : Loads{{0, all[0]}, {1, all[1]}}));
        Paths rest(all.begin() + (otherBusy ? 1 : 2), all.end());
        rest.push_back("/music/next.mp3");
        EXPECT_EQ(rowPaths(), rest);
        ASSERT_NE(playlist.record(0).entry, nullptr); // expanded rows are track rows
        EXPECT_EQ(playlist.image(0), RowImage::NeverUsed);
    }
}

TEST_F(PlaylistTest, TakeNextGoesPastRowsThatLoadNothing) {
    // Empty and missing playlist files and tracks the deck refuses are dropped on the way.
    playlist.insert(listFile("empty.m3u", {}));
    playlist.insert(makePlaylistFileRecord(dir.path("gone.m3u")));
    playlist.insert(track("broken.mp3"));
    playlist.insert(track("good.mp3"));
    playlist.insert(track("last.mp3"));
    EXPECT_TRUE(playlist.takeNext(1));
    EXPECT_EQ(loads, (std::vector<std::pair<int, std::string>>{{1, "/music/broken.mp3"},
                                                               {1, "/music/good.mp3"}}));
    EXPECT_EQ(rowPaths(), Paths{"/music/last.mp3"});

    // Nothing loadable left: false, whatever loaded before.
    playlist.removeRows({0});
    playlist.insert(listFile("empty.m3u", {}));
    playlist.insert(track("broken2.mp3"));
    EXPECT_FALSE(playlist.takeNext(0));
    EXPECT_EQ(playlist.rowCount(), 0);
    EXPECT_FALSE(playlist.takeNext(0));
}

TEST_F(PlaylistTest, IconsAndNewSongsOnlyFollowLastUseAndTheHistory) {
    TrackRecord used = track("used.mp3");
    used.entry->lastUse = 20240611;
    const TrackRecord fresh = track("fresh.mp3");
    const TrackRecord played = track("played.mp3");
    history.add(played);
    playlist.insert({used, fresh, played, listFile("set.m3u", {})});
    // The second row's icon after each step; the others do not change.
    using enum RowImage;
    EXPECT_EQ(playlist.image(0), UsedBefore);
    EXPECT_EQ(playlist.image(1), NeverUsed);
    history.add(fresh);
    history.add(fresh); // loaded twice
    EXPECT_EQ(playlist.image(1), InHistory);
    history.removeRows({0});
    EXPECT_EQ(playlist.image(1), InHistory); // still in the history once
    history.removeRows({0, 7, -1});
    EXPECT_EQ(playlist.image(1), UsedBefore);
    EXPECT_EQ(playlist.image(2), InHistory);
    EXPECT_EQ(playlist.image(3), PlaylistFile);
    EXPECT_FALSE(history.contains(nullptr));

    playlist.keepNewSongsOnly(); // playlist-file rows stay
    EXPECT_EQ(rowPaths(), (Paths{"/music/used.mp3", "/music/fresh.mp3", dir.path("set.m3u")}));
}

TEST_F(PlaylistTest, RemoveRowsHandsBackTheRecordsInOrder) {
    playlist.insert({track("a.mp3"), track("b.mp3"), track("c.mp3"), track("d.mp3")});
    playlist.insert(track("first.mp3"), 0);
    playlist.insert(track("last.mp3"), 99);
    const std::vector<TrackRecord> removed = playlist.removeRows({4, 1, 4, 12, -3});
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[0].path + removed[1].path, "/music/a.mp3/music/d.mp3");
    EXPECT_EQ(rowPaths(),
              (Paths{"/music/first.mp3", "/music/b.mp3", "/music/c.mp3", "/music/last.mp3"}));
}

TEST_F(PlaylistTest, ShuffleMakesEveryOrderEquallyLikely) {
    playlist.insert({track("a.mp3"), track("b.mp3"), track("c.mp3")});
    std::mt19937 random(7);
    std::map<Paths, int> seen;
    for (int i = 0; i < 6000; ++i) {
        playlist.shuffle(random);
        ++seen[rowPaths()];
    }
    // Each of the 6 orders is expected 1000 times; a standard deviation is about 29, so
    // 800..1200 only fails for a biased shuffle (or a lost row, which adds an order).
    ASSERT_EQ(seen.size(), 6u);
    for (const auto& [order, count] : seen)
        EXPECT_TRUE(count > 800 && count < 1200) << count;
}

TEST_F(PlaylistTest, SaveWritesTracksAndLeavesOneFileRow) {
    const std::string out = dir.write("out.m3u", "old text\n");
    ASSERT_TRUE(playlist.saveAs(out)); // an empty playlist empties the file
    EXPECT_EQ(ScratchDir::read(out), "");
    playlist.insert({track("a.mp3"), listFile("set.m3u", {"/m/1.mp3", "/m/2.mp3"})});
    // Saved over its own file, the row's tracks are read before the file is replaced.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(playlist.saveAs(out));
        EXPECT_EQ(ScratchDir::read(out), "/music/a.mp3\n/m/1.mp3\n/m/2.mp3\n");
        ASSERT_EQ(playlist.rowCount(), 1);
        EXPECT_EQ(playlist.record(0).path, out);
        EXPECT_EQ(playlist.record(0).title, "out.m3u");
        EXPECT_EQ(playlist.image(0), RowImage::PlaylistFile);
    }
    // A file that cannot be created changes nothing.
    EXPECT_FALSE(playlist.saveAs(dir.path("no/such/folder.m3u")));
    EXPECT_EQ(rowPaths(), Paths{out});
}

TEST_F(PlaylistTest, HistoryFileListsOldestFirstWithCrLf) {
    for (const char* name : {"first.mp3", "second.mp3", "third.mp3"})
        history.add(track(name));
    EXPECT_EQ(history.record(0).path, "/music/third.mp3"); // newest on top
    const std::string out = dir.path("history.txt");
    ASSERT_TRUE(history.saveAs(out));
    EXPECT_EQ(ScratchDir::read(out),
              "/music/first.mp3\r\n/music/second.mp3\r\n/music/third.mp3\r\n");
    EXPECT_EQ(history.rowCount(), 3);
    EXPECT_FALSE(history.saveAs(dir.path("no/such/folder.txt")));
}

} // namespace
