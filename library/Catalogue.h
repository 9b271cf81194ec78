#pragma once
// The catalogue of music files found on scanned discs and hard disks: a text file of
// one line per file, read whole into memory so that it can be searched while its discs
// are not in their drives.
//
//   hard-disk line   /media/data:/Music/a.mp3,4000000   (mount point, ':', path, size)
//   disc line        CD1=/Music/a.mp3,4000000           (disc name, '=', path, size)
//
// A line's disc key is the text before its first '=' or up to and including its first
// ':', whichever comes first. Lines are bytes: names need not be UTF-8, and keys and
// prefixes are compared byte for byte.
//
// Threading: a Catalogue is a plain value; one thread at a time. A scan works on a copy.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The catalogue's file name in the home folder.
inline constexpr const char* kCatalogueFileName = "mp3DataBase.txt";

class Catalogue {
public:
    // Files larger than this are not read (offsets are 32-bit); the catalogue is then
    // absent, as for a file that cannot be read.
    static constexpr uint64_t kMaxFileBytes = 1ull << 31;

    Catalogue() = default;

    // Reads the whole file. False, with the catalogue absent, when it cannot be read.
    bool load(const std::string& path);
    // Takes the text as if read from a file (tests, benchmarks).
    void setText(std::string text);
    void clear();

    // A copy for pruning and writing back (a scan, a deletion): the lines without the
    // folded text the search needs, which would double what a large copy costs (the copy cannot be
    // searched).
    Catalogue copyLines() const;

    // False when no file could be read: the search then has nothing to show.
    bool present() const { return present_; }
    size_t lineCount() const { return lines_.size(); }
    std::string_view line(size_t index) const {
        return {text_.data() + lines_[index].offset, lines_[index].length};
    }
    // The text with ASCII letters raised, line ends turned into '\0': what the search
    // scans. Line i starts at the same offset in both texts.
    std::string_view foldedText() const { return folded_; }
    uint32_t lineOffset(size_t index) const { return lines_[index].offset; }

    // True when some line begins with prefix (bytes, case matters).
    bool hasPrefix(std::string_view prefix) const;
    // Drops every line that begins with prefix; returns how many went.
    size_t removePrefix(std::string_view prefix);
    // Every line followed by "\r\n". False when a write failed.
    bool writeAll(class CatalogueWriter& out) const;

    // The disc keys of consecutive lines with equal keys, with their line counts, last
    // group of the file first (as "Delete a CD" lists them). Lines without a key are
    // skipped.
    struct DiscGroup {
        std::string key;
        int count = 0;
    };
    std::vector<DiscGroup> discGroups() const;
    // The first free name "CD1".."CD999" (999 even when taken).
    std::string proposeDiscName() const;

private:
    struct Line {
        uint32_t offset;
        uint32_t length;
    };
    void index();

    std::string text_;
    std::string folded_;
    std::vector<Line> lines_;
    bool present_ = false;
};

// The disc key of a line; empty when it has none (neither '=' nor ':', or nothing after
// the ':').
std::string_view discKey(std::string_view line);
// The prefix that removes a disc's lines: the key itself for a drive ("/media/data:"),
// the key and '=' for a named disc.
std::string discPrefix(std::string_view key);

// Writes the text to a temporary file beside path and renames it over path, so a full
// disk or a crash leaves the old file whole. Used by every rewrite of the catalogue.
class CatalogueWriter {
public:
    explicit CatalogueWriter(std::string path);
    ~CatalogueWriter(); // an uncommitted file is removed
    CatalogueWriter(const CatalogueWriter&) = delete;
    CatalogueWriter& operator=(const CatalogueWriter&) = delete;

    // Creates the temporary file; false when it cannot be created.
    bool open();
    // Appends bytes; false once any write failed (the file is then never committed).
    bool write(std::string_view bytes);
    bool ok() const { return fd_ >= 0 && !failed_; }
    // Flushes, syncs and renames over the catalogue. False leaves the old file.
    bool commit();
    void discard();

private:
    std::string path_;
    std::string temporary_;
    std::string buffer_;
    int fd_ = -1;
    bool failed_ = false;
    bool flush();
};
