// The desk as a user meets it: the window, the view transform, the controls under the
// pointer, the deck displays and files dropped from another program.

#include "app/DeskInput.h"
#include "app/MainWidget.h"
#include "library/Playlist.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"
#include "tests/app/AppTestSupport.h"
#include "tests/tools/MixTestTracks.h"
#include "ui/desk/DeskPainter.h"
#include "ui/desk/OptionsPanel.h"
#include "ui/desk/TooltipBalloon.h"
#include "ui/skin/Skin.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QWindow>

#include <atomic>
#include <thread>

namespace {

class DeskTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        // A disk that can be made to stall: reads wait while it is closed.
        main_.fileReader = [open = diskOpen_](const std::string&, const std::atomic<bool>& stop) {
            while (!*open && !stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        };
        useVirtualCard(main_);
        ASSERT_TRUE(main_.onCreate(&widget_));
        widget_.show();
    }
    void TearDown() override {
        for (Deck* deck : {deckAt(0), deckAt(1)})
            if (deck)
                deck->pause();
        main_.prepareClose();
        main_.onDestroy();
        ShellTest::TearDown();
    }
    std::string track(const char* name) {
        const std::string path = (dir_.path() + "/" + name).toStdString();
        EXPECT_TRUE((MixTestTrack{120.0, 3.0, 700.0, 1}.write(path)));
        return path;
    }
    void load(int d) {
        ASSERT_TRUE(main_.loadIntoDeck(d, TrackRecord{"", "t", track("t.wav"), nullptr}));
    }
    QPoint centreOf(int control) const {
        const ControlEntry& e = (*main_.skin())[control];
        return e.hitRadius > 0 ? QPoint(e.hitX1, e.hitY1)
                               : QPoint((e.hitX1 + e.hitX2) / 2, (e.hitY1 + e.hitY2) / 2);
    }
    void click(QPoint at) {
        main_.desk()->buttonDown(true, at);
        main_.desk()->buttonUp(at);
    }
    QRgb pixel(QPoint at) const { return main_.backBuffer()->pixel(at); }
    QRgb skinPixel(int x, int y) const { return main_.skin()->surface.pixel(x, y); }

    std::shared_ptr<std::atomic<bool>> diskOpen_ = std::make_shared<std::atomic<bool>>(true);
    MainWindow main_{clock_};
    MainWidget widget_{main_};
};

// The picture is scaled into a full-screen window: a click at the scaled place of a
// control reaches it, a click in the letterbox reaches nothing.
TEST_F(DeskTest, ClickThroughTheScaledView) {
    load(0);
    widget_.resize(1920, 1080); // scale 1.8, picture from x = 240
    EXPECT_EQ(widget_.view().picture(), QRect(240, 0, 1440, 1080));
    const QPointF play = widget_.view().toWidget(QPointF(centreOf(control::kPlay1)));
    QTest::mouseClick(widget_.windowHandle(), Qt::LeftButton, {}, play.toPoint());
    EXPECT_TRUE(deckAt(0)->playing.load());
    QTest::mouseClick(widget_.windowHandle(), Qt::LeftButton, {}, QPoint(100, 540));
    EXPECT_TRUE(deckAt(0)->playing.load()) << "a letterbox click reached the desk";
    QTest::mouseClick(widget_.windowHandle(), Qt::LeftButton, {}, play.toPoint());
    EXPECT_FALSE(deckAt(0)->playing.load()) << "play and pause share one place";
    // Invalidation covers the scaled rectangle of a control.
    const QRect mapped = widget_.childGeometry(QRect(0, 0, 10, 10));
    EXPECT_EQ(mapped, QRect(240, 0, 18, 18));
}

