// The skin reader: positions, images, hit zones and global values from the text,
// refused and hostile texts, and skin files (bitmap and text) loaded from a folder.

#include "ui/skin/Skin.h"

#include "core/FatalMessage.h"

#include "tests/ScratchDir.h"

#include <QImage>

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace {

Skin readText(const std::string& text, bool* usable = nullptr) {
    Skin skin;
    skin.table = emptySkinTable();
    const bool ok = readSkinText(skin, text);
    if (usable)
        *usable = ok;
    return skin;
}

const std::string kMinimal = "Version=1\n[files window]\nPos=52,355,723,235\n";

TEST(SkinReader, PositionsImagesAndHitZones) {
    const Skin skin = readText(kMinimal + "[PLAY1]\nPos=900,650,20,20\n"
                                          "[stop1]\nUp=1,2\nPos=10,20,30,40\n"
                                          "[mem1]\nMouse=10,10,5\n"
                                          "[mem2]\nMouse=10,10,20,0\n"
                                          "[go1]\nMouse=1,2,30,40\nDown=7\n"
                                          "[pause1]\nPos = 1,2,3,4\nPos=1,2,3\n");
    // Places wrap at the window's size; images keep the place as written.
    const ControlEntry& play = skin[control::kPlay1];
    EXPECT_EQ(std::tuple(play.x, play.y, play.upX, play.downY, play.hitX1, play.hitX2),
              std::tuple(100, 50, 900, 650, 100, 120));

    const ControlEntry& stop = skin[control::kStop1];
    EXPECT_EQ(stop.upX, 1); // "Up" before "Pos" wins over the default from "Pos"
    EXPECT_EQ(stop.downX, 1);
    EXPECT_EQ(stop.right, 40);

    const ControlEntry& mem1 = skin[control::kMem1];
    EXPECT_EQ(mem1.hitRadius, 5);
    EXPECT_TRUE(mem1.contains(13, 14));
    EXPECT_FALSE(mem1.contains(14, 14));
    EXPECT_EQ(skin[control::kMem1 + 1].hitRadius, 20); // four values but b = 0: a disc

    const ControlEntry& go = skin[control::kGo1];
    EXPECT_EQ(std::tuple(go.hitRadius, go.hitX2, go.hitY2, go.downX, go.downY),
              std::tuple(-1, 31, 42, 7, -1));

    // A blank before '=' makes another key; three numbers are not a position.
    EXPECT_FALSE(skin[control::kPause1].placed());
}

TEST(SkinReader, GlobalValues) {
    // Global keys before the first section, or after a section that names no control.
    const Skin skin = readText(kMinimal + "[no such control]\nFontColorTitle=#FF8000\n"
                                          "FontColorAuthor=255,128\n"
                                          "SimpleInfos=%29Left: %left // a comment\n"
                                          "PlayPause=  No\nCueStop= TRUE\n"
                                          "FontSizeTitle= 18,5\n"
                                          "FontName=\tDejaVu Sans\n"
                                          "MixNowAlwaysVisible=yes\n");
    EXPECT_EQ(skin.fontColorTitle, colorRef(255, 128, 0));
    EXPECT_EQ(skin.fontColorAuthor, colorRef(255, 128, 255)); // missing blue reads as -1
    EXPECT_EQ(skin.simpleInfos, "%29Left: %left");
    EXPECT_FALSE(skin.playPause);
    EXPECT_TRUE(skin.cueStop);
    EXPECT_EQ(skin.fontSizeTitle, 18);
    EXPECT_EQ(skin.fontName, "DejaVu Sans");
    EXPECT_EQ(skin[control::kMix].group, kGroupAlways);
}

// No version, a version below 1, no position of the files window.
TEST(SkinReader, RefusedSkins) {
    for (const char* text :
         {"[files window]\nPos=52,355,723,235\n", "Version=0\n[files window]\nPos=52,355,723,235\n",
          "Version=3\n[files window]\nUp=1,1\n"}) {
        bool usable = true;
        readText(text, &usable);
        EXPECT_FALSE(usable) << text;
    }
    bool usable = false;
    readText("Version=2\n[files window]\nPos=52,355,723,235\n", &usable);
    EXPECT_TRUE(usable);
}

// Whatever the bytes, the reader ends and every field stays a number (run under the
// address and undefined-behaviour sanitizers).
TEST(SkinReader, SurvivesGarbageLongLinesAndAbsurdNumbers) {
    std::string text = kMinimal +
                       "[play1]\nPos=2147483647,-2147483648,99999999999,2147483647\n"
                       "Mouse=2147483647,2147483647,2147483647,2147483647\n" +
                       std::string(5000, 'x') + "=" + std::string(3000, '1') + "\n" +
                       "FontName=" + std::string(600, 'F') + "\n[" + std::string(700, 'n');
    bool usable = false;
    Skin skin = readText(text, &usable);
    EXPECT_TRUE(usable);
    EXPECT_LE(skin.fontName.size(), kSkinFontNameMax);
    EXPECT_FALSE(skin[control::kPlay1].contains(10, 10));
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(size_t(random() % 2000), '\0');
        for (char& c : bytes)
            c = "[]=,#/-0123456789 \t\r\nPosUpDownMouseVersion"[random() % 42];
        Skin s;
        s.table = emptySkinTable();
        readSkinText(s, kMinimal + bytes);
        for (int i = 0; i < kControlCount; ++i)
            (void)hitTest(s.table, int(random() % 800), int(random() % 600), 2, 0);
    }
}

class SkinFiles : public ::testing::Test {
protected:
    void SetUp() override { clearFatalMessage(); }
    void TearDown() override { clearFatalMessage(); }
    void write(const std::string& file, const std::string& text) { scratch.write(file, text); }
    QString filePath(const char* name) const { return QString::fromStdString(scratch.path(name)); }
    ScratchDir scratch;
    const QString dir = QString::fromStdString(scratch.path(""));
};

TEST_F(SkinFiles, SmallBitmapGivesAWindowSizedSurfaceAndPlacedPageControls) {
    QImage small(640, 480, QImage::Format_RGB32);
    small.fill(Qt::red);
    ASSERT_TRUE(small.save(filePath("Cool.BMP"), "BMP"));
    write("cool.ini", kMinimal);
    auto skin = loadSkin("Cool", dir);
    ASSERT_EQ(fatalMessage(), nullptr);
    EXPECT_EQ(skin->surface.size(), QSize(800, 648));
    EXPECT_EQ(skin->stripTop(), 600);
    EXPECT_EQ(skin->surface.pixel(700, 500), qRgb(0, 0, 0)); // outside the bitmap
    EXPECT_EQ(skin->table[57].upY, 600);                     // buttons from the strip
    EXPECT_EQ(skin->table[69].left, 317);
}

TEST_F(SkinFiles, MissingOrBrokenFilesAreAnInvalidSkin) {
    write("nobmp.ini", kMinimal);
    write("broken.ini", kMinimal);
    write("broken.bmp", "BM\x10\x00garbage");
    write("noversion.ini", "[files window]\nPos=52,355,723,235\n");
    QImage ok(800, 600, QImage::Format_RGB32);
    ok.fill(Qt::blue);
    ok.save(filePath("noversion.bmp"), "BMP");
    for (const char* name : {"absent", "nobmp", "broken", "noversion"}) {
        clearFatalMessage();
        auto skin = loadSkin(name, dir);
        EXPECT_STREQ(fatalMessage(), "Invalid skin file") << name;
    }
}

} // namespace
