#include "tools/make-artwork/ArtworkCheck.h"

#include "tools/make-artwork/Desk.h"
#include "tools/make-artwork/Pictures.h"

#include <QRect>

#include <vector>

namespace {

QRect displayOf(const ControlEntry& e) {
    return QRect(e.x, e.y, e.width, e.height);
}
QRect imageOf(const ControlEntry& e, bool down) {
    return QRect(down ? e.downX : e.upX, down ? e.downY : e.upY, e.width, e.height);
}
bool twoImages(const ControlEntry& e) {
    return e.placed() && (e.upX != e.downX || e.upY != e.downY);
}

// The skin surface the program builds: the bitmap with the button strip below it.
QImage skinSurface(const QImage& skin, const QImage& strip) {
    QImage surface(skin.width(), skin.height() + kStripHeight, QImage::Format_RGB32);
    surface.fill(Qt::black);
    for (int y = 0; y < skin.height(); ++y)
        for (int x = 0; x < skin.width(); ++x)
            surface.setPixel(x, y, skin.pixel(x, y));
    for (int y = 0; y < strip.height() && y < kStripHeight; ++y)
        for (int x = 0; x < strip.width() && x < surface.width(); ++x)
            surface.setPixel(x, skin.height() + y, strip.pixel(x, y));
    return surface;
}

bool samePixels(const QImage& image, const QRect& a, const QRect& b) {
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((image.pixel(a.x() + x, a.y() + y) & 0xffffff) !=
                (image.pixel(b.x() + x, b.y() + y) & 0xffffff))
                return false;
    return true;
}

bool sameAs(const QImage& image, const QRect& at, const QImage& expected) {
    for (int y = 0; y < at.height(); ++y)
        for (int x = 0; x < at.width(); ++x)
            if ((image.pixel(at.x() + x, at.y() + y) & 0xffffff) !=
                (expected.pixel(x, y) & 0xffffff))
                return false;
    return true;
}

struct Image {
    int control;
    bool down;
    QRect rect;
};

// The images that lie below the window's 600 rows of the bitmap.
std::vector<Image> alternateRowImages(const ControlTable& table) {
    std::vector<Image> images;
    for (int k = 0; k < kControlCount; ++k) {
        const ControlEntry& e = table[k];
        if (!e.placed())
            continue;
        for (bool down : {false, true}) {
            const QRect r = imageOf(e, down);
            if (r.top() >= kDeskHeight && r.top() < kBuiltinSkinHeight)
                images.push_back({k, down, r});
        }
    }
    return images;
}

const char* stateName(bool down) {
    return down ? "down" : "up";
}

} // namespace

QStringList checkSkin(const QImage& skin, const QImage& strip, const ControlTable& table) {
    QStringList problems;
    if (skin.width() != kDeskWidth || skin.height() != kBuiltinSkinHeight)
        return {QString("skin is %1 x %2, not %3 x %4")
                    .arg(skin.width())
                    .arg(skin.height())
                    .arg(kDeskWidth)
                    .arg(kBuiltinSkinHeight)};
    const QImage surface = skinSurface(skin, strip);
    const QRect bitmap(0, 0, kDeskWidth, kBuiltinSkinHeight);
    const QRect stripArea(0, kBuiltinSkinHeight, kStripWidth, kStripHeight);

    for (int k = 0; k < kControlCount; ++k) {
        const ControlEntry& e = table[k];
        if (!e.placed())
            continue;
        for (bool down : {false, true}) {
            const QRect r = imageOf(e, down);
            if (!bitmap.contains(r) && !stripArea.contains(r))
                problems << QString("control %1: %2 image %3,%4 %5x%6 lies outside the skin")
                                .arg(k)
                                .arg(stateName(down))
                                .arg(r.x())
                                .arg(r.y())
                                .arg(r.width())
                                .arg(r.height());
        }
    }
    if (!problems.isEmpty())
        return problems;

    for (int k = 0; k < kControlCount; ++k) {
        const ControlEntry& e = table[k];
        if (twoImages(e) && samePixels(surface, imageOf(e, false), imageOf(e, true)))
            problems << QString("control %1 (%2): down image equals up image")
                            .arg(k)
                            .arg(QString::fromUtf8(controlName(k).data(), controlName(k).size()));
    }

    // Images that share pixels of the bitmap must show the same display pixels, and,
    // where two controls' places overlap only partly, every image of either control
    // must agree with those shared pixels: whichever is drawn last, the desk looks the
    // same there.
    const std::vector<Image> images = alternateRowImages(table);
    for (size_t i = 0; i < images.size(); ++i) {
        for (size_t j = i + 1; j < images.size(); ++j) {
            const Image& a = images[i];
            const Image& b = images[j];
            if (a.control == b.control || !a.rect.intersects(b.rect))
                continue;
            const ControlEntry& ea = table[a.control];
            const ControlEntry& eb = table[b.control];
            const QPoint shiftA = a.rect.topLeft() - displayOf(ea).topLeft();
            const QPoint shiftB = b.rect.topLeft() - displayOf(eb).topLeft();
            if (shiftA != shiftB) {
                problems << QString("controls %1 and %2: overlapping images show different places")
                                .arg(a.control)
                                .arg(b.control);
                continue;
            }
            if (displayOf(ea) == displayOf(eb))
                continue; // alternatives at one place replace each other whole
            const QRect shared = a.rect.intersected(b.rect);
            const QRect place = shared.translated(-shiftA);
            for (int k : {a.control, b.control}) {
                for (bool down : {false, true}) {
                    const QRect img = imageOf(table[k], down);
                    const QRect part =
                        place.translated(img.topLeft() - displayOf(table[k]).topLeft());
                    if (!samePixels(surface, part, shared))
                        problems << QString("controls %1 and %2 overlap: the %3 image of %4 "
                                            "disagrees with the shared pixels")
                                        .arg(a.control)
                                        .arg(b.control)
                                        .arg(stateName(down))
                                        .arg(k);
                }
            }
        }
    }
    return problems;
}

