#include "library/CatalogueSearch.h"

#include "core/AsciiCase.h"
#include "library/TrackNames.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Cuts text to at most max bytes without splitting a UTF-8 sequence.
std::string_view cutText(std::string_view text, size_t max) {
    if (text.size() <= max)
        return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

void addTerm(std::vector<std::string>& terms, std::string_view word) {
    std::string term;
    term.reserve(word.size());
    for (char c : word)
        if (c != '\0')
            term += asciiUpper(c);
    if (!term.empty())
        terms.push_back(std::move(term));
}

// The first place of needle in text. With SSE2 the first and the last byte of the needle
// are compared at 16 places at once and the whole needle only where both agree, which
// runs several times faster than memmem over a catalogue's text.
const char* findBytes(const char* text, size_t size, std::string_view needle) {
    const size_t m = needle.size();
    if (m == 0 || m > size)
        return m == 0 ? text : nullptr;
    if (m == 1)
        return static_cast<const char*>(std::memchr(text, needle[0], size));
    size_t at = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    for (; at + m - 1 + 16 <= size; at += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + m - 1));
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const size_t hit = at + size_t(__builtin_ctz(mask));
            if (std::memcmp(text + hit + 1, needle.data() + 1, m - 2) == 0)
                return text + hit;
            mask &= mask - 1;
        }
    }
#endif
    return static_cast<const char*>(::memmem(text + at, size - at, needle.data(), m));
}

} // namespace

std::vector<std::string> readSearchTerms(std::string_view text) {
    text = cutText(text, kSearchTextMax);
    std::vector<std::string> terms;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        addTerm(terms, text.substr(1, text.size() - 2));
        return terms;
    }
    size_t start = 0;
    while (start <= text.size()) {
        const size_t space = std::min(text.find(' ', start), text.size());
        addTerm(terms, text.substr(start, space - start));
        start = space + 1;
    }
    return terms;
}

std::vector<uint32_t> findMatches(const Catalogue& catalogue,
                                  const std::vector<std::string>& terms) {
    const size_t count = catalogue.lineCount();
    std::vector<uint32_t> rows;
    if (terms.empty()) {
        rows.resize(count);
        std::iota(rows.rbegin(), rows.rend(), 0u);
        return rows;
    }
    // One pass over the whole text per term is far faster than a search per line; a hit
    // marks its line and the search goes on after that line.
    std::vector<uint8_t> matched(count, 0);
    const std::string_view text = catalogue.foldedText();
    for (const std::string& term : terms) {
        size_t from = 0;
        size_t line = 0; // hits come in text order: the line only moves forward
        while (from < text.size() && line < count) {
            const char* hit = findBytes(text.data() + from, text.size() - from, term);
            if (!hit)
                break;
            const size_t at = size_t(hit - text.data());
            while (line + 1 < count && catalogue.lineOffset(line + 1) <= at)
                ++line;
            const size_t end = catalogue.lineOffset(line) + catalogue.line(line).size();
            if (at >= catalogue.lineOffset(line) && at + term.size() <= end)
                matched[line] = 1;
            from = std::max(end + 1, at + 1);
        }
    }
    for (size_t i = count; i-- > 0;)
        if (matched[i])
            rows.push_back(uint32_t(i));
    return rows;
}

LineParts splitCatalogueLine(std::string_view line) {
    LineParts parts;
    std::string_view rest = line;
    const size_t mark = line.find_first_of("=:");
    if (mark != std::string_view::npos && line[mark] == '=') {
        parts.disc = line.substr(0, mark);
        rest = line.substr(mark + 1);
    }
    const size_t slash = rest.rfind('/');
    if (slash != std::string_view::npos) {
        parts.folder = rest.substr(0, slash);
        rest = rest.substr(slash + 1);
    }
    const size_t comma = rest.rfind(',');
    parts.file = comma == std::string_view::npos ? rest : rest.substr(0, comma);
    return parts;
}

std::string columnText(std::string_view line, int column) {
    const LineParts parts = splitCatalogueLine(line);
    switch (column) {
    case kColumnTitle:
        return splitTrackName(parts.file).title;
    case kColumnArtist:
        return splitTrackName(parts.file).artist;
    case kColumnDisc:
        return std::string(parts.disc);
    case kColumnPath:
        return std::string(parts.folder);
    default:
        return {};
    }
}

int nextSortCode(int current, int column) {
    return current == column ? column + kSortReverse : column;
}

void sortRows(std::vector<uint32_t>& rows, const Catalogue& catalogue, int code) {
    const int column = code % kSortReverse;
    const bool reverse = code >= kSortReverse;
    // The keys are made once and lowered once: splitting a name or folding case per
    // comparison would dominate. Lowered bytes compare as the case-blind order does.
    std::vector<std::string> keys(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        keys[i] = columnText(catalogue.line(rows[i]), column);
        for (char& c : keys[i])
            c = asciiLower(c);
    }
    std::vector<uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    if (reverse)
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return keys[b] < keys[a]; });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    std::vector<uint32_t> sorted(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        sorted[i] = rows[order[i]];
    rows = std::move(sorted);
}

CatalogueFile fileOfLine(std::string_view line, std::string_view cdDrive) {
    CatalogueFile file;
    const size_t mark = line.find_first_of("=:");
    const size_t comma = line.rfind(',');
    const bool sized =
        comma != std::string_view::npos && (mark == std::string_view::npos || comma > mark);
    const std::string_view body = sized ? line.substr(0, comma) : line;
    if (sized) {
        // Written as a signed 32-bit number: keep its low 32 bits.
        std::string_view digits = line.substr(comma + 1);
        const bool negative = digits.starts_with('-');
        if (negative)
            digits.remove_prefix(1);
        uint32_t value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                break;
            value = value * 10 + uint32_t(c - '0');
        }
        file.size = negative ? uint32_t(0) - value : value;
    }
    if (mark == std::string_view::npos || mark >= body.size()) {
        file.path = body;
        return file;
    }
    // The disc's drive for a disc line, the mount point for a hard-disk line.
    const std::string_view base = body[mark] == '=' ? cdDrive : body.substr(0, mark);
    std::string_view rest = body.substr(mark + 1);
    file.path = base;
    if (rest.starts_with('/') && file.path.ends_with('/'))
        rest.remove_prefix(1);
    file.path += rest;
    return file;
}
