// Tracks analysed ahead of play: what is stored and what is kept, the mark that protects
// a whole-track analysis from a play, and the workers stopping mid-file (also under
// ThreadSanitizer).

#include "library/AnalysisService.h"
#include "audio/analyser/BeatAnalyser.h"
#include "audio/decoders/WaitingRead.h"
#include "audio/decoders/WavDecoder.h"
#include "library/TrackDatabase.h"
#include "tests/audio/decoders/EncodedFixtures.h"
#include "tests/tools/MixTestTracks.h"

#include "tests/ScratchDir.h"

#include <gtest/gtest.h>

namespace {

class AnalysisServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        track_ = dir_.path("track.wav");
        ASSERT_TRUE((MixTestTrack{126.0, 15.0, 700.0, 5}.write(track_)));
    }
    FileReport analysed() { return FileAnalyser().analyse(track_); }

    ScratchDir dir_;
    std::string track_;
};

TEST_F(AnalysisServiceTest, StoresTheWholeTrackUnderTheRunCountRule) {
    const FileReport report = analysed();
    ASSERT_TRUE(report.ok());
    ASSERT_NEAR(report.bpm, 126.0, 0.5);
    ASSERT_GT(report.bpmCount, 1);
    const struct {
        float storedBpm;
        int32_t storedCount;
        float expectedBpm;
    } cases[] = {
        {0.0f, 0, report.bpm},                        // never met
        {131.0f, report.bpmCount, report.bpm},        // as long a run
        {131.0f, report.bpmCount + 1, 131.0f},        // a longer run stays
        {90.0f, TrackAnalysis::kBpmSetByHand, 90.0f}, // set by hand
    };
    for (const auto& c : cases) {
        const std::string db = dir_.path("db" + std::to_string(&c - cases));
        {
            TrackDatabase database(db);
            TrackEntry* entry = database.openEntry(track_, report.sizeKey);
            TrackAnalysis* values = database.acquireAnalysis(entry);
            entry->bpm.store(c.storedBpm);
            values->bpmCount.store(c.storedCount);
            values->memoryPoint.store(0.25f);
            database.releaseAnalysis(entry);
            EXPECT_FALSE(database.analysedWhole(entry));
            ASSERT_EQ(storeWholeAnalysis(database, report), entry);
        }
        TrackDatabase reopened(db);
        TrackEntry* entry = reopened.openEntry(track_, report.sizeKey);
        EXPECT_TRUE(reopened.analysedWhole(entry));
        const TrackAnalysis* values = reopened.acquireAnalysis(entry);
        EXPECT_FLOAT_EQ(entry->bpm.load(), c.expectedBpm) << c.storedCount;
        EXPECT_FLOAT_EQ(values->startPoint.load(), report.startPoint);
        EXPECT_FLOAT_EQ(values->endPoint.load(), report.endPoint);
        EXPECT_EQ(values->loudness.load(), report.loudness);
        EXPECT_FLOAT_EQ(values->memoryPoint.load(), 0.25f); // the user's cue stays
        reopened.releaseAnalysis(entry);
    }
}

TEST_F(AnalysisServiceTest, KeepsNothingOfAFileThatFailedOrChanged) {
    TrackDatabase database(dir_.path("db"));
    FileReport failed;
    failed.path = dir_.path("missing.wav");
    failed.error = "cannot open";
    FileReport changed = analysed();
    FileReport cut = changed;
    cut.warning = "read error after 10.0 s";
    ASSERT_TRUE((MixTestTrack{126.0, 16.0, 700.0, 5}.write(track_))); // another size now
    for (const FileReport* r : {&failed, &cut, &changed})
        EXPECT_EQ(storeWholeAnalysis(database, *r), nullptr) << r->path;
    EXPECT_EQ(analyseAhead(database, {track_, track_, dir_.path("missing.wav")}, 2), 1);
    EXPECT_EQ(analyseAhead(database, {track_}, 2), 0); // already known whole
}

