#include "ui/desk/DeckDisplay.h"

#include "audio/deck/DeckTable.h"
#include "ui/desk/DeskPainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

QString displayText(const std::string& text) {
    // Line ends of every kind become one line break; a lone CR would draw as a space.
    QString s = QString::fromUtf8(text.data(), qsizetype(text.size()));
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

// Draws lines from origin to the area's right and bottom edges; a line too wide ends
// in an ellipsis.
void drawLines(QPainter& p, const QRect& area, QPoint origin, const QString& text) {
    const QFontMetrics metrics(p.font());
    int y = origin.y();
    const int width = area.right() + 1 - origin.x();
    for (const QString& line : text.split('\n')) {
        if (y >= area.bottom() + 1)
            break;
        const QString shown = metrics.elidedText(line, Qt::ElideRight, width, Qt::TextExpandTabs);
        p.drawText(QRect(origin.x(), y, width, area.bottom() + 1 - y),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs | Qt::TextSingleLine, shown);
        y += metrics.lineSpacing();
    }
}

// Word-wrapped, centred text; the last line that fits ends in an ellipsis when the
// text is longer. Returns the height used.
int wrappedHeight(const QFont& font, const QString& text, int width) {
    return QFontMetrics(font)
        .boundingRect(QRect(0, 0, width, 100000), Qt::AlignHCenter | Qt::TextWordWrap, text)
        .height();
}

} // namespace

QFont skinFont(const std::string& face, int lineHeight) {
    QFont font(QString::fromStdString(face));
    font.setWeight(QFont::Normal);
    int size = std::max(1, lineHeight);
    for (; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= lineHeight)
            break;
    }
    font.setPixelSize(size);
    return font;
}

DeckDisplay::DeckDisplay(DeskPainter& painter) : painter_(painter) {}

void DeckDisplay::applySkin() {
    const Skin* skin = painter_.skin();
    if (!skin)
        return;
    fonts_[kText] = skinFont(skin->fontName, skin->fontSizeText);
    fonts_[kTitle] = skinFont(skin->fontName, skin->fontSizeTitle);
    fonts_[kAuthor] = skinFont(skin->fontName, skin->fontSizeAuthor);
    fonts_[kSimple] = skinFont(skin->fontName, skin->fontSizeSimpleInfos);
    fonts_[kExtended] = skinFont(skin->fontName, skin->fontSizeExtendedInfos);
    hand_ = {};
    bar_ = {0, 0};
}

void DeckDisplay::drawInfo(int d, const DeckView& view, bool extended) {
    const Skin* skin = painter_.skin();
    if (!skin)
        return;
    const ControlEntry& e = (*skin)[control::kInfos1 + d];
    if (!e.placed())
        return;
    const QRect area(e.x, e.y, e.width, e.height);
    painter_.copy(area.topLeft(), area);
    QPainter p(&painter_.backBuffer());
    p.setClipRect(area);
    if (view.status != 0) {
        p.setFont(fonts_[kSimple]);
        p.setPen(toQColor(skin->fontColorSimpleInfos));
        const QString text = QString::fromUtf8(deckStatusText(view.status));
        const int used = wrappedHeight(p.font(), text, area.width());
        const QRect centred = area.adjusted(0, std::max(0, (area.height() - used) / 2), 0, 0);
        p.drawText(centred, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
    } else {
        p.setFont(fonts_[extended ? kExtended : kSimple]);
        p.setPen(toQColor(extended ? skin->fontColorExtendedInfos : skin->fontColorSimpleInfos));
        for (const TextPiece& piece :
             expandDeckTemplate(extended ? skin->extendedInfos : skin->simpleInfos, view))
            drawLines(p, area, area.topLeft() + piece.origin, displayText(piece.text));
    }
    p.end();
    painter_.invalidate(area);
}

void DeckDisplay::drawTitle(int d, const std::string& author, const std::string& title) {
    const Skin* skin = painter_.skin();
    if (!skin)
        return;
    const ControlEntry& e = (*skin)[control::kTitle1 + d];
    if (!e.placed())
        return;
    const QRect area(e.x, e.y, e.width, e.height);
    painter_.copy(area.topLeft(), area);
    if (!author.empty() || !title.empty()) {
        QPainter p(&painter_.backBuffer());
        p.setClipRect(area);
        const QString titleText = QString::fromUtf8(title.c_str());
        if (author.empty()) {
            p.setFont(fonts_[kTitle]);
            p.setPen(toQColor(skin->fontColorTitle));
            p.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, titleText);
        } else {
            const int band = skin->fontSizeTitle;
            p.setFont(fonts_[kTitle]);
            p.setPen(toQColor(skin->fontColorTitle));
            const QRect lower = area.adjusted(0, band, 0, 0);
            p.drawText(lower, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                       QFontMetrics(p.font()).elidedText(titleText, Qt::ElideRight, area.width()));
            p.setFont(fonts_[kAuthor]);
            p.setPen(toQColor(skin->fontColorAuthor));
            p.drawText(QRect(area.x(), area.y(), area.width(), band),
                       Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                       QFontMetrics(p.font()).elidedText(QString::fromUtf8(author.c_str()),
                                                         Qt::ElideRight, area.width()));
        }
    }
    painter_.invalidate(area);
}