TEST_F(DeskTest, SlidersJumpFollowAndARightDragReturns) {
    DeskInput& desk = *main_.desk();
    const Skin& skin = *main_.skin();
    // A click on the crossfader's track far right of the knob puts the knob's centre
    // under the pointer at once, and the drag goes on from there.
    const SliderTrack fader = crossfaderTrack(skin);
    const int y = centreOf(control::kCrossfader).y();
    desk.buttonDown(true, QPoint(fader.start + fader.travel, y));
    const int jumped = main_.crossfader;
    EXPECT_GT(jumped, 300);
    desk.move(QPoint(fader.start + fader.travel - 40, y), true);
    EXPECT_LT(main_.crossfader, jumped);
    desk.buttonUp(QPoint());
    // The knob image is where the value says, the background where it was.
    const QRect knob = crossfaderKnob(skin, main_.crossfader);
    const ControlEntry& cap = skin[control::kHorizontalFader];
    EXPECT_EQ(pixel(knob.topLeft() + QPoint(5, 5)), skinPixel(cap.upX + 5, cap.upY + 5));

    // Right button: the sound changes while held and comes back on release.
    const int before = main_.crossfader;
    desk.buttonDown(false, QPoint(fader.start, y));
    EXPECT_EQ(main_.crossfader, 0);
    desk.buttonUp(QPoint(fader.start, y));
    EXPECT_EQ(main_.crossfader, before);

    // Pitch: a reset glides 16 steps per 500 ms and a second press jumps to normal speed;
    // a drag stops a gliding reset; the top of the slider is the slowest speed.
    desk.setSliderMode(kSliderModePitch);
    load(0);
    desk.setPitchControl(0, 4300);
    click(centreOf(control::kResetPitch1));
    clock_.advance(500);
    EXPECT_EQ(deckAt(0)->speed.load(), 4284);
    click(centreOf(control::kResetPitch1));
    EXPECT_EQ(deckAt(0)->speed.load(), 4096);
    EXPECT_FALSE(main_.pitchResetTimer[0]);
    desk.setPitchControl(0, 4300);
    click(centreOf(control::kResetPitch1));
    EXPECT_TRUE(main_.pitchResetTimer[0]);
    const SliderTrack pitch = verticalTrack(skin, control::kPitch1);
    desk.buttonDown(true, QPoint(centreOf(control::kPitch1).x(), pitch.start));
    desk.buttonUp(QPoint());
    EXPECT_FALSE(main_.pitchResetTimer[0]);
    EXPECT_EQ(deckAt(0)->speed.load(), main_.desk()->pitchMin());
}

TEST_F(DeskTest, ReleasingOffClosePressedStillCloses) {
    DeskInput& desk = *main_.desk();
    desk.buttonDown(true, centreOf(control::kClose));
    EXPECT_EQ(desk.pressed(), control::kClose);
    desk.buttonUp(QPoint(400, 300));
    EXPECT_TRUE(main_.quitRequested());
}

// Loading replaces the status text and shows the title; the disc plays from the clicked
// place and its hand follows.
TEST_F(DeskTest, DeckDisplaysFollowTheTrackAndTheDiscPlaysFromTheClickedPlace) {
    const QRect infos(270, 130, 120, 100), title(20, 300, 140, 35);
    const QImage empty = main_.backBuffer()->copy(infos);
    load(0);
    clock_.advance(100);
    EXPECT_NE(main_.backBuffer()->copy(infos), empty) << "the status text was not replaced";
    EXPECT_NE(main_.backBuffer()->copy(title), main_.skin()->surface.copy(title));
    const QPoint centre = centreOf(control::kDisc1);
    const int r = (*main_.skin())[control::kDisc1].hitRadius;
    const float before = deckAt(0)->position.load();
    click(centre); // the centre says nothing
    EXPECT_FLOAT_EQ(deckAt(0)->position.load(), before);
    click(centre + QPoint(r / 2, 0)); // three o'clock: a quarter of the track
    EXPECT_NEAR(deckAt(0)->position.load(), 0.25f, 0.01f);
    clock_.advance(100); // the display timer draws the hand
    EXPECT_EQ(pixel(centre + QPoint(r / 2, 0)), qRgb(255, 255, 255));
    click(centre + QPoint(0, r / 2)); // six o'clock: the hand moves, the old one is gone
    clock_.advance(100);
    EXPECT_EQ(pixel(centre + QPoint(0, r / 2)), qRgb(255, 255, 255));
    EXPECT_NE(pixel(centre + QPoint(r / 2, 0)), qRgb(255, 255, 255));
}

