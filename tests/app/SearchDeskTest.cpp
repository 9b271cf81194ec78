// The search page on the desk: shown by its menu page at the skin's places, the one
// question about a scan while there is no catalogue, the search box keeping its letters
// and searching on Enter and by its button, and the list's widths kept at the end.

#include "app/DeskInput.h"
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "tests/app/AppTestSupport.h"
#include "tests/tools/MixTestTracks.h"
#include "ui/library/SearchPage.h"
#include "ui/skin/Skin.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class SearchDeskTest : public ShellTest {
protected:
    void key(Qt::Key k, const char* text = "") {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(widget_.windowHandle(), &press);
    }
    QRect mapped(int control) const {
        const ControlEntry& e = (*main_.skin())[control];
        return widget_.childGeometry(QRect(e.x, e.y, e.width, e.height));
    }

    MainWindow main_{clock_};
    MainWidget widget_{main_};
};

TEST_F(SearchDeskTest, PageAsksOnceThenSearchesOnEnterAndByItsButton) {
    presenter_.answer = false;
    useVirtualCard(main_);
    ASSERT_TRUE(main_.onCreate(&widget_));
    widget_.show();
    SearchPage* page = main_.searchPage();
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->list()->isVisible());
    for (Qt::Key k : {Qt::Key_F2, Qt::Key_F1, Qt::Key_F2})
        key(k);
    ASSERT_EQ(main_.desk()->page(), kPageSearch);
    EXPECT_EQ(presenter_.asked,
              std::vector<QString>{"Do you want Zorvendal to scan your HD for MP3 files ?"});
    EXPECT_TRUE(page->list()->isVisible());
    EXPECT_EQ(page->list()->geometry(), mapped(control::kSearchList));
    EXPECT_EQ(page->box()->geometry(), mapped(control::kSearchBox));

    QFile file(dir_.path() + "/" + kCatalogueFileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("CD1=/Pop/ABBA - Waterloo.wav,1\r\nCD1=/Rock/Queen - Innuendo.mp3,2\r\n");
    file.close();
    page->reload();
    EXPECT_EQ(page->model()->rowCount(), 2);
    page->box()->setFocus();
    for (auto [k, text] : {std::pair{Qt::Key_Q, "q"}, {Qt::Key_U, "u"}, {Qt::Key_E, "e"}})
        key(k, text);
    EXPECT_EQ(page->box()->text(), "que");
    key(Qt::Key_Return);
    EXPECT_EQ(page->model()->rowCount(), 1);

    page->box()->setText("");
    const ControlEntry& button = (*main_.skin())[control::kSearchButton];
    const QPoint at((button.hitX1 + button.hitX2) / 2, (button.hitY1 + button.hitY2) / 2);
    main_.desk()->buttonDown(true, at);
    main_.desk()->buttonUp(at);
    EXPECT_EQ(page->model()->rowCount(), 2);

    // A double click loads the row's file, found under the disc drive, into a free deck.
    settings().cdDrive = dir_.path() + "/drive";
    const std::string waterloo = (dir_.path() + "/drive/Pop/ABBA - Waterloo.wav").toStdString();
    QDir().mkpath(dir_.path() + "/drive/Pop");
    ASSERT_TRUE((MixTestTrack{120.0, 3.0, 700.0, 1}.write(waterloo)));
    const int row = page->model()->index(0, 0).data().toString().contains("Waterloo") ? 0 : 1;
    page->list()->setCurrentIndex(page->model()->index(row, 0));
    emit page->list()->doubleClicked(page->model()->index(row, 0));
    ASSERT_TRUE(deckAt(0) && deckAt(0)->hasTrack());
    EXPECT_EQ(deckAt(0)->track->path, waterloo);

    page->list()->header()->resizeSection(kColumnDisc, 77);
    key(Qt::Key_F1);
    EXPECT_FALSE(page->list()->isVisible());
    main_.prepareClose();
    main_.onDestroy();
    EXPECT_EQ(settings().columnSizes[4 + kColumnDisc], 77);
}

} // namespace
