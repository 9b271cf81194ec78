// The beat analyser writes the entry a deck holds while the user interface keeps using
// the database (for ThreadSanitizer); the held entry is written only at the close.

#include "tests/library/LibraryTestSupport.h"

#include <atomic>
#include <thread>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

TEST(DatabaseThreadsTest, TheAnalyserWritesAHeldEntryWhileTheLibraryWorks) {
    ScratchDir dir;
    const std::string path = dir.path(TrackDatabase::kFileName);
    {
        TrackDatabase db(path);
        DatabaseWriteCut::countOnly();                             // no waiting for the disk
        db.releaseAnalysis(db.openEntry("/m/only listed.mp3", 3)); // holds nothing: no write
        TrackEntry* held = db.openEntry("/m/playing.mp3", 1);
        TrackAnalysis* values = db.acquireAnalysis(held); // the deck's reference

        std::atomic<bool> stop{false};
        std::atomic<int32_t> lastLoudness{0};
        std::thread analyser([&] {
            // At least one round, however late the thread is scheduled.
            int32_t n = 0;
            do {
                ++n;
                values->loudness.store(n, kRelaxed);
                values->peakEnergy.store(n + 1, kRelaxed);
                held->bpm.store(100.0f + float(n % 50), kRelaxed);
                lastLoudness.store(n, std::memory_order_release);
            } while (!stop.load(std::memory_order_acquire));
        });

        float seenBpm = 0.0f;
        for (int i = 0; i < 400; ++i) {
            TrackEntry* other = db.openEntry("/m/listed " + std::to_string(i) + ".mp3", 2);
            db.acquireAnalysis(other);
            TrackDatabase::setEntryComment(other, std::string(i % 40, 'c'));
            db.releaseAnalysis(other);
            // A details dialog around an edit of the playing track: no write while the
            // deck still holds it.
            db.acquireAnalysis(held);
            seenBpm = held->bpm.load(kRelaxed);
            db.releaseAnalysis(held);
            EXPECT_EQ(held->refCount, 1);
        }
        stop.store(true, std::memory_order_release);
        analyser.join();
        EXPECT_TRUE(seenBpm == 0.0f || (seenBpm >= 100.0f && seenBpm < 150.0f)) << seenBpm;
        ASSERT_GT(lastLoudness.load(std::memory_order_acquire), 0);
        // The analyser has stopped, as the audio thread has before the database closes:
        // the close writes the held entry with the last values.
    }
    DatabaseWriteCut::clear();
    TrackDatabase db(path);
    EXPECT_EQ(db.entryCount(), 401);
    TrackEntry* held = db.openEntry("playing.mp3", 1);
    const TrackAnalysis* values = db.acquireAnalysis(held);
    EXPECT_GT(values->loudness.load(kRelaxed), 0);
    EXPECT_EQ(values->peakEnergy.load(kRelaxed), values->loudness.load(kRelaxed) + 1);
}

} // namespace
