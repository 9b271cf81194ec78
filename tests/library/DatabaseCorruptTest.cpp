// Damaged database files, one by one and by the thousand (under AddressSanitizer +
// UBSan): the message, the entries read before the damage, a torn tail dropped.

#include "tests/Mutator.h"
#include "tests/library/LibraryTestSupport.h"

namespace {

using namespace librarytest;

std::vector<std::string> namesOf(const TrackDatabase& db) {
    std::vector<std::string> names;
    for (const TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next)
        names.push_back(e->name);
    return names;
}

class DatabaseCorruptTest : public testing::Test {
protected:
    void SetUp() override { clearFatalMessage(); }
    void TearDown() override { clearFatalMessage(); }
    ScratchDir dir;
    const std::string path = dir.path(TrackDatabase::kFileName);
};

TEST_F(DatabaseCorruptTest, EachDamageGivesItsMessageAndKeepsWhatWasRead) {
    struct Case {
        const char* name;
        Bytes file;
        DatabaseStatus status;
        std::vector<std::string> entries; // newest first, as the list holds them
        size_t tornTail = 0;              // bytes of a last block cut short by a crash
    };
    const Bytes good = usedBlock({.name = "good.mp3", .comment = "fine"});
    const Bytes other = usedBlock({.name = "other.mp3", .sizeKey = 2});
    constexpr auto ok = DatabaseStatus::Ok;
    constexpr auto bad = DatabaseStatus::Corrupted;
    const std::vector<std::string> none;
    const std::vector<std::string> g = {"good.mp3"};
    const Case cases[] = {
        {"empty file", {}, ok, none},
        {"ends exactly after a block", good, ok, g},
        {"free blocks between used ones",
         joined({freeBlock(8), good, freeBlock(16), other}),
         ok,
         {"other.mp3", "good.mp3"}},
        {"header cut after five bytes", joined({good, cut(other, 5)}), ok, g, 5},
        {"cut in a descriptor", joined({good, cut(other, 20)}), ok, g, 20},
        {"cut in the value area", joined({good, cut(other, other.size() - 8)}), ok, g,
         other.size() - 8},
        {"a cut block of a size the program never writes",
         joined({good, cut(usedBlock({.name = "x.mp3", .blockSize = 72}), 40)}), bad, g},
        {"descLength 13", usedBlock({.descLength = 13}), bad, none},
        {"descLength 14: empty name and comment", usedBlock({}), ok, {""}},
        {"blockSize below descLength + 12", usedBlock({.name = "x.mp3", .blockSize = 19 + 11}), bad,
         none},
        {"blockSize exactly descLength + 12",
         joined({usedBlock({.name = "x.mp3", .blockSize = 19 + 12}), good}),
         ok,
         {"good.mp3", "x.mp3"}},
        {"blockSize negative as a signed number", joined({header(0x80000000u, 19), cut(other, 60)}),
         bad, none},
        {"blockSize far beyond the file",
         joined({good, header(0x7ffffff8u, 19), cut(Bytes(other.begin() + 8, other.end()), 56)}),
         bad, g},
        {"descLength far beyond the file", joined({header(64, 0xfffffff0u), Bytes(56, 'a')}), bad,
         none},
        {"name not terminated inside descLength", usedBlock({.name = "abcd", .descLength = 16}),
         bad, none},
        {"comment not terminated inside descLength",
         usedBlock({.name = "ab", .comment = "cdef", .descLength = 19}), bad, none},
        {"bytes after the comment inside descLength",
         usedBlock({.name = "ab", .comment = "cd", .descLength = 22}),
         ok,
         {"ab"}},
        {"free block of size 4", joined({header(4, 0), good}), bad, none},
        {"free block of size 8", joined({header(8, 0), good}), ok, g},
        {"free block running past the end", joined({good, header(100, 0), Bytes(20, 0)}), bad, g},
        {"blocks after the damage are ignored",
         joined({good, usedBlock({.descLength = 13}), other}), bad, g},
    };
    EXPECT_STREQ(databaseMessage(DatabaseStatus::Corrupted), "The internal database is corrupted");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path, c.file);
        clearFatalMessage();
        {
            TrackDatabase db(path);
            EXPECT_EQ(db.status(), c.status);
            EXPECT_EQ(namesOf(db), c.entries);
            EXPECT_STREQ(fatalMessage(), databaseMessage(c.status));
            EXPECT_EQ(db.droppedTailBytes(), static_cast<int64_t>(c.tornTail));
        }
        // Opening never changes the file but to drop a torn tail.
        EXPECT_EQ(readBytes(path), cut(c.file, c.file.size() - c.tornTail));
    }
}

