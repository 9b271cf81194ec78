// Runs the program as real processes (through the probe, which prints its message
// boxes) in an isolated home, configuration and runtime folder.

#include "app/Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kWaitMs = 30000;

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root_.isValid()); }

    QString path(const QString& name) const { return root_.path() + "/" + name; }
    QString settingsFile() const { return path("config/Zorvendal/Zorvendal.ini"); }

    std::unique_ptr<QProcess> start(const QStringList& extraEnv = {},
                                    const QStringList& files = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("XDG_RUNTIME_DIR", path("run"));
        env.insert("HOME", root_.path());
        for (const QString& entry : extraEnv)
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        QDir().mkpath(path("run"));
        process->setProcessEnvironment(env);
        process->start(ZV_PROBE, files);
        return process;
    }

    void writeSettings(const QByteArray& text) {
        QDir().mkpath(QFileInfo(settingsFile()).path());
        QFile file(settingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QByteArray readSettings() {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Waits (bounded) until the running copy has claimed its name.
    bool waitForRunningCopy() {
        for (int i = 0; i < kWaitMs / 50; ++i) {
            if (QFileInfo::exists(path("run/ZORVENDAL")))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    static int exitCodeOf(QProcess& p) {
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1000;
    }

    QTemporaryDir root_;
};

TEST_F(StartupTest, SecondCopyIsRefusedAndTheFirstSavesItsSettingsWhenClosed) {
    auto first = start();
    ASSERT_TRUE(first->waitForStarted(kWaitMs));
    ASSERT_TRUE(waitForRunningCopy());

    auto second = start();
    ASSERT_TRUE(second->waitForFinished(kWaitMs));
    EXPECT_EQ(exitCodeOf(*second), 255); // -1 from the entry point
    QByteArray said = second->readAllStandardOutput();
    EXPECT_TRUE(said.contains(QByteArray("BOX plain ") + kMultiInstanceRefusal)) << said.data();
    EXPECT_FALSE(said.contains("READY")) << "the refused copy built its main window";

    EXPECT_EQ(first->state(), QProcess::Running);
    // Once its window is up (before, a signal ends it like any program).
    while (!first->readAllStandardOutput().contains("READY"))
        ASSERT_TRUE(first->waitForReadyRead(kWaitMs));
    first->terminate(); // SIGTERM closes the window in order
    ASSERT_TRUE(first->waitForFinished(kWaitMs));
    EXPECT_EQ(exitCodeOf(*first), 0);
    EXPECT_TRUE(readSettings().contains("Version=1.12"));
}

// "Open with" on music files: the first copy takes them (one into a deck, the rest into
// the playlist); a second copy started with files hands them over and ends.
TEST_F(StartupTest, ACopyStartedWithFilesHandsThemToTheRunningOne) {
    QStringList files;
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) {
        QFile wav(path(name));
        ASSERT_TRUE(wav.open(QIODevice::WriteOnly)); // not music: the deck says so, later
        wav.write(QByteArray(64, '\0'));
        files << path(name);
    }
    auto first = start({}, {files[0], files[1], "--not-a-file"});
    ASSERT_TRUE(waitForRunningCopy());
    QByteArray said;
    auto waitFor = [&](QProcess& p, const QByteArray& text) {
        while (!said.contains(text) && p.waitForReadyRead(kWaitMs))
            said += p.readAllStandardOutput();
        return said.contains(text);
    };
    EXPECT_TRUE(waitFor(*first, "PLAYLIST 1\n"));
    QDir::setCurrent(root_.path());
    auto second = start({}, {"c.wav", "d.wav"}); // relative to where it was started
    ASSERT_TRUE(second->waitForFinished(kWaitMs));
    EXPECT_EQ(exitCodeOf(*second), 0);
    EXPECT_FALSE(second->readAllStandardOutput().contains("BOX"));
    // c.wav goes into a free deck (a.wav could not load): b.wav and d.wav wait in the
    // playlist.
    EXPECT_TRUE(waitFor(*first, "PLAYLIST 2\n")) << said.data();
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(kWaitMs));
}

TEST_F(StartupTest, MultiInstanceLetsASecondCopyRun) {
    writeSettings("[General]\nMultiInstance=1\nVersion=1.12\n");
    auto first = start();
    ASSERT_TRUE(waitForRunningCopy());
    auto second = start();
    ASSERT_TRUE(second->waitForStarted(kWaitMs));
    ASSERT_TRUE(second->waitForReadyRead(kWaitMs));
    EXPECT_TRUE(second->readAllStandardOutput().contains("READY"));
    EXPECT_FALSE(second->waitForFinished(500));
    for (auto* p : {first.get(), second.get()}) {
        p->terminate();
        ASSERT_TRUE(p->waitForFinished(kWaitMs));
        EXPECT_EQ(exitCodeOf(*p), 0);
    }
}

TEST_F(StartupTest, FailedCreationShowsTheDeferredMessageOnceAtTheEnd) {
    // Step 5 is the back buffer; the destruction handler still runs and saves.
    auto run = start({"ZV_PROBE_FAIL_AT=5"});
    ASSERT_TRUE(run->waitForFinished(kWaitMs));
    EXPECT_EQ(exitCodeOf(*run), 0);
    QByteArray said = run->readAllStandardOutput();
    EXPECT_EQ(said.count("BOX "), 1) << said.data();
    EXPECT_TRUE(said.contains("BOX stop Probe failure")) << said.data();
    EXPECT_TRUE(readSettings().contains("Version=1.12"));
}

TEST_F(StartupTest, FaultInAnEventHandlerIsReportedAndSettingsAreNotSaved) {
    const QRegularExpression report(
        "BOX plain A fatal error occured !\\\\nThe music will stop and the program will shut "
        "down as soon as you press the OK button\\\\n\\\\nPlease report this error number: "
        "([0-9a-f]+):([0-9a-f]+), by email at \\S+@\\S+");
    for (const char* fault : {"throw", "segv"}) {
        SCOPED_TRACE(fault);
        const QByteArray before = QByteArray("[General]\nLongMix=40\nVersion=1.12\n");
        writeSettings(before);
        auto run = start({QString("ZV_PROBE_FAULT=") + fault});
        ASSERT_TRUE(run->waitForFinished(kWaitMs));
        EXPECT_EQ(exitCodeOf(*run), 0);
        const QString said = QString::fromUtf8(run->readAllStandardOutput());
        const auto match = report.match(said);
        ASSERT_TRUE(match.hasMatch()) << said.toStdString();
        EXPECT_NE(match.captured(1), "0") << "the faulting address is missing";
        EXPECT_EQ(said.count("BOX "), 1);
        EXPECT_EQ(readSettings(), before);
    }
}

} // namespace
