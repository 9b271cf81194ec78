// The database file as written and rewritten: the exact bytes of a block, rewriting in
// place, moving to the first free fit or the end, merging of free blocks, hiding, the
// identity of entries, value areas of every length, read-only and file-less databases.

#include "library/TrackDatabase.h"
#include "core/FatalMessage.h"
#include "tests/library/DatabaseBytes.h"

#include <gtest/gtest.h>

#include <bit>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace {

using namespace dbtest;
using Layout = std::vector<std::pair<uint32_t, uint32_t>>; // (blockSize, descLength)

constexpr auto kRelaxed = std::memory_order_relaxed;

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

// The blocks of a file by their headers; a header that does not fit ends the list.
Layout layoutOf(const Bytes& file) {
    Layout layout;
    size_t at = 0;
    while (at + 8 <= file.size()) {
        const uint32_t size = u32At(file, at);
        layout.emplace_back(size, u32At(file, at + 4));
        if (size < 8 || size > file.size() - at)
            break;
        at += size;
    }
    return layout;
}

bool zeroFrom(const Bytes& file, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (file.at(i) != 0)
            return false;
    }
    return true;
}

class TrackDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        clearFatalMessage();
    }
    void TearDown() override { EXPECT_EQ(fatalMessage(), nullptr); }

    // Acquires the entry of path, gives it a comment and releases it, which writes it.
    static TrackEntry* remember(TrackDatabase& db, const std::string& path, uint32_t sizeKey,
                                const std::string& comment) {
        TrackEntry* entry = db.openEntry(path, sizeKey);
        db.acquireAnalysis(entry);
        TrackDatabase::setEntryComment(entry, comment);
        db.releaseAnalysis(entry);
        return entry;
    }

    // The same in a database of its own, closed again: where the entry was written.
    int64_t rememberOnce(const std::string& path, const std::string& comment) {
        TrackDatabase db(path_);
        return remember(db, path, 1, comment)->offset;
    }

    ScratchDir dir_;
    const std::string path_ = dir_.file(TrackDatabase::kFileName);
};

TEST_F(TrackDatabaseTest, WritesTheBlockByteForByteAndReadsItBack) {
    const std::vector<uint32_t> values = {0, bits(0.125f), bits(0.875f), bits(0.25f), 1000, 2000,
                                          7, 30000,        4096};
    uint32_t today = 0;
    {
        TrackDatabase db(path_);
        EXPECT_TRUE(db.hasFile());
        EXPECT_FALSE(db.isReadOnly());
        TrackEntry* entry = db.openEntry("/music/Some_Band - Tune.mp3", 4000000);
        TrackAnalysis* a = db.acquireAnalysis(entry);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(valuesOf(*a), defaultValues());
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
        EXPECT_STREQ(TrackDatabase::entryComment(entry), "hi");
        db.releaseAnalysis(entry);
        EXPECT_EQ(entry->analysis, nullptr);
        EXPECT_EQ(entry->offset, 0);
        today = db.today();
    }
    const Bytes file = readFile(path_);
    // 12 + 21 + 3 = 36 bytes of descriptor; 8 + 36 + 36 = 80, already a multiple of 8.
    ASSERT_EQ(file.size(), 80u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{80, 0, 0, 0, 36, 0, 0, 0}));
    EXPECT_EQ(file, usedBlock(Block("Some_Band - Tune.mp3")
                                  .comment("hi")
                                  .sizeKey(4000000)
                                  .bpm(128.5f)
                                  .lastUse(today)
                                  .values(values)));

    TrackDatabase db(path_);
    EXPECT_EQ(db.entryCount(), 1);
    // Another folder, the same name and size: the same track.
    TrackEntry* entry = db.openEntry("/elsewhere/Some_Band - Tune.mp3", 4000000);
    EXPECT_EQ(db.entryCount(), 1);
    EXPECT_EQ(entry->offset, 0);
    EXPECT_STREQ(TrackDatabase::entryComment(entry), "hi");
    EXPECT_EQ(entry->replacementComment, nullptr);
    EXPECT_EQ(entry->bpm.load(), 128.5f);
    EXPECT_EQ(entry->lastUse, today);
    EXPECT_EQ(valuesOf(*db.acquireAnalysis(entry)), values);
    db.releaseAnalysis(entry);
}

