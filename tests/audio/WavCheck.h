#pragma once
// Reads back a recorded WAV file and checks its 44-byte header field by field.

#include "core/Frame.h"
#include "tests/ScratchDir.h"

struct RecordedWav {
    bool headerValid = false; // every header field as a recording's must be
    std::string problem;      // the first field that is not
    std::vector<Frame> frames;
};

inline uint16_t readLe16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

inline RecordedWav readRecordedWav(const std::string& path) {
    RecordedWav wav;
    const std::vector<uint8_t> b = readBytes(path);
    if (b.size() < 44) {
        wav.problem = "shorter than a header";
        return wav;
    }
    const uint32_t dataBytes = le32At(b, 40);
    const struct {
        const char* field;
        bool ok;
    } checks[] = {
        {"RIFF", std::string(b.begin(), b.begin() + 4) == "RIFF"},
        {"RIFF size", le32At(b, 4) == b.size() - 8},
        {"WAVE", std::string(b.begin() + 8, b.begin() + 12) == "WAVE"},
        {"fmt ", std::string(b.begin() + 12, b.begin() + 16) == "fmt "},
        {"fmt size", le32At(b, 16) == 16},
        {"PCM", readLe16(b, 20) == 1},
        {"channels", readLe16(b, 22) == 2},
        {"rate", le32At(b, 24) == 44100},
        {"bytes per second", le32At(b, 28) == 176400},
        {"block align", readLe16(b, 32) == 4},
        {"bits", readLe16(b, 34) == 16},
        {"data", std::string(b.begin() + 36, b.begin() + 40) == "data"},
        {"data size", dataBytes == b.size() - 44 && dataBytes % 4 == 0},
    };
    for (const auto& c : checks) {
        if (!c.ok) {
            wav.problem = c.field;
            return wav;
        }
    }
    wav.headerValid = true;
    for (size_t at = 44; at + 4 <= b.size(); at += 4)
        wav.frames.push_back(le32At(b, at));
    return wav;
}
