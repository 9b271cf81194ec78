#include "ui/skin/Skin.h"

#include "core/AsciiCase.h"
#include "core/FatalMessage.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cctype>
#include <limits>
#include <string_view>

namespace {

constexpr const char* kInvalidSkin = "Invalid skin file";
constexpr const char* kNoGraphics = "Impossible to load the graphics";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view skipBlanks(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}

// A decimal integer at the start of s (an optional sign, then digits), saturated to
// 32 bits so that absurd numbers stay numbers. Sets present when a digit was read.
int32_t readInteger(std::string_view s, bool* present = nullptr) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    int64_t value = 0;
    const size_t first = i;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        value = std::min<int64_t>(value * 10 + (s[i] - '0'), int64_t(1) << 32);
    if (present)
        *present = i > first;
    value = negative ? -value : value;
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

// A global integer: blanks skipped, cut at the first comma.
int32_t readGlobalInteger(std::string_view value) {
    value = skipBlanks(value);
    return readInteger(value.substr(0, value.find(',')));
}

bool readFlag(std::string_view value) {
    value = skipBlanks(value);
    return equalsIgnoringCase(value, "yes") || equalsIgnoringCase(value, "true") ||
           equalsIgnoringCase(value, "1");
}

// Up to n comma-separated integers; a missing one reads as -1. Returns how many of
// the leading ones were present, counting until the first missing one.
int readList(std::string_view value, int32_t* out, int n) {
    int present = 0;
    bool gap = false;
    for (int i = 0; i < n; ++i) {
        bool ok = false;
        out[i] = -1;
        if (!value.empty() || i == 0) {
            std::string_view field = skipBlanks(value);
            const int32_t v = readInteger(field, &ok);
            if (ok)
                out[i] = v;
        }
        if (ok && !gap)
            ++present;
        else
            gap = true;
        const size_t comma = value.find(',');
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        if (comma == std::string_view::npos) {
            for (int j = i + 1; j < n; ++j)
                out[j] = -1;
            break;
        }
    }
    return present;
}

ColorRef readColor(std::string_view value) {
    if (!value.empty() && value[0] == '#') {
        uint64_t v = 0;
        for (size_t i = 1; i < value.size() && std::isxdigit(static_cast<unsigned char>(value[i]));
             ++i) {
            const char c = char(std::tolower(static_cast<unsigned char>(value[i])));
            v = std::min<uint64_t>(v * 16 + uint64_t(c <= '9' ? c - '0' : c - 'a' + 10),
                                   0xFFFFFFFFu);
        }
        return colorRef(int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255));
    }
    int32_t rgb[3];
    readList(value, rgb, 3);
    return colorRef(rgb[0], rgb[1], rgb[2]);
}

void setDisplay(ControlEntry& e, int32_t x, int32_t y, int32_t w, int32_t h) {
    e.x = x;
    e.y = y;
    e.width = w;
    e.height = h;
    e.left = x;
    e.top = y;
    // Saturated: an absurd size must not wrap round to a small rectangle.
    e.right = int32_t(std::min<int64_t>(int64_t(x) + w, INT32_MAX));
    e.bottom = int32_t(std::min<int64_t>(int64_t(y) + h, INT32_MAX));
}