// A process's own memory file is a regular file whose first page cannot be read.
TEST_F(DatabaseCorruptTest, AFailingReadIsAnErrorOfTheFileSystemDriver) {
    TrackDatabase db("/proc/self/mem", TrackDatabase::Mode::ReadOnly);
    if (db.status() == DatabaseStatus::Ok)
        GTEST_SKIP() << "reading /proc/self/mem at 0 does not fail here";
    EXPECT_EQ(db.status(), DatabaseStatus::FileSystemError);
    EXPECT_STREQ(fatalMessage(), "Error in the file system driver");
}

// Entries read before the damage can still be written, and the write never runs into or
// past the damaged part.
TEST_F(DatabaseCorruptTest, WritesAfterDamageStayInsideTheReadPart) {
    const Bytes good = usedBlock({.name = "good.mp3"});
    writeBytes(path, joined({good, header(0, 0)}));
    {
        TrackDatabase db(path);
        EXPECT_EQ(db.status(), DatabaseStatus::Corrupted);
        TrackEntry* entry = db.openEntry("good.mp3", 1);
        db.acquireAnalysis(entry);
        db.releaseAnalysis(entry); // the same text: rewritten in place
        EXPECT_EQ(entry->offset, 0);
        // A new entry needs a walk, which stops at the damaged header: not written.
        TrackEntry* fresh = db.openEntry("new.mp3", 1);
        db.acquireAnalysis(fresh);
        db.releaseAnalysis(fresh);
        EXPECT_EQ(fresh->offset, -1);
    }
    EXPECT_EQ(readBytes(path).size(), good.size() + 8);
}

TEST_F(DatabaseCorruptTest, DamagedFilesNeverCrashAndCleanFilesStayClean) {
    const Bytes base = joined({
        usedBlock({.name = "Tune.mp3", .comment = "warm-up", .values = {0, 1, 2, 3, 4, 5, 6, 7}}),
        freeBlock(48),
        usedBlock({.name = "short.wav", .blockSize = 8 + 20 + 12}),
        usedBlock({.name = "(Artist) Long.mp3", .comment = std::string(90, 'c')}),
        freeBlock(8),
        usedBlock({}),
        usedBlock({.name = "twice.mp3", .comment = "older"}),
        usedBlock({.name = "twice.mp3", .comment = "newer"}),
        freeBlock(200),
    });
    constexpr int kMutants = 4000;
    Mutator m(20240611,
              {0, 1, 4, 7, 8, 12, 13, 14, 15, 19, 20, 64, 0x7fffffff, 0x80000000, 0xfffffff8});
    int clean = 0;
    DatabaseWriteCut::countOnly(); // no waiting for the disk
    for (int n = 0; n < kMutants && !HasFailure(); ++n) {
        SCOPED_TRACE("mutant " + std::to_string(n));
        writeBytes(path, m.mutate(base));
        clearFatalMessage();
        int64_t count = 0;
        {
            TrackDatabase db(path);
            // Every size was checked against the file: nothing asks for memory it lacks,
            // and a regular file does not fail to read.
            ASSERT_TRUE(db.status() == DatabaseStatus::Ok ||
                        db.status() == DatabaseStatus::Corrupted);
            ASSERT_EQ(fatalMessage(), databaseMessage(db.status()));
            if (db.status() == DatabaseStatus::Ok)
                count = db.entryCount() + 1;
            // Every entry rewritten with another comment, and a new one held at the close.
            for (TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next) {
                db.acquireAnalysis(e)->loudness.store(static_cast<int32_t>(m.below(1000)));
                TrackDatabase::setEntryComment(e, std::string(m.below(120), 'x'));
                db.releaseAnalysis(e);
            }
            TrackDatabase::setEntryComment(db.openEntry("/new/fresh.mp3", 1), "fresh");
            db.acquireAnalysis(db.openEntry("/new/fresh.mp3", 1));
        }
        clearFatalMessage();
        TrackDatabase db(path);
        if (count == 0)
            continue;
        ++clean;
        ASSERT_EQ(db.status(), DatabaseStatus::Ok);
        EXPECT_GE(db.entryCount(), count);
        EXPECT_STREQ(TrackDatabase::entryComment(db.openEntry("fresh.mp3", 1)), "fresh");
    }
    DatabaseWriteCut::clear();
    // The mix must reach both outcomes, or it tests too little of either.
    EXPECT_TRUE(clean > kMutants / 10 && clean < kMutants * 9 / 10) << clean;
}

} // namespace
