// The offline mix renderer on generated tracks: unattended playlists to their end,
// repeatability, bad input, a full disk and signals. (How the beats meet in each
// crossfade: BeatAlignmentTest.)

#include "tests/audio/WavCheck.h"
#include "tests/tools/MixTestTracks.h"

#include "tools/mix/MixRenderer.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kRate = 44100;
constexpr double kMixTickSeconds = 0.2;

double rms(const std::vector<float>& x, double fromS, double toS) {
    double sum = 0.0;
    const size_t from = size_t(fromS * kRate), to = std::min(x.size(), size_t(toS * kRate));
    for (size_t n = from; n < to; ++n)
        sum += double(x[n]) * x[n];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

class MixRendererTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.path(name); }
    QString arg(const std::string& name) const { return QString::fromStdString(path(name)); }

    MixSummary render(const std::vector<std::string>& inputs, const std::string& out,
                      const std::string& database = "db") {
        MixOptions options;
        options.inputs = inputs;
        options.output = path(out);
        options.database = path(database);
        MixSummary summary;
        std::string error;
        EXPECT_TRUE(MixRenderer(options).run(&summary, &error)) << error;
        return summary;
    }
    ScratchDir dir_;
};

TEST_F(MixRendererTest, FortyTracksPlayUnattendedToTheEndWithFullCrossfades) {
    // Eight generated tracks, each listed five times under its own name.
    std::vector<std::string> files;
    for (int t = 0; t < 8; ++t) {
        MixTestTrack track{118.0 + 2.0 * t, 40.0, t % 2 ? 2600.0 : 700.0, uint32_t(10 + t)};
        files.push_back(path("gen" + std::to_string(t) + ".wav"));
        ASSERT_TRUE(track.write(files.back()));
    }
    std::string playlist;
    std::vector<std::string> listed;
    for (int i = 0; i < 40; ++i) {
        listed.push_back(path("track" + std::to_string(i) + ".wav"));
        ASSERT_EQ(symlink(files[(i * 3) % 8].c_str(), listed.back().c_str()), 0);
        playlist += listed.back() + "\n";
    }
    dir_.write("forty.m3u", playlist);

    const MixSummary summary = render({path("forty.m3u")}, "forty.wav");
    ASSERT_EQ(summary.tracks.size(), 40u) << "the mix stopped early";
    EXPECT_TRUE(summary.skipped.empty());
    EXPECT_EQ(summary.framesLost, 0);
    for (size_t i = 0; i < summary.tracks.size(); ++i) {
        EXPECT_EQ(summary.tracks[i].path, listed[i]) << "played out of order";
        EXPECT_TRUE(i == 0 || std::abs(summary.tracks[i].mixEnd - summary.tracks[i].mixStart -
                                       32 * kMixTickSeconds) < 0.002)
            << "transition " << i << " was not a full crossfade";
    }

    // No silence between tracks: every 50 ms of the mix carries sound until the last
    // track has ended.
    const std::vector<float> mix = readMix(path("forty.wav"), 1.0f, 0.0f);
    ASSERT_NEAR(double(mix.size()) / kRate, summary.outputSeconds, 0.05);
    const double end = std::min(double(mix.size()) / kRate, summary.tracks.back().mixEnd + 20.0);
    int silent = 0;
    for (double s = 0.1; s + 0.05 < end; s += 0.05)
        silent += rms(mix, s, s + 0.05) < 30.0; // about -60 dBFS
    EXPECT_EQ(silent, 0);
}

TEST_F(MixRendererTest, ShortAndBrokenTracksPlayInOrderTheMixEndsAndRepeatsExactly) {
    // The short tracks end during the crossfade into them; so does the outgoing one.
    // Broken entries are skipped and the mix goes on.
    const struct {
        const char* name;
        double seconds; // 0: a missing file; < 0: garbage
    } tracks[] = {{"a.wav", 40.0},     {"missing.wav", 0.0}, {"short.wav", 4.0}, {"b.wav", 20.0},
                  {"garbage.mp3", -1}, {"tiny.wav", 1.0},    {"c.wav", 20.0}};
    std::vector<std::string> inputs, playable, broken;
    double total = 0.0;
    for (const auto& t : tracks) {
        inputs.push_back(path(t.name));
        if (t.seconds > 0.0) {
            ASSERT_TRUE((MixTestTrack{124.0, t.seconds, 700.0, 3}.write(inputs.back())));
            playable.push_back(inputs.back());
            total += t.seconds;
        } else {
            if (t.seconds < 0.0)
                std::ofstream(inputs.back()) << std::string(5000, '\x55');
            broken.push_back(inputs.back());
        }
    }
    const MixSummary summary = render(inputs, "set.wav", "db1");
    std::vector<std::string> played, skipped;
    for (const MixedTrack& t : summary.tracks)
        played.push_back(t.path);
    for (const SkippedTrack& t : summary.skipped)
        skipped.push_back(t.path);
    EXPECT_EQ(played, playable);
    EXPECT_EQ(skipped, broken);
    // The first track plays at its own level, not 2.4 dB down (x 0.76) at the crossfader's
    // centre. (The windows are not aligned to the sample: a few per cent either way.)
    EXPECT_NEAR(rms(readMix(path("set.wav"), 1, 0), 0.5, 3.5) /
                    rms(readMix(inputs[0], 1, 0), 0.5, 3.5),
                1.0, 0.06);
    // Ends with the last track: tracks overlap, so no longer than all of them in a row.
    EXPECT_LE(summary.outputSeconds, total);
    EXPECT_GE(summary.outputSeconds, 40.0 + 20.0 + 20.0 - 3 * 6.4);

    render(inputs, "again.wav", "db2");
    EXPECT_TRUE(ScratchDir::read(path("set.wav")) == ScratchDir::read(path("again.wav")))
        << "two renders of the same input differ";
    // The first run stored what it learned of each track: a run on that database mixes
    // exactly as the first did on an empty one.
    render(inputs, "filled.wav", "db1");
    EXPECT_TRUE(ScratchDir::read(path("set.wav")) == ScratchDir::read(path("filled.wav")))
        << "a render on a filled database differs from the first";
}