// A deck that plays a track analysed whole reads its record and changes nothing of it,
// so a partial play cannot move the tempo or the points a mix is built on.
TEST_F(AnalysisServiceTest, APlayLeavesAWholeAnalysisAsItIs) {
    TrackAnalysis record;
    TrackEntry entry;
    entry.bpm.store(140.0f);
    record.bpmCount.store(1);
    record.startPoint.store(0.4f);
    record.reserved.store(TrackAnalysis::kAnalysedWhole);
    std::atomic<int32_t> decoding{1};
    std::array<float, 256> times{};
    times.fill(0.01f);
    BeatAnalyser analyser(AnalyserOwner{&decoding, times.data()});
    analyser.fullReset();
    analyser.attach(&record, &entry);
    ClickTrack click;
    click.bpm = 126.0;
    std::vector<int16_t> block(2 * 1152);
    for (uint32_t n = 0; n < 600; ++n) {
        click.render(n * 1152, 1152, block.data());
        analyser.addFrame(block.data());
    }
    EXPECT_NEAR(analyser.currentBpm(), 126.0, 1.0); // it still follows the music
    EXPECT_FLOAT_EQ(entry.bpm.load(), 140.0f);
    EXPECT_EQ(record.bpmCount.load(), 1);
    EXPECT_FLOAT_EQ(record.startPoint.load(), 0.4f);
    EXPECT_EQ(record.peakEnergy.load(), 1);
    EXPECT_EQ(record.loudness.load(), 0);
}

TEST_F(AnalysisServiceTest, WorkersServeTheQueueAndStopMidFile) {
    const std::string longTrack = dir_.path("long.wav");
    ASSERT_TRUE((MixTestTrack{120.0, 120.0, 700.0, 6}.write(longTrack)));
    {
        AnalysisService service(1, AnalysisService::Priority::Background);
        EXPECT_TRUE(service.queue(track_));
        EXPECT_FALSE(service.queue(track_)); // once is enough
        EXPECT_TRUE(service.queue(dir_.path("missing.wav")));
        service.waitUntilIdle();
        EXPECT_FALSE(service.queue(track_)); // its report waits to be taken
        std::vector<FileReport> done = service.takeFinished();
        ASSERT_EQ(done.size(), 2u);
        EXPECT_TRUE(done[0].ok());
        EXPECT_NEAR(done[0].bpm, 126.0, 0.5);
        EXPECT_FALSE(done[1].ok());
        EXPECT_EQ(service.pending(), 0);
        service.queue(longTrack);
        service.queue(track_);
    } // goes while the long file is analysed: the worker drops it and ends
}

// The same music as FLAC, longer than what opening decodes before it returns: the
// analyser waits for the blocks still being decoded, so the report is the WAV's to the
// last value (a read that went on without waiting would add silence to the track).
TEST_F(AnalysisServiceTest, AFlacOfTheSameMusicReportsAsItsWav) {
    const std::string wav = dir_.path("long.wav");
    ASSERT_TRUE((MixTestTrack{124.0, 75.0, 700.0, 9}.write(wav)));
    std::vector<Frame> music;
    WavDecoder decoder;
    ASSERT_EQ(decoder.open(wav.c_str()), 75);
    Frame block[kBlockFrames];
    while (readWhenReady(decoder, block) == 1)
        music.insert(music.end(), block, block + kBlockFrames);
    const auto frames = static_cast<int64_t>(decoder.lengthFrames());
    const std::string flac = dir_.path("long.flac");
    ASSERT_EQ(fixtures::encode(flac, fixtures::kFlac, kSampleRate, 2, frames,
                               [&](int channel, int64_t frame) {
                                   return channel == 0 ? frameLeft(music[frame])
                                                       : frameRight(music[frame]);
                               }),
              "");

    const FileReport a = FileAnalyser().analyse(wav);
    const FileReport b = FileAnalyser().analyse(flac);
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(b.ok()) << b.error;
    EXPECT_NEAR(a.bpm, 124.0, 0.5);
    EXPECT_EQ(b.bpm, a.bpm);
    EXPECT_EQ(b.bpmCount, a.bpmCount);
    EXPECT_EQ(b.startPoint, a.startPoint);
    EXPECT_EQ(b.endPoint, a.endPoint);
    EXPECT_EQ(b.peak, a.peak);
    EXPECT_EQ(b.loudness, a.loudness);
    EXPECT_DOUBLE_EQ(b.durationS, a.durationS);
    EXPECT_TRUE(b.warning.empty()) << b.warning;
}

} // namespace