TEST_F(DeskTest, DroppedFilesFillTheDecksThenThePlaylistWhileTheDiskStalls) {
    const std::string a = track("a.wav"), b = track("b.wav"), c = track("c.wav");
    QByteArray list;
    for (const std::string& p :
         {a, std::string("/nonexistent/x.mp3"), dir_.path().toStdString(), b, c})
        list += "file://" + QByteArray(p.c_str()).toPercentEncoding("/") + "\r\n";
    list += "https://example.org/not-local.mp3\r\n";
    *diskOpen_ = false;
    main_.dropFiles(centreOf(control::kDisc1), localPathsFromUriList(list));
    // The window goes on while the files are read; the decks count as taken.
    clock_.advance(500);
    EXPECT_FALSE(deckAt(0)->hasTrack() || deckAt(1)->hasTrack());
    EXPECT_TRUE(main_.loadPending(0) && main_.loadPending(1));
    ASSERT_EQ(main_.playlist()->rowCount(), 1);
    EXPECT_EQ(main_.playlist()->record(0).path, c);
    // A second drop on a waiting deck replaces its load.
    main_.dropFiles(centreOf(control::kDisc1), {c});
    *diskOpen_ = true;
    finishPendingLoads(main_, clock_);
    EXPECT_EQ(deckAt(0)->track->path, c);
    EXPECT_EQ(deckAt(1)->track->path, b);

    // Names that are not UTF-8 keep their bytes.
    const std::vector<std::string> raw =
        localPathsFromUriList("file:///music/caf%E9.mp3\nfile://localhost/a%20b.wav\n");
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0], "/music/caf\xe9.mp3");
    EXPECT_EQ(raw[1], "/a b.wav");
}

// A track put into the playlist is analysed in the background: its row shows the tempo
// before the track is ever loaded.
TEST_F(DeskTest, APlaylistTrackShowsItsTempoBeforeItIsLoaded) {
    struct Rows : RowObserver {
        void rowsAboutToBeInserted(int, int) override {}
        void rowsInserted() override {}
        void rowsAboutToBeRemoved(int, int) override {}
        void rowsRemoved() override {}
        void rowsAboutToBeReordered() override {}
        void rowsReordered() override {}
        void rowImageChanged(int) override {}
        void rowChanged(int row) override { changed.push_back(row); }
        std::vector<int> changed;
    } rows;
    main_.playlist()->setObserver(&rows);
    const std::string path = (dir_.path() + "/known.wav").toStdString();
    ASSERT_TRUE((MixTestTrack{126.0, 15.0, 700.0, 2}.write(path)));
    main_.playlist()->insert(makeTrackRecord(*main_.database(), path, fileSizeKey(path)));
    const TrackEntry* entry = main_.playlist()->record(0).entry;
    ASSERT_NE(entry, nullptr);
    for (int i = 0; i < 20000 && entry->bpm.load() == 0.0f; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        clock_.advance(100); // the display timer stores what was analysed
    }
    EXPECT_NEAR(entry->bpm.load(), 126.0, 0.5);
    EXPECT_EQ(rows.changed, std::vector<int>{0});
    EXPECT_TRUE(main_.database()->analysedWhole(main_.playlist()->record(0).entry));
    EXPECT_EQ(main_.analysesPending(), 0);
    main_.playlist()->setObserver(nullptr);
}

// Keys reach the desk before any child widget; letters typed into an edit box stay
// there until ESCAPE ends the typing.
TEST_F(DeskTest, KeyboardDrivesTheSelectedDeck) {
    settings().limitPitch = 1; // the narrow range, 3768..4424
    load(0);
    auto key = [&](Qt::Key k, const char* text = "") {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(widget_.windowHandle(), &press);
    };
    main_.desk()->setPitchControl(0, 3770);
    key(Qt::Key_Up);
    EXPECT_EQ(deckAt(0)->speed.load(), 3768);
    key(Qt::Key_Up);
    EXPECT_EQ(deckAt(0)->speed.load(), 3768);
    key(Qt::Key_Space);
    EXPECT_TRUE(deckAt(0)->playing.load());

    auto* edit = new QLineEdit(&widget_);
    edit->show();
    edit->setFocus();
    key(Qt::Key_P, "p");
    EXPECT_TRUE(deckAt(0)->playing.load()) << "P typed into the box paused the deck";
    EXPECT_EQ(edit->text(), "p");
    key(Qt::Key_F3);
    EXPECT_EQ(main_.desk()->page(), kPagePlaylist) << "F keys act while typing";
    key(Qt::Key_Escape); // ends the typing, no Magic Sync
    key(Qt::Key_P, "p");
    EXPECT_FALSE(deckAt(0)->playing.load());
    key(Qt::Key_Q, "q");
    EXPECT_EQ(edit->text(), "p") << "a letter without a shortcut reached a child";
    key(Qt::Key_Backtab);
    EXPECT_EQ(main_.selectedDeck(), 1);
}

