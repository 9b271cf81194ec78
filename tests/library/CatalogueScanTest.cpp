// The folder walk's rules on real trees, and the scan worker stopped and joined while it
// runs (also under ThreadSanitizer).

#include "library/CatalogueScan.h"

#include "tests/ScratchDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

std::vector<std::string> walkLines(const std::string& root, int kinds,
                                   DiscWalker::DeviceOf deviceOf = {}, size_t stopAfter = 0) {
    DiscWalker walker;
    walker.setDeviceOf(std::move(deviceOf));
    std::vector<std::string> lines;
    walker.walk(root, "/media/data:", kinds, [&](std::string_view line) {
        lines.emplace_back(line);
        if (lines.size() == stopAfter)
            walker.requestStop();
        return true;
    });
    return lines;
}

TEST(DiscWalker, FindsMusicFilesBeforeSubfoldersInByteOrder) {
    ScratchDir dir;
    dir.write("Music/b.mp3", "12345");
    dir.write("Music/A.MP3", "1");
    dir.write("Music/c.wav", "12");
    dir.write("Music/d.mp3.txt", "");
    dir.write("Music/e.mp3/f.mp3", "123"); // a folder with a music name is still a folder
    dir.write("Music/Sub/g.mp3", "");
    dir.write("Music/line\nbreak.mp3", "");
    dir.write("Music/bad\rfolder/h.mp3", "");
    const std::string root = dir.path("Music");
    const std::vector<std::string> all = {
        "/media/data:/A.MP3,1",     "/media/data:/b.mp3,5",       "/media/data:/c.wav,2",
        "/media/data:/Sub/g.mp3,0", "/media/data:/e.mp3/f.mp3,3",
    };
    struct Case {
        int kinds;
        std::vector<std::string> lines;
    } cases[] = {
        {kScanAll, all},
        {kScanMp3, {all[0], all[1], all[3], all[4]}},
        {kScanOthers, {all[2]}},
        {0, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(walkLines(root, c.kinds), c.lines) << c.kinds;
    EXPECT_EQ(walkLines(dir.path("gone"), kScanAll), std::vector<std::string>{});
}

TEST(DiscWalker, NeverFollowsLinksNorEntersAnotherFileSystem) {
    ScratchDir dir;
    dir.write("Music/a.mp3", "");
    dir.write("Music/Other/b.mp3", "");
    dir.write("Outside/c.mp3", "");
    const std::string root = dir.path("Music");
    std::filesystem::create_directory_symlink(root, root + "/loop");
    std::filesystem::create_directory_symlink(dir.path("Outside"), root + "/away");
    std::filesystem::create_symlink(root + "/a.mp3", root + "/link.mp3");
    EXPECT_EQ(walkLines(root, kScanAll),
              (std::vector<std::string>{"/media/data:/a.mp3,0", "/media/data:/Other/b.mp3,0"}));
    auto otherDevice = [](const std::string& path, uint64_t device) {
        return path.ends_with("/Other") ? device + 1 : device;
    };
    EXPECT_EQ(walkLines(root, kScanAll, otherDevice),
              std::vector<std::string>{"/media/data:/a.mp3,0"});
}

TEST(DiscWalker, StopEndsTheWalkAtOnceAndLinesKeepTheirForm) {
    ScratchDir dir;
    for (int i = 0; i < 5; ++i)
        dir.write("M/" + std::to_string(i) + ".mp3", "");
    dir.write("M/z/x.mp3", "");
    EXPECT_EQ(walkLines(dir.path("M"), kScanAll, {}, 2).size(), 2u);

    struct Line {
        std::string_view head, path;
        uint64_t size;
        std::string line;
    } lines[] = {
        {"/media/data:", "/Music/a.mp3", 4000000, "/media/data:/Music/a.mp3,4000000"},
        {"CD1=", "/a.mp3", 0x80000000ull, "CD1=/a.mp3,-2147483648"},
        {"/:", "/home/u/a.wav", 0x100000005ull, "/:/home/u/a.wav,5"},
    };
    for (const Line& l : lines)
        EXPECT_EQ(catalogueLine(l.head, l.path, l.size), l.line);
}

TEST(CatalogueScan, StopFromAnotherThreadKeepsAWholeFile) {
    ScratchDir dir;
    for (int folder = 0; folder < 40; ++folder)
        for (int file = 0; file < 50; ++file)
            dir.write("t/" + std::to_string(folder) + "/" + std::to_string(file) + ".mp3", "");
    const std::string path = dir.path(kCatalogueFileName);
    Catalogue kept;
    kept.setText("CD9=/kept.mp3,1\r\n");
    for (int round = 0; round < 3; ++round) {
        CatalogueScan scan(path);
        ASSERT_TRUE(scan.start(kept, {{dir.path("t"), "CD1="}}, kScanAll));
        // The progress window's reads race with the walk's writes.
        std::string seen;
        for (int i = 0; i < 1000 && scan.linesWritten() < 100u * round && !scan.finished(); ++i) {
            seen = scan.currentPath();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        scan.stop();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!scan.finished() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(scan.finished());
        scan.join();
        EXPECT_NE(scan.outcome(), CatalogueScan::Outcome::WriteFailed);
        Catalogue result;
        ASSERT_TRUE(result.load(path));
        ASSERT_EQ(result.lineCount(), scan.linesWritten() + 1);
        EXPECT_EQ(result.line(0), "CD9=/kept.mp3,1");
        for (size_t i = 1; i < result.lineCount(); ++i)
            ASSERT_TRUE(result.line(i).starts_with("CD1=/") && result.line(i).ends_with(".mp3,0"));
    }
    // Destroyed while walking: stops and joins.
    auto running = std::make_unique<CatalogueScan>(path);
    ASSERT_TRUE(running->start(kept, {{dir.path("t"), "CD1="}}, kScanAll));
    running.reset();
    Catalogue after;
    EXPECT_TRUE(after.load(path));
}

} // namespace
