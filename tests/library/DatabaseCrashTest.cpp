// Every write that changes the database, cut short at every byte by a crash or by a
// failing disk: reopening starts cleanly and keeps every entry, the changed one either
// as it was or as it became, and the file takes later writes as before.

#include "tests/library/LibraryTestSupport.h"

#include <map>

namespace {

using namespace librarytest;
using Cut = DatabaseWriteCut::Kind;
using Comments = std::map<std::string, std::string>;

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
        {"only the values, in place", joined({a, b}), "a.mp3", "old"},
        {"only the values, in place in a block with room to spare",
         joined({usedBlock({.name = "a.mp3", .comment = "old", .blockSize = 80}), b}), "a.mp3",
         "old"},
        {"a new entry appended", joined({a, b}), "c.mp3", "new"},
    };
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
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
                    if (kind == Cut::Fail) { // undone at once: only a crash leaves a tail
                        EXPECT_EQ(db.droppedTailBytes(), 0);
                    }
                    const TrackEntry* entry = db.openEntry(change.track, 1);
                    const std::string now = TrackDatabase::entryComment(entry);
                    if (cut == total || (entry->offset >= 0 && now != old)) {
                        EXPECT_EQ(now, change.comment);
                    }
                    if (!old.empty()) {
                        EXPECT_GE(entry->offset, 0) << "the entry was lost";
                    }
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
