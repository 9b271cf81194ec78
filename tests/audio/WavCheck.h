#pragma once
// The 44-byte header of a recording (44100 Hz 16-bit stereo PCM), and a recorded file
// read back against it.

#include "core/Frame.h"
#include "tests/ScratchDir.h"

#include <algorithm>

// "RIFF", "WAVE", "fmt ", "data" and the fields between them, as little-endian words.
inline std::vector<uint8_t> wavHeader(uint32_t frames) {
    std::vector<uint8_t> h;
    for (uint32_t word : {0x46464952u, 36 + frames * 4, 0x45564157u, 0x20746d66u, 16u, 0x00020001u,
                          44100u, 176400u, 0x00100004u, 0x61746164u, frames * 4})
        putLe(h, word);
    return h;
}

struct RecordedWav {
    bool headerValid = false; // a recording's header, with the sizes of the file
    std::string problem;
    std::vector<Frame> frames;
};

inline RecordedWav readRecordedWav(const std::string& path) {
    RecordedWav wav;
    const std::vector<uint8_t> b = readBytes(path);
    const auto frames = static_cast<uint32_t>(b.size() < 44 ? 0 : (b.size() - 44) / 4);
    if (b.size() < 44 || (b.size() - 44) % 4 != 0 ||
        !std::equal(b.begin(), b.begin() + 44, wavHeader(frames).begin())) {
        wav.problem = "no recording's header over the " + std::to_string(b.size()) + " bytes";
        return wav;
    }
    wav.headerValid = true;
    for (size_t at = 44; at < b.size(); at += 4)
        wav.frames.push_back(le32At(b, at));
    return wav;
}
