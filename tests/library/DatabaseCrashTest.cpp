// Every write that changes the database, cut short at every byte by a crash or by a
// failing disk: reopening starts cleanly and keeps every entry, the changed one either
// as it was or as it became, and the file takes later writes as before.

#include "core/FatalMessage.h"
#include "library/DatabaseFile.h"
#include "library/TrackDatabase.h"
#include "tests/library/DatabaseBytes.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace dbtest;
using Cut = DatabaseWriteCut::Kind;

struct Change {
    const char* name;
    Bytes file;
    std::string track; // "c.mp3" is new; the others are in the file
    std::string comment;
};

std::vector<Change> changes() {
    const auto block = [](const char* name, std::string comment) {
        return usedBlock(Block(name).comment(std::move(comment)).sizeKey(1));
    };
    const Bytes b = block("b.mp3", "bee");
    return {
        {"grows into an earlier free block", joined({freeBlock(128), block("a.mp3", "old"), b}),
         "a.mp3", std::string(20, 'n')},
        {"grows to the end", joined({block("a.mp3", "old"), b}), "a.mp3", std::string(100, 'n')},
        {"shrinks", joined({block("a.mp3", std::string(40, 'o')), b}), "a.mp3", ""},
        {"another comment of the same length", joined({block("a.mp3", "old"), b}), "a.mp3", "new"},
        {"only the values, rewritten in place", joined({block("a.mp3", "old"), b}), "a.mp3", "old"},
        {"only the values, in a block with room to spare",
         joined({usedBlock(Block("a.mp3").comment("old").sizeKey(1).blockSize(80)), b}), "a.mp3",
         "old"},
        {"a new entry appended", joined({block("a.mp3", "old"), b}), "c.mp3", "new"},
    };
}

std::map<std::string, std::string> commentsIn(const TrackDatabase& db) {
    std::map<std::string, std::string> comments; // the newest block of each name wins
    for (const TrackEntry* e = db.firstEntry(); e != nullptr; e = e->next)
        comments.emplace(e->name, TrackDatabase::entryComment(e));
    return comments;
}

void remember(TrackDatabase& db, const std::string& track, const std::string& comment) {
    TrackEntry* entry = db.openEntry(track, 1);
    db.acquireAnalysis(entry);
    TrackDatabase::setEntryComment(entry, comment);
    db.releaseAnalysis(entry);
}

// The comments of every entry but track.
std::map<std::string, std::string> others(std::map<std::string, std::string> comments,
                                          const std::string& track) {
    comments.erase(track);
    return comments;
}

TEST(DatabaseCrashTest, AWriteCutAtAnyByteLeavesEveryEntryOldOrNew) {
    ScratchDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.file(TrackDatabase::kFileName);
    for (const Change& change : changes()) {
        writeFile(path, change.file);
        std::map<std::string, std::string> original;
        {
            TrackDatabase db(path);
            original = commentsIn(db);
            DatabaseWriteCut::countOnly(); // counts the bytes of the change
            remember(db, change.track, change.comment);
        }
        const int64_t total = DatabaseWriteCut::written();
        ASSERT_GT(total, 0) << change.name;
        const auto old = original.find(change.track);

        for (const Cut kind : {Cut::Crash, Cut::Fail}) {
            for (int64_t cut = 0; cut <= total; ++cut) {
                SCOPED_TRACE(std::string(change.name) +
                             (kind == Cut::Crash ? ", crash" : ", failure") + " after " +
                             std::to_string(cut) + " of " + std::to_string(total) + " bytes");
                writeFile(path, change.file);
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
                    // A failing write is undone at once; only a crash leaves a tail.
                    if (kind == Cut::Fail) {
                        EXPECT_EQ(db.droppedTailBytes(), 0);
                    }
                    const std::map<std::string, std::string> after = commentsIn(db);
                    const auto changed = after.find(change.track);
                    if (cut == total || old != original.end()) {
                        ASSERT_NE(changed, after.end()) << "the entry was lost";
                    }
                    if (changed != after.end() &&
                        (cut == total || old == original.end() || changed->second != old->second)) {
                        EXPECT_EQ(changed->second, change.comment);
                    }
                    EXPECT_EQ(others(after, change.track), others(original, change.track));
                    remember(db, change.track, "later");
                }
                TrackDatabase db(path);
                EXPECT_EQ(db.status(), DatabaseStatus::Ok);
                EXPECT_EQ(db.droppedTailBytes(), 0) << "a torn tail is dropped once";
                const std::map<std::string, std::string> later = commentsIn(db);
                EXPECT_EQ(later.at(change.track), "later");
                EXPECT_EQ(others(later, change.track), others(original, change.track));
            }
        }
    }
    DatabaseWriteCut::clear();
}

} // namespace
