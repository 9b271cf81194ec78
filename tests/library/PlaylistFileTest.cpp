// The playlist reader on texts and files: line ends, comments, PLS mode, sizes of the
// named files, files it must refuse, and garbage that must read as harmless paths; and
// a saved file that a killed writer leaves whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/deck/MemoryTrackStore.h"
#include "library/PlaylistFile.h"
#include "tests/library/LibraryTestSupport.h"

namespace {

using librarytest::TempDir;
using Paths = std::vector<std::string>;

TEST(PlaylistText, ReadsPathsByTheLineRules) {
    struct Case {
        const char* name;
        std::string text;
        Paths paths;
    };
    const std::string extended = "#EXTM3U\r\n#EXTINF:123,Band - One\r\n/m/one.mp3\r\n"
                                 "#EXTINF:200,Two\r\n/m/two.wav\r\n# the end\r\n";
    const Case cases[] = {
        {"lf", "/m/a.mp3\n/m/b.mp3\n", {"/m/a.mp3", "/m/b.mp3"}},
        {"crlf", "/m/a.mp3\r\n/m/b.mp3\r\n", {"/m/a.mp3", "/m/b.mp3"}},
        {"cr", "/m/a.mp3\r/m/b.mp3", {"/m/a.mp3", "/m/b.mp3"}},
        {"mixed and empty lines", "\n\r\n/m/a.mp3\n\n\r\r/m/b.mp3\n\r", {"/m/a.mp3", "/m/b.mp3"}},
        {"comments read as without them", extended, {"/m/one.mp3", "/m/two.wav"}},
        {"spaces and '=' kept outside PLS", " a b.mp3 \nx=y.mp3\n", {" a b.mp3 ", "x=y.mp3"}},
        {"relative paths as they stand", "../x.mp3\ny.mp3\n", {"../x.mp3", "y.mp3"}},
        {"pls",
         "[playlist]\nFile1=/m/a.mp3\nTitle1=A\nLength1=-1\nFile2=b.mp3\n"
         "NumberOfEntries=2\nFile3=/m/late.mp3\nVersion=2\n",
         {"/m/a.mp3", "A", "-1", "b.mp3"}},
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parsePlaylistText(c.text), c.paths);
    }
}

TEST(PlaylistText, TakesAtMostTheTrackLimit) {
    std::string text;
    for (int i = 0; i < kMaxPlaylistTracks + 10; ++i)
        text += "x\n";
    EXPECT_EQ(parsePlaylistText(text).size(), static_cast<size_t>(kMaxPlaylistTracks));
}

TEST(PlaylistFile, RecordsCarryNamesAndSizesOfTheFilesNamed) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string found =
        dir.write("Folder - Name/Some_Band - Tune.mp3", std::string(1234, 'x'));
    const std::string missing = dir.path("Gone.mp3");
    const std::string list = dir.write("list.m3u", "#EXTM3U\n" + found + "\n" + missing + "\n");
    MemoryTrackStore store;

    const std::vector<TrackRecord> rows = readPlaylist(store, list);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, found);
    EXPECT_EQ(rows[0].artist, "Some Band"); // from the file name, never the folder
    EXPECT_EQ(rows[0].title, "Tune");
    ASSERT_NE(rows[0].entry, nullptr);
    EXPECT_EQ(rows[0].entry->sizeKey, 1234u);
    EXPECT_EQ(rows[0].entry->name, "Some_Band - Tune.mp3");
    EXPECT_EQ(rows[1].path, missing);
    ASSERT_NE(rows[1].entry, nullptr);
    EXPECT_EQ(rows[1].entry->sizeKey, 0u);
    // Reading again finds the same entries.
    EXPECT_EQ(readPlaylist(store, list)[0].entry, rows[0].entry);
    EXPECT_EQ(store.entryCount(), 2);
}

TEST(PlaylistFile, FilesThatCannotBeReadGiveNoTracks) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
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
    TempDir dir;
    ASSERT_TRUE(dir.ok());
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
                ASSERT_EQ(rows[i].path, paths[i]);
        }
    }
}

// A writer killed at any moment leaves the old file or the new one, never a part.
TEST(PlaylistFile, ASaveKilledMidWriteLeavesTheOldFileOrTheNew) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string old = "/m/old.mp3\n";
    std::string fresh;
    for (int i = 0; fresh.size() < 8 * 1024 * 1024; ++i)
        fresh += "/music/some folder/track " + std::to_string(i) + ".mp3\n";
    const std::string list = dir.write("list.m3u", old);
    ASSERT_EQ(chmod(list.c_str(), 0604), 0);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("killed after " + std::to_string(round) + " ms");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) // saves again and again until it is killed
                writeWholeFile(list, fresh);
        }
        usleep(static_cast<useconds_t>(round * 1000));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const std::string now = TempDir::read(list);
        EXPECT_TRUE(now == old || now == fresh) << now.size() << " bytes";
    }
    // The next save clears what a killed one left beside it.
    ASSERT_TRUE(writeWholeFile(list, old));
    EXPECT_EQ(TempDir::read(list), old);
    EXPECT_FALSE(std::filesystem::exists(list + ".saving"));
    struct stat info {};
    ASSERT_EQ(stat(list.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u) << "a replaced file keeps its permissions";
}

} // namespace
