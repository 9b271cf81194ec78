// The music library on the desk as a user meets it: rows dragged onto the decks and the
// playlist with the desk's own cursors, double clicks, the Delete key, the widths kept
// between pages, folders analysed; the search page at the skin's places, its one question
// about a scan, its search box and button.

#include "app/DeskInput.h"
#include "app/MainWidget.h"
#include "audio/deck/SoundOutput.h"
#include "library/AnalysisService.h"
#include "library/History.h"
#include "library/Playlist.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"
#include "tests/app/AppTestSupport.h"
#include "tests/tools/MixTestTracks.h"
#include "ui/library/Browser.h"
#include "ui/library/BrowserListView.h"
#include "ui/library/FolderListModel.h"
#include "ui/library/SearchPage.h"
#include "ui/skin/Skin.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QSplitterHandle>
#include <QWindow>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

class BrowserDeskTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        music_ = (dir_.path() + "/music").toStdString();
        std::filesystem::create_directories(music_);
        for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
            track(name);
        // The tree starts in the music folder.
        settings().initialFolder = QByteArray::fromStdString(music_) + QByteArray(2, '\0');
        useVirtualCard(main_);
        ASSERT_TRUE(main_.onCreate(&widget_));
        widget_.show();
        ASSERT_NE(main_.browser(), nullptr);
        files_ = main_.browser()->fileList();
        model_ = main_.browser()->fileModel();
        model_->sortByCode(0); // by title: a, b, c, d
        ASSERT_EQ(model_->rowCount(), 4);
    }
    void TearDown() override {
        for (int d = 0; d < 2; ++d)
            if (Deck* deck = deckAt(d))
                deck->pause();
        main_.prepareClose();
        main_.onDestroy();
        ShellTest::TearDown();
    }
    std::string at(const std::string& name) const { return music_ + "/" + name; }
    std::string track(const std::string& name) {
        const std::string path = at(name);
        EXPECT_TRUE(writeWavFile(path, 44100, [](uint32_t, int count, int16_t* samples) {
            std::fill(samples, samples + 2 * count, int16_t(0));
        }));
        return path;
    }
    std::string loadedPath(int d) {
        finishPendingLoads(main_, clock_); // drops read their files first
        const Deck* deck = deckAt(d);
        return deck && deck->track && deck->position.load() >= 0 ? deck->track->path : "";
    }
    QPoint globalOf(int control) const {
        const ControlEntry& e = (*main_.skin())[control];
        const QPoint logical = e.hitRadius > 0
                                   ? QPoint(e.hitX1, e.hitY1)
                                   : QPoint((e.hitX1 + e.hitX2) / 2, (e.hitY1 + e.hitY2) / 2);
        return widget_.mapToGlobal(widget_.view().toWidget(QPointF(logical)).toPoint());
    }
    QPoint logicalOf(QPoint global) const {
        return widget_.view().toLogicalUnbounded(QPointF(widget_.mapFromGlobal(global)));
    }
    void select(BrowserListView* view, std::initializer_list<int> rows) {
        view->clearSelection();
        for (int row : rows)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Press on a row, move past the drag distance, then over a screen point and release
    // there, as the pointer does with the button held.
    ListDrag::Cursor dragRowTo(BrowserListView* view, int row, QPoint global) {
        QWidget* port = view->viewport();
        const QPoint start = view->visualRect(view->model()->index(row, 0)).center();
        auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButtons held) {
            QMouseEvent e(type, QPointF(local), QPointF(port->mapToGlobal(local)), Qt::LeftButton,
                          held, Qt::NoModifier);
            QApplication::sendEvent(port, &e);
        };
        send(QEvent::MouseButtonPress, start, Qt::LeftButton);
        // The view starts its drag at the second move past the distance.
        for (int step = 1; step <= 2; ++step)
            send(QEvent::MouseMove,
                 start + QPoint(step * (QApplication::startDragDistance() + 2), 0), Qt::LeftButton);
        send(QEvent::MouseMove, port->mapFromGlobal(global), Qt::LeftButton);
        const ListDrag::Cursor shown = view->listDrag()->cursor();
        if (shown != ListDrag::Cursor::None) {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            EXPECT_TRUE(cursor && cursor->pixmap().toImage() ==
                                      QPixmap(ListDrag::cursorResource(shown)).toImage())
                << "the cursor shown is not the drag's";
        }
        send(QEvent::MouseButtonRelease, port->mapFromGlobal(global), Qt::NoButton);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the cursor was not restored";
        return shown;
    }
    void key(Qt::Key k, const char* text = "") {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(widget_.windowHandle(), &press);
    }
    std::vector<std::string> playlistPaths() const {
        std::vector<std::string> paths;
        for (int row = 0; row < main_.playlist()->rowCount(); ++row)
            paths.push_back(main_.playlist()->record(row).path);
        return paths;
    }

    // Lets the workers finish, with the display timer storing what they did (bounded).
    void finishAnalyses() {
        for (int i = 0; i < 20000 && main_.analysesPending() > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            clock_.advance(100);
        }
        clock_.advance(100);
    }
    bool analysed(const std::string& path) {
        TrackDatabase& database = *main_.database();
        return database.analysedWhole(makeTrackRecord(database, path, fileSizeKey(path)).entry);
    }

    std::string music_;
    MainWindow main_{clock_};
    MainWidget widget_{main_};
    BrowserListView* files_ = nullptr;
    FolderListModel* model_ = nullptr;
};