TEST_F(DeskTest, OptionsRowsAnswerOnTheirTextOnly) {
    DeskInput& desk = *main_.desk();
    desk.selectPage(kPageOptions);
    const ControlEntry& mix = (*main_.skin())[74]; // "Mix Length "
    settings().longMix = 112;
    desk.selectPage(kPageOptions); // drawn again: the zone follows the text
    const int y = (mix.hitY1 + mix.hitY2) / 2;
    click(QPoint(mix.left + 1, y)); // in the row, left of the drawn label
    EXPECT_EQ(settings().longMix.load(), 112);
    click(QPoint((mix.left + mix.right) / 2, y));
    EXPECT_EQ(settings().longMix.load(), 0);
    EXPECT_EQ(optionText(74).value, ": short");

    // The narrow pitch range clamps a running deck and its knob follows.
    load(0);
    settings().limitPitch = 0;
    desk.setSliderMode(kSliderModePitch);
    desk.setPitchControl(0, 5000);
    const ControlEntry& range = (*main_.skin())[85];
    click(QPoint((range.left + range.right) / 2, (range.hitY1 + range.hitY2) / 2));
    EXPECT_EQ(deckAt(0)->speed.load(), 4424);
    EXPECT_EQ(main_.pitchSlider[0], 256);
}

TEST_F(DeskTest, RecordButtonAsksForTheFileAndShowsTheRecording) {
    DeskInput& desk = *main_.desk();
    desk.selectPage(kPageRecord);
    click(centreOf(control::kRecordButton)); // hard mix cannot record: a message, no file
    ASSERT_EQ(presenter_.shown.size(), 1u);
    EXPECT_FALSE(main_.recording());

    ASSERT_TRUE(main_.applySoundConfiguration(1, {})); // Soft Mix (for recording)
    QString asked;
    const std::string file = (dir_.path() + "/mix.wav").toStdString();
    main_.askSavePath = [&](const QString& title, const QString&, const QString&) {
        asked = title;
        return file;
    };
    click(centreOf(control::kRecordButton));
    EXPECT_EQ(asked, "Save the mix");
    EXPECT_TRUE(main_.recording());
    const ControlEntry& button = (*main_.skin())[control::kRecordButton];
    EXPECT_EQ(pixel(QPoint(button.x + 96, button.y + 24)),
              skinPixel(button.downX + 96, button.downY + 24));
    click(centreOf(control::kRecordButton));
    EXPECT_FALSE(main_.recording());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(file)));
}

TEST_F(DeskTest, TooltipShowsOnceThePointerRests) {
    TooltipBalloon& balloon = *main_.tooltip();
    DeskInput& desk = *main_.desk();
    const QPoint play = centreOf(control::kPlay1);
    for (int i = 0; i < 10; ++i) { // moving on: never shown
        desk.move(play + QPoint(i % 3, 0), false);
        clock_.advance(100);
    }
    EXPECT_EQ(balloon.state(), 1);
    clock_.advance(500);
    EXPECT_EQ(balloon.state(), 2);
    EXPECT_GE(balloon.balloonWidth(), 29);
    desk.move(centreOf(control::kDisc1), false); // no text there: gone at once
    EXPECT_EQ(balloon.state(), 0);
    desk.move(play, false);
    clock_.advance(500);
    desk.buttonDown(true, play); // a click hides it and acts on the control
    EXPECT_EQ(balloon.state(), 0);
    EXPECT_EQ(desk.pressed(), control::kPlay1);
    desk.buttonUp(play);

    // The balloon's shape: the left end with its tail is taller than the body.
    const QRegion left = balloonRegion(QImage(":/balloon.png"), 0, 22);
    EXPECT_GT(left.boundingRect().height(), 23);
    EXPECT_FALSE(left.contains(QPoint(0, 0)));
}

} // namespace
