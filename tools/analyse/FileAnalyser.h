#pragma once
// Runs one sound file through its decoder and a beat analyser as fast as the machine
// allows, fed exactly as a deck feeds it from the start of the track: every decoded
// block, the decoded ring's slot time stamps, the decoding flag, and a short tail of
// silence after the end so that the envelope (113 blocks behind) covers the last music.
//
// One FileAnalyser per thread; it is reused from file to file. Each file gets a new beat
// analyser, as on a deck just started: a deck's analyser keeps its kernel choice from
// track to track, which would make a file's result depend on the files before it.

#include "audio/BeatAnalyser.h"
#include "audio/Mp3Decoder.h"
#include "audio/WavDecoder.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>

struct FileReport {
    std::string path;
    std::string error;   // empty when the file was analysed
    std::string warning; // set when reading stopped early on an error
    float bpm = 0.0f;    // the refined BPM as the entry received it, 0 when none
    double startS = 0.0; // start and end points in seconds
    double endS = 0.0;
    double durationS = 0.0;
    int32_t peak = 0;
    int32_t loudness = 0;

    bool ok() const { return error.empty(); }
};

class FileAnalyser {
public:
    FileAnalyser();
    FileAnalyser(const FileAnalyser&) = delete;
    FileAnalyser& operator=(const FileAnalyser&) = delete;

    FileReport analyse(const std::string& path);

private:
    static constexpr int kSlots = 256; // decoder blocks in a deck's decoded ring

    void feedSilence(int blocks);

    std::atomic<int32_t> decoding_{0};
    std::array<float, kSlots> frameTimes_{};
    WavDecoder wav_;
    Mp3Decoder mp3_;
    std::unique_ptr<BeatAnalyser> analyser_;
    std::array<Frame, kBlockFrames> frames_{};
    std::array<int16_t, 2 * kBlockFrames> samples_{};
};

// The deck's choice: a name ending in ".wav" in any letter case is a WAV file.
bool isWavName(const std::string& path);
