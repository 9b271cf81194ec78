// The background analysis at work while both decks play and measure the same tracks on
// a real audio thread (for ThreadSanitizer): the workers read the files, the decks'
// analysers write the entries' values, and this thread stores the workers' reports into
// those very entries.

#include "library/AnalysisService.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"
#include "tests/ScratchDir.h"
#include "tests/audio/output/OutputRig.h"
#include "tests/tools/MixTestTracks.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(AnalysisWhilePlaying, StoresIntoTheEntriesThePlayingDecksMeasure) {
    ScratchDir dir;
    const double bpms[] = {122.0, 126.0, 130.0};
    std::vector<std::string> paths;
    for (double bpm : bpms) {
        paths.push_back(dir.path(std::to_string(int(bpm)) + ".wav"));
        ASSERT_TRUE((MixTestTrack{bpm, 20.0, 700.0, 5}.write(paths.back())));
    }
    // Declared first so that it outlives the decks that hold its entries.
    TrackDatabase database(dir.path("tracks.db"));
    OutputRig rig({.ownThread = true});
    setTrackStore(&database);
    settings().autoBpm = 1;
    settings().masterTempo = 1;
    for (int d = 0; d < 2; ++d) {
        Deck& deck = rig.deck(d);
        ASSERT_TRUE(deck.load(makeTrackRecord(database, paths[d], fileSizeKey(paths[d]))));
        deck.setSpeed(d == 0 ? 4300 : 3800);
        deck.play();
        ASSERT_EQ(deck.playing, 1);
    }

    AnalysisService service(2, AnalysisService::Priority::Full);
    for (const std::string& path : paths)
        ASSERT_TRUE(service.queue(path));
    size_t stored = 0;
    // The decks play at most 12 s of their 20-s tracks, however slow the workers are
    // (sanitizers): the check at the end wants them still playing.
    int64_t played = 0;
    for (int i = 0; i < 12000 && stored < paths.size(); ++i) {
        if (played < 12 * 44100) {
            rig.play(2205);
            played += 2205;
        }
        for (const FileReport& report : service.takeFinished())
            stored += storeWholeAnalysis(database, report) != nullptr;
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(stored, paths.size());
    rig.play(44100);
    for (size_t i = 0; i < paths.size(); ++i) {
        TrackEntry* entry = database.openEntry(paths[i], fileSizeKey(paths[i]));
        EXPECT_TRUE(database.analysedWhole(entry)) << paths[i];
        EXPECT_NEAR(entry->bpm.load(), bpms[i], 0.5) << paths[i];
    }
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(rig.deck(d).playing, 1) << d;
        EXPECT_GT(rig.deck(d).position.load(), 0.0f) << d;
        rig.deck(d).pause();
    }
}