// Several rows on an empty desk fill both decks, then the top of the playlist; one row
// replaces the track of the deck it is dropped on. A drag never changes the selection.
TEST_F(BrowserDeskTest, RowsDraggedOntoADiscFillTheDecksThenThePlaylistTop) {
    main_.playlist()->insert(TrackRecord{"", "old", "/m/old.mp3", nullptr});
    select(files_, {0, 2, 3});
    EXPECT_EQ(dragRowTo(files_, 2, globalOf(control::kDisc1)), ListDrag::Cursor::SeveralMayDrop);
    EXPECT_EQ(loadedPath(0), at("a.wav"));
    EXPECT_EQ(loadedPath(1), at("c.wav"));
    EXPECT_EQ(playlistPaths(), (std::vector<std::string>{at("d.wav"), "/m/old.mp3"}));
    select(files_, {1});
    EXPECT_EQ(dragRowTo(files_, 1, globalOf(control::kDisc1)), ListDrag::Cursor::OneMayDrop);
    EXPECT_EQ(loadedPath(0), at("b.wav"));
    EXPECT_EQ(loadedPath(1), at("c.wav"));
    EXPECT_EQ(files_->selectedRows(), std::vector<int>{1});
    // Released where nothing takes a drop: the no-drop cursor, and nothing happens.
    EXPECT_EQ(dragRowTo(files_, 1, globalOf(control::kCrossfader)), ListDrag::Cursor::OneNoDrop);
    EXPECT_EQ(main_.playlist()->rowCount(), 2);
}

TEST_F(BrowserDeskTest, ADeckPlayingAloudAsksBeforeADropReplacesItsTrack) {
    const std::string a = at("a.wav"), b = at("b.wav");
    ASSERT_TRUE(main_.loadIntoDeck(0, TrackRecord{"", "a", a, nullptr}));
    deckAt(0)->play();
    for (int i = 0; i < 20 && !soundOutputNow()->isDeckAudible(0); ++i)
        main_.audioEngine()->runTurn();
    ASSERT_TRUE(soundOutputNow()->isDeckAudible(0));
    const QPoint disc = logicalOf(globalOf(control::kDisc1));
    struct Case {
        int secure;
        bool answer, asked;
        std::string loaded;
    };
    const Case cases[] = {{1, false, true, a}, {2, true, false, a}, {1, true, true, b}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.secure);
        settings().babySecure = c.secure;
        presenter_.answer = c.answer;
        presenter_.asked.clear();
        main_.dropFiles(disc, {b});
        EXPECT_EQ(presenter_.asked.size(), c.asked ? 1u : 0u);
        EXPECT_EQ(loadedPath(0), c.loaded);
    }
}

