// Thousands of damaged database files: bit flips, cuts, lying sizes, inserted, zeroed
// and repeated bytes. Opening, acquiring, editing, releasing and closing must never
// crash or read outside a buffer (this runs under AddressSanitizer + UBSan), and the
// result must hang together: a file that read cleanly still reads cleanly after the
// program wrote to it, with what it wrote. The seed is fixed, so a failure repeats.

#include "core/FatalMessage.h"
#include "library/TrackDatabase.h"
#include "tests/library/DatabaseBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace dbtest;

constexpr int kMutants = 4000;

Bytes baseFile() {
    return joined({
        usedBlock(Block("Some_Band - Tune.mp3")
                      .comment("warm-up")
                      .sizeKey(4000000)
                      .bpm(128.0f)
                      .lastUse(2048065)
                      .values({0, 1, 2, 3, 4, 5, 6, 7, 8})),
        freeBlock(48),
        usedBlock(Block("short.wav").sizeKey(7).blockSize(8 + 20 + 12)),
        usedBlock(Block("(Artist) Long.mp3").comment(std::string(90, 'c')).sizeKey(9)),
        freeBlock(8),
        usedBlock(Block("").sizeKey(0)),
        usedBlock(Block("twice.mp3").comment("older").sizeKey(5)),
        usedBlock(Block("twice.mp3").comment("newer").sizeKey(5)),
        freeBlock(200),
    });
}

class Mutator {
public:
    explicit Mutator(uint32_t seed) : random_(seed) {}

    Bytes mutate(const Bytes& base) {
        Bytes b = base;
        const int rounds = 1 + below(3);
        for (int round = 0; round < rounds; ++round)
            mutateOnce(b);
        return b;
    }

private:
    size_t below(size_t n) { return n == 0 ? 0 : random_() % n; }

    void mutateOnce(Bytes& b) {
        switch (below(7)) {
        case 0: // bits anywhere
            for (int n = 1 + below(16); n > 0 && !b.empty(); --n)
                b[below(b.size())] ^= static_cast<uint8_t>(1u << below(8));
            break;
        case 1: // cut
            b.resize(below(b.size() + 1));
            break;
        case 2: // an aligned 32-bit word (where headers and sizes live) set to an extreme
        {
            if (b.size() < 4)
                break;
            static const uint32_t extremes[] = {
                0,  1,  4,  7,  8,          12,         13,         14,
                15, 19, 20, 64, 0x7fffffff, 0x80000000, 0xfffffff8, 0xffffffff};
            const size_t at = below(b.size() / 4) * 4;
            const uint32_t v =
                below(3) ? extremes[below(std::size(extremes))] : static_cast<uint32_t>(random_());
            for (int i = 0; i < 4; ++i)
                b[at + i] = static_cast<uint8_t>(v >> (8 * i));
            break;
        }
        case 3: // random bytes inserted
        {
            const size_t at = below(b.size() + 1);
            Bytes junk(1 + below(40));
            for (auto& j : junk)
                j = static_cast<uint8_t>(random_());
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), junk.begin(), junk.end());
            break;
        }
        case 4: // a range zeroed (a NUL moved into or out of a string)
        {
            const size_t at = below(b.size() + 1);
            const size_t n = std::min(b.size() - at, 1 + below(24));
            std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), n, 0);
            break;
        }
        case 5: // a range removed
        {
            const size_t at = below(b.size() + 1);
            const size_t n = std::min(b.size() - at, 1 + below(64));
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                    b.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        case 6: // a range repeated
        {
            if (b.empty())
                break;
            const size_t at = below(b.size());
            const size_t n = std::min(b.size() - at, 1 + below(128));
            const Bytes copy(b.begin() + static_cast<std::ptrdiff_t>(at),
                             b.begin() + static_cast<std::ptrdiff_t>(at + n));
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)), copy.begin(),
                     copy.end());
            break;
        }
        }
    }

    std::mt19937 random_;
};

// Checks what one opening produced; returns the comments written by edits, by entry key.
struct Edit {
    std::string name;
    uint32_t sizeKey;
    std::string comment;
};

