#pragma once
// The internal track database: what the program has learned about every track it has
// met (tempo, comment, last use, analysis values), kept in one file of variable-size
// blocks in the home folder so that one track's record is rewritten in place, or moved
// to a free block, without rewriting the file.
//
// A track is known by its file name (without the folder, case significant) and its
// sizeKey, the file's size. Entries live in a list, newest first, from opening to
// closing; a block later in the file hides an earlier one of the same name and key.
//
// Opening reads every block header and descriptor; the analysis values are read when an
// entry is first acquired. The file is written only when the last reference to an
// entry's analysis is released, and at closing for the entries still held. A file that
// can only be read gives entries without their analysis values and is never written;
// without any file everything lives in memory for the run.
//
// Threading: every operation runs on the user-interface thread. The audio thread (the
// beat analyser of a deck) writes the analysis values and the bpm of an entry that a
// deck holds; those fields are atomics (see TrackRecord.h), and the database never
// touches the file from the audio thread. It must have stopped before the database is
// destroyed, since closing writes the held entries.

#include "core/TrackStore.h"
#include "library/DatabaseBlock.h"
#include "library/DatabaseFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How reading the file at opening ended.
enum class DatabaseStatus { Ok, FileSystemError, Corrupted, NotEnoughMemory };

// The program's text for a status: "Error in the file system driver", "The internal
// database is corrupted", "Not enough memory"; null for Ok.
const char* databaseMessage(DatabaseStatus status);

class TrackDatabase final : public TrackStore {
public:
    static constexpr const char* kFileName = "zorvendal Internal Database";

    enum class Mode {
        Normal,  // read and write, creating the file when missing
        ReadOnly // read an existing file, never write it
    };

    // Opens the database file of the home folder.
    TrackDatabase();
    // Opens the database at filePath (tools and tests).
    explicit TrackDatabase(const std::string& filePath, Mode mode = Mode::Normal);
    // Writes back every entry whose analysis is loaded, then frees the entries.
    ~TrackDatabase() override;
    TrackDatabase(const TrackDatabase&) = delete;
    TrackDatabase& operator=(const TrackDatabase&) = delete;

    // The database file in the "Home folder" setting.
    static std::string defaultFilePath();

    // How reading ended. Anything but Ok has also been set as the deferred fatal
    // message; the entries read before the failing block are usable.
    DatabaseStatus status() const { return status_; }
    bool isReadOnly() const { return readOnly_; }
    bool hasFile() const { return file_.isOpen(); }
    // Bytes of a last block that a crash cut short while it was appended; opening drops
    // them (and cuts the file back when it may) and keeps every whole entry.
    int64_t droppedTailBytes() const { return droppedTailBytes_; }
    // The dateStamp of the local date when the database was opened.
    uint32_t today() const { return today_; }

    TrackEntry* openEntry(const std::string& path, uint32_t sizeKey) override;
    // Null only for a null entry.
    TrackAnalysis* acquireAnalysis(TrackEntry* entry) override;
    void releaseAnalysis(TrackEntry* entry) override;
    // Whether the entry holds an analysis of the whole track; read without acquiring, so
    // nothing is written. False for no entry and for a database that cannot be written.
    bool analysedWhole(TrackEntry* entry);

    // The effective comment: the replacement when the comment was edited, else the one
    // read from the file. Null for no entry.
    static const char* entryComment(const TrackEntry* entry);
    // Replaces the comment; it reaches the file with the entry's next write, so the
    // editor holds the entry's analysis around the edit.
    static void setEntryComment(TrackEntry* entry, std::string_view comment);

    // The newest entry; follow TrackEntry::next for the others.
    TrackEntry* firstEntry() const { return head_; }
    int64_t entryCount() const { return entryCount_; }

private:
    struct Key {
        std::string_view name; // the entry's own name, which never changes
        uint32_t sizeKey;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const;
    };

    void open(const std::string& filePath, Mode mode);
    DatabaseStatus readBlocks();
    // Puts a new entry at the head of the list; it hides older ones of its name and key.
    TrackEntry* addEntry(std::unique_ptr<TrackEntry> entry);
    void loadAnalysis(const TrackEntry& entry, TrackAnalysis& into);
    void writeEntry(TrackEntry& entry);
    bool placeBlock(TrackEntry& entry, std::vector<uint8_t>& block);
    bool writeBlock(int64_t position, const std::vector<uint8_t>& block);
    bool sameDescriptorText(int64_t position, const dbblock::BlockHeader& old,
                            const std::vector<uint8_t>& block) const;
    void dropTornTail(int64_t end);
    void freeRegion(int64_t size, int64_t position);

    DatabaseFile file_;
    DatabaseStatus status_ = DatabaseStatus::Ok;
    bool readOnly_ = false;
    int64_t droppedTailBytes_ = 0;
    uint32_t today_ = 0;
    TrackEntry* head_ = nullptr;
    int64_t entryCount_ = 0;
    // The entry that a lookup down the list finds first for each name and key: the
    // newest one, since entries only ever join at the head.
    std::unordered_map<Key, TrackEntry*, KeyHash> index_;
};
