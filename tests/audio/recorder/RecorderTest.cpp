#include "audio/recorder/Recorder.h"

#include "tests/audio/decoders/DecoderTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace decodertest;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The file a recording of these frames must give: a plain 44100 Hz 16-bit stereo WAV.
Bytes expectedWav(const std::vector<Frame>& frames) {
    Bytes data;
    for (Frame f : frames) {
        put16(data, static_cast<uint16_t>(frameLeft(f)));
        put16(data, static_cast<uint16_t>(frameRight(f)));
    }
    return wavFile({}, data);
}

std::string lostLine(int64_t frames) {
    return "\nLost: " + std::to_string(frames) + " frames (disk too slow or full)";
}

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

// Writes frames [from, total) in pieces cycling through sizes, never more
// than maxAhead frames ahead of the file, so that the ring is never lapped.
void feed(Recorder& recorder, int64_t total, const std::vector<int>& sizes, int64_t maxAhead,
          Frame (*frameOf)(int64_t) = patternFrame, int64_t from = 0) {
    std::vector<Frame> piece;
    int64_t produced = from;
    for (size_t k = 0; produced < total; ++k) {
        const int64_t n = std::min<int64_t>(sizes[k % sizes.size()], total - produced);
        ASSERT_TRUE(waitUntil([&] { return produced + n - recorder.framesWritten() <= maxAhead; }))
            << "the writer stopped at " << recorder.framesWritten();
        piece.resize(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i)
            piece[static_cast<size_t>(i)] = frameOf(produced + i);
        recorder.write(piece.data(), static_cast<int>(n));
        produced += n;
    }
}

RecorderOptions fastOptions(int ringFrames) {
    RecorderOptions o;
    o.ringFrames = ringFrames;
    o.minWriteFrames = 1;
    o.drainPeriod = 1ms;
    return o;
}

// The data frames of a finished recording, after checking that the header describes
// exactly the file.
std::vector<uint32_t> dataOf(const std::vector<uint8_t>& file) {
    EXPECT_GE(file.size(), 44u);
    if (file.size() < 44)
        return {};
    EXPECT_EQ(le32(file, 4), file.size() - 8);
    EXPECT_EQ(le32(file, 40), file.size() - 44);
    std::vector<uint32_t> frames;
    for (size_t at = 44; at + 4 <= file.size(); at += 4)
        frames.push_back(le32(file, at));
    return frames;
}

class RecorderTest : public testing::Test {
protected:
    TempDir dir;
};

} // namespace

TEST_F(RecorderTest, WritesTheExactFileFromOddPiecesAcrossRingWraps) {
    const std::string path = dir.path("mix.wav");
    std::string error;
    auto recorder = Recorder::create(path, &error, fastOptions(1024));
    ASSERT_TRUE(recorder) << error;
    const std::vector<int> sizes = {1, 7, 333, 1001, 500, 13, 1024, 64, 999};
    constexpr int64_t kTotal = 20011; // about 20 laps of the ring, ending mid-ring
    feed(*recorder, kTotal, sizes, 1024);
    recorder->stop();
    EXPECT_TRUE(recorder->isFinished());
    EXPECT_EQ(recorder->framesWritten(), kTotal);
    EXPECT_EQ(recorder->framesLost(), 0);
    EXPECT_EQ(recorder->describe().find("Lost"), std::string::npos);
    const auto file = readFile(path);
    const auto expected = expectedWav(pattern(0, kTotal));
    ASSERT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected) << "the file differs from the frames written";
}

TEST_F(RecorderTest, ShortAndEmptyRecordingsAreKept) {
    const std::string empty = dir.path("empty.wav");
    Recorder::create(empty, nullptr).reset();
    EXPECT_TRUE(readFile(empty) == expectedWav({}));

    const std::string path = dir.path("short.wav");
    auto recorder = Recorder::create(path, nullptr); // waits for 2250 frames per write
    ASSERT_TRUE(recorder);
    const auto frames = pattern(0, 1000);
    recorder->write(frames.data(), 600);
    recorder->write(frames.data() + 600, 400);
    recorder->detach();
    // The writer finishes the file on its own; the recorder is not destroyed yet.
    ASSERT_TRUE(waitUntil([&] { return recorder->isFinished(); }));
    EXPECT_TRUE(readFile(path) == expectedWav(frames));
    EXPECT_EQ(recorder->framesWritten(), 1000);
    recorder.reset();
    EXPECT_TRUE(readFile(path) == expectedWav(frames));
}

