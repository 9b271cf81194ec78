// The database file as written and rewritten, read-only and file-less databases, and
// every write that changes it cut short at every byte by a crash or a failing disk.

#include "tests/library/LibraryTestSupport.h"

#include <bit>
#include <map>
#include <utility>

namespace {

using namespace librarytest;
using Layout = std::vector<std::pair<uint32_t, uint32_t>>; // (blockSize, descLength)
using Cut = DatabaseWriteCut::Kind;
using Comments = std::map<std::string, std::string>;

uint32_t bits(float value) {
    return std::bit_cast<uint32_t>(value);
}

// The nine values as raw words in file order.
std::vector<uint32_t> valuesOf(const TrackAnalysis& a) {
    return {
        a.reserved.load(),           bits(a.startPoint.load()),      bits(a.endPoint.load()),
        bits(a.memoryPoint.load()),  uint32_t(a.startEnergy.load()), uint32_t(a.endEnergy.load()),
        uint32_t(a.bpmCount.load()), uint32_t(a.peakEnergy.load()),  uint32_t(a.loudness.load())};
}

// The blocks of a file by their headers; the body of every free block must be zeros.
Layout layoutOf(const Bytes& file) {
    Layout layout;
    size_t at = 0;
    while (at + 8 <= file.size()) {
        const uint32_t size = le32At(file, at);
        layout.emplace_back(size, le32At(file, at + 4));
        if (size < 8 || size > file.size() - at)
            break;
        if (layout.back().second == 0) {
            for (size_t i = at + 8; i < at + size; ++i)
                EXPECT_EQ(file[i], 0) << "free block at " << at;
        }
        at += size;
    }
    return layout;
}

class TrackDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { clearFatalMessage(); }
    void TearDown() override { EXPECT_EQ(fatalMessage(), nullptr); }

    ScratchDir dir_;
    const std::string path_ = dir_.path(TrackDatabase::kFileName);
};

TEST_F(TrackDatabaseTest, WritesTheBlockByteForByteAndReadsItBack) {
    const std::vector<uint32_t> values = {0, bits(0.125f), bits(0.875f), bits(0.25f), 1000, 2000,
                                          7, 30000,        4096};
    uint32_t today = 0;
    {
        TrackDatabase db(path_);
        TrackEntry* entry = db.openEntry("/music/Some_Band - Tune.mp3", 4000000);
        TrackAnalysis* a = db.acquireAnalysis(entry);
        a->startPoint.store(0.125f);
        a->endPoint.store(0.875f);
        a->memoryPoint.store(0.25f);
        a->startEnergy.store(1000);
        a->endEnergy.store(2000);
        a->bpmCount.store(7);
        a->peakEnergy.store(30000);
        a->loudness.store(4096);
        entry->bpm.store(128.5f);
        TrackDatabase::setEntryComment(entry, "hi");
        db.releaseAnalysis(entry);
        today = db.today();
    }
    // 12 + 21 + 3 = 36 bytes of descriptor; 8 + 36 + 36 = 80, already a multiple of 8.
    EXPECT_EQ(readBytes(path_), usedBlock({.name = "Some_Band - Tune.mp3",
                                           .comment = "hi",
                                           .sizeKey = 4000000,
                                           .bpm = 128.5f,
                                           .lastUse = today,
                                           .values = values}));
    TrackDatabase db(path_);
    // Another folder, the same name and size: the same track.
    TrackEntry* entry = db.openEntry("/elsewhere/Some_Band - Tune.mp3", 4000000);
    EXPECT_EQ(db.entryCount(), 1);
    EXPECT_STREQ(TrackDatabase::entryComment(entry), "hi");
    EXPECT_EQ(entry->bpm.load(), 128.5f);
    EXPECT_EQ(entry->lastUse, today);
    EXPECT_EQ(valuesOf(*db.acquireAnalysis(entry)), values);
}