TEST_F(MixRendererTest, LiveMixEndsInOrderOnSigterm) {
    const std::string track = path("long.wav");
    ASSERT_TRUE((MixTestTrack{120.0, 60.0, 700.0, 1}.write(track)));
    const QString out = arg("live.wav");
    QProcess tool;
    tool.start(ZV_MIX_TOOL, {QString::fromStdString(track), "--live", "-o", out, "--database",
                             arg("db"), "--json-summary", arg("live.json")});
    // Past the first header update (every 4 s of sound), so a stale header would show.
    for (int wait = 0; wait < 300 && QFileInfo(out).size() < 44 + 5 * 176400; ++wait)
        tool.waitForFinished(100);
    ASSERT_EQ(tool.state(), QProcess::Running);
    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 128 + SIGTERM);
    EXPECT_TRUE(readRecordedWav(path("live.wav")).headerValid);
    const std::string json = ScratchDir::read(path("live.json"));
    EXPECT_NE(json.find("long.wav"), std::string::npos) << json;
    // Where the machine has no sound card, the tool says so instead of playing unheard.
    const std::string cardList = ScratchDir::read("/proc/asound/cards");
    if (cardList.empty() || cardList.find("no soundcards") != std::string::npos) {
        EXPECT_TRUE(tool.readAllStandardError().contains("no sound device"));
    }
}

TEST_F(MixRendererTest, ToolFailsLoudlyOnUnusableInput) {
    const std::string good = path("good.wav");
    ASSERT_TRUE((MixTestTrack{120.0, 5.0, 700.0, 1}.write(good)));
    std::ofstream(path("empty.m3u")) << "# nothing here\n";
    std::ofstream(path("binary.pls")) << std::string("\x00\x01\x02\xff\xfe", 5);
    // A WAV file with a header and no sound.
    ASSERT_TRUE((MixTestTrack{120.0, 0.0, 700.0, 1}.write(path("silent.wav"))));
    std::ofstream(path("corrupt.db")) << std::string(300, '\x7f');
    const QString goodArg = QString::fromStdString(good);
    ASSERT_TRUE((MixTestTrack{120.0, 60.0, 700.0, 1}.write(path("long.wav"))));
    constexpr rlim_t kLimitBytes = 2 << 20; // 11.9 s of sound
    const struct {
        const char* name;
        QStringList args;
        const char* said;
        rlim_t fileLimit = RLIM_INFINITY;
    } cases[] = {
        {"empty playlist", {arg("empty.m3u")}, "no tracks"},
        {"binary garbage", {arg("binary.pls")}, "no tracks"},
        {"unwritable output",
         {goodArg, "-o", "/nonexistent/dir/out.wav"},
         "/nonexistent/dir/out.wav"},
        {"no output named", {goodArg}, "usage"},
        {"bad mix length", {goodArg, "--long-mix", "7"}, "--long-mix"},
        {"no track plays",
         {arg("silent.wav"), arg("nothing.wav")},
         "no track could be played (2 skipped)"},
        {"corrupt database",
         {goodArg, "--database", arg("corrupt.db")},
         "The internal database is corrupted"},
        // Not waiting for ever for a writer that cannot write; a valid file of what fit.
        {"output cannot grow", {arg("long.wav")}, "cannot grow", kLimitBytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList args = c.args;
        if (!args.contains("-o") && std::string(c.name) != "no output named")
            args << "-o" << arg("out.wav");
        if (!args.contains("--database"))
            args << "--database" << arg("tool.db");
        QProcess tool;
        const rlimit limit{c.fileLimit, c.fileLimit};
        tool.setChildProcessModifier([&limit] { setrlimit(RLIMIT_FSIZE, &limit); });
        tool.start(ZV_MIX_TOOL, args);
        ASSERT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
        EXPECT_NE(tool.exitCode(), 0);
        const QByteArray said = tool.readAllStandardError();
        EXPECT_TRUE(said.contains(c.said)) << said.toStdString();
        if (c.fileLimit != RLIM_INFINITY) {
            EXPECT_TRUE(readRecordedWav(path("out.wav")).headerValid);
            EXPECT_GT(QFileInfo(arg("out.wav")).size(), kLimitBytes / 2);
        }
    }
}

} // namespace
