#include "ui/dialogs/SkinChooser.h"
#include "ui/dialogs/SmallDialogs.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

TEST(SkinChooser, ListsSkinsWithBothFilesAndStaysOpenOnFailure) {
    QTemporaryDir dir;
    for (const char* name :
         {"Zeta.bmp", "zeta.ini", "Alpha.png", "Alpha.INI", "lonely.bmp", "notes.ini"})
        touch(dir.filePath(name));
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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
