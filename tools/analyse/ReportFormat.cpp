#include "tools/analyse/ReportFormat.h"

#include <cstdint>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the byte there does not begin
// one (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
size_t utf8Length(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b = byte(i);
    size_t n;
    uint32_t cp;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        const char c = text[i++];
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string reportLine(const FileReport& r) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "\t%.2f\t%.3f\t%.3f\t%d\t%d", r.bpm, r.startS, r.endS,
                  r.peak, r.loudness);
    return r.path + numbers;
}

std::string reportJson(const FileReport& r) {
    std::string out = "{\"path\": " + jsonString(r.path);
    if (!r.ok())
        return out + ", \"error\": " + jsonString(r.error) + "}";
    char numbers[240];
    std::snprintf(numbers, sizeof numbers,
                  ", \"bpm\": %.2f, \"start_s\": %.3f, \"end_s\": %.3f, \"peak\": %d, "
                  "\"loudness\": %d, \"duration_s\": %.3f",
                  r.bpm, r.startS, r.endS, r.peak, r.loudness, r.durationS);
    out += numbers;
    if (!r.warning.empty())
        out += ", \"warning\": " + jsonString(r.warning);
    return out + "}";
}
