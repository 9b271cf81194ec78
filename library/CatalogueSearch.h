#pragma once
// Search over the catalogue held in memory: the terms typed into the search box, the
// lines that match them, how a line is shown in the four columns of the result list,
// the sort codes of its header, and the file a row stands for.
//
// A result is a list of line indices into the Catalogue it was made from (never copies
// of the lines); it must be made again whenever that catalogue changes.
//
// Threading: pure functions over a catalogue that nobody changes meanwhile; any thread.

#include "library/Catalogue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How much of the search box is read, in bytes.
inline constexpr size_t kSearchTextMax = 254;

// Upper-case terms from the search box: a text of two characters or more that starts
// and ends with '"' is one phrase (spaces included); otherwise each space ends a word.
// Empty words are dropped. No terms means every line.
std::vector<std::string> readSearchTerms(std::string_view text);

// The indices of the lines that contain one of the terms (ASCII letters compared without
// case), every line without terms; last of the file first (the order of an unsorted
// result list). Runs over the catalogue's folded text, term by term.
std::vector<uint32_t> findMatches(const Catalogue& catalogue,
                                  const std::vector<std::string>& terms);

// The four columns of the result list.
enum SearchColumn { kColumnTitle, kColumnArtist, kColumnDisc, kColumnPath, kSearchColumns };

struct LineParts {
    std::string_view disc;   // before the first '='; empty without one
    std::string_view folder; // before the last '/' of the rest
    std::string_view file;   // after it, without the ",size" ending
};
LineParts splitCatalogueLine(std::string_view line);
// The text of one column of a line.
std::string columnText(std::string_view line, int column);

// Sort codes: a column number, plus kSortReverse for the reverse order. A click on
// column c gives c + kSortReverse when the code already was c, else c.
inline constexpr int kSortReverse = 8;
int nextSortCode(int current, int column);
// Sorts rows (line indices) by the column of the code, ASCII case ignored; rows that
// compare equal keep their order.
void sortRows(std::vector<uint32_t>& rows, const Catalogue& catalogue, int code);

// The file a line stands for. A disc line lies under the drive where the disc is
// mounted now (cdDrive); a hard-disk line names its file itself.
struct CatalogueFile {
    std::string path;
    uint32_t size = 0; // the size written by the scan, low 32 bits
};
CatalogueFile fileOfLine(std::string_view line, std::string_view cdDrive);