void readEntryKey(ControlEntry& e, std::string_view key, std::string_view value) {
    int32_t v[4];
    if (equalsIgnoringCase(key, "Pos")) {
        if (readList(value, v, 4) < 4 || v[3] < 0)
            return;
        setDisplay(e, v[0] % kDeskWidth, v[1] % kDeskHeight, v[2], v[3]);
        if (e.upX == -1 && e.upY == -1) {
            e.upX = v[0];
            e.upY = v[1];
        }
        if (e.downX == -1 && e.downY == -1) {
            e.downX = v[0];
            e.downY = v[1];
        }
        if (e.hitX1 == -1 && e.hitY1 == -1 && e.hitX2 == -1 && e.hitY2 == -1 && e.hitRadius == -1) {
            e.hitX1 = e.left;
            e.hitY1 = e.top;
            e.hitX2 = e.right;
            e.hitY2 = e.bottom;
        }
    } else if (equalsIgnoringCase(key, "Up")) {
        readList(value, v, 2);
        e.upX = v[0];
        e.upY = v[1];
        if (e.downX == -1 && e.downY == -1) {
            e.downX = v[0];
            e.downY = v[1];
        }
    } else if (equalsIgnoringCase(key, "Down")) {
        readList(value, v, 2);
        e.downX = v[0];
        e.downY = v[1];
    } else if (equalsIgnoringCase(key, "Mouse")) {
        const int n = readList(value, v, 4);
        e.hitX1 = v[0];
        e.hitY1 = v[1];
        if (n == 4 && v[3] > 0) {
            e.hitRadius = -1;
            // Widening keeps absurd sizes from overflowing.
            e.hitX2 = int32_t(std::min<int64_t>(int64_t(v[0]) + v[2], INT32_MAX));
            e.hitY2 = int32_t(std::min<int64_t>(int64_t(v[1]) + v[3], INT32_MAX));
        } else {
            e.hitRadius = v[2];
            e.hitX2 = -1;
            e.hitY2 = -1;
        }
    }
}

void readGlobalKey(Skin& skin, std::string_view key, std::string_view value) {
    // Global values end at the first slash (a comment) or line end, without trailing
    // blanks.
    value = value.substr(0, value.find_first_of("/\r\n"));
    while (!value.empty() && isBlank(value.back()))
        value.remove_suffix(1);

    struct Colour {
        const char* key;
        ColorRef Skin::*field;
    };
    static const Colour colours[] = {
        {"FontColor", &Skin::fontColor},
        {"FontBackColor", &Skin::fontBackColor},
        {"FontColorOptions", &Skin::fontColorOptions},
        {"FontColorSimpleInfos", &Skin::fontColorSimpleInfos},
        {"FontColorExtendedInfos", &Skin::fontColorExtendedInfos},
        {"FontColorRecord", &Skin::fontColorRecord},
        {"FontColorTitle", &Skin::fontColorTitle},
        {"FontColorAuthor", &Skin::fontColorAuthor},
        {"CueColor", &Skin::cueColor},
    };
    struct Integer {
        const char* key;
        int32_t Skin::*field;
    };
    static const Integer integers[] = {
        {"Version", &Skin::version},
        {"FontSizeSimpleInfos", &Skin::fontSizeSimpleInfos},
        {"FontSizeExtendedInfos", &Skin::fontSizeExtendedInfos},
        {"FontSizeTitle", &Skin::fontSizeTitle},
        {"FontSizeAuthor", &Skin::fontSizeAuthor},
        {"FontSizeText", &Skin::fontSizeText},
        {"RhythmColor1", &Skin::rhythmColor1},
        {"RhythmColor2", &Skin::rhythmColor2},
        {"RhythmColor3", &Skin::rhythmColor3},
        {"RhythmBackColor", &Skin::rhythmBackColor},
    };
    struct Flag {
        const char* key;
        bool Skin::*field;
    };
    static const Flag flags[] = {
        {"PlayPause", &Skin::playPause},
        {"CueStop", &Skin::cueStop},
        {"PitchLevel", &Skin::pitchLevel},
        {"MixNowAlwaysVisible", &Skin::mixNowAlwaysVisible},
    };
    for (const Colour& c : colours)
        if (equalsIgnoringCase(key, c.key))
            return void(skin.*c.field = readColor(value));
    for (const Integer& i : integers)
        if (equalsIgnoringCase(key, i.key))
            return void(skin.*i.field = readGlobalInteger(value));
    for (const Flag& f : flags)
        if (equalsIgnoringCase(key, f.key))
            return void(skin.*f.field = readFlag(value));
    if (equalsIgnoringCase(key, "FontName"))
        skin.fontName = std::string(skipBlanks(value).substr(0, kSkinFontNameMax));
    else if (equalsIgnoringCase(key, "SimpleInfos"))
        skin.simpleInfos = std::string(value.substr(0, kSkinTemplateMax));
    else if (equalsIgnoringCase(key, "ExtendedInfos"))
        skin.extendedInfos = std::string(value.substr(0, kSkinTemplateMax));
}

