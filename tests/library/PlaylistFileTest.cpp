// Track names, day stamps, the playlist reader and a save that a killed writer survives.

#include <csignal>
#include <ctime>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/deck/MemoryTrackStore.h"
#include "library/PlaylistFile.h"
#include "library/TrackNames.h"
#include "tests/library/LibraryTestSupport.h"

namespace {

using Paths = std::vector<std::string>;

TEST(TrackNames, SplitsArtistAndTitle) {
    const struct {
        const char* fileName;
        const char* artist;
        const char* title;
    } cases[] = {
        {"Some_Band - Tune.mp3", "Some Band", "Tune"},
        {"(Some Band) Tune.MP3", "Some Band", "Tune"},
        {"Tune.wav", "", "Tune.wav"},
        {"Tune.mp3", "", "Tune"},
        {".mp3", "", ".mp3"},                     // only four characters: kept
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
    for (const auto& c : cases) {
        const TrackName name = splitTrackName(c.fileName);
        EXPECT_EQ(name.artist + "|" + name.title, std::string(c.artist) + "|" + c.title)
            << c.fileName;
    }
}

TEST(TrackNames, DateStampsPackYearMonthAndDay) {
    EXPECT_EQ(dateStamp(2024, 12, 31), 0x1fa31fu); // (32384 + 12) * 64 + 31

    // Today's stamp is the local date, read around the call so midnight cannot split it.
    auto localStamp = [] {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        return dateStamp(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    };
    const uint32_t before = localStamp(), today = dateStamp();
    EXPECT_TRUE(today == before || today == localStamp());
}

TEST(PlaylistText, ReadsPathsByTheLineRules) {
    struct Case {
        const char* name;
        std::string text;
        Paths paths;
    };
    std::string overLimit;
    for (int i = 0; i < kMaxPlaylistTracks + 10; ++i)
        overLimit += "x\n";
    const std::string extended = "#EXTM3U\r\n#EXTINF:123,Band - One\r\n/m/one.mp3\r\n"
                                 "#EXTINF:200,Two\r\n/m/two.wav\r\n# the end\r\n";
    const Case cases[] = {
        {"mixed and empty lines", "\n\r\n/m/a.mp3\n\n\r\r/m/b.mp3\n\r", {"/m/a.mp3", "/m/b.mp3"}},
        {"comments read as without them", extended, {"/m/one.mp3", "/m/two.wav"}},
        {"spaces and '=' kept outside PLS", " a b.mp3 \nx=y.mp3\n", {" a b.mp3 ", "x=y.mp3"}},
        {"relative paths as they stand", "../x.mp3\ny.mp3\n", {"../x.mp3", "y.mp3"}},
        {"pls: only FileN lines name tracks",
         "[playlist]\nVersion=2\nFile1=/m/a.mp3\nTitle1=A\nLength1=-1\nFile2=b.mp3\n"
         "NumberOfEntries=2\nFile3=/m/late.mp3\n",
         {"/m/a.mp3", "b.mp3"}},
        {"pls keys that are not FileN",
         "[Playlist]\nFile=/m/a.mp3\nFileX=/m/b.mp3\nFile1x=/m/c.mp3\nFILE12=/m/d.mp3\n"
         "Profile1=/m/e.mp3\n",
         {"/m/d.mp3"}},
        {"pls header and end ignore case",
         "[PLAYLIST]\r\nfile1=/m/a.mp3\r\nnumberofentries=1\r\n"
         "File2=/m/late.mp3\r\n",
         {"/m/a.mp3"}},
        {"pls text after the first '='",
         "[Playlist]\nFile1=/m/a=b.mp3\nFile2=\n",
         {"/m/a=b.mp3", ""}},
        {"pls line without '=' skipped", "[Playlist]\n/m/a.mp3\nFile1=/m/b.mp3\n", {"/m/b.mp3"}},
        {"pls comment skipped", "[Playlist]\n#File1=/m/a.mp3\nFile2=/m/b.mp3\n", {"/m/b.mp3"}},
        {"pls mode only after the header",
         "/m/a.mp3\n[Playlist]\nFile1=/m/b.mp3\n",
         {"/m/a.mp3", "/m/b.mp3"}},
        {"NumberOfEntries outside PLS is a path",
         "NumberOfEntries=1\n/m/a.mp3\n",
         {"NumberOfEntries=1", "/m/a.mp3"}},
        {"header must be the whole line",
         "[Playlist] x\nFile1=/m/a.mp3\n",
         {"[Playlist] x", "File1=/m/a.mp3"}},
        {"byte-order mark", "\xEF\xBB\xBF[Playlist]\nFile1=/m/a.mp3\n", {"/m/a.mp3"}},
        {"NUL ends the line's text",
         std::string("/m/a.mp3\0junk\n\0x\n/m/b.mp3", 25),
         {"/m/a.mp3", "/m/b.mp3"}},
        {"empty", "", {}},
        {"only line ends", "\r\n\n\r", {}},
        {"at most the track limit", overLimit, Paths(kMaxPlaylistTracks, "x")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsePlaylistText(c.text), c.paths);
    }
}

// Names come from the file name, never the folder, sizes from the file (0 if missing).
// A playlist moved with its music, or read from another working folder, still names the
// files beside it; absolute paths stay as written.
TEST(PlaylistFile, RecordsCarryNamesAndSizesOfTheFilesNamedBesideThePlaylist) {
    ScratchDir dir;
    dir.write("set/Folder - Name/Some_Band - Tune.mp3", std::string(1234, 'x'));
    dir.write("Up.wav", std::string(5, 'x'));
    const std::string m3u = dir.write(
        "set/list.m3u", "#EXTM3U\nFolder - Name/Some_Band - Tune.mp3\n../Up.wav\n/abs/Far.mp3\n");
    const std::string pls = dir.write("set/list.pls", "[Playlist]\nFile1=../Up.wav\n");
    const std::string folder = dir.path("set/");
    const Paths paths = {folder + "Folder - Name/Some_Band - Tune.mp3", folder + "../Up.wav",
                         "/abs/Far.mp3"};
    EXPECT_EQ(readPlaylistPaths(m3u), paths);
    EXPECT_EQ(readPlaylistPaths(pls), Paths{paths[1]});
    MemoryTrackStore store;
    const std::vector<TrackRecord> rows = readPlaylist(store, m3u);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].path, paths[0]);
    EXPECT_EQ(rows[0].artist + "|" + rows[0].title, "Some Band|Tune");
    EXPECT_EQ(rows[0].entry->name, "Some_Band - Tune.mp3");
    EXPECT_EQ(rows[0].entry->sizeKey, 1234u) << "the size was looked up in the wrong folder";
    EXPECT_EQ(rows[1].entry->sizeKey, 5u);
    EXPECT_EQ(rows[2].entry->sizeKey, 0u);
    // Reading again finds the same entries.
    EXPECT_EQ(readPlaylist(store, m3u)[0].entry, rows[0].entry);
    EXPECT_EQ(store.entryCount(), 3);
}

TEST(PlaylistFile, FilesThatCannotBeReadGiveNoTracks) {
    ScratchDir dir;
    const std::string fifo = dir.path("fifo.m3u");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string tooLarge = dir.write("large.m3u", "/m/a.mp3\n");
    std::filesystem::resize_file(tooLarge, kMaxPlaylistFileBytes + 1);
    const std::string atLimit = dir.write("limit.m3u", "/m/a.mp3\n");
    std::filesystem::resize_file(atLimit, kMaxPlaylistFileBytes);
    for (const std::string& refused : {dir.path("missing.m3u"), dir.path(""), fifo, tooLarge})
        EXPECT_TRUE(readPlaylistPaths(refused).empty()) << refused; // never waited on
    EXPECT_EQ(readPlaylistPaths(atLimit), Paths{"/m/a.mp3"});
}

// Random bytes, biased towards the characters the reader looks at, and damaged copies of
// a real PLS file: every result must be a piece of a line of the text, and the file
// reader must agree with the text reader.
TEST(PlaylistFile, GarbageReadsAsHarmlessPaths) {
    ScratchDir dir;
    MemoryTrackStore store;
    std::mt19937 random(20240611);
    const std::string alphabet("\r\n\0#=[]PlaylistNumberOfEntries/.mp3", 35);
    const std::string pls = "[Playlist]\r\nFile1=/m/a.mp3\r\nTitle1=A\r\nNumberOfEntries=1\r\n";
    for (int round = 0; round < 3000; ++round) {
        std::string text = round % 2 ? pls : std::string(random() % 600, ' ');
        for (int n = round % 2 ? random() % 8 : int(text.size()); n > 0; --n)
            text[random() % text.size()] =
                random() % 3 ? alphabet[random() % alphabet.size()] : char(random());
        text.resize(random() % (text.size() + 1));
        const Paths paths = parsePlaylistText(text);
        ASSERT_LE(paths.size(), 1 + std::count_if(text.begin(), text.end(),
                                                  [](char c) { return c == '\r' || c == '\n'; }));
        for (const std::string& p : paths) {
            ASSERT_EQ(p.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
            ASSERT_NE(text.find(p), std::string::npos);
        }
        if (round % 20 == 0) {
            const std::vector<TrackRecord> rows =
                readPlaylist(store, dir.write("garbage.pls", text));
            ASSERT_EQ(rows.size(), paths.size());
            for (size_t i = 0; i < rows.size(); ++i)
                ASSERT_EQ(rows[i].path,
                          paths[i].empty() || paths[i][0] == '/' ? paths[i] : dir.path(paths[i]));
        }
    }
}

// A writer killed at any moment leaves the old file or the new one, never a part.
TEST(PlaylistFile, ASaveKilledMidWriteLeavesTheOldFileOrTheNew) {
    ScratchDir dir;
    const std::string old = "/m/old.mp3\n";
    std::string fresh;
    for (int i = 0; fresh.size() < 8 * 1024 * 1024; ++i)
        fresh += "/music/some folder/track " + std::to_string(i) + ".mp3\n";
    const std::string list = dir.write("list.m3u", old);
    ASSERT_EQ(chmod(list.c_str(), 0604), 0);
    for (int round = 0; round < 12; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        while (child == 0) // saves again and again until it is killed
            writeWholeFile(list, fresh);
        usleep(static_cast<useconds_t>(round * 1000));
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
        const std::string now = ScratchDir::read(list);
        EXPECT_TRUE(now == old || now == fresh) << now.size() << " bytes after " << round << " ms";
    }
    // The next save clears what a killed one left beside it; the file keeps its mode.
    ASSERT_TRUE(writeWholeFile(list, old));
    EXPECT_EQ(ScratchDir::read(list), old);
    EXPECT_FALSE(std::filesystem::exists(list + ".saving"));
    struct stat info {};
    ASSERT_EQ(stat(list.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
}

} // namespace
