// Search terms, matching, columns, sort codes and the file behind a row.

#include "library/CatalogueSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

namespace {

using Terms = std::vector<std::string>;

Catalogue catalogueOf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    Catalogue c;
    c.setText(text);
    return c;
}

TEST(CatalogueSearch, TermsFromTheSearchBox) {
    struct Case {
        std::string text;
        Terms terms;
    } cases[] = {
        {"", {}},
        {"abba queen", {"ABBA", "QUEEN"}},
        {"\"dancing queen\"", {"DANCING QUEEN"}},
        {"\"\"", {}},
        {"\"", {"\""}},
        {"\"open", {"\"OPEN"}},
        {"  a  b ", {"A", "B"}},          // empty words are dropped, not an end of the terms
        {"caf\xc3\xa9", {"CAF\xc3\xa9"}}, // only ASCII letters are raised
        {std::string(300, 'x'), {std::string(kSearchTextMax, 'X')}},
        {std::string(253, 'x') + "\xc3\xa9", {std::string(253, 'X')}}, // no half character
    };
    for (const Case& c : cases)
        EXPECT_EQ(readSearchTerms(c.text), c.terms) << c.text;
}

TEST(CatalogueSearch, LinesContainingAnyTermIgnoringCaseLastFirst) {
    const Catalogue c = catalogueOf({
        "CD1=/Pop/ABBA - Dancing Queen.mp3,4000000",     // 0
        "CD10=/Rock/Queen - Bohemian Rhapsody.mp3,5123", // 1
        "/media/data:/Music/Dancing  Queen live.wav,77", // 2
        "/media/data:/Music/Prince - Kiss.mp3,123456",   // 3
    });
    struct Case {
        std::string text;
        std::vector<uint32_t> rows;
    } cases[] = {
        {"", {3, 2, 1, 0}},
        {"abba kiss", {3, 0}},
        {"\"dancing queen\"", {0}},
        {"queen", {2, 1, 0}},
        {"cd1", {1, 0}},
        {"123", {3, 1}}, // the size digits are searched too
        {"\"", {}},
        {"mp3,4", {0}},
        {"nothing", {}},
    };
    for (const Case& k : cases)
        EXPECT_EQ(findMatches(c, readSearchTerms(k.text)), k.rows) << k.text;
}

// The fast search agrees with a plain one on every length and place of a hit, the ends
// of 16-byte blocks included.
TEST(CatalogueSearch, FastSearchAgreesWithAPlainOneOnRandomText) {
    std::mt19937 random(11);
    const char alphabet[] = "abAB\r\n,=";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 70, ' ');
        for (char& c : text)
            c = alphabet[random() % (sizeof alphabet - 1)];
        Catalogue c;
        c.setText(text);
        std::string term(1 + random() % 4, ' ');
        for (char& t : term)
            t = "AB"[random() % 2];
        std::vector<uint32_t> expected;
        for (size_t i = c.lineCount(); i-- > 0;) {
            std::string line(c.line(i));
            std::transform(line.begin(), line.end(), line.begin(), ::toupper);
            if (line.find(term) != std::string::npos)
                expected.push_back(uint32_t(i));
        }
        ASSERT_EQ(findMatches(c, {term}), expected) << text << " / " << term;
    }
}

TEST(CatalogueSearch, LinesSplitIntoTitleArtistDiscAndFolder) {
    struct Case {
        std::string line, title, artist, disc, folder;
    } cases[] = {
        {"CD1=/Pop/ABBA - Waterloo.mp3,4000", "Waterloo", "ABBA", "CD1", "/Pop"},
        {"/media/d:/M/(Queen) We_Will.mp3,1", "We Will", "Queen", "", "/media/d:/M"},
        {"CD2=/x=y/Song.wav,1", "Song.wav", "", "CD2", "/x=y"},
        {"CD3=Loose,Name.mp3,9", "Loose,Name", "", "CD3", ""},
        {"no marks at all", "no marks at all", "", "", ""},
        {"/:/a.mp3", "a", "", "", "/:"},
    };
    for (const Case& c : cases) {
        const std::array<std::string, 4> columns = {
            columnText(c.line, kColumnTitle), columnText(c.line, kColumnArtist),
            columnText(c.line, kColumnDisc), columnText(c.line, kColumnPath)};
        EXPECT_EQ(columns, (std::array{c.title, c.artist, c.disc, c.folder})) << c.line;
    }
}

TEST(CatalogueSearch, HeaderClicksToggleAndSortIgnoringCase) {
    struct Clicks {
        std::vector<int> columns;
        int code;
    } sequences[] = {
        {{0}, 8}, // the first click on Title after start sorts in reverse
        {{0, 0}, 0}, {{1}, 1}, {{1, 1}, 9}, {{1, 1, 1}, 1}, {{2, 3, 3}, 11},
    };
    for (const Clicks& s : sequences) {
        int code = 0;
        for (int column : s.columns)
            code = nextSortCode(code, column);
        EXPECT_EQ(code, s.code);
    }

    const Catalogue c = catalogueOf({"CD2=/b/zed - Beta.mp3,1", "CD1=/a/Alpha - alpha.mp3,1",
                                     "CD10=/c/mid - ALPHA.mp3,1", "/m:/d/x - gamma.mp3,1"});
    struct Sort {
        int code;
        std::vector<uint32_t> rows;
    } sorts[] = {
        {kColumnTitle, {2, 1, 0, 3}}, // equal titles keep their order
        {kColumnTitle + kSortReverse, {3, 0, 2, 1}},
        {kColumnArtist, {1, 2, 3, 0}},
        {kColumnDisc, {3, 1, 2, 0}},
        {kColumnPath + kSortReverse, {3, 2, 0, 1}},
    };
    for (const Sort& s : sorts) {
        std::vector<uint32_t> rows = {3, 2, 1, 0};
        sortRows(rows, c, s.code);
        EXPECT_EQ(rows, s.rows) << s.code;
    }
}

TEST(CatalogueSearch, RowsStandForFilesOnTheDriveOrTheDisc) {
    struct Case {
        std::string line, cdDrive, path;
        uint32_t size;
    } cases[] = {
        {"CD1=/Pop/a.mp3,4000000", "/media/cdrom/", "/media/cdrom/Pop/a.mp3", 4000000},
        {"CD1=/Pop/a.mp3,4000000", "/media/cdrom", "/media/cdrom/Pop/a.mp3", 4000000},
        {"/media/data:/Music/a,b.mp3,12", "", "/media/data/Music/a,b.mp3", 12},
        {"/:/home/u/a.mp3,-1", "", "/home/u/a.mp3", 0xFFFFFFFFu},
        {"CD2=/x.mp3", "/cd/", "/cd/x.mp3", 0},
        {"/plain/file.mp3,5", "", "/plain/file.mp3", 5},
    };
    for (const Case& c : cases) {
        const CatalogueFile file = fileOfLine(c.line, c.cdDrive);
        EXPECT_EQ(file.path, c.path) << c.line;
        EXPECT_EQ(file.size, c.size) << c.line;
    }
}

} // namespace
