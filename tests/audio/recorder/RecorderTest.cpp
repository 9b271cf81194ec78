// The recorder on its own: the audio side writes pieces into the ring, the writer thread
// drains them to a WAV file; short, live, lapped and refused recordings and a full disk.
// Run under ThreadSanitizer.
#include "audio/recorder/Recorder.h"

#include "tests/audio/WavCheck.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Distinct left and right samples, so that a swapped or shifted frame shows.
Frame patternFrame(int64_t i) {
    return makeFrame(static_cast<int16_t>(i * 37 + 5), static_cast<int16_t>(~(i * 11)));
}

std::vector<Frame> pattern(int64_t first, int64_t count) {
    std::vector<Frame> frames(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        frames[static_cast<size_t>(i)] = patternFrame(first + i);
    return frames;
}

// The file is a valid recording holding exactly these frames.
void expectFile(const std::string& path, const std::vector<Frame>& frames) {
    const RecordedWav wav = readRecordedWav(path);
    ASSERT_TRUE(wav.headerValid) << wav.problem;
    ASSERT_EQ(wav.frames.size(), frames.size());
    EXPECT_TRUE(wav.frames == frames) << "the file differs from the frames written";
}

// Waits at most 30 s for the condition (the writer runs on its own thread).
bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Writes frames [from, total) in pieces cycling through sizes; with maxAhead > 0 never
// more than that many frames ahead of the file, so that the ring is never lapped.
void feed(Recorder& recorder, int64_t total, const std::vector<int>& sizes, int64_t maxAhead,
          Frame (*frameOf)(int64_t) = patternFrame, int64_t from = 0) {
    std::vector<Frame> piece;
    int64_t produced = from;
    for (size_t k = 0; produced < total; ++k) {
        const int64_t n = std::min<int64_t>(sizes[k % sizes.size()], total - produced);
        if (maxAhead > 0) {
            ASSERT_TRUE(waitUntil([&] {
                return produced + n - recorder.framesWritten() <= maxAhead;
            })) << "the writer stopped at "
                << recorder.framesWritten();
        }
        piece.resize(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i)
            piece[static_cast<size_t>(i)] = frameOf(produced + i);
        recorder.write(piece.data(), static_cast<int>(n));
        produced += n;
    }
}

RecorderOptions fastOptions(int ringFrames) {
    return {.ringFrames = ringFrames, .minWriteFrames = 1, .drainPeriod = 1ms};
}

std::string lostLine(int64_t frames) {
    return "\nLost: " + std::to_string(frames) + " frames (disk too slow or full)";
}

class RecorderTest : public testing::Test {
protected:
    ScratchDir dir;
};

} // namespace

TEST_F(RecorderTest, WritesTheExactFileFromOddPiecesAcrossRingWraps) {
    const std::string path = dir.path("mix.wav");
    std::string error;
    auto recorder = Recorder::create(path, &error, fastOptions(1024));
    ASSERT_TRUE(recorder) << error;
    constexpr int64_t kTotal = 20011; // about 20 laps of the ring, ending mid-ring
    feed(*recorder, kTotal, {1, 7, 333, 1001, 500, 13, 1024, 64, 999}, 1024);
    recorder->stop();
    EXPECT_EQ(recorder->framesLost(), 0);
    EXPECT_EQ(recorder->describe().find("Lost"), std::string::npos);
    expectFile(path, pattern(0, kTotal));
}

TEST_F(RecorderTest, ShortAndEmptyRecordingsAreKept) {
    const std::string empty = dir.path("empty.wav");
    Recorder::create(empty, nullptr).reset();
    expectFile(empty, {});

    const std::string path = dir.path("short.wav");
    auto recorder = Recorder::create(path, nullptr); // waits for 2250 frames per write
    ASSERT_TRUE(recorder);
    const auto frames = pattern(0, 1000);
    recorder->write(frames.data(), 600);
    recorder->write(frames.data() + 600, 400);
    recorder->detach();
    // The writer finishes the file on its own; the recorder is not destroyed yet.
    ASSERT_TRUE(waitUntil([&] { return recorder->isFinished(); }));
    expectFile(path, frames);
    EXPECT_EQ(recorder->framesWritten(), 1000);
}

TEST_F(RecorderTest, HeaderIsValidWhileRecordingAndNinetySecondsAreDescribed) {
    const std::string path = dir.path("ninety.wav");
    const RecorderOptions options{.drainPeriod = 2ms}; // the header is refreshed every 4 s
    auto recorder = Recorder::create(path, nullptr, options);
    ASSERT_TRUE(recorder);
    EXPECT_EQ(recorder->describe(),
              "Saving WAV file\nFileName: " + path + "\nTime Recorded: 0:00:00\nFileSize: 0.0 Mo");
    constexpr int64_t kLive = 5 * 44100 + 1;
    feed(*recorder, kLive, {1411, 2205}, options.ringFrames / 2);
    // Still recording: as a crash would leave it, the header must describe whole frames
    // that are in the file, at least the first 4 s, and they must be the right ones.
    std::vector<uint8_t> file;
    ASSERT_TRUE(waitUntil([&] {
        file = readBytes(path);
        return file.size() >= 44 && le32At(file, 40) >= options.headerUpdateFrames * 4;
    }));
    const uint32_t dataBytes = le32At(file, 40);
    EXPECT_EQ(dataBytes % 4, 0u);
    EXPECT_EQ(le32At(file, 4), dataBytes + 36);
    ASSERT_GE(file.size(), 44u + dataBytes);
    for (uint32_t i = 0; i < dataBytes / 4; ++i)
        ASSERT_EQ(le32At(file, 44 + 4 * i), patternFrame(i)) << "frame " << i;
    EXPECT_FALSE(recorder->isFinished());

    constexpr int64_t kFrames = 90 * 44100;
    feed(*recorder, kFrames, {22050}, options.ringFrames / 2, patternFrame, kLive);
    recorder->stop();
    EXPECT_EQ(recorder->describe(),
              "Saving WAV file\nFileName: " + path + "\nTime Recorded: 0:01:30\nFileSize: 15.1 Mo");
    expectFile(path, pattern(0, kFrames));
}