void DeckDisplay::drawDisc(int d, const DeckView& view) {
    const Skin* skin = painter_.skin();
    if (!skin || !(*skin)[control::kDisc1 + d].placed())
        return;
    if ((*skin)[control::kDisc1 + d].hitRadius > 0)
        drawRoundDisc(d, view);
    else if ((*skin)[control::kDisc1 + d].hitRadius < 0)
        drawBarDisc(d, view);
}

void DeckDisplay::drawRoundDisc(int d, const DeckView& view) {
    const Skin& skin = *painter_.skin();
    const ControlEntry& e = skin[control::kDisc1 + d];
    const int r = e.hitRadius;
    const QPoint centre(e.hitX1, e.hitY1);
    QPoint hand(0, 0);
    if (view.position >= 0) {
        const double a = 2.0 * M_PI * view.position;
        hand = QPoint(int(std::trunc(std::sin(a) * r)), -int(std::trunc(std::cos(a) * r)));
    }
    if (hand == hand_[d])
        return;
    const QPoint was = hand_[d];
    const QRect restored = QRect(centre, centre)
                               .united(QRect(centre + was, centre + was))
                               .united(QRect(centre + hand, centre + hand));
    painter_.copy(restored.topLeft(), restored);
    QPainter p(&painter_.backBuffer());
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::white, 0));
    p.drawLine(centre, centre + hand);
    hand_[d] = hand;
    if (view.duration >= 0) {
        const double b = 2.0 * M_PI * view.memoryPoint;
        const int tx = int(std::trunc(std::sin(b) * r)), ty = -int(std::trunc(std::cos(b) * r));
        const QPoint from = centre + QPoint(7 * tx / 8, 7 * ty / 8);
        if (restored.contains(from)) {
            p.setPen(QPen(toQColor(skin.cueColor), 0));
            p.drawLine(from, centre + QPoint(tx, ty));
        }
    }
    p.end();
    painter_.invalidate(restored);
}

void DeckDisplay::drawBarDisc(int d, const DeckView& view) {
    const Skin& skin = *painter_.skin();
    const ControlEntry& e = skin[control::kDisc1 + d];
    const int length = e.hitX2 - e.hitX1;
    const int h = view.position >= 0 ? int(std::trunc(length * double(view.position))) + 1 : 0;
    if (h == bar_[d])
        return;
    const int lo = std::min(h, bar_[d]), hi = std::max(h, bar_[d]);
    // The columns between the old and the new hand: the played look when it grew.
    const QRect strip(e.hitX1 + std::max(lo - 1, 0), e.hitY1, hi - std::max(lo - 1, 0) + 1,
                      e.hitY2 - e.hitY1);
    const QPoint source = h > bar_[d] ? QPoint(e.downX, e.downY) : QPoint(e.upX, e.upY);
    painter_.copy(source + (strip.topLeft() - QPoint(e.x, e.y)), strip);
    QPainter p(&painter_.backBuffer());
    p.setRenderHint(QPainter::Antialiasing, false);
    if (h != 0) {
        p.setPen(QPen(Qt::white, 0));
        p.drawLine(e.hitX1 + h - 1, e.hitY1, e.hitX1 + h - 1, e.hitY2);
    }
    if (view.duration >= 0) {
        const int x = e.hitX1 + int(std::trunc(length * double(view.memoryPoint)));
        if (x >= strip.left() && x <= strip.right()) {
            p.setPen(QPen(toQColor(skin.cueColor), 0));
            p.drawLine(x, e.hitY1, x, (e.hitY1 + e.hitY2) / 2);
        }
    }
    p.end();
    bar_[d] = h;
    painter_.invalidate(strip);
}

void DeckDisplay::redrawCueMark(int d) {
    const Skin* skin = painter_.skin();
    if (!skin)
        return;
    hand_[d] = {};
    bar_[d] = 0;
    painter_.erase(control::kDisc1 + d);
}

void DeckDisplay::drawRecorderText(const std::string& text) {
    const Skin* skin = painter_.skin();
    if (!skin)
        return;
    const ControlEntry& e = (*skin)[control::kRecordText];
    if (!e.placed())
        return;
    const QRect area(e.x, e.y, e.width, e.height);
    painter_.copy(area.topLeft(), area);
    if (!text.empty()) {
        QPainter p(&painter_.backBuffer());
        p.setClipRect(area);
        p.setFont(fonts_[kText]);
        p.setPen(toQColor(skin->fontColorRecord));
        p.drawText(area, Qt::AlignCenter, displayText(text));
    }
    painter_.invalidate(area);
}
