// The skin chooser, the small dialogs' placement and the sound configuration dialog.

#include "ui/dialogs/SkinChooser.h"
#include "ui/dialogs/SmallDialogs.h"
#include "ui/dialogs/SoundConfigDialog.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(SkinChooser, ListsSkinsWithBothFilesAndStaysOpenOnFailure) {
    QTemporaryDir dir;
    for (const char* name :
         {"Zeta.bmp", "zeta.ini", "Alpha.png", "Alpha.INI", "lonely.bmp", "notes.ini"})
        ASSERT_TRUE(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    EXPECT_EQ(SkinChooser::skinNames(dir.path()), (QStringList{"Alpha", "Zeta"}));

    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    main.show();
    QString applied, reported;
    bool succeed = false;
    SkinChooser chooser(
        &main, dir.path(), "Zeta",
        [&](const QString& name, QString* error) {
            applied = name;
            if (!succeed)
                *error = "Invalid skin file";
            return succeed;
        },
        [&](const QString& text) { reported = text; });
    ASSERT_EQ(chooser.list()->currentItem()->text(), "Zeta"); // the current skin selected
    chooser.show();
    chooser.findChild<QPushButton*>("ok")->click();
    EXPECT_EQ(applied, "Zeta");
    EXPECT_EQ(reported, "Invalid skin file");
    EXPECT_TRUE(chooser.isVisible()) << "a failed skin must leave the chooser open";

    succeed = true;
    chooser.list()->setCurrentRow(0); // "(default)" is the built-in skin
    chooser.findChild<QPushButton*>("ok")->click();
    EXPECT_EQ(applied, "");
    EXPECT_FALSE(chooser.isVisible());
}

TEST(SmallDialogs, DialogsOpenCentredOverTheMainWindow) {
    QWidget main;
    main.setGeometry(700, 500, 800, 600); // near an edge: the dialog may leave the screen
    main.show();
    ShortcutsDialog dialog(&main);
    dialog.show();
    const QPoint mainCentre = main.frameGeometry().center();
    const QPoint ownCentre = dialog.frameGeometry().center();
    EXPECT_LE((mainCentre - ownCentre).manhattanLength(), 2);
    EXPECT_TRUE(aboutText("1.12").startsWith("Zorvendal v1.12\n---------\n\n"));
}

TEST(SoundConfigDialog, OkOnlyForCombinationsTheProgramServes) {
    SoundCardInfo primary{"Default device", {}, false, true, false};
    SoundCardInfo usb{"USB Audio", {}, true, false, false};
    usb.id.bytes[0] = 7;
    SoundConfigDialog dialog(nullptr, 0, {usb, primary}, usb.id, std::nullopt);
    EXPECT_EQ(dialog.row(), 0);
    EXPECT_FALSE(dialog.secondCard()->isVisibleTo(&dialog));
    dialog.softMix()->setChecked(true); // one card, speakers, soft mix
    EXPECT_EQ(dialog.row(), 1);
    dialog.listeningLayouts()->setCurrentRow(2); // the external mixer has no soft mix
    EXPECT_FALSE(dialog.softMix()->isEnabled());
    EXPECT_EQ(dialog.row(), 6);
    dialog.cardLayouts()->setCurrentRow(2); // two cards: the second list appears
    EXPECT_TRUE(dialog.secondCard()->isVisibleTo(&dialog));
    dialog.cardLayouts()->setCurrentRow(1);
    dialog.listeningLayouts()->setCurrentRow(0); // four outputs for speakers only: invalid
    EXPECT_EQ(dialog.row(), -1);
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    ASSERT_TRUE(dialog.card1());
    EXPECT_EQ(dialog.card1()->bytes[0], 7); // the stored card is preselected
    EXPECT_FALSE(dialog.card2());           // the default device has no identifier to store

    // The selected picture wears the red frame; the others do not.
    dialog.show();
    QImage shot(dialog.cardLayouts()->viewport()->size(), QImage::Format_RGB32);
    shot.fill(Qt::white);
    dialog.cardLayouts()->viewport()->render(&shot);
    auto redOnLeftEdge = [&](int y) {
        for (int x = 0; x < 4; ++x)
            if (shot.pixelColor(x, y) == QColor(Qt::red))
                return true;
        return false;
    };
    EXPECT_TRUE(redOnLeftEdge(90 + 45)); // item 1, the four-output card, is selected
    EXPECT_FALSE(redOnLeftEdge(45));
}

} // namespace