void checkOpened(const TrackDatabase& db, size_t fileLength) {
    // Every size was checked against the file: nothing can ask for memory it lacks, and
    // a regular file does not fail to read.
    EXPECT_TRUE(db.status() == DatabaseStatus::Ok || db.status() == DatabaseStatus::Corrupted);
    EXPECT_EQ(fatalMessage(), databaseMessage(db.status()));
    int64_t count = 0;
    int64_t previous = static_cast<int64_t>(fileLength);
    for (const TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next) {
        ++count;
        // Newest first: each block lies wholly before the one read after it.
        EXPECT_GE(e->offset, 0);
        EXPECT_LE(e->offset + 14 + 12, previous); // the smallest used block
        previous = e->offset;
        EXPECT_EQ(e->refCount, 0);
        EXPECT_EQ(e->analysis, nullptr);
    }
    EXPECT_EQ(count, db.entryCount());
}

std::vector<Edit> editAll(TrackDatabase& db, std::mt19937& random) {
    std::vector<TrackEntry*> entries;
    for (TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next)
        entries.push_back(e);
    std::vector<Edit> edits;
    for (TrackEntry* e : entries) {
        TrackAnalysis* a = db.acquireAnalysis(e);
        if (a == nullptr) {
            ADD_FAILURE() << "no analysis";
            continue;
        }
        a->loudness.store(static_cast<int32_t>(random() % 1000), std::memory_order_relaxed);
        // Only an entry that its own name finds can be checked by name afterwards.
        const bool findable =
            e->name.find('/') == std::string::npos && db.openEntry(e->name, e->sizeKey) == e;
        if (findable) {
            const std::string comment(random() % 120, static_cast<char>('a' + random() % 26));
            TrackDatabase::setEntryComment(e, comment);
            edits.push_back({e->name, e->sizeKey, comment});
        }
        db.releaseAnalysis(e);
    }
    return edits;
}

TEST(DatabaseFuzzTest, DamagedFilesNeverCrashAndCleanFilesStayClean) {
    ScratchDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.file(TrackDatabase::kFileName);
    const Bytes base = baseFile();
    Mutator mutator(20240611);
    std::mt19937 random(7);
    int clean = 0;
    DatabaseWriteCut::countOnly(); // no waiting for the disk
    for (int n = 0; n < kMutants; ++n) {
        SCOPED_TRACE("mutant " + std::to_string(n));
        const Bytes mutant = mutator.mutate(base);
        writeFile(path, mutant);
        clearFatalMessage();
        bool wasClean = false;
        int64_t torn = 0;
        std::vector<Edit> edits;
        {
            TrackDatabase db(path);
            checkOpened(db, mutant.size());
            wasClean = db.status() == DatabaseStatus::Ok;
            torn = db.droppedTailBytes();
            edits = editAll(db, random);
            TrackDatabase::setEntryComment(db.openEntry("/new/fresh.mp3", 1), "fresh");
            db.acquireAnalysis(db.openEntry("/new/fresh.mp3", 1)); // written at close
        }
        const Bytes written = readFile(path);
        // The file never shrinks but for a torn tail dropped on opening.
        EXPECT_GE(static_cast<int64_t>(written.size()), static_cast<int64_t>(mutant.size()) - torn);
        clearFatalMessage();
        TrackDatabase db(path);
        checkOpened(db, written.size());
        if (wasClean) {
            ++clean;
            ASSERT_EQ(db.status(), DatabaseStatus::Ok);
            edits.push_back({"fresh.mp3", 1, "fresh"});
            for (const Edit& edit : edits) {
                bool found = false;
                for (const TrackEntry* e = db.firstEntry(); e != nullptr && !found; e = e->next)
                    found = e->name == edit.name && e->sizeKey == edit.sizeKey &&
                            e->comment == edit.comment;
                EXPECT_TRUE(found) << "lost the write of \"" << edit.name << "\"";
            }
        }
        if (HasFailure())
            break;
    }
    DatabaseWriteCut::clear();
    clearFatalMessage();
    // The mix must reach both outcomes, or it tests too little of either.
    EXPECT_GT(clean, kMutants / 10);
    EXPECT_LT(clean, kMutants * 9 / 10);
}

} // namespace