TEST_F(TrackDatabaseTest, WritesOnlyOnTheLastReleaseOrAtCloseForHeldEntries) {
    {
        TrackDatabase db(path_);
        db.openEntry("/m/listed.mp3", 10); // met in a list, never acquired: never written
        TrackEntry* held = db.openEntry("/m/held.mp3", 20);
        TrackAnalysis* a = db.acquireAnalysis(held);
        EXPECT_EQ(db.acquireAnalysis(held), a);
        EXPECT_EQ(held->refCount, 2);
        db.releaseAnalysis(held);
        EXPECT_EQ(held->refCount, 1);
        EXPECT_EQ(readFile(path_).size(), 0u);
        a->loudness.store(77);
        // Closing with the entry still held (as a deck leaves it) writes it.
    }
    TrackDatabase db(path_);
    EXPECT_EQ(db.entryCount(), 1);
    EXPECT_EQ(db.firstEntry()->name, "held.mp3");
    EXPECT_EQ(db.acquireAnalysis(db.firstEntry())->loudness.load(), 77);
    // A release of an entry that holds nothing does nothing.
    TrackEntry* listed = db.openEntry("/m/listed.mp3", 10);
    db.releaseAnalysis(listed);
    EXPECT_EQ(listed->refCount, 0);
}

// A block keeps its place only while its name and comment stay: a write cut short
// could otherwise mix two layouts. Any other change writes the new block first and
// frees the old one after.
TEST_F(TrackDatabaseTest, ABlockStaysInPlaceOnlyWhileItsTextStays) {
    EXPECT_EQ(rememberOnce("/m/a.mp3", std::string(40, 'c')),
              0);                                 // 12 + 6 + 41 = 59 -> (59 + 51) & ~7 = 104
    EXPECT_EQ(rememberOnce("/m/b.mp3", ""), 104); // 19 -> 64
    EXPECT_EQ(rememberOnce("/m/a.mp3", ""), 168); // shorter: to the end, the old place freed
    Bytes file = readFile(path_);
    EXPECT_EQ(layoutOf(file), (Layout{{104, 0}, {64, 19}, {64, 19}}));
    EXPECT_TRUE(zeroFrom(file, 8, 104));
    EXPECT_EQ(rememberOnce("/m/a.mp3", ""), 168); // the same text: in place
    // One more character keeps the rounded size but moves to the first free fit.
    EXPECT_EQ(rememberOnce("/m/a.mp3", "x"), 0);
    EXPECT_EQ(layoutOf(readFile(path_)), (Layout{{64, 20}, {40, 0}, {64, 19}, {64, 0}}));
    TrackDatabase db(path_);
    EXPECT_EQ(db.entryCount(), 2);
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("a.mp3", 1)), "x");
    EXPECT_EQ(db.openEntry("b.mp3", 1)->offset, 104);
}

TEST_F(TrackDatabaseTest, ALongerBlockMovesToTheFirstFreeFitElseToTheEnd) {
    auto used = [](const char* name) { return usedBlock(Block(name).sizeKey(1)); };
    // a@0 b@64 free48@128 c@176 free128@240 d@368 free96@432, 528 bytes.
    writeFile(path_, joined({used("a.mp3"), used("b.mp3"), freeBlock(48), used("c.mp3"),
                             freeBlock(128), used("d.mp3"), freeBlock(96)}));
    // 12 + 6 + 21 = 39 -> 88: too big for the 48, first fit is the 128 (not the 96).
    EXPECT_EQ(rememberOnce("a.mp3", std::string(20, 'x')), 240);
    Bytes file = readFile(path_);
    EXPECT_EQ(file.size(), 528u);
    EXPECT_EQ(layoutOf(file),
              (Layout{{64, 0}, {64, 19}, {48, 0}, {64, 19}, {88, 39}, {40, 0}, {64, 19}, {96, 0}}));
    EXPECT_TRUE(zeroFrom(file, 8, 64));
    // 12 + 6 + 101 = 119 -> 168: the old place merges with the 40 after it into 128,
    // which is still too small, as is every other free block: appended at the end.
    EXPECT_EQ(rememberOnce("a.mp3", std::string(100, 'y')), 528);
    file = readFile(path_);
    EXPECT_EQ(
        layoutOf(file),
        (Layout{{64, 0}, {64, 19}, {48, 0}, {64, 19}, {128, 0}, {64, 19}, {96, 0}, {168, 119}}));
    EXPECT_TRUE(zeroFrom(file, 240 + 8, 368));

    TrackDatabase db(path_);
    EXPECT_EQ(db.status(), DatabaseStatus::Ok);
    EXPECT_EQ(db.entryCount(), 4);
    EXPECT_EQ(TrackDatabase::entryComment(db.openEntry("a.mp3", 1)), std::string(100, 'y'));
}