TEST_F(RecorderTest, HeaderIsValidWhileRecordingAndNinetySecondsAreDescribed) {
    const std::string path = dir.path("ninety.wav");
    RecorderOptions options; // the header is refreshed every 4 s of sound
    options.drainPeriod = 2ms;
    auto recorder = Recorder::create(path, nullptr, options);
    ASSERT_TRUE(recorder);
    EXPECT_EQ(recorder->describe(),
              "Saving WAV file\nFileName: " + path + "\nTime Recorded: 0:00:00\nFileSize: 0.0 Mo");
    constexpr int64_t kLive = 5 * 44100 + 1;
    feed(*recorder, kLive, {1411, 2205}, options.ringFrames / 2);
    // Still recording: as a crash would leave it, the file must be a valid WAV holding
    // at least the first 4 s.
    std::vector<uint8_t> file;
    ASSERT_TRUE(waitUntil([&] {
        file = readFile(path);
        return file.size() >= 44 && le32(file, 40) >= options.headerUpdateFrames * 4;
    }));
    // Both sizes and the samples agree (a size that is not whole frames cannot).
    const uint32_t dataBytes = le32(file, 40);
    ASSERT_GE(file.size(), 44u + dataBytes);
    const auto expected = expectedWav(pattern(0, dataBytes / 4));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin()));
    EXPECT_FALSE(recorder->isFinished());

    constexpr int64_t kFrames = 90 * 44100; // 3969000
    feed(*recorder, kFrames, {22050}, options.ringFrames / 2, patternFrame, kLive);
    recorder->stop();
    EXPECT_EQ(recorder->describe(),
              "Saving WAV file\nFileName: " + path + "\nTime Recorded: 0:01:30\nFileSize: 15.1 Mo");
    EXPECT_TRUE(readFile(path) == expectedWav(pattern(0, kFrames)));
}

TEST_F(RecorderTest, CountsFramesOverwrittenBeforeTheWriterCame) {
    const std::string path = dir.path("lapped.wav");
    RecorderOptions options = fastOptions(1024);
    options.drainPeriod = 1h; // the writer only runs at stop()
    auto recorder = Recorder::create(path, nullptr, options);
    ASSERT_TRUE(recorder);
    const auto frames = pattern(0, 3000);
    recorder->write(frames.data(), 700);
    recorder->write(frames.data() + 700, 1500); // longer than the ring
    recorder->write(frames.data() + 2200, 800);
    recorder->stop();
    EXPECT_EQ(recorder->framesLost(), 1976);
    EXPECT_EQ(recorder->framesWritten(), 1024);
    EXPECT_NE(recorder->describe().find(lostLine(1976)), std::string::npos) << recorder->describe();
    EXPECT_TRUE(readFile(path) == expectedWav(pattern(1976, 1024)));
}

TEST_F(RecorderTest, RefusesAnUnwritablePathBeforeRecording) {
    const std::string fifo = dir.path("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> paths = {dir.path("no such folder/mix.wav"), dir.path(""), fifo};
    if (fs::exists("/dev/full"))
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
    EXPECT_TRUE(readFile(path) == expectedWav(pattern(0, 1000)));
}

// Frame value = its index, so order and origin of every frame in the file can be read.
Frame indexFrame(int64_t i) {
    return static_cast<Frame>(i);
}

TEST_F(RecorderTest, ProducerThreadWhileTheWriterDrains) {
    const std::string path = dir.path("threads.wav");
    RecorderOptions options;
    options.drainPeriod = 1ms;
    auto recorder = Recorder::create(path, nullptr, options);
    ASSERT_TRUE(recorder);
    constexpr int64_t kFrames = 600000;
    std::thread audio([&] {
        feed(*recorder, kFrames, {1, 4000, 367, 2250, 1152}, options.ringFrames / 2, indexFrame);
        recorder->detach();
    });
    // The record page reads the state meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!recorder->isFinished() && std::chrono::steady_clock::now() < deadline) {
        EXPECT_EQ(recorder->describe().rfind("Saving WAV file\n", 0), 0u);
        std::this_thread::sleep_for(1ms);
    }
    audio.join();
    ASSERT_TRUE(recorder->isFinished());
    EXPECT_EQ(recorder->framesLost(), 0);
    recorder.reset();
    const auto data = dataOf(readFile(path));
    ASSERT_EQ(data.size(), static_cast<size_t>(kFrames));
    for (size_t i = 0; i < data.size(); ++i)
        ASSERT_EQ(data[i], i) << "frame " << i;
}

TEST_F(RecorderTest, ALappingProducerNeverLeavesTornFramesInTheFile) {
    const std::string path = dir.path("race.wav");
    auto recorder = Recorder::create(path, nullptr, fastOptions(4096));
    ASSERT_TRUE(recorder);
    constexpr int64_t kFrames = 400000;
    std::thread audio([&] {
        std::vector<Frame> piece(1000);
        for (int64_t first = 0; first < kFrames; first += 1000) {
            for (int64_t i = 0; i < 1000; ++i)
                piece[static_cast<size_t>(i)] = indexFrame(first + i);
            recorder->write(piece.data(), 1000);
        }
        recorder->detach();
    });
    audio.join();
    ASSERT_TRUE(waitUntil([&] { return recorder->isFinished(); }));
    const int64_t written = recorder->framesWritten();
    const int64_t lost = recorder->framesLost();
    recorder.reset();
    EXPECT_EQ(written + lost, kFrames);
    // Whatever was lost, what is in the file are real frames, in order, ending with the
    // last one produced.
    const auto data = dataOf(readFile(path));
    ASSERT_EQ(data.size(), static_cast<size_t>(written));
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.back(), kFrames - 1);
    for (size_t i = 1; i < data.size(); ++i)
        ASSERT_LT(data[i - 1], data[i]) << "frame " << i;
}
