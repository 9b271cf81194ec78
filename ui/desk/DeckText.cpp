#include "ui/desk/DeckText.h"

#include "core/AsciiCase.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

enum Flag { kFlagP = 1, kFlagL = 2, kFlagB = 4 };
constexpr std::array<std::string_view, 9> kNames = {"time", "spent", "left",  "cue",  "first",
                                                    "end",  "bpm",   "pitch", "level"};

bool usableBpm(double bpm) {
    return bpm > 1.0 && bpm < 999.0;
}

std::string format1(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A time in tenths of a second as the display shows it.
std::string formatTime(int64_t v, int flags, const DeckView& deck) {
    if (!(flags & kFlagP) && deck.speed > 0)
        v = v * 4096 / deck.speed;
    if (flags & kFlagB)
        return usableBpm(deck.storedBpm) ? format1(double(v) * deck.storedBpm / 600.0) : "--";
    std::string sign;
    if (v < 0) {
        sign = "-";
        v = -v;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2d:%.2d.%.1d", int(v / 600), int((v / 10) % 60),
                  int(v % 10));
    return sign + text;
}

std::string placeholder(size_t name, int flags, const DeckView& deck) {
    const double T = 10.0 * deck.duration;
    const double p = deck.position;
    auto time = [&](double v) { return formatTime(int64_t(std::trunc(v)), flags, deck); };
    switch (name) {
    case 0:
        return time(T);
    case 1:
        return p < 0 ? "--" : time(T * p);
    case 2:
        return p < 0 ? "--" : formatTime(int64_t(std::trunc(T * (1 - p))) + 1, flags, deck);
    case 3:
        return p < 0 ? "--" : time((p - deck.memoryPoint) * T);
    case 4:
        return p < 0 ? "--" : time((p - deck.startPoint) * T);
    case 5:
        return p < 0 ? "--" : time((p - deck.endPoint) * T);
    case 6: {
        double bpm = (flags & kFlagL) ? deck.runningBpm : deck.storedBpm;
        if (!usableBpm(bpm))
            return "--";
        if (!(flags & kFlagP))
            bpm = bpm * deck.speed / 4096.0;
        return format1(bpm);
    }
    case 7:
        return format1(deck.speed * 100.0 / 4096.0);
    default: {
        const double loudness = (flags & kFlagL) ? deck.runningLoudness : deck.loudness;
        const double product = loudness * ((flags & kFlagP) ? 256 : deck.volume);
        if (product == 0.0)
            return "--";
        return format1(20.0 * std::log10(std::abs(product) * 2.249046225915903e-09));
    }
    }
}

int readNumber(std::string_view s, size_t& i) {
    int64_t v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        v = std::min<int64_t>(v * 10 + (s[i] - '0'), 1 << 20);
        ++i;
    }
    return int(v);
}

} // namespace

std::vector<TextPiece> expandDeckTemplate(const std::string& pattern, const DeckView& deck) {
    std::vector<TextPiece> pieces;
    std::string buffer;
    QPoint origin(0, 0);
    const std::string_view s(pattern);
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\') {
            const char next = i + 1 < s.size() ? s[i + 1] : '\0';
            if (next == '\\') {
                buffer += '\\';
                i += 2;
            } else if (next == 't') {
                buffer += '\t';
                i += 2;
            } else if (next == 'n') {
                buffer += "\r\n";
                i += 2;
            } else if (next == 'r') {
                buffer += '\r';
                i += 2;
            } else if (std::isdigit(static_cast<unsigned char>(next))) {
                ++i;
                buffer += char(readNumber(s, i) & 0xFF);
            } else {
                buffer += '\\';
                ++i;
            }
            continue;
        }
        if (c != '%') {
            buffer += c;
            ++i;
            continue;
        }
        if (i + 1 < s.size() && s[i + 1] == '%') {
            buffer += '%';
            i += 2;
            continue;
        }
        if (i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
            pieces.push_back({origin, buffer});
            buffer.clear();
            i += 1;
            const int first = readNumber(s, i);
            if (i + 1 < s.size() && s[i] == ',' &&
                std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
                ++i;
                origin = QPoint(first, readNumber(s, i));
            } else {
                origin = QPoint(0, first);
            }
            continue;
        }
        // Flags, then a name; with a capital flag letter that begins a name ("%Left")
        // fewer flags are tried too.
        size_t flagCount = 0;
        while (flagCount < 3 && i + 1 + flagCount < s.size() &&
               (s[i + 1 + flagCount] == 'P' || s[i + 1 + flagCount] == 'L' ||
                s[i + 1 + flagCount] == 'B'))
            ++flagCount;
        bool matched = false;
        for (size_t n = flagCount + 1; n-- > 0 && !matched;) {
            const std::string_view rest = s.substr(i + 1 + n);
            for (size_t name = 0; name < kNames.size(); ++name) {
                if (!startsWithIgnoringCase(rest, kNames[name]))
                    continue;
                int flags = 0;
                for (size_t f = 0; f < n; ++f)
                    flags |= s[i + 1 + f] == 'P' ? kFlagP : s[i + 1 + f] == 'L' ? kFlagL : kFlagB;
                buffer += placeholder(name, flags, deck);
                i += 1 + n + kNames[name].size();
                matched = true;
                break;
            }
        }
        if (!matched) {
            buffer += '%';
            ++i;
        }
    }
    pieces.push_back({origin, buffer});
    return pieces;
}