TEST_F(TrackDatabaseTest, FreedSpaceMergesWithFreeBlocksAfterItNeverBefore) {
    // free16@0 a@16 free24@80 free8@104 b@112
    writeFile(path_, joined({freeBlock(16), usedBlock(Block("a.mp3").sizeKey(1)), freeBlock(24),
                             freeBlock(8), usedBlock(Block("b.mp3").sizeKey(1))}));
    // 64 + 24 + 8 = 96 freed at 16; the new block of 104 fits nowhere: appended.
    EXPECT_EQ(rememberOnce("a.mp3", std::string(36, 'z')), 176);
    const Bytes file = readFile(path_);
    EXPECT_EQ(layoutOf(file), (Layout{{16, 0}, {96, 0}, {64, 19}, {104, 55}}));
    EXPECT_TRUE(zeroFrom(file, 16 + 8, 112));
}

TEST_F(TrackDatabaseTest, ARestTooSmallForAFreeBlockStaysAsPadding) {
    // Block sizes the program never writes: a 68-byte block and a 68-byte free block.
    writeFile(path_, joined({usedBlock(Block("a.mp3").sizeKey(1).blockSize(68)), freeBlock(68),
                             usedBlock(Block("b.mp3").sizeKey(1))}));
    EXPECT_EQ(rememberOnce("a.mp3", ""), 0);  // 64 needed, 4 left over
    EXPECT_EQ(rememberOnce("c.mp3", ""), 68); // takes the free 68 whole
    EXPECT_EQ(layoutOf(readFile(path_)), (Layout{{68, 19}, {68, 19}, {64, 19}}));
    TrackDatabase db(path_);
    EXPECT_EQ(db.status(), DatabaseStatus::Ok);
    EXPECT_EQ(db.entryCount(), 3);
}

TEST_F(TrackDatabaseTest, ALaterBlockHidesAnEarlierOneOfTheSameNameAndKey) {
    const Bytes older = usedBlock(Block("t.mp3").comment("old").sizeKey(5));
    writeFile(path_, joined({older, usedBlock(Block("t.mp3").comment("new").sizeKey(5))}));
    {
        TrackDatabase db(path_);
        EXPECT_EQ(db.entryCount(), 2);
        TrackEntry* found = db.openEntry("/x/t.mp3", 5);
        EXPECT_EQ(found, db.firstEntry());
        EXPECT_STREQ(TrackDatabase::entryComment(found), "new");
        EXPECT_EQ(found->offset, static_cast<int64_t>(older.size()));
        remember(db, "t.mp3", 5, "newer");
    }
    const Bytes file = readFile(path_);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + older.size()), older);
    TrackDatabase db(path_);
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("t.mp3", 5)), "newer");
}

TEST_F(TrackDatabaseTest, NamesDifferingInCaseOrSizeAreDifferentEntries) {
    {
        TrackDatabase db(path_);
        TrackEntry* a = remember(db, "/a/Tune.mp3", 100, "upper");
        TrackEntry* b = remember(db, "/b/tune.mp3", 100, "lower");
        TrackEntry* c = remember(db, "/c/Tune.mp3", 200, "bigger");
        EXPECT_NE(a, b);
        EXPECT_NE(a, c);
        EXPECT_EQ(db.openEntry("/d/Tune.mp3", 100), a);
        EXPECT_EQ(db.openEntry("Tune.mp3", 100), a); // a bare name is its own file name
        EXPECT_EQ(db.entryCount(), 3);
    }
    TrackDatabase db(path_);
    EXPECT_EQ(db.entryCount(), 3);
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("Tune.mp3", 100)), "upper");
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("tune.mp3", 100)), "lower");
    EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("Tune.mp3", 200)), "bigger");
    EXPECT_EQ(db.openEntry("TUNE.mp3", 100)->offset, -1); // new, never written
    EXPECT_EQ(TrackDatabase::entryComment(nullptr), nullptr);
}