TEST_F(BrowserDeskTest, PlaylistFilesDroppedOnADeckFillTheDecksAndThePlaylist) {
    const std::string list = at("set.m3u");
    ASSERT_TRUE(writeWholeFile(list, "a.wav\nb.wav\nc.wav\n"));
    main_.dropFiles(logicalOf(globalOf(control::kDisc1 + 1)), {list, at("d.wav")});
    EXPECT_EQ(loadedPath(1), at("a.wav"));
    EXPECT_EQ(loadedPath(0), at("b.wav"));
    EXPECT_EQ(playlistPaths(), (std::vector<std::string>{at("c.wav"), at("d.wav")}));
}

// On the playlist page the playlist takes drops before the row under the pointer; the
// rest of its area (the tree and file list beside it) takes nothing.
TEST_F(BrowserDeskTest, DropsOnThePlaylistGoBeforeTheRowUnderThePointer) {
    main_.desk()->selectPage(kPagePlaylist);
    const std::string a = at("a.wav"), b = at("b.wav"), c = at("c.wav");
    const std::string x = track("x.wav"), y = track("y.wav");
    main_.playlist()->insert(TrackRecord{"", "x", x, nullptr});
    main_.playlist()->insert(TrackRecord{"", "y", y, nullptr});
    BrowserListView* list = main_.browser()->playlistView();
    ASSERT_TRUE(list->isVisible());
    auto over = [&](QWidget* w, QPoint local) { return logicalOf(w->mapToGlobal(local)); };
    const QPoint secondRow = list->visualRect(list->model()->index(1, 0)).center();
    main_.dropFiles(over(list->viewport(), secondRow), {a});
    main_.dropFiles(over(list->viewport(), QPoint(5, list->viewport()->height() - 3)), {b});
    main_.dropFiles(over(files_->viewport(), QPoint(5, 5)), {c});
    EXPECT_EQ(playlistPaths(), (std::vector<std::string>{x, a, y, b}));
    // Dragged out of the playlist, rows move.
    select(list, {0});
    dragRowTo(list, 0, list->viewport()->mapToGlobal(QPoint(5, list->viewport()->height() - 3)));
    EXPECT_EQ(playlistPaths(), (std::vector<std::string>{a, y, b, x}));
}

TEST_F(BrowserDeskTest, DoubleClickLoadsAFreeDeckElseQueues) {
    const std::string a = at("a.wav"), b = at("b.wav"), c = at("c.wav");
    const QPoint cell = files_->visualRect(model_->index(0, 0)).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent e(
            type, QPointF(cell), QPointF(files_->viewport()->mapToGlobal(cell)), Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(files_->viewport(), &e);
    }
    EXPECT_EQ(loadedPath(0), a) << "the selected deck, when free";
    main_.activateRecord(model_->recordAt(1), -1);
    EXPECT_EQ(loadedPath(1), b) << "then the other one";
    main_.activateRecord(model_->recordAt(2), -1);
    EXPECT_EQ(playlistPaths(), std::vector<std::string>{c}) << "both busy: queued";
    main_.activateRecord(main_.playlist()->record(0), 0);
    EXPECT_EQ(playlistPaths(), std::vector<std::string>{c}) << "a playlist row stays put";

    // A deck that has played and stopped is free again; a playlist row loaded there
    // leaves the playlist.
    deckAt(1)->play();
    deckAt(1)->pause();
    main_.activateRecord(main_.playlist()->record(0), 0);
    EXPECT_EQ(loadedPath(1), c);
    EXPECT_EQ(main_.playlist()->rowCount(), 0);
}

