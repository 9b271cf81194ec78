// Damaged database files: each stops reading with its message, which becomes the
// deferred fatal message, keeps the entries read before the damage, and never reads
// past a buffer or allocates what a lying size asks for (this runs under
// AddressSanitizer + UBSan).

#include "app/FatalMessage.h"
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
    constexpr auto corrupt = DatabaseStatus::Corrupted;
    return {
        {"empty file", {}, ok, {}},
        {"ends exactly after a block", good, ok, {"good.mp3"}},
        {"free blocks between used ones",
         joined({freeBlock(8), good, freeBlock(16), other}),
         ok,
         {"other.mp3", "good.mp3"}},
        {"one byte", {0x40}, corrupt, {}},
        {"header cut after five bytes", joined({good, cut(other, 5)}), corrupt, {"good.mp3"}},
        {"descLength 13", usedBlock(Block("").descLength(13)), corrupt, {}},
        {"descLength 14: empty name and comment", usedBlock(Block("")), ok, {""}},
        {"blockSize below descLength + 12",
         usedBlock(Block("x.mp3").blockSize(19 + 11)),
         corrupt,
         {}},
        {"blockSize exactly descLength + 12",
         joined({usedBlock(Block("x.mp3").blockSize(19 + 12)), good}),
         ok,
         {"good.mp3", "x.mp3"}},
        {"blockSize negative as a signed number",
         joined({header(0x80000000u, 19), cut(other, 60)}),
         corrupt,
         {}},
        {"blockSize far beyond the file",
         joined({good, header(0x7ffffff8u, 19), cut(Bytes(other.begin() + 8, other.end()), 56)}),
         corrupt,
         {"good.mp3"}},
        {"descLength far beyond the file",
         joined({header(64, 0xfffffff0u), Bytes(56, 'a')}),
         corrupt,
         {}},
        {"both sizes huge",
         joined({header(0x7fffffffu, 0x7ffffff0u), Bytes(56, 'a')}),
         corrupt,
         {}},
        {"file ends in the middle of a descriptor",
         joined({good, cut(other, 20)}),
         corrupt,
         {"good.mp3"}},
        {"name not terminated inside descLength",
         usedBlock(Block("abcd").descLength(16)),
         corrupt,
         {}},
        {"comment not terminated inside descLength",
         usedBlock(Block("ab").comment("cdef").descLength(19)),
         corrupt,
         {}},
        {"bytes after the comment inside descLength",
         usedBlock(Block("ab").comment("cd").descLength(22)),
         ok,
         {"ab"}},
        {"free block of size 0", joined({good, header(0, 0)}), corrupt, {"good.mp3"}},
        {"free block of size 4", joined({header(4, 0), good}), corrupt, {}},
        {"free block of size 8", joined({header(8, 0), good}), ok, {"good.mp3"}},
        {"free block running past the end",
         joined({good, header(100, 0), Bytes(20, 0)}),
         corrupt,
         {"good.mp3"}},
        {"value area cut by the end of the file",
         joined({good, cut(other, other.size() - 8)}),
         corrupt,
         {"good.mp3"}},
        {"zero-filled file", Bytes(64, 0), corrupt, {}},
        {"blocks after the damage are ignored",
         joined({good, usedBlock(Block("").descLength(13)), other}),
         corrupt,
         {"good.mp3"}},
    };
}

std::vector<std::string> namesOf(const TrackDatabase& db) {
    std::vector<std::string> names;
    for (const TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next)
        names.push_back(e->name);
    return names;
}

TEST(DatabaseCorruptTest, EachDamageGivesItsMessageAndKeepsWhatWasRead) {
    ScratchDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.file(TrackDatabase::kFileName);
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.file);
        clearFatalMessage();
        {
            TrackDatabase db(path);
            EXPECT_EQ(db.status(), c.status);
            EXPECT_EQ(namesOf(db), c.entries);
            EXPECT_EQ(db.entryCount(), static_cast<int64_t>(c.entries.size()));
            if (c.status == DatabaseStatus::Ok)
                EXPECT_EQ(fatalMessage(), nullptr);
            else
                EXPECT_STREQ(fatalMessage(), databaseMessage(c.status));
        }
        // Opening never changes the file, damaged or not.
        EXPECT_EQ(readFile(path), c.file);
    }
    clearFatalMessage();
}

TEST(DatabaseCorruptTest, MessagesAreTheProgramsTexts) {
    EXPECT_EQ(databaseMessage(DatabaseStatus::Ok), nullptr);
    EXPECT_STREQ(databaseMessage(DatabaseStatus::FileSystemError),
                 "Error in the file system driver");
    EXPECT_STREQ(databaseMessage(DatabaseStatus::Corrupted), "The internal database is corrupted");
    EXPECT_STREQ(databaseMessage(DatabaseStatus::NotEnoughMemory), "Not enough memory");
}

TEST(DatabaseCorruptTest, AFailingReadIsAnErrorOfTheFileSystemDriver) {
    // A process's own memory file is a regular file whose first page cannot be read.
    const char* path = "/proc/self/mem";
    const int probe = ::open(path, O_RDONLY);
    if (probe < 0)
        GTEST_SKIP() << "cannot open " << path;
    char byte;
    const bool fails = pread(probe, &byte, 1, 0) < 0;
    ::close(probe);
    if (!fails)
        GTEST_SKIP() << "reading " << path << " at 0 does not fail here";
    clearFatalMessage();
    {
        TrackDatabase db(path, TrackDatabase::Mode::ReadOnly);
        EXPECT_EQ(db.status(), DatabaseStatus::FileSystemError);
        EXPECT_STREQ(fatalMessage(), "Error in the file system driver");
        EXPECT_EQ(db.entryCount(), 0);
    }
    clearFatalMessage();
}

// Writing after damage: entries read before it can still be written, and the write
// never runs into or past the damaged part.
TEST(DatabaseCorruptTest, WritesAfterDamageStayInsideTheReadPart) {
    ScratchDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.file(TrackDatabase::kFileName);
    const Bytes good = usedBlock(Block("good.mp3").sizeKey(1));
    const Bytes damage = header(0, 0);
    writeFile(path, joined({good, damage}));
    clearFatalMessage();
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
    EXPECT_EQ(readFile(path).size(), good.size() + damage.size());
    clearFatalMessage();
}

} // namespace
