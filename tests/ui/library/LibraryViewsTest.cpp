// The search page and the catalogue's dialogs as a user drives them, over scratch
// catalogue files and scratch folders standing for mounted volumes.

#include "ui/library/ScanDialogs.h"
#include "ui/library/SearchPage.h"

#include "tests/ScratchDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

Catalogue loaded(const std::string& path) {
    Catalogue c;
    c.load(path);
    return c;
}

struct Prompts {
    std::vector<QString> shown, asked;
    bool answer = false;
    ScanPrompts make() {
        return {[this](const QString& t) { shown.push_back(t); },
                [this](const QString& q) {
                    asked.push_back(q);
                    return answer;
                }};
    }
};

bool waitForScan(const CatalogueDialog& dialog) {
    return QTest::qWaitFor([&] { return !dialog.scanning(); }, 20000);
}

TEST(SearchPage, ListsSearchesSortsAndNamesTheFilesOfRows) {
    ScratchDir dir;
    const std::string path = dir.path(kCatalogueFileName);
    QWidget desk;
    dir.write(kCatalogueFileName, "CD1=/Pop/ABBA - Waterloo.mp3,4000\r\n"
                                  "/media/d:/Rock/Queen - Innuendo.mp3,5000\r\n"
                                  "CD2=/Pop/Blondie - Atomic.mp3,6000\r\n");
    SearchPage page(&desk, path);
    auto titles = [&] {
        std::vector<QString> t;
        for (int r = 0; r < page.model()->rowCount(); ++r)
            t.push_back(page.model()->index(r, kColumnTitle).data().toString());
        return t;
    };
    EXPECT_EQ(titles(), (std::vector<QString>{"Atomic", "Innuendo", "Waterloo"}));
    EXPECT_EQ(page.model()->index(1, kColumnPath).data().toString(), "/media/d:/Rock");

    page.box()->setText("pop");
    page.runSearch();
    EXPECT_EQ(titles(), (std::vector<QString>{"Atomic", "Waterloo"}));
    EXPECT_EQ(page.box()->selectedText(), "pop");

    QHeaderView* header = page.list()->header();
    emit header->sectionClicked(kColumnTitle); // the first click sorts in reverse
    EXPECT_EQ(titles(), (std::vector<QString>{"Waterloo", "Atomic"}));
    emit header->sectionClicked(kColumnTitle);
    EXPECT_EQ(titles(), (std::vector<QString>{"Atomic", "Waterloo"}));
    EXPECT_EQ(page.sortCode(), kColumnTitle);

    page.list()->selectAll();
    const std::vector<CatalogueFile> files = page.selectedFiles("/media/cdrom");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].path, "/media/cdrom/Pop/Blondie - Atomic.mp3");
    EXPECT_EQ(files[1].size, 4000u);
}

class ScanDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.write("fixed/Music/New - Song.mp3", "1234");
        dir_.write("fixed/Music/Clip.wav", "12");
        dir_.write("usb/Stick.mp3", "1");
        fixed_ = dir_.path("fixed");
        usb_ = dir_.path("usb");
        path_ = dir_.write(kCatalogueFileName, "CD1=/a.mp3,1\r\n" + fixed_ + ":/Gone.mp3,9\r\n" +
                                                   "/elsewhere:/keep.mp3,3\r\n");
        volumes_ = {{QString::fromStdString(fixed_), Volume::Fixed},
                    {QString::fromStdString(usb_), Volume::Removable},
                    {"/bad:name", Volume::Fixed}};
    }
    ScratchDir dir_;
    std::string fixed_, usb_, path_;
    std::vector<Volume> volumes_;
    Prompts prompts_;
};