TEST_F(BrowserDeskTest, DoubleClickedPlaylistFilesFillFreeDecksOrOpenInPlace) {
    const std::string list = at("set.m3u");
    ASSERT_TRUE(writeWholeFile(list, "a.wav\nb.wav\nc.wav\n"));
    main_.activateRecord(makePlaylistFileRecord(list), -1);
    EXPECT_EQ(loadedPath(0), at("a.wav"));
    EXPECT_EQ(loadedPath(1), at("b.wav"));
    EXPECT_EQ(playlistPaths(), std::vector<std::string>{at("c.wav")});
    // Inside the playlist it opens in place and loads nothing.
    main_.playlist()->insert(makePlaylistFileRecord(list), 0);
    main_.activateRecord(main_.playlist()->record(0), 0);
    EXPECT_EQ(playlistPaths(),
              (std::vector<std::string>{at("a.wav"), at("b.wav"), at("c.wav"), at("c.wav")}));
}

// Letters never reach the lists (they would search them); Delete reaches the focused one.
TEST_F(BrowserDeskTest, OnlyDeleteReachesTheFocusedList) {
    files_->setFocus();
    files_->setCurrentIndex(model_->index(0, 0));
    for (Qt::Key k : {Qt::Key_C, Qt::Key_D, Qt::Key_Q})
        key(k, QKeySequence(k).toString().toLower().toLatin1().constData());
    EXPECT_EQ(files_->currentIndex().row(), 0) << "a letter searched the list";
    main_.desk()->selectPage(kPagePlaylist);
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        main_.playlist()->insert(TrackRecord{"", name, at(name), nullptr});
    BrowserListView* list = main_.browser()->playlistView();
    select(list, {0, 2});
    files_->setFocus();
    key(Qt::Key_Delete);
    EXPECT_EQ(main_.playlist()->rowCount(), 3) << "Delete in the file list removed rows";
    list->setFocus();
    key(Qt::Key_Delete);
    EXPECT_EQ(playlistPaths(), std::vector<std::string>{at("b.wav")});

    main_.desk()->selectPage(kPageHistory);
    main_.history()->add(model_->recordAt(0));
    main_.history()->add(model_->recordAt(1));
    BrowserListView* history = main_.browser()->historyView();
    select(history, {1});
    history->setFocus();
    key(Qt::Key_Delete);
    ASSERT_EQ(main_.history()->rowCount(), 1);
    EXPECT_EQ(main_.history()->record(0).path, at("b.wav"));
    EXPECT_EQ(model_->imageAt(0), RowImage::UsedBefore) << "the file list's icon stayed";
    EXPECT_EQ(model_->imageAt(1), RowImage::InHistory);
}

