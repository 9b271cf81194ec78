// Recording through the soft-mix output; the recorder itself is tested on its own.

#include "tests/audio/WavCheck.h"
#include "tests/audio/output/OutputRig.h"

#include "audio/output/RecordingControl.h"

namespace fs = std::filesystem;

namespace {

struct Messages {
    std::vector<std::string> shown;
    std::function<void(const std::string&)> sink() {
        return [this](const std::string& text) { shown.push_back(text); };
    }
};

} // namespace

TEST(Recording, TheFileHoldsExactlyWhatTheCardPlayedUntilTheStopOrTheReplacement) {
    ScratchDir dir;
    for (const bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "output replaced" : "stopped");
        const std::string path = dir.path(replace ? "replaced.wav" : "stopped.wav");
        OutputRig rig({.outputMode = 1});
        const TestDecoder::Setup music{
            .signal = TestDecoder::Signal::Clicks, .clickEvery = 5000, .clickFrames = 3000};
        ASSERT_TRUE(rig.loadAndPlay(0, music));
        ASSERT_TRUE(rig.loadAndPlay(1, music));
        rig.deck(1).setVolume(180);
        rig.play(22050);
        rig.turn();
        Messages messages;
        SoundOutput& out = rig.output();
        ASSERT_TRUE(toggleRecording(
            &out, [&] { return path; }, messages.sink()));
        RecorderSink* recorder = out.attachedRecorder();
        ASSERT_NE(recorder, nullptr);
        std::vector<Frame>& played = rig.current().front;
        const size_t from = played.size();
        // Less than the recorder's ring holds, in odd steps; the last poll hands the
        // frames played since the one before.
        rig.play(5 * 44100, 1499);
        rig.turn();
        const size_t to = played.size();

        if (replace) {
            ASSERT_TRUE(rig.apply(1));
            EXPECT_EQ(rig.output().attachedRecorder(), nullptr);
        } else {
            // The stop is a request: the recorder stays attached until the next poll,
            // then the writer finishes the file on its own.
            EXPECT_FALSE(toggleRecording(
                &out, [] { return std::string("unused"); }, messages.sink()));
            EXPECT_TRUE(out.stopRecording.load());
            EXPECT_EQ(out.attachedRecorder(), recorder);
            rig.turn();
            EXPECT_EQ(out.attachedRecorder(), nullptr);
            EXPECT_FALSE(out.stopRecording.load());
            for (int i = 0; i < 30000 && !recorder->isFinished(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(recorder->isFinished());
            rig.engine().retireRecorders();
        }
        const RecordedWav wav = readRecordedWav(path);
        ASSERT_TRUE(wav.headerValid) << wav.problem;
        ASSERT_EQ(wav.frames.size(), to - from);
        EXPECT_TRUE(std::equal(wav.frames.begin(), wav.frames.end(), played.begin() + from));
        EXPECT_TRUE(messages.shown.empty());
    }
}

TEST(Recording, RefusalsComeBeforeAnythingIsRecorded) {
    ScratchDir dir;
    // A hard mix, and a soft mix without its card: the message, no dialog, no file.
    for (const bool hard : {true, false}) {
        SCOPED_TRACE(hard ? "hard mix" : "soft mix without a card");
        OutputRig rig;
        if (!hard) {
            rig.openResults = {SoundResult::DeviceBusy};
            ASSERT_TRUE(rig.apply(1));
            ASSERT_FALSE(rig.output().isReady());
        }
        Messages messages;
        bool asked = false;
        const auto ask = [&] {
            asked = true;
            return dir.path("a.wav");
        };
        EXPECT_FALSE(toggleRecording(&rig.output(), ask, messages.sink()));
        EXPECT_FALSE(asked);
        ASSERT_EQ(messages.shown.size(), 1u);
        if (hard) {
            EXPECT_EQ(messages.shown[0],
                      "You can't use the recorder when the mix is done in hardware in the sound "
                      "card. Choose a configuration in the options panel which allows you to "
                      "specify 'soft mix'");
        }
        EXPECT_FALSE(fs::exists(dir.path("a.wav")));
    }
    // Cancelling the dialog: nothing, silently; a folder that does not exist, or a folder
    // instead of a file: the reason, and nothing attached.
    OutputRig rig({.outputMode = 1});
    for (const std::string& path : {std::string(), dir.path("missing/b.wav"), dir.path("")}) {
        SCOPED_TRACE(path);
        Messages messages;
        EXPECT_FALSE(toggleRecording(
            &rig.output(), [&] { return path; }, messages.sink()));
        EXPECT_EQ(rig.output().attachedRecorder(), nullptr);
        ASSERT_EQ(messages.shown.size(), path.empty() ? 0u : 1u);
        EXPECT_TRUE(path.empty() ||
                    messages.shown[0].starts_with("The recording cannot be saved in the file"))
            << messages.shown[0];
    }
}
