// Recording through the soft-mix output: the file holds exactly what the card played,
// the stop takes effect at the next poll, and the refusals happen before anything is
// recorded.

#include "tests/audio/WavCheck.h"
#include "tests/audio/output/OutputRig.h"

#include "audio/deck/SoundOutput.h"
#include "audio/output/RecordingControl.h"
#include "audio/recorder/Recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zv-output-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const char* name) const { return (fs::path(path_) / name).string(); }

private:
    std::string path_;
};

TestDecoder::Setup musicTrack() {
    TestDecoder::Setup s;
    s.signal = TestDecoder::Signal::Clicks;
    s.clickEvery = 5000;
    s.clickFrames = 3000;
    s.seconds = 200;
    return s;
}

template <typename Pred> bool waitUntil(Pred pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Messages {
    std::vector<std::string> shown;
    std::function<void(const std::string&)> sink() {
        return [this](const std::string& text) { shown.push_back(text); };
    }
};

} // namespace

TEST(Recording, TheFileHoldsExactlyWhatTheCardPlayed) {
    TempDir dir;
    const std::string path = dir.file("mix.wav");
    OutputRig::Options options;
    options.outputMode = 1;
    OutputRig rig(options);
    ASSERT_TRUE(rig.loadAndPlay(0, musicTrack()));
    ASSERT_TRUE(rig.loadAndPlay(1, musicTrack()));
    rig.deck(1).setVolume(180);
    rig.play(44100);
    rig.turn();

    Messages messages;
    SoundOutput& out = rig.output();
    ASSERT_TRUE(toggleRecording(
        &out, [&] { return path; }, messages.sink()));
    EXPECT_TRUE(messages.shown.empty());
    RecorderSink* recorder = out.attachedRecorder();
    ASSERT_NE(recorder, nullptr);
    std::vector<Frame>& played = rig.current().front;
    const size_t from = played.size();

    // 90 s of virtual time: each turn hands the recorder what the card played since.
    constexpr int64_t kFrames = 90 * 44100;
    for (int64_t done = 0; done < kFrames;) {
        const int32_t n =
            static_cast<int32_t>(std::min<int64_t>(3000 + done % 997, kFrames - done));
        rig.current().card->advance(n);
        rig.turn();
        done += n;
        // Virtual time runs far faster than a disk: let the writer keep up, as real
        // time would, so no frame is overwritten before it is written.
        auto* writer = dynamic_cast<Recorder*>(recorder);
        ASSERT_NE(writer, nullptr);
        if (done - writer->framesWritten() > 3 * 44100) {
            ASSERT_TRUE(waitUntil([&] { return done - writer->framesWritten() <= 44100; }));
        }
    }
    const size_t to = played.size();

    // The stop is a request: the recorder stays attached until the next poll.
    EXPECT_FALSE(toggleRecording(
        &out, [] { return std::string("unused"); }, messages.sink()));
    EXPECT_TRUE(out.stopRecording.load());
    EXPECT_EQ(out.attachedRecorder(), recorder);
    rig.turn();
    EXPECT_EQ(out.attachedRecorder(), nullptr);
    EXPECT_FALSE(out.stopRecording.load());
    // Detached: the writer finishes the file on its own; the user interface then
    // destroys the recorder.
    ASSERT_TRUE(waitUntil([&] { return recorder->isFinished(); }));
    EXPECT_EQ(recorder->describe(),
              "Saving WAV file\nFileName: " + path + "\nTime Recorded: 0:01:30\nFileSize: 15.1 Mo");
    rig.engine().retireRecorders();

    const RecordedWav wav = readRecordedWav(path);
    ASSERT_TRUE(wav.headerValid) << wav.problem;
    ASSERT_EQ(wav.frames.size(), static_cast<size_t>(kFrames));
    ASSERT_EQ(to - from, static_cast<size_t>(kFrames));
    EXPECT_TRUE(std::equal(wav.frames.begin(), wav.frames.end(), played.begin() + from));
    EXPECT_TRUE(messages.shown.empty());
}

TEST(Recording, RefusalsComeBeforeAnythingIsRecorded) {
    TempDir dir;
    {
        // Hard mix: the message, no dialog, no file.
        OutputRig rig;
        Messages messages;
        bool asked = false;
        EXPECT_FALSE(toggleRecording(
            &rig.output(),
            [&] {
                asked = true;
                return dir.file("a.wav");
            },
            messages.sink()));
        EXPECT_FALSE(asked);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0],
                  "You can't use the recorder when the mix is done in hardware in the sound "
                  "card. Choose a configuration in the options panel which allows you to "
                  "specify 'soft mix'");
        EXPECT_FALSE(fs::exists(dir.file("a.wav")));
    }
    {
        // A soft mix without its card has nothing to record either.
        OutputRig rig;
        rig.openResults = {SoundResult::DeviceBusy};
        ASSERT_TRUE(rig.apply(1));
        ASSERT_FALSE(rig.output().isReady());
        Messages messages;
        EXPECT_FALSE(toggleRecording(
            &rig.output(), [&] { return dir.file("c.wav"); }, messages.sink()));
        EXPECT_EQ(messages.shown.size(), 1u);
        EXPECT_FALSE(fs::exists(dir.file("c.wav")));
    }
    OutputRig::Options options;
    options.outputMode = 1;
    OutputRig rig(options);
    SoundOutput& out = rig.output();
    Messages messages;
    // Cancelling the dialog: nothing, silently.
    EXPECT_FALSE(toggleRecording(
        &out, [] { return std::string(); }, messages.sink()));
    EXPECT_TRUE(messages.shown.empty());
    // A folder that does not exist: the reason, and nothing attached.
    EXPECT_FALSE(toggleRecording(
        &out, [&] { return dir.file("missing/b.wav"); }, messages.sink()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].rfind("The recording cannot be saved in the file", 0), 0u)
        << messages.shown[0];
    EXPECT_EQ(out.attachedRecorder(), nullptr);
    // A folder is not a file either.
    EXPECT_FALSE(toggleRecording(
        &out, [&] { return dir.file(""); }, messages.sink()));
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(out.attachedRecorder(), nullptr);
}

TEST(Recording, ReplacingTheOutputEndsTheRecordingWithItsFileComplete) {
    TempDir dir;
    const std::string path = dir.file("cut.wav");
    OutputRig::Options options;
    options.outputMode = 1;
    OutputRig rig(options);
    ASSERT_TRUE(rig.loadAndPlay(0, musicTrack()));
    rig.play(22050);
    rig.turn();
    Messages messages;
    ASSERT_TRUE(toggleRecording(
        &rig.output(), [&] { return path; }, messages.sink()));
    std::vector<Frame>& played = rig.current().front;
    const size_t from = played.size();
    rig.play(5 * 44100, 1500);
    rig.turn(); // the last poll hands the frames played since the one before
    const size_t to = played.size();

    ASSERT_TRUE(rig.apply(1));
    EXPECT_EQ(rig.output().attachedRecorder(), nullptr);
    const RecordedWav wav = readRecordedWav(path);
    ASSERT_TRUE(wav.headerValid) << wav.problem;
    ASSERT_EQ(wav.frames.size(), to - from);
    EXPECT_TRUE(std::equal(wav.frames.begin(), wav.frames.end(), played.begin() + from));
}