QStringList checkStrip(const QImage& strip, const ControlTable& table) {
    if (strip.width() != kStripWidth || strip.height() != kStripHeight)
        return {QString("strip is %1 x %2, not %3 x %4")
                    .arg(strip.width())
                    .arg(strip.height())
                    .arg(kStripWidth)
                    .arg(kStripHeight)};
    QStringList problems;
    const QRect area(0, 0, kStripWidth, kStripHeight);
    for (int k = 0; k < kControlCount; ++k) {
        const ControlEntry& e = table[k];
        if (!twoImages(e) || e.upY < kBuiltinSkinHeight)
            continue;
        const QRect up = imageOf(e, false).translated(0, -kBuiltinSkinHeight);
        const QRect down = imageOf(e, true).translated(0, -kBuiltinSkinHeight);
        if (!area.contains(up) || !area.contains(down))
            problems << QString("control %1: strip cell outside the strip").arg(k);
        else if (samePixels(strip, up, down))
            problems << QString("control %1: strip cell's down image equals its up image").arg(k);
    }
    return problems;
}

QStringList checkBalloon(const QImage& balloon) {
    constexpr int W = 29, H = 30, kBodyRows = 23, kBody = 22;
    if (balloon.width() != W || balloon.height() != H)
        return {
            QString("balloon is %1 x %2, not 29 x 30").arg(balloon.width()).arg(balloon.height())};
    QStringList problems;
    // The low 12 bits of the pixel as 5-5-5 and as 5-6-5 words.
    auto low555 = [](QRgb c) {
        return ((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | (qBlue(c) >> 3)) & 0xfff;
    };
    auto low565 = [](QRgb c) {
        return ((qRed(c) >> 3) << 11 | (qGreen(c) >> 2) << 5 | (qBlue(c) >> 3)) & 0xfff;
    };
    const QRgb key = balloon.pixel(0, 0) & 0xffffff;
    auto opaque = [&](int x, int y) { return (balloon.pixel(x, y) & 0xffffff) != key; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb c = balloon.pixel(x, y) & 0xffffff;
            if (c != key && (low555(c) == low555(key) || low565(c) == low565(key)))
                problems
                    << QString("balloon pixel %1,%2 is taken for the key colour").arg(x).arg(y);
        }
    for (int y = 0; y < H; ++y) {
        if (opaque(kBody, y) != (y < kBodyRows))
            problems << QString("balloon body column: row %1 should be %2")
                            .arg(y)
                            .arg(y < kBodyRows ? "drawn" : "transparent");
        for (int x = kBody + 1; x < W; ++x)
            if (y >= kBodyRows && opaque(x, y))
                problems
                    << QString("balloon right end drawn below the body at %1,%2").arg(x).arg(y);
    }
    // The stretched column continues the ends seamlessly.
    for (int y = 0; y < kBodyRows; ++y)
        if (balloon.pixel(kBody - 1, y) != balloon.pixel(kBody, y) ||
            balloon.pixel(kBody + 1, y) != balloon.pixel(kBody, y))
            problems << QString("balloon body column differs from its neighbours at row %1").arg(y);
    bool tail = false;
    for (int y = kBodyRows; y < H; ++y)
        for (int x = 0; x < kBody; ++x)
            tail = tail || opaque(x, y);
    if (!tail)
        problems << "balloon has no tail below its left end";
    return problems;
}

QStringList checkSkinSources(const QImage& skin, const ControlTable& table) {
    QStringList problems;
    const QImage background = paintDesk(backgroundState());
    const QImage alternate = paintDesk(alternateState());
    if (!sameAs(skin, QRect(0, 0, kDeskWidth, kDeskHeight), background))
        problems << "skin rows 0-599 differ from the background scene";
    for (const AlternateImage& a : alternateImages(table)) {
        const QImage expected = a.fromScene
                                    ? alternate.copy(a.target.translated(0, -kAlternateShift))
                                    : drawStamp(a.control, a.down ? Face::Down : Face::Up);
        if (!sameAs(skin, a.target, expected))
            problems << QString("control %1: %2 image differs from its %3")
                            .arg(a.control)
                            .arg(stateName(a.down))
                            .arg(a.fromScene ? "place in the alternate scene" : "stamp");
    }
    return problems;
}