TEST_F(TrackDatabaseTest, TakesAsManyValuesAsWholeUnitsFitInTheValueArea) {
    const std::vector<uint32_t> stored = {0xdeadbeef, bits(0.1f), bits(0.9f), bits(0.3f), 11,
                                          22,         33,         44,         55};
    // "v.mp3" with no comment: a descriptor of 19 bytes, so blockSize = 27 + area.
    for (const uint32_t area : {4u, 7u, 8u, 20u, 35u, 36u, 45u}) {
        SCOPED_TRACE("value area of " + std::to_string(area) + " bytes");
        writeFile(path_, usedBlock(Block("v.mp3").sizeKey(9).values(stored).blockSize(27 + area)));
        TrackDatabase db(path_, TrackDatabase::Mode::Normal);
        ASSERT_EQ(db.status(), DatabaseStatus::Ok);
        TrackEntry* entry = db.openEntry("v.mp3", 9);
        std::vector<uint32_t> want = defaultValues();
        for (size_t i = 0; i < std::min<size_t>(area / 4, 9); ++i)
            want[i] = stored[i];
        EXPECT_EQ(valuesOf(*db.acquireAnalysis(entry)), want);
        db.releaseAnalysis(entry);
    }
}

TEST_F(TrackDatabaseTest, AMissingFileIsCreatedEmptyAndWithoutAFolderAllStaysInMemory) {
    EXPECT_FALSE(fileExists(path_));
    for (int run = 0; run < 2; ++run) { // created, then read back as an empty database
        TrackDatabase db(path_);
        EXPECT_EQ(db.status(), DatabaseStatus::Ok);
        EXPECT_EQ(db.entryCount(), 0);
        EXPECT_TRUE(db.hasFile());
        EXPECT_FALSE(db.isReadOnly());
        EXPECT_EQ(readFile(path_).size(), 0u);
    }
    const std::string nowhere = dir_.file("missing-folder/") + TrackDatabase::kFileName;
    {
        TrackDatabase db(nowhere);
        EXPECT_FALSE(db.hasFile());
        EXPECT_EQ(db.status(), DatabaseStatus::Ok);
        TrackEntry* entry = remember(db, "/m/a.mp3", 1, "kept for the run");
        EXPECT_EQ(entry->offset, -1);
        EXPECT_EQ(db.openEntry("a.mp3", 1), entry);
        EXPECT_STREQ(TrackDatabase::entryComment(entry), "kept for the run");
        EXPECT_EQ(entry->lastUse, db.today());
    }
    EXPECT_FALSE(fileExists(nowhere));
}

// The read-only file of the original: entries are read, values are not, nothing is
// written. Reached by an explicit mode, by a second copy of the program (which cannot
// take the file for writing), and by a file without write permission.
TEST_F(TrackDatabaseTest, AReadOnlyDatabaseReadsEntriesAndNeverWrites) {
    writeFile(path_, usedBlock(Block("r.mp3").comment("seen").sizeKey(3).bpm(99.0f).values(
                         {0, 0, 0, bits(0.4f), 0, 0, 0, 5, 0})));
    const Bytes original = readFile(path_);
    const auto expectReadOnly = [&](TrackDatabase& db) {
        EXPECT_TRUE(db.isReadOnly());
        EXPECT_EQ(db.status(), DatabaseStatus::Ok);
        TrackEntry* entry = db.openEntry("r.mp3", 3);
        EXPECT_STREQ(TrackDatabase::entryComment(entry), "seen");
        EXPECT_EQ(entry->bpm.load(), 99.0f);
        TrackAnalysis* a = db.acquireAnalysis(entry);
        EXPECT_EQ(valuesOf(*a), defaultValues());
        a->memoryPoint.store(0.5f, kRelaxed);
        TrackDatabase::setEntryComment(entry, "changed");
        db.releaseAnalysis(entry);
        remember(db, "new.mp3", 4, "never written");
        db.acquireAnalysis(db.openEntry("held.mp3", 5)); // held at close: not written either
    };
    {
        SCOPED_TRACE("explicit mode");
        TrackDatabase db(path_, TrackDatabase::Mode::ReadOnly);
        expectReadOnly(db);
    }
    EXPECT_EQ(readFile(path_), original);
    // Read-only never creates the file either.
    EXPECT_FALSE(TrackDatabase(dir_.file("absent"), TrackDatabase::Mode::ReadOnly).hasFile());
    EXPECT_FALSE(fileExists(dir_.file("absent")));
    {
        SCOPED_TRACE("second copy");
        TrackDatabase first(path_);
        EXPECT_FALSE(first.isReadOnly());
        TrackDatabase second(path_);
        expectReadOnly(second);
    }
    EXPECT_EQ(readFile(path_), original);
    EXPECT_FALSE(TrackDatabase(path_).isReadOnly());
    // Root may write read-only files: there the permission cannot make the file read-only.
    ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
    if (access(path_.c_str(), W_OK) != 0) {
        SCOPED_TRACE("no write permission");
        {
            TrackDatabase db(path_);
            expectReadOnly(db);
        }
        EXPECT_EQ(readFile(path_), original);
    }
}

} // namespace
