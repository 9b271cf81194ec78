// The search page on the desk: shown by its menu page at the skin's places, the search
// box keeping its letters and searching on Enter, the buttons of the page, and the one
// question about a scan when there is no catalogue.

#include "app/DeskInput.h"
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "audio/card/VirtualCard.h"
#include "audio/output/SoundConfigurationApply.h"
#include "tests/app/AppTestSupport.h"
#include "ui/library/SearchPage.h"
#include "ui/skin/Skin.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class SearchDeskTest : public ShellTest {
protected:
    void create(const char* catalogue) {
        if (catalogue) {
            QFile file(dir_.path() + "/" + kCatalogueFileName);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(catalogue);
        }
        presenter_.answer = false;
        main_.audioOptions.systemVolumes = false;
        main_.audioOptions.ownThread = false;
        main_.audioOptions.openDevice = [](const SoundCardId*, bool, int,
                                           std::unique_ptr<SoundDevice>* device) {
            *device = VirtualCard::createManual();
            return SoundResult::Ok;
        };
        ASSERT_TRUE(main_.onCreate(&widget_));
        widget_.show();
        page_ = main_.searchPage();
        ASSERT_NE(page_, nullptr);
    }
    void TearDown() override {
        main_.prepareClose();
        main_.onDestroy();
        ShellTest::TearDown();
    }
    void key(Qt::Key k, const char* text = "") {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(widget_.windowHandle(), &press);
    }
    QRect mapped(int control) const {
        const ControlEntry& e = (*main_.skin())[control];
        return widget_.childGeometry(QRect(e.x, e.y, e.width, e.height));
    }
    void clickControl(int control) {
        const ControlEntry& e = (*main_.skin())[control];
        const QPoint at((e.hitX1 + e.hitX2) / 2, (e.hitY1 + e.hitY2) / 2);
        main_.desk()->buttonDown(true, at);
        main_.desk()->buttonUp(at);
    }

    MainWindow main_{clock_};
    MainWidget widget_{main_};
    SearchPage* page_ = nullptr;
};

TEST_F(SearchDeskTest, PageShowsTheBoxAndListWhichSearchOnEnterAndButton) {
    create("CD1=/Pop/ABBA - Waterloo.mp3,1\r\nCD1=/Rock/Queen - Innuendo.mp3,2\r\n");
    EXPECT_FALSE(page_->list()->isVisible());
    key(Qt::Key_F2);
    ASSERT_EQ(main_.desk()->page(), kPageSearch);
    EXPECT_TRUE(page_->list()->isVisible());
    EXPECT_EQ(page_->list()->geometry(), mapped(control::kSearchList));
    EXPECT_EQ(page_->box()->geometry(), mapped(control::kSearchBox));
    EXPECT_TRUE(presenter_.asked.empty()) << "asked to scan with a catalogue";
    EXPECT_EQ(page_->model()->rowCount(), 2);

    page_->box()->setFocus();
    for (auto [k, text] : {std::pair{Qt::Key_Q, "q"}, {Qt::Key_U, "u"}, {Qt::Key_E, "e"}})
        key(k, text);
    EXPECT_EQ(page_->box()->text(), "que");
    key(Qt::Key_Return);
    EXPECT_EQ(page_->model()->rowCount(), 1);

    page_->box()->setText("");
    clickControl(control::kSearchButton);
    EXPECT_EQ(page_->model()->rowCount(), 2);

    key(Qt::Key_F1);
    EXPECT_FALSE(page_->list()->isVisible());
}

TEST_F(SearchDeskTest, MissingCatalogueAsksOnceAndClosingKeepsTheWidths) {
    create(nullptr);
    key(Qt::Key_F2);
    key(Qt::Key_F1);
    key(Qt::Key_F2);
    EXPECT_EQ(presenter_.asked,
              std::vector<QString>{"Do you want Zorvendal to scan your HD for MP3 files ?"});
    EXPECT_EQ(page_->model()->rowCount(), 0);

    page_->list()->header()->resizeSection(kColumnDisc, 77);
    main_.prepareClose();
    main_.onDestroy();
    EXPECT_EQ(settings().columnSizes[4 + kColumnDisc], 77);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
