// The catalogue file as read, pruned and rewritten; damaged and odd files.

#include "library/Catalogue.h"

#include "tests/ScratchDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

std::vector<std::string> linesOf(const Catalogue& c) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < c.lineCount(); ++i)
        lines.emplace_back(c.line(i));
    return lines;
}

Catalogue fromText(std::string text) {
    Catalogue c;
    c.setText(std::move(text));
    return c;
}

TEST(Catalogue, LineEndsOfEveryKindSplitAndEmptyLinesVanish) {
    const std::string nul("a\0b.mp3,1", 9);
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"CD1=/a.mp3,1\r\nCD1=/b.mp3,2\r\n", {"CD1=/a.mp3,1", "CD1=/b.mp3,2"}},
        {"x\ry\nz", {"x", "y", "z"}}, // the last line has no end
        {"\r\n\r\n\n\rx\r\n\r\n", {"x"}},
        {nul + "\r\n", {nul}}, // a NUL byte stays inside its line
        {"\xff\xfe=/\x80.mp3,-5", {"\xff\xfe=/\x80.mp3,-5"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(linesOf(fromText(c.text)), c.lines) << c.text;
}

TEST(Catalogue, FileThatCannotBeReadLeavesItAbsent) {
    ScratchDir dir;
    Catalogue c = fromText("x\r\n");
    EXPECT_FALSE(c.load(dir.path("missing.txt")));
    EXPECT_FALSE(c.present());
    EXPECT_EQ(c.lineCount(), 0u);
    EXPECT_FALSE(c.load(dir.path(""))); // a folder
    EXPECT_FALSE(c.present());

    const std::string huge(3 << 20, 'h');
    ASSERT_TRUE(c.load(dir.write("big.txt", "a\r\n" + huge + "\r\nb")));
    EXPECT_EQ(c.lineCount(), 3u);
    EXPECT_EQ(c.line(1).size(), huge.size());
    EXPECT_EQ(c.line(2), "b");
}

TEST(Catalogue, PrefixesCompareBytesAndRemoveWholeDiscs) {
    Catalogue c = fromText("CD10=/x.mp3,1\r\nCD1=/a.mp3,1\r\ncd1=/b.mp3,1\r\n"
                           "/media/d:/c.mp3,1\r\n/media/d2:/e.mp3,1\r\nCD1=/f.mp3,1\r\n");
    EXPECT_TRUE(c.hasPrefix("CD1="));
    EXPECT_FALSE(c.hasPrefix("CD2="));
    EXPECT_EQ(c.removePrefix("CD1="), 2u);
    EXPECT_EQ(c.removePrefix("/media/d:"), 1u);
    EXPECT_EQ(linesOf(c),
              (std::vector<std::string>{"CD10=/x.mp3,1", "cd1=/b.mp3,1", "/media/d2:/e.mp3,1"}));
}

TEST(Catalogue, DiscGroupsRunLastFirstAndNamesTakeTheFirstFreeNumber) {
    const Catalogue c = fromText("CD10=/a,1\r\nCD10=/b,1\r\nCD1=/c,1\r\nno key\r\n"
                                 "/media/d:/e,1\r\n/media/d:\r\nCD10=/f,1");
    const std::vector<std::pair<std::string, int>> expected = {
        {"CD10", 1}, {"/media/d:", 1}, {"CD1", 1}, {"CD10", 2}};
    std::vector<std::pair<std::string, int>> groups;
    for (const auto& g : c.discGroups())
        groups.emplace_back(g.key, g.count);
    EXPECT_EQ(groups, expected);
    EXPECT_EQ(fromText("").proposeDiscName(), "CD1");
    EXPECT_EQ(fromText("CD1=/a,1\r\nCD2=/b,1\r\nCD20=/c,1").proposeDiscName(), "CD3");
    std::string all;
    for (int n = 1; n <= 999; ++n)
        all += "CD" + std::to_string(n) + "=/a,1\r\n";
    EXPECT_EQ(fromText(all).proposeDiscName(), "CD999");
}

TEST(Catalogue, RewriteReplacesTheFileOnlyWhenEveryWriteSucceeded) {
    ScratchDir dir;
    const std::string path = dir.write(kCatalogueFileName, "old\r\n");
    {
        CatalogueWriter writer(path);
        ASSERT_TRUE(writer.open());
        EXPECT_TRUE(fromText("a\rb\n").writeAll(writer));
        EXPECT_TRUE(writer.commit());
    }
    EXPECT_EQ(ScratchDir::read(path), "a\r\nb\r\n");
    {
        CatalogueWriter abandoned(path);
        ASSERT_TRUE(abandoned.open());
        abandoned.write("half");
    }
    EXPECT_EQ(ScratchDir::read(path), "a\r\nb\r\n");
    CatalogueWriter nowhere(dir.path("no/such/folder/x.txt"));
    EXPECT_FALSE(nowhere.open());

    // A full disk: the file-size limit makes writes fail as ENOSPC would.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1 << 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CatalogueWriter full(path);
    bool opened = full.open();
    bool written = opened && fromText(std::string(1 << 18, 'x')).writeAll(full);
    bool committed = opened && full.commit();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(opened);
    EXPECT_FALSE(written && committed);
    EXPECT_EQ(ScratchDir::read(path), "a\r\nb\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path("")), {}), 1);
}

} // namespace
