// Running out of memory while reading the file: "Not enough memory" becomes the deferred
// fatal message and the entries read before stay usable. The allocator of this test
// program fails every allocation from a chosen one on, while the database opens.

#include "app/FatalMessage.h"
#include "library/TrackDatabase.h"
#include "tests/library/DatabaseBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <optional>

namespace {
// Allocations left before every further one fails; negative = never fail.
std::atomic<long> gAllocationsLeft{-1};
} // namespace

void* operator new(std::size_t size) {
    long left = gAllocationsLeft.load();
    while (left > 0 && !gAllocationsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0)
        throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace dbtest;

TEST(DatabaseMemoryTest, RunningOutOfMemoryStopsReadingWithItsMessage) {
    ScratchDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.file(TrackDatabase::kFileName);
    // Long names and comments, so that every entry needs allocations of its own.
    const std::vector<std::string> names = {std::string(40, 'a') + ".mp3",
                                            std::string(40, 'b') + ".mp3",
                                            std::string(40, 'c') + ".mp3"};
    Bytes file;
    for (const std::string& name : names) {
        const Bytes block = usedBlock(Block(name).comment(std::string(30, 'x')).sizeKey(1));
        file.insert(file.end(), block.begin(), block.end());
    }

    int failures = 0;
    for (long allowed = 0; allowed < 200; ++allowed) {
        SCOPED_TRACE("allocations allowed: " + std::to_string(allowed));
        writeFile(path, file); // the previous round may have written to it
        clearFatalMessage();
        std::optional<TrackDatabase> db;
        gAllocationsLeft.store(allowed);
        db.emplace(path);
        gAllocationsLeft.store(-1);
        if (db->status() == DatabaseStatus::Ok) {
            EXPECT_EQ(db->entryCount(), 3);
            EXPECT_EQ(fatalMessage(), nullptr);
            break;
        }
        ++failures;
        EXPECT_EQ(db->status(), DatabaseStatus::NotEnoughMemory);
        EXPECT_STREQ(fatalMessage(), "Not enough memory");
        // The entries of the blocks read before, newest first.
        std::vector<std::string> read;
        for (const TrackEntry* e = db->firstEntry(); e != nullptr; e = e->next)
            read.push_back(e->name);
        ASSERT_LT(read.size(), names.size());
        EXPECT_EQ(read, std::vector<std::string>(names.rbegin() + (names.size() - read.size()),
                                                 names.rend()));
        // Still usable, and what it writes goes to the file.
        TrackEntry* entry = db->openEntry("/m/" + names[2], 1);
        EXPECT_NE(db->acquireAnalysis(entry), nullptr);
        db->releaseAnalysis(entry);
    }
    EXPECT_GT(failures, 3);
    clearFatalMessage();
}

} // namespace
