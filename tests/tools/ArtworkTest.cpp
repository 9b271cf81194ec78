// The committed artwork, read through the compiled-in resources, and its checks.

#include "tools/make-artwork/Artwork.h"
#include "tools/make-artwork/ArtworkCheck.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QImage resource(const char* name) {
    return QImage(QString(":/") + name);
}

// Every picture the generator draws is compiled in as drawn (size and alpha), and drawing
// it twice gives the same bytes; the pictures the desk and dialogs are laid out on have
// their fixed sizes.
TEST(Artwork, EveryPictureIsCompiledInAsDrawnTheSameEveryTime) {
    for (const Artwork& art : allArtwork()) {
        SCOPED_TRACE(art.fileName.toStdString());
        const QImage drawn = art.draw();
        const QImage committed(":/" + art.fileName);
        ASSERT_FALSE(committed.isNull());
        EXPECT_EQ(committed.size(), drawn.size());
        EXPECT_EQ(committed.hasAlphaChannel(), drawn.hasAlphaChannel());
        QByteArray first, second;
        QBuffer a(&first), b(&second);
        a.open(QIODevice::WriteOnly);
        b.open(QIODevice::WriteOnly);
        ASSERT_TRUE(drawn.save(&a, "PNG"));
        ASSERT_TRUE(art.draw().save(&b, "PNG"));
        EXPECT_EQ(first, second);
    }
    const std::pair<const char*, QSize> fixed[] = {
        {"skin.png", {800, 830}},         {"strip.png", {672, 48}},
        {"balloon.png", {29, 30}},        {"start-screen.png", {400, 300}},
        {"sound-card-one.png", {87, 90}}, {"sound-listen-speakers.png", {105, 90}},
        {"cursor-154.png", {32, 32}},     {"icon.png", {256, 256}}};
    for (const auto& [name, size] : fixed)
        EXPECT_EQ(resource(name).size(), size) << name;
}

TEST(Artwork, CommittedPicturesPassTheChecks) {
    const ControlTable& table = builtinControlTable();
    EXPECT_EQ(checkSkin(resource("skin.png"), resource("strip.png"), table), QStringList());
    EXPECT_EQ(checkStrip(resource("strip.png"), table), QStringList());
    EXPECT_EQ(checkBalloon(resource("balloon.png")), QStringList());
}

TEST(Artwork, CursorHotspotsAreListedAndLieOnTheirPictures) {
    QFile list(":/cursors.txt");
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    int cursors = 0;
    for (const QByteArray& line : list.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(' ');
        ASSERT_EQ(fields.size(), 4) << line.constData();
        const QImage image(":/" + QString::fromUtf8(fields[0]));
        const QPoint hotspot(fields[2].toInt(), fields[3].toInt());
        ASSERT_FALSE(image.isNull()) << line.constData();
        EXPECT_TRUE(image.rect().contains(hotspot)) << line.constData();
        // The pointer's tip must be visible: the hotspot pixel is drawn.
        EXPECT_GT(qAlpha(image.pixel(hotspot)), 0) << line.constData();
        ++cursors;
    }
    EXPECT_EQ(cursors, 5);
}

// Each fault is made on a copy of the committed pictures; the named check must report it.
TEST(Artwork, ChecksReportBrokenPictures) {
    const ControlTable& table = builtinControlTable();
    const QImage skin = resource("skin.png").convertToFormat(QImage::Format_RGB32);
    const QImage strip = resource("strip.png").convertToFormat(QImage::Format_RGB32);
    const QImage balloon = resource("balloon.png").convertToFormat(QImage::Format_RGB32);
    auto copyImage = [](QImage& image, int sx, int sy, int w, int h, int dx, int dy) {
        const QImage part = image.copy(sx, sy, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixel(dx + x, dy + y, part.pixel(x, y));
    };
    const ControlEntry& play = table[control::kPlay1];
    const ControlEntry& platine = table[control::kPlatine1];

    QImage samePlay = skin;
    copyImage(samePlay, play.upX, play.upY, play.width, play.height, play.downX, play.downY);
    EXPECT_FALSE(checkSkin(samePlay, strip, table).isEmpty()) << "play's down image equals up";

    // A pixel in the rows the left level track shares with the pressed platine.
    QImage overlap = skin;
    overlap.setPixel(platine.downX + 17, platine.downY + 1, qRgb(255, 0, 0));
    EXPECT_FALSE(checkSkin(overlap, strip, table).isEmpty()) << "overlap disagrees";

    ControlTable outside = table;
    outside[control::kGo1].downY = kBuiltinSkinHeight - 10;
    EXPECT_FALSE(checkSkin(skin, strip, outside).isEmpty()) << "image crosses the bitmap's edge";

    QImage sameCell = strip;
    copyImage(sameCell, strip::kSave, 0, kStripCell, kStripCell, strip::kSave, kStripCell);
    EXPECT_FALSE(checkStrip(sameCell, table).isEmpty()) << "save cell's down equals up";

    // Blue 248 with green 0 and red 24 shares the key's low 12 bits as a 5-5-5 word.
    QImage lookalike = balloon;
    lookalike.setPixel(10, 10, qRgb(24, 0, 248));
    EXPECT_FALSE(checkBalloon(lookalike).isEmpty()) << "pixel taken for the key";

    QImage longBody = balloon;
    longBody.setPixel(22, 26, qRgb(200, 200, 200));
    EXPECT_FALSE(checkBalloon(longBody).isEmpty()) << "body column below row 22";
}

} // namespace