// Where a written block goes. A block keeps its place only while its name and comment
// stay (a write cut short could otherwise mix two layouts); any other change writes the
// new block first, in the first free block that holds it or at the end, and frees the
// old one after, merged with the free blocks that follow it (never one before).
TEST_F(TrackDatabaseTest, ABlockStaysOrMovesToTheFirstFreeFitAndFreesItsOldPlace) {
    struct Write {
        const char* name;
        std::string comment;
        int64_t offset;
    };
    struct Case {
        const char* what;
        Bytes file;
        std::vector<Write> writes;
        Layout layout;
    };
    const auto used = [](const char* name, std::string comment = "", uint32_t size = 0) {
        return usedBlock({.name = name, .comment = std::move(comment), .blockSize = size});
    };
    const std::string c40(40, 'c');
    const Case cases[] = {
        // 12 + 6 + 41 = 59 -> (59 + 51) & ~7 = 104; an empty comment 19 -> 64.
        {"shorter, then the same, then one more character",
         joined({used("a.mp3", c40), used("b.mp3")}),
         {{"a.mp3", "", 168}, {"a.mp3", "", 168}, {"a.mp3", "x", 0}},
         {{64, 20}, {40, 0}, {64, 19}, {64, 0}}},
        // 12 + 6 + 21 = 39 -> 88: the first fit is the 128, not the 96 that fits best.
        {"first fit",
         joined({used("a.mp3"), used("b.mp3"), freeBlock(48), used("c.mp3"), freeBlock(128),
                 used("d.mp3"), freeBlock(96)}),
         {{"a.mp3", std::string(20, 'x'), 240}},
         {{64, 0}, {64, 19}, {48, 0}, {64, 19}, {88, 39}, {40, 0}, {64, 19}, {96, 0}}},
        {"no fit: the end; the old place merges with the free blocks after it",
         joined({freeBlock(16), used("a.mp3"), freeBlock(24), freeBlock(8), used("b.mp3")}),
         {{"a.mp3", std::string(36, 'z'), 176}},
         {{16, 0}, {96, 0}, {64, 19}, {104, 55}}},
        // Sizes the program never writes: 4 bytes left over are no block, only padding.
        {"a rest too small for a free block",
         joined({used("a.mp3", "", 68), freeBlock(68), used("b.mp3")}),
         {{"a.mp3", "", 0}, {"c.mp3", "", 68}},
         {{68, 19}, {68, 19}, {64, 19}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(path_, c.file);
        for (const Write& w : c.writes) {
            TrackDatabase db(path_);
            EXPECT_EQ(remember(db, w.name, w.comment)->offset, w.offset) << w.comment;
        }
        EXPECT_EQ(layoutOf(readBytes(path_)), c.layout);
        TrackDatabase db(path_);
        EXPECT_EQ(db.status(), DatabaseStatus::Ok);
        EXPECT_EQ(TrackDatabase::entryComment(db.openEntry(c.writes.back().name, 1)),
                  c.writes.back().comment);
    }
}

TEST_F(TrackDatabaseTest, ALaterBlockHidesAnEarlierOneAndCaseOrSizeMakeOtherEntries) {
    const Bytes older = usedBlock({.name = "t.mp3", .comment = "old", .sizeKey = 5});
    writeBytes(path_,
               joined({older, usedBlock({.name = "t.mp3", .comment = "new", .sizeKey = 5})}));
    {
        TrackDatabase db(path_);
        EXPECT_EQ(db.entryCount(), 2);
        TrackEntry* found = db.openEntry("/x/t.mp3", 5);
        EXPECT_STREQ(TrackDatabase::entryComment(found), "new");
        EXPECT_EQ(found->offset, static_cast<int64_t>(older.size()));
        remember(db, "t.mp3", "newer", 5);
        TrackEntry* upper = remember(db, "/a/T.mp3", "upper", 5);
        EXPECT_NE(upper, found);
        EXPECT_NE(remember(db, "/c/T.mp3", "bigger", 6), upper);
        EXPECT_EQ(db.openEntry("T.mp3", 5), upper); // a bare name is its own file name
    }
    EXPECT_EQ(cut(readBytes(path_), older.size()), older);
    TrackDatabase db(path_);
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("t.mp3", 5)), "newer");
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("T.mp3", 5)), "upper");
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("T.mp3", 6)), "bigger");
    EXPECT_EQ(db.openEntry("t.MP3", 5)->offset, -1); // new, never written
}

