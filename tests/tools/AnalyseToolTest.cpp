// Runs the zorvendal-analyse program on WAV click tracks and broken files written here.

#include "tests/tools/MixTestTracks.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the tool through the shell, each argument single-quoted, so that file names
// reach it byte for byte (they need not be UTF-8); stderr goes to a file.
ToolRun runTool(const std::vector<std::string>& args, const std::string& errFile) {
    auto quoted = [](const std::string& text) {
        std::string q(1, '\'');
        for (char c : text) {
            if (c == '\'')
                q.append("'\\''");
            else
                q.push_back(c);
        }
        q.push_back('\'');
        return q;
    };
    std::string command = quoted(ZV_ANALYSE_TOOL);
    for (const std::string& a : args)
        command.append(" ").append(quoted(a));
    command.append(" 2>").append(quoted(errFile));
    ToolRun run;
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr)
        return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
        run.out.append(buffer, n);
    const int status = pclose(out);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ScratchDir::read(errFile);
    return run;
}

std::string garbage(size_t size) {
    std::string s;
    uint32_t x = 99;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s += char(x >> 24);
    }
    return s;
}

class AnalyseTool : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir.path(name); }
    ToolRun run(const std::vector<std::string>& args) { return runTool(args, path("stderr.txt")); }

    ScratchDir dir;
};

TEST_F(AnalyseTool, JsonReportsEveryFileInOrder) {
    struct Expect {
        std::string name;
        double bpm;             // < 0: an error object is expected
        std::string shown = {}; // the path as the JSON gives it, if not the name
    };
    const std::vector<Expect> files = {
        {"120.wav", 120.0},
        {"garbage.mp3", -1},
        {"quote \" back \\ tab \t line \n end.wav", 120.0},
        {"95 quiet intro.WAV", 95.0},
        {"caf\xc3\xa9 \x01.wav", 120.0},
        {"not really.wav", -1},
        {"stray \xff byte.wav", 120.0, "stray \xef\xbf\xbd byte.wav"}, // U+FFFD
        {"missing.mp3", -1},
        {"120.wav", 120.0}, // the same result whichever thread takes it
    };
    // Beats fall every 60/bpm s from 0; the quiet intro ends on the 8th, the last loud
    // beat is the 32nd. A track loud from its first frame starts at one of its first
    // beats, depending on when the analyser's band settles.
    ASSERT_TRUE(writeClickWav(path("120.wav"), ClickTrack{.bpm = 120.0}, 20.0));
    ASSERT_TRUE(writeClickWav(path("95 quiet intro.WAV"),
                              ClickTrack{.bpm = 95.0, .loudFromS = 60.0 / 95 * 7, .quietGain = 0.1},
                              20.0));
    dir.write("garbage.mp3", garbage(100000));
    dir.write("not really.wav", "RIFF\x10\0\0\0WAVEjunk" + garbage(5000));

    std::vector<std::string> args = {"--json"};
    for (const Expect& e : files) {
        if (e.bpm == 120.0 && e.name != "120.wav") // names the JSON must escape
            std::filesystem::copy_file(path("120.wav"), path(e.name));
        args.push_back(path(e.name));
    }
    const ToolRun r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    ASSERT_TRUE(doc.isArray());
    const QJsonArray array = doc.array();
    ASSERT_EQ(array.size(), qsizetype(files.size()));
    for (size_t i = 0; i < files.size(); ++i) {
        const Expect& e = files[i];
        SCOPED_TRACE(e.name);
        const QJsonObject o = array[qsizetype(i)].toObject();
        EXPECT_EQ(o["path"].toString().toStdString(), path(e.shown.empty() ? e.name : e.shown));
        if (e.bpm < 0) {
            EXPECT_EQ(o.size(), 2);
            EXPECT_FALSE(o["error"].toString().isEmpty());
            continue;
        }
        EXPECT_NEAR(o["bpm"].toDouble(), e.bpm, 0.2);
        EXPECT_NEAR(o["duration_s"].toDouble(), 20.0, 0.03);
        const bool quiet = e.bpm == 95.0;
        EXPECT_GT(o["start_s"].toDouble(), quiet ? 60.0 / 95 * 7 - 0.1 : 0.0);
        EXPECT_LT(o["start_s"].toDouble(), quiet ? 60.0 / 95 * 7 + 0.1 : 1.1);
        EXPECT_NEAR(o["end_s"].toDouble(), quiet ? 60.0 / 95 * 31 : 19.5, 0.1);
        EXPECT_TRUE(o["peak"].toInt() > 1 && o["loudness"].toInt() > 0);
    }
    EXPECT_EQ(array.first().toObject(), array.last().toObject());
}

TEST_F(AnalyseTool, TextLinesAndExitStatus) {
    ASSERT_TRUE(writeClickWav(path("a.wav"), ClickTrack{.bpm = 120.0}, 12.0));
    dir.write("b.mp3", garbage(20000));

    // Good files on stdout, one tab-separated line each; failures named on stderr.
    ToolRun r = run({path("a.wav"), path("b.mp3")});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    std::vector<std::string> fields;
    size_t from = 0;
    for (size_t tab; (tab = r.out.find_first_of("\t\n", from)) != std::string::npos; from = tab + 1)
        fields.push_back(r.out.substr(from, tab - from));
    ASSERT_EQ(fields.size(), 6u) << r.out;
    EXPECT_EQ(fields[0], path("a.wav"));
    EXPECT_NEAR(std::stod(fields[1]), 120.0, 0.2);
    EXPECT_EQ(fields[1].find('.'), fields[1].size() - 3) << "two decimals after a point";
    EXPECT_NE(r.err.find(path("b.mp3")), std::string::npos) << r.err;

    // Nothing readable: non-zero; no file at all: usage error.
    r = run({path("b.mp3"), path("nothing.wav")});
    EXPECT_TRUE(r.exitCode == 1 && r.out.empty());
    r = run({"--json", path("b.mp3")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array().size(), 1);
    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({"--frobnicate", path("a.wav")}).exitCode, 2);
}

} // namespace
