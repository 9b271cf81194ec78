#include "app/TimerIds.h"
#include "tests/app/AppTestSupport.h"
#include "tests/tools/MixTestTracks.h"

namespace {

using MainWindowTest = ShellTest;

// A 3-second click track.
QString writeTone(const QString& path) {
    return MixTestTrack{120.0, 3.0, 700.0, 1}.write(path.toStdString()) ? path : QString();
}

TEST_F(MainWindowTest, RunsWithoutAWindowAndAsksBeforeClosingOnMusic) {
    MainWindow main(clock_);
    main.audioOptions.systemVolumes = false;
    bool quit = false;
    main.onQuit = [&] { quit = true; };
    ASSERT_TRUE(main.onCreate(nullptr));
    ASSERT_NE(main.backBuffer(), nullptr);
    EXPECT_EQ(main.backBuffer()->size(), QSize(800, 600));
    ASSERT_NE(deckAt(1), nullptr);
    QString tone = writeTone(dir_.path() + "/tone.wav");
    ASSERT_TRUE(deckAt(1)->load(TrackRecord{"", "tone", tone.toStdString(), nullptr}));
    deckAt(1)->play();
    ASSERT_TRUE(deckAt(1)->playing.load());

    presenter_.answer = false;
    EXPECT_FALSE(main.onClose());
    ASSERT_EQ(presenter_.asked.size(), 1u);
    EXPECT_EQ(presenter_.asked[0],
              "The music is still playing!\nAre you sure you want to quit Zorvendal?");
    EXPECT_TRUE(clock_.isRunning(kTimerDisplay)) << "a refused close must leave everything running";

    // Nothing plays: closing asks nothing, and only the destruction saves.
    deckAt(1)->pause();
    EXPECT_TRUE(main.onClose());
    EXPECT_EQ(presenter_.asked.size(), 1u);
    EXPECT_FALSE(clock_.isRunning(kTimerDisplay));
    EXPECT_FALSE(settingsSaved());
    main.onDestroy();
    EXPECT_TRUE(quit);
    EXPECT_EQ(deckAt(0), nullptr) << "the decks are destroyed with the window";
    EXPECT_EQ(main.backBuffer(), nullptr);
    EXPECT_TRUE(settingsSaved());
    // What the deck learned about the track is kept in the home folder's database.
    QFile database(dir_.path() + "/zorvendal Internal Database");
    ASSERT_TRUE(database.open(QIODevice::ReadOnly));
    EXPECT_TRUE(database.readAll().contains("tone.wav"));
    main.onDestroy(); // a second destruction does nothing
}

TEST_F(MainWindowTest, CreationStopsAtTheFirstFailingStep) {
    for (auto failing : {MainWindow::CreationStep::Start, MainWindow::CreationStep::Deck0,
                         MainWindow::CreationStep::Deck1, MainWindow::CreationStep::BackBuffer,
                         MainWindow::CreationStep::Done}) {
        clearFatalMessage();
        VirtualClock clock;
        MainWindow main(clock);
        main.audioOptions.systemVolumes = false;
        std::vector<MainWindow::CreationStep> seen;
        main.creationObserver = [&](MainWindow::CreationStep step) {
            seen.push_back(step);
            if (step == failing)
                setFatalMessage("Invalid skin file");
        };
        EXPECT_FALSE(main.onCreate(nullptr));
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), failing) << "creation went on after the failing step";
        main.onDestroy(); // destruction runs over whatever exists
        EXPECT_TRUE(main.quitRequested());
        EXPECT_STREQ(fatalMessage(), "Invalid skin file");
    }
}

} // namespace
