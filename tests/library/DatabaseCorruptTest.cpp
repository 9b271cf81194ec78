// Damaged database files: each stops reading with its message, which becomes the
// deferred fatal message, keeps the entries read before the damage, and never reads
// past a buffer or allocates what a lying size asks for (this runs under
// AddressSanitizer + UBSan).

#include "core/FatalMessage.h"
#include "library/TrackDatabase.h"
#include "tests/library/DatabaseBytes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace dbtest;

struct Case {
    const char* name;
    Bytes file;
    DatabaseStatus status;
    std::vector<std::string> entries; // newest first, as the list holds them
    size_t tornTail = 0;              // bytes of a last block cut short by a crash
};

Bytes header(uint32_t blockSize, uint32_t descLength) {
    Bytes b;
    putU32(b, blockSize);
    putU32(b, descLength);
    return b;
}

Bytes cut(Bytes bytes, size_t length) {
    bytes.resize(length);
    return bytes;
}

std::vector<Case> cases() {
    const Bytes good = usedBlock(Block("good.mp3").comment("fine").sizeKey(1));
    const Bytes other = usedBlock(Block("other.mp3").sizeKey(2));
    constexpr auto ok = DatabaseStatus::Ok;
    constexpr auto bad = DatabaseStatus::Corrupted;
    const std::vector<std::string> none;
    const std::vector<std::string> g = {"good.mp3"};
    return {
        {"empty file", {}, ok, none},
        {"ends exactly after a block", good, ok, g},
        {"free blocks between used ones",
         joined({freeBlock(8), good, freeBlock(16), other}),
         ok,
         {"other.mp3", "good.mp3"}},
        {"one byte", {0x40}, ok, none, 1},
        {"header cut after five bytes", joined({good, cut(other, 5)}), ok, g, 5},
        {"descLength 13", usedBlock(Block("").descLength(13)), bad, none},
        {"descLength 14: empty name and comment", usedBlock(Block("")), ok, {""}},
        {"blockSize below descLength + 12", usedBlock(Block("x.mp3").blockSize(19 + 11)), bad,
         none},
        {"blockSize exactly descLength + 12",
         joined({usedBlock(Block("x.mp3").blockSize(19 + 12)), good}),
         ok,
         {"good.mp3", "x.mp3"}},
        {"blockSize negative as a signed number", joined({header(0x80000000u, 19), cut(other, 60)}),
         bad, none},
        {"blockSize far beyond the file",
         joined({good, header(0x7ffffff8u, 19), cut(Bytes(other.begin() + 8, other.end()), 56)}),
         bad, g},
        {"descLength far beyond the file", joined({header(64, 0xfffffff0u), Bytes(56, 'a')}), bad,
         none},
        {"file ends in the middle of a descriptor", joined({good, cut(other, 20)}), ok, g, 20},
        {"name not terminated inside descLength", usedBlock(Block("abcd").descLength(16)), bad,
         none},
        {"comment not terminated inside descLength",
         usedBlock(Block("ab").comment("cdef").descLength(19)), bad, none},
        {"bytes after the comment inside descLength",
         usedBlock(Block("ab").comment("cd").descLength(22)),
         ok,
         {"ab"}},
        {"free block of size 0", joined({good, header(0, 0)}), bad, g},
        {"free block of size 4", joined({header(4, 0), good}), bad, none},
        {"free block of size 8", joined({header(8, 0), good}), ok, g},
        {"free block running past the end", joined({good, header(100, 0), Bytes(20, 0)}), bad, g},
        {"value area cut by the end of the file", joined({good, cut(other, other.size() - 8)}), ok,
         g, other.size() - 8},
        {"a cut block of a size the program never writes",
         joined({good, cut(usedBlock(Block("x.mp3").blockSize(72)), 40)}), bad, g},
        {"blocks after the damage are ignored",
         joined({good, usedBlock(Block("").descLength(13)), other}), bad, g},
    };
}

std::vector<std::string> namesOf(const TrackDatabase& db) {
    std::vector<std::string> names;
    for (const TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next)
        names.push_back(e->name);
    return names;
}

class DatabaseCorruptTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        clearFatalMessage();
    }
    void TearDown() override { clearFatalMessage(); }
    ScratchDir dir;
    const std::string path = dir.file(TrackDatabase::kFileName);
};

TEST_F(DatabaseCorruptTest, EachDamageGivesItsMessageAndKeepsWhatWasRead) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.file);
        clearFatalMessage();
        {
            TrackDatabase db(path);
            EXPECT_EQ(db.status(), c.status);
            EXPECT_EQ(namesOf(db), c.entries);
            EXPECT_EQ(db.entryCount(), static_cast<int64_t>(c.entries.size()));
            EXPECT_STREQ(fatalMessage(), databaseMessage(c.status));
            EXPECT_EQ(db.droppedTailBytes(), static_cast<int64_t>(c.tornTail));
        }
        // Opening never changes the file but to drop a torn tail.
        EXPECT_EQ(readFile(path), cut(c.file, c.file.size() - c.tornTail));
    }
}

TEST_F(DatabaseCorruptTest, MessagesAreTheProgramsTexts) {
    EXPECT_EQ(databaseMessage(DatabaseStatus::Ok), nullptr);
    EXPECT_STREQ(databaseMessage(DatabaseStatus::FileSystemError),
                 "Error in the file system driver");
    EXPECT_STREQ(databaseMessage(DatabaseStatus::Corrupted), "The internal database is corrupted");
    EXPECT_STREQ(databaseMessage(DatabaseStatus::NotEnoughMemory), "Not enough memory");
}

TEST_F(DatabaseCorruptTest, AFailingReadIsAnErrorOfTheFileSystemDriver) {
    // A process's own memory file is a regular file whose first page cannot be read.
    const char* mem = "/proc/self/mem";
    const int probe = ::open(mem, O_RDONLY);
    if (probe < 0)
        GTEST_SKIP() << "cannot open " << mem;
    char byte;
    const bool fails = pread(probe, &byte, 1, 0) < 0;
    ::close(probe);
    if (!fails)
        GTEST_SKIP() << "reading " << mem << " at 0 does not fail here";
    TrackDatabase db(mem, TrackDatabase::Mode::ReadOnly);
    EXPECT_EQ(db.status(), DatabaseStatus::FileSystemError);
    EXPECT_STREQ(fatalMessage(), "Error in the file system driver");
    EXPECT_EQ(db.entryCount(), 0);
}

// Writing after damage: entries read before it can still be written, and the write
// never runs into or past the damaged part.
TEST_F(DatabaseCorruptTest, WritesAfterDamageStayInsideTheReadPart) {
    const Bytes good = usedBlock(Block("good.mp3").sizeKey(1));
    writeFile(path, joined({good, header(0, 0)}));
    {
        TrackDatabase db(path);
        EXPECT_EQ(db.status(), DatabaseStatus::Corrupted);
        TrackEntry* entry = db.openEntry("good.mp3", 1);
        db.acquireAnalysis(entry);
        db.releaseAnalysis(entry); // same size: rewritten in place
        EXPECT_EQ(entry->offset, 0);
        // A new entry needs a walk, which stops at the damaged header: not written.
        TrackEntry* fresh = db.openEntry("new.mp3", 1);
        db.acquireAnalysis(fresh);
        db.releaseAnalysis(fresh);
        EXPECT_EQ(fresh->offset, -1);
    }
    EXPECT_EQ(readFile(path).size(), good.size() + 8);
}

} // namespace