// The file names NAME.ini / NAME.bmp, found whatever the case of the stored name.
QString findSkinFile(const QString& folder, const QString& name, const char* extension) {
    const QString wanted = name + "." + extension;
    QDir dir(folder);
    if (dir.exists(wanted))
        return dir.filePath(wanted);
    for (const QString& entry : dir.entryList(QDir::Files))
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return {};
}

} // namespace

ControlTable emptySkinTable() {
    ControlTable table;
    for (int i = 0; i < kControlCount; ++i) {
        table[i] = ControlEntry{-1, -1, -1, -1, -1, -1, -1, -1, -1,
                                -1, -1, -1, -1, -1, -1, -1, -1, defaultGroup(i)};
    }
    return table;
}

bool readSkinText(Skin& skin, const std::string& text) {
    ControlEntry* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        // Lines of at most kSkinLineMax characters; a longer one continues as the next.
        size_t end = text.find('\n', pos);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        if (next - pos > size_t(kSkinLineMax))
            next = pos + kSkinLineMax;
        std::string_view line(text.data() + pos, next - pos);
        pos = next;
        if (line.empty())
            continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos)
                continue;
            const int index = controlIndexByName(line.substr(1, close - 1));
            current = index >= 0 ? &skin.table[index] : nullptr;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (current)
            readEntryKey(*current, key, value);
        else
            readGlobalKey(skin, key, value);
    }
    skin.table[control::kMix].group = skin.mixNowAlwaysVisible ? kGroupAlways : 4;
    return skin.version >= 1 && skin.table[control::kFilesWindow].x >= 0;
}

void composeSkinSurface(Skin& skin, const QImage& bitmap, const QImage& strip) {
    const int width = std::max(bitmap.width(), kDeskWidth);
    const int height = std::max(bitmap.height(), kDeskHeight);
    skin.surface = QImage(width, height + kStripHeight, QImage::Format_RGB32);
    if (skin.surface.isNull())
        return;
    skin.surface.fill(Qt::black);
    QPainter painter(&skin.surface);
    // Copies, never blends: a skin picture with transparency must not show black.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, bitmap);
    painter.drawImage(0, height, strip);
}

std::unique_ptr<Skin> loadSkin(const QString& name, const QString& homeFolder) {
    auto skin = std::make_unique<Skin>();
    const QImage strip(":/strip.png");
    if (name.isEmpty()) {
        skin->table = builtinControlTable();
        const QImage bitmap(":/skin.png");
        if (bitmap.isNull() || strip.isNull()) {
            setFatalMessage(kInvalidSkin);
            return skin;
        }
        composeSkinSurface(*skin, bitmap, strip);
        if (skin->surface.isNull())
            setFatalMessage(kNoGraphics);
        return skin;
    }

    skin->table = emptySkinTable();
    QFile ini(findSkinFile(homeFolder, name, "ini"));
    if (ini.fileName().isEmpty() || !ini.open(QIODevice::ReadOnly)) {
        setFatalMessage(kInvalidSkin);
        return skin;
    }
    // A skin file is small; a huge one is not a skin.
    constexpr qint64 kMaxSkinFileBytes = 4 << 20;
    const QByteArray bytes = ini.read(kMaxSkinFileBytes);
    if (!readSkinText(*skin, bytes.toStdString())) {
        setFatalMessage(kInvalidSkin);
        return skin;
    }
    QString bitmapPath = findSkinFile(homeFolder, name, "bmp");
    if (bitmapPath.isEmpty())
        bitmapPath = findSkinFile(homeFolder, name, "png");
    const QImage bitmap = bitmapPath.isEmpty() ? QImage() : QImage(bitmapPath);
    if (bitmap.isNull() || strip.isNull()) {
        setFatalMessage(kInvalidSkin);
        return skin;
    }
    composeSkinSurface(*skin, bitmap, strip);
    if (skin->surface.isNull()) {
        setFatalMessage(kNoGraphics);
        return skin;
    }
    placePageControls(skin->table, skin->stripTop());
    return skin;
}