// Widths are read back when a page hides and given again when it shows; each set of
// the file list belongs to its page.
TEST_F(BrowserDeskTest, ColumnAndBandWidthsFollowTheirPages) {
    auto& sizes = settings().columnSizes;
    files_->header()->resizeSection(0, 222);
    main_.desk()->selectPage(kPagePlaylist);
    EXPECT_EQ(sizes[0], 222);
    EXPECT_EQ(files_->header()->sectionSize(0), sizes[20]);
    const QList<int> now = main_.browser()->bar()->sizes();
    main_.browser()->bar()->setSizes({100, 200, now[0] + now[1] + now[2] - 300});
    // A double click on the grip after the tree folds the tree, a second opens it again.
    auto doubleClickGrip = [&] {
        QSplitterHandle* grip = main_.browser()->bar()->handle(1);
        QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(1, 5),
                      QPointF(grip->mapToGlobal(QPoint(1, 5))), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(grip, &e);
        return main_.browser()->bar()->sizes();
    };
    EXPECT_EQ(doubleClickGrip().value(0), Browser::kBandMinimum);
    EXPECT_EQ(doubleClickGrip().value(0), 100);
    // The playlist's "Bpm" starts at width 0, which no drag can open: the header's menu.
    BrowserListView* list = main_.browser()->playlistView();
    ASSERT_EQ(list->header()->sectionSize(2), 0);
    list->showColumnMenu(QPoint(5, 5));
    auto* menu = list->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    menu->actions().at(2)->trigger();
    EXPECT_GT(list->header()->sectionSize(2), 0);
    menu->close();
    main_.desk()->selectPage(kPageHistory);
    EXPECT_EQ(sizes[25], 100);
    EXPECT_EQ(sizes[26], 200);
    EXPECT_FALSE(main_.browser()->bar()->isVisible());
    EXPECT_TRUE(main_.browser()->historyView()->isVisible());
    main_.desk()->selectPage(kPageFiles);
    EXPECT_EQ(files_->header()->sectionSize(0), 222);
    EXPECT_EQ(main_.browser()->bar()->sizes().value(0), sizes[24]) << "the tree band drifted";
    EXPECT_FALSE(main_.browser()->playlistView()->isVisible());
    // The bar lies on the files page's list area.
    const ControlEntry& area = (*main_.skin())[control::kFilesList];
    EXPECT_EQ(main_.browser()->bar()->geometry(),
              widget_.childGeometry(QRect(area.x, area.y, area.width, area.height)));
    // Closing keeps the widths of the page on screen.
    files_->header()->resizeSection(1, 99);
    main_.onDestroy();
    EXPECT_EQ(sizes[1], 99);
}

// The folder's own playable files that hold no whole analysis yet; not its subfolders, not
// other files, and nothing twice.
TEST_F(BrowserDeskTest, AnalysingAFolderQueuesItsUnanalysedTracksOnly) {
    main_.desk()->selectPage(kPageFiles);
    ASSERT_TRUE(main_.browser()->bar()->isVisible());
    QLabel* label = main_.analysisLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->isVisible());
    ASSERT_EQ(analyseAhead(*main_.database(), {at("a.wav")}, 1), 1);
    std::filesystem::create_directories(music_ + "/sub");
    const std::string inner = track("sub/e.wav");
    std::ofstream(at("notes.txt")) << "not music";

    EXPECT_EQ(main_.analyseFolder(music_), 3);
    // The label counts what is left; the workers may have finished some already.
    if (label->isVisible()) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^Analysing [1-3] tracks?$"))
                        .match(label->text())
                        .hasMatch())
            << label->text().toStdString();
    }
    finishAnalyses();
    EXPECT_EQ(main_.analysesPending(), 0);
    EXPECT_FALSE(label->isVisible());
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
        EXPECT_TRUE(analysed(at(name))) << name;
    EXPECT_FALSE(analysed(inner));
    EXPECT_EQ(main_.analyseFolder(music_), 0);
    EXPECT_EQ(main_.analyseFolder(music_ + "/missing"), 0);
    EXPECT_EQ(main_.browser()->menuFolderAt(files_, QPoint(1, 1)), music_);
}

// A folder dropped onto the playlist is analysed and adds no rows; beside the playlist's
// window it does nothing.
TEST_F(BrowserDeskTest, AFolderDroppedOnThePlaylistIsAnalysed) {
    main_.desk()->selectPage(kPagePlaylist);
    BrowserListView* list = main_.browser()->playlistView();
    ASSERT_TRUE(list->isVisible());
    auto over = [&](QWidget* w, QPoint local) { return logicalOf(w->mapToGlobal(local)); };
    main_.dropFiles(over(files_->viewport(), QPoint(5, 5)), {music_});
    EXPECT_EQ(main_.analysesPending(), 0);
    main_.dropFiles(over(list->viewport(), QPoint(5, 5)), {music_});
    finishAnalyses();
    EXPECT_EQ(main_.playlist()->rowCount(), 0);
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
        EXPECT_TRUE(analysed(at(name))) << name;
}