TEST_F(ScanDialogTest, HardDiskScanReplacesTheCheckedDrivesLines) {
    const Catalogue before = loaded(path_);
    HardDiskScanDialog dialog(nullptr, path_, before, volumes_, prompts_.make());
    dialog.show();
    auto* drives = dialog.findChild<QListWidget*>("drives");
    ASSERT_EQ(drives->count(), 2) << "a mount point with ':' cannot head a line";
    EXPECT_EQ(drives->item(1)->checkState(), Qt::Unchecked) << "removable volumes start off";

    drives->item(0)->setCheckState(Qt::Unchecked);
    dialog.accept();
    EXPECT_EQ(prompts_.shown, std::vector<QString>{"Check the hard disks you want to scan"});
    EXPECT_TRUE(dialog.isVisible());

    drives->item(0)->setCheckState(Qt::Checked);
    dialog.findChild<QCheckBox*>("wavFiles")->setChecked(false);
    dialog.accept();
    ASSERT_TRUE(waitForScan(dialog));
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(ScratchDir::read(path_), "CD1=/a.mp3,1\r\n/elsewhere:/keep.mp3,3\r\n" + fixed_ +
                                           ":/Music/New - Song.mp3,4\r\n");

    // Nowhere to write: the message, and nothing changes.
    HardDiskScanDialog nowhere(nullptr, dir_.path("none/x.txt"), before, volumes_, prompts_.make());
    nowhere.show();
    nowhere.accept();
    EXPECT_EQ(nowhere.result(), 0);
    EXPECT_EQ(prompts_.shown.back(), "File creation error");
}

TEST_F(ScanDialogTest, DiscScanAsksBeforeReplacingAnExistingDisc) {
    QString cdDrive = QString::fromStdString(usb_);
    const Catalogue before = loaded(path_);
    CdScanDialog dialog(nullptr, path_, before, volumes_, cdDrive, prompts_.make());
    dialog.show();
    auto* drive = dialog.findChild<QComboBox*>("drive");
    auto* name = dialog.findChild<QLineEdit*>("name");
    EXPECT_EQ(drive->currentIndex(), 1) << "the CD Drive setting is selected";
    EXPECT_EQ(name->text(), "CD2");

    for (const char* refused : {"", "A=B", "C:"}) {
        name->setText(refused);
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible()) << refused;
    }
    const std::string original = ScratchDir::read(path_);
    name->setText("CD1");
    dialog.accept();
    EXPECT_EQ(prompts_.asked.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ScratchDir::read(path_), original) << "answering No changed the catalogue";

    prompts_.answer = true;
    drive->setCurrentIndex(0);
    dialog.accept();
    ASSERT_TRUE(waitForScan(dialog));
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(cdDrive.toStdString(), fixed_);
    EXPECT_EQ(ScratchDir::read(path_),
              fixed_ + ":/Gone.mp3,9\r\n/elsewhere:/keep.mp3,3\r\n"
                       "CD1=/Music/Clip.wav,2\r\nCD1=/Music/New - Song.mp3,4\r\n");
}

TEST_F(ScanDialogTest, DeleteRemovesTheSelectedDiscs) {
    dir_.write(kCatalogueFileName, "CD10=/a,1\r\nCD10=/b,1\r\nCD1=/c,1\r\n/m:/d,1\r\nCD2=/e,1");
    const Catalogue before = loaded(path_);
    DeleteCdDialog dialog(nullptr, path_, before, prompts_.make());
    dialog.show();
    auto* discs = dialog.findChild<QTreeWidget*>("discs");
    ASSERT_EQ(discs->topLevelItemCount(), 4);
    EXPECT_EQ(discs->topLevelItem(0)->text(0), "CD2");
    EXPECT_EQ(discs->topLevelItem(3)->text(0), "CD10");
    EXPECT_EQ(discs->topLevelItem(3)->text(1), "2");
    discs->topLevelItem(1)->setSelected(true); // /m:
    discs->topLevelItem(2)->setSelected(true); // CD1, not CD10
    dialog.findChild<QPushButton*>("deleteButton")->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(ScratchDir::read(path_), "CD10=/a,1\r\nCD10=/b,1\r\nCD2=/e,1\r\n");
}

} // namespace