TEST_F(RecorderTest, CountsFramesOverwrittenBeforeTheWriterCame) {
    const std::string path = dir.path("lapped.wav");
    // The writer only runs at stop().
    auto recorder = Recorder::create(path, nullptr,
                                     {.ringFrames = 1024, .minWriteFrames = 1, .drainPeriod = 1h});
    ASSERT_TRUE(recorder);
    const auto frames = pattern(0, 3000);
    recorder->write(frames.data(), 700);
    recorder->write(frames.data() + 700, 1500); // longer than the ring
    recorder->write(frames.data() + 2200, 800);
    recorder->stop();
    EXPECT_EQ(recorder->framesLost(), 1976);
    EXPECT_EQ(recorder->framesWritten(), 1024);
    EXPECT_NE(recorder->describe().find(lostLine(1976)), std::string::npos) << recorder->describe();
    expectFile(path, pattern(1976, 1024));
}

TEST_F(RecorderTest, RefusesAnUnwritablePathBeforeRecording) {
    const std::string fifo = dir.path("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> paths = {dir.path("no such folder/mix.wav"), dir.path(""), fifo};
    if (std::filesystem::exists("/dev/full"))
        paths.push_back("/dev/full"); // opens, but the header cannot be written
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::string error;
        EXPECT_EQ(Recorder::create(path, &error), nullptr);
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
}

TEST_F(RecorderTest, CountsFramesTheFullDiskRefused) {
    const std::string path = dir.path("full.wav");
    auto recorder = Recorder::create(path, nullptr, fastOptions(16384));
    ASSERT_TRUE(recorder);
    // The file may grow to 1000 frames and half of one more; beyond, writes fail as on
    // a full disk (EFBIG instead of ENOSPC).
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 44 + 1000 * 4 + 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    feed(*recorder, 10000, {441}, 16384);
    recorder->stop();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(recorder->framesWritten(), 1000);
    EXPECT_EQ(recorder->framesLost(), 9000);
    EXPECT_NE(recorder->describe().find(lostLine(9000)), std::string::npos) << recorder->describe();
    expectFile(path, pattern(0, 1000));
}

// An audio thread writes while the writer drains and the record page reads the state.
// Paced, nothing is lost; lapping the ring, whatever is lost, the file holds real frames
// in order (none torn), ending with the last one produced.
TEST_F(RecorderTest, AudioThreadHandsFramesToTheWriter) {
    const auto indexFrame = [](int64_t i) { return static_cast<Frame>(i); };
    for (const bool paced : {true, false}) {
        SCOPED_TRACE(paced ? "paced" : "lapping");
        const std::string path = dir.path(paced ? "paced.wav" : "lapping.wav");
        const RecorderOptions options = fastOptions(paced ? 65536 : 4096);
        auto recorder = Recorder::create(path, nullptr, options);
        ASSERT_TRUE(recorder);
        const int64_t frames = paced ? 600000 : 400000;
        const std::vector<int> sizes =
            paced ? std::vector<int>{1, 4000, 367, 2250, 1152} : std::vector<int>{1000};
        std::thread audio([&] {
            feed(*recorder, frames, sizes, paced ? options.ringFrames / 2 : 0, indexFrame);
            recorder->detach();
        });
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!recorder->isFinished() && std::chrono::steady_clock::now() < deadline) {
            EXPECT_EQ(recorder->describe().rfind("Saving WAV file\n", 0), 0u);
            std::this_thread::sleep_for(1ms);
        }
        audio.join();
        ASSERT_TRUE(recorder->isFinished());
        const int64_t written = recorder->framesWritten();
        EXPECT_EQ(written + recorder->framesLost(), frames);
        EXPECT_TRUE(!paced || recorder->framesLost() == 0);
        recorder.reset();
        const RecordedWav wav = readRecordedWav(path);
        ASSERT_TRUE(wav.headerValid) << wav.problem;
        ASSERT_EQ(static_cast<int64_t>(wav.frames.size()), written);
        ASSERT_FALSE(wav.frames.empty());
        EXPECT_EQ(wav.frames.back(), frames - 1);
        for (size_t i = 0; i < wav.frames.size(); ++i) {
            ASSERT_TRUE(paced ? wav.frames[i] == i : i == 0 || wav.frames[i - 1] < wav.frames[i])
                << "frame " << i << " holds " << wav.frames[i];
        }
    }
}