TEST_F(BrowserDeskTest, SearchPageAsksOnceThenSearchesOnEnterAndByItsButton) {
    presenter_.answer = false;
    SearchPage* page = main_.searchPage();
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->list()->isVisible());
    for (Qt::Key k : {Qt::Key_F2, Qt::Key_F1, Qt::Key_F2})
        key(k);
    ASSERT_EQ(main_.desk()->page(), kPageSearch);
    EXPECT_EQ(presenter_.asked,
              std::vector<QString>{"Do you want Zorvendal to scan your HD for MP3 files ?"});
    auto mapped = [&](int control) {
        const ControlEntry& e = (*main_.skin())[control];
        return widget_.childGeometry(QRect(e.x, e.y, e.width, e.height));
    };
    EXPECT_TRUE(page->list()->isVisible());
    EXPECT_EQ(page->list()->geometry(), mapped(control::kSearchList));
    EXPECT_EQ(page->box()->geometry(), mapped(control::kSearchBox));

    ASSERT_TRUE(writeWholeFile((dir_.path() + "/" + kCatalogueFileName).toStdString(),
                               "CD1=/Pop/ABBA - Waterloo.wav,1\r\n"
                               "CD1=/Rock/Queen - Innuendo.mp3,2\r\n"));
    page->reload();
    EXPECT_EQ(page->model()->rowCount(), 2);
    page->box()->setFocus();
    for (auto [k, text] : {std::pair{Qt::Key_Q, "q"}, {Qt::Key_U, "u"}, {Qt::Key_E, "e"}})
        key(k, text);
    EXPECT_EQ(page->box()->text(), "que");
    key(Qt::Key_Return);
    EXPECT_EQ(page->model()->rowCount(), 1);
    page->box()->setText("");
    const QPoint button = logicalOf(globalOf(control::kSearchButton));
    main_.desk()->buttonDown(true, button);
    main_.desk()->buttonUp(button);
    EXPECT_EQ(page->model()->rowCount(), 2);

    // A double click loads the row's file, found under the disc drive, into a free deck.
    settings().cdDrive = dir_.path() + "/drive";
    const std::string waterloo = (dir_.path() + "/drive/Pop/ABBA - Waterloo.wav").toStdString();
    QDir().mkpath(dir_.path() + "/drive/Pop");
    ASSERT_TRUE((MixTestTrack{120.0, 3.0, 700.0, 1}.write(waterloo)));
    const int row = page->model()->index(0, 0).data().toString().contains("Waterloo") ? 0 : 1;
    page->list()->setCurrentIndex(page->model()->index(row, 0));
    emit page->list()->doubleClicked(page->model()->index(row, 0));
    EXPECT_EQ(loadedPath(0), waterloo);

    page->list()->header()->resizeSection(kColumnDisc, 77);
    key(Qt::Key_F1);
    EXPECT_FALSE(page->list()->isVisible());
    main_.onDestroy();
    EXPECT_EQ(settings().columnSizes[4 + kColumnDisc], 77);
}

// The database is held by another running copy before this one starts.
class HeldDatabaseDeskTest : public BrowserDeskTest {
protected:
    void SetUp() override {
        const std::string path = (dir_.path() + "/held.db").toStdString();
        held_ = std::make_unique<TrackDatabase>(path);
        main_.databasePath = path;
        BrowserDeskTest::SetUp();
    }
    std::unique_ptr<TrackDatabase> held_;
};

TEST_F(HeldDatabaseDeskTest, NothingIsAnalysedAndTheDeskSaysWhy) {
    ASSERT_FALSE(held_->isReadOnly());
    ASSERT_TRUE(main_.database()->isReadOnly());
    main_.desk()->selectPage(kPageFiles);
    EXPECT_EQ(main_.analyseFolder(music_), 0);
    EXPECT_EQ(main_.analysesPending(), 0);
    QLabel* label = main_.analysisLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), MainWindow::analysisReadOnlyText());
}

} // namespace