TEST_F(TrackDatabaseTest, TakesAsManyValuesAsWholeUnitsFitInTheValueArea) {
    const std::vector<uint32_t> stored = {0xdeadbeef, bits(0.1f), bits(0.9f), bits(0.3f), 11,
                                          22,         33,         44,         55};
    // "v.mp3" with no comment: a descriptor of 19 bytes, so blockSize = 27 + area.
    for (const uint32_t area : {4u, 7u, 8u, 20u, 35u, 36u, 45u}) {
        SCOPED_TRACE("value area of " + std::to_string(area) + " bytes");
        writeBytes(path_, usedBlock({.name = "v.mp3", .values = stored, .blockSize = 27 + area}));
        TrackDatabase db(path_);
        ASSERT_EQ(db.status(), DatabaseStatus::Ok);
        std::vector<uint32_t> want = defaultValues();
        std::copy_n(stored.begin(), std::min<size_t>(area / 4, 9), want.begin());
        EXPECT_EQ(valuesOf(*db.acquireAnalysis(db.openEntry("v.mp3", 1))), want);
    }
}

TEST_F(TrackDatabaseTest, AMissingFileIsCreatedEmptyAndWithoutAFolderAllStaysInMemory) {
    for (int run = 0; run < 2; ++run) { // created, then read back as an empty database
        TrackDatabase db(path_);
        EXPECT_TRUE(db.hasFile() && !db.isReadOnly() && db.entryCount() == 0);
        EXPECT_EQ(readBytes(path_).size(), 0u);
    }
    const std::string nowhere = dir_.path("missing-folder/") + TrackDatabase::kFileName;
    {
        TrackDatabase db(nowhere);
        EXPECT_FALSE(db.hasFile());
        TrackEntry* entry = remember(db, "/m/a.mp3", "kept for the run");
        EXPECT_EQ(db.openEntry("a.mp3", 1), entry);
        EXPECT_STREQ(TrackDatabase::entryComment(entry), "kept for the run");
    }
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// Entries are read, values are not, nothing is written. Reached by an explicit mode and
// by a second copy of the program, which cannot take the file for writing (a file
// without write permission takes the same way).
TEST_F(TrackDatabaseTest, AReadOnlyDatabaseReadsEntriesAndNeverWrites) {
    writeBytes(path_, usedBlock({.name = "r.mp3",
                                 .comment = "seen",
                                 .sizeKey = 3,
                                 .bpm = 99.0f,
                                 .values = {0, 0, 0, bits(0.4f), 0, 0, 0, 5, 0}}));
    const Bytes original = readBytes(path_);
    const auto expectReadOnly = [&](TrackDatabase& db) {
        EXPECT_TRUE(db.isReadOnly());
        EXPECT_EQ(db.status(), DatabaseStatus::Ok);
        TrackEntry* entry = db.openEntry("r.mp3", 3);
        EXPECT_STREQ(TrackDatabase::entryComment(entry), "seen");
        EXPECT_EQ(entry->bpm.load(), 99.0f);
        TrackAnalysis* a = db.acquireAnalysis(entry);
        EXPECT_EQ(valuesOf(*a), defaultValues());
        a->memoryPoint.store(0.5f);
        TrackDatabase::setEntryComment(entry, "changed");
        db.releaseAnalysis(entry);
        remember(db, "new.mp3", "never written", 4);
        db.acquireAnalysis(db.openEntry("held.mp3", 5)); // held at close: not written either
    };
    {
        TrackDatabase db(path_, TrackDatabase::Mode::ReadOnly);
        expectReadOnly(db);
    }
    EXPECT_FALSE(TrackDatabase(dir_.path("absent"), TrackDatabase::Mode::ReadOnly).hasFile());
    EXPECT_FALSE(std::filesystem::exists(dir_.path("absent")));
    {
        TrackDatabase first(path_);
        EXPECT_FALSE(first.isReadOnly());
        TrackDatabase second(path_);
        expectReadOnly(second);
    }
    EXPECT_EQ(readBytes(path_), original);
}

// A write cut short: every entry survives, the changed one as it was or as it became,
// and the file takes later writes as before.
// The comment of every entry but one; the newest block of each name wins.
Comments othersIn(const TrackDatabase& db, const std::string& track) {
    Comments comments;
    for (const TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next)
        comments.emplace(e->name, TrackDatabase::entryComment(e));
    comments.erase(track);
    return comments;
}

TEST(DatabaseCrashTest, AWriteCutAtAnyByteLeavesEveryEntryOldOrNew) {
    struct Change {
        const char* name;
        Bytes file;
        std::string track; // "c.mp3" is new; "a.mp3" has the comment "old" or 40 o's
        std::string comment;
    };
    const Bytes a = usedBlock({.name = "a.mp3", .comment = "old"});
    const Bytes b = usedBlock({.name = "b.mp3", .comment = "bee"});
    const Change changes[] = {
        {"grows into an earlier free block", joined({freeBlock(128), a, b}), "a.mp3",
         std::string(20, 'n')},
        {"grows to the end", joined({a, b}), "a.mp3", std::string(100, 'n')},
        {"shrinks", joined({usedBlock({.name = "a.mp3", .comment = std::string(40, 'o')}), b}),
         "a.mp3", ""},
        {"another comment of the same length", joined({a, b}), "a.mp3", "new"},
        {"only the values, in place in a block with room to spare",
         joined({usedBlock({.name = "a.mp3", .comment = "old", .blockSize = 80}), b}), "a.mp3",
         "old"},
        {"a new entry appended", joined({a, b}), "c.mp3", "new"},
    };
    ScratchDir dir;
    const std::string path = dir.path(TrackDatabase::kFileName);
    for (const Change& change : changes) {
        writeBytes(path, change.file);
        Comments others;
        std::string old;
        {
            TrackDatabase db(path);
            others = othersIn(db, change.track);
            old = change.track == "a.mp3" ? TrackDatabase::entryComment(db.openEntry("a.mp3", 1))
                                          : "";
            DatabaseWriteCut::countOnly();
            remember(db, change.track, change.comment);
        }
        const int64_t total = DatabaseWriteCut::written();
        ASSERT_GT(total, 0) << change.name;

        for (const Cut kind : {Cut::Crash, Cut::Fail}) {
            for (int64_t cut = 0; cut <= total; ++cut) {
                SCOPED_TRACE(std::string(change.name) +
                             (kind == Cut::Crash ? ", crash" : ", failure") + " after " +
                             std::to_string(cut) + " of " + std::to_string(total) + " bytes");
                writeBytes(path, change.file);
                clearFatalMessage();
                {
                    TrackDatabase db(path);
                    DatabaseWriteCut::set(kind, cut);
                    remember(db, change.track, change.comment);
                }
                DatabaseWriteCut::countOnly();
                {
                    TrackDatabase db(path);
                    ASSERT_EQ(db.status(), DatabaseStatus::Ok);
                    ASSERT_EQ(fatalMessage(), nullptr);
                    // Undone at once: only a crash leaves a tail.
                    EXPECT_TRUE(kind == Cut::Crash || db.droppedTailBytes() == 0);
                    const TrackEntry* entry = db.openEntry(change.track, 1);
                    const std::string now = TrackDatabase::entryComment(entry);
                    if (cut == total || (entry->offset >= 0 && now != old)) {
                        EXPECT_EQ(now, change.comment);
                    }
                    EXPECT_TRUE(old.empty() || entry->offset >= 0) << "the entry was lost";
                    EXPECT_EQ(othersIn(db, change.track), others);
                    remember(db, change.track, "later");
                }
                TrackDatabase db(path);
                EXPECT_EQ(db.status(), DatabaseStatus::Ok);
                EXPECT_EQ(db.droppedTailBytes(), 0) << "a torn tail is dropped once";
                EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry(change.track, 1)), "later");
                EXPECT_EQ(othersIn(db, change.track), others);
            }
        }
    }
    DatabaseWriteCut::clear();
}

} // namespace
