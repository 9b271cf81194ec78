// Faults under the fatal-exception guard, in child processes.

#include "app/FatalGuard.h"
#include "tests/library/LibraryTestSupport.h"

#include <csignal>
#include <thread>

namespace {

volatile int* gNowhere = nullptr;

// A database holding an entry whose values changed: closing it would write a block.
void holdChangedEntry(TrackDatabase& db) {
    TrackAnalysis* values = db.acquireAnalysis(db.openEntry("/m/held.mp3", 1));
    values->loudness.store(77, std::memory_order_relaxed);
}

const char* const kReport = "A fatal error occured !.*report this error number: "
                            "[0-9a-f]+:[0-9a-f]+, by email at ";

TEST(FatalGuardDeathTest, FaultsAreReportedAndNothingIsWritten) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchDir dir;
    const std::string path = dir.path(TrackDatabase::kFileName);
    // On another thread: the signal ends the process, never returning into the loop.
    EXPECT_EXIT(
        {
            TrackDatabase db(path);
            holdChangedEntry(db);
            const FatalReport report = runGuarded([] {
                std::thread([] { *gNowhere = 42; }).join();
                std::fputs("the guarded loop ran on\n", stderr);
            });
            std::fprintf(stderr, "the guard returned %d\n", report.happened);
            endRunAfter(report);
        }, // the database closes here, and would write the entry
        testing::KilledBySignal(SIGSEGV), kReport);
    // On the guarded thread: reported with its address, and the run ends.
    EXPECT_EXIT(
        {
            TrackDatabase db(path);
            holdChangedEntry(db);
            const FatalReport report = runGuarded([] { *gNowhere = 42; });
            std::fputs(fatalReportText(report).toUtf8().constData(), stderr);
            std::fputs(report.address != 0 ? "\n" : " without an address\n", stderr);
            std::fflush(stderr);
            endRunAfter(report);
            std::fputs("the run went on\n", stderr);
        },
        testing::ExitedWithCode(0), std::string(kReport) + "[^\n]*\n$");
    EXPECT_TRUE(ScratchDir::read(path).empty());
}

} // namespace
