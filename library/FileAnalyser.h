#pragma once
// Runs one sound file through its decoder and a beat analyser as fast as the machine
// allows, fed exactly as a deck feeds it from the start of the track: every decoded
// block, the decoded ring's slot time stamps, the decoding flag, and a short tail of
// silence after the end so that the envelope (113 blocks behind) covers the last music.
//
// One FileAnalyser per thread; it is reused from file to file. Each file gets a new beat
// analyser, as on a deck just started: a deck's analyser keeps its kernel choice from
// track to track, which would make a file's result depend on the files before it.

#include "audio/analyser/BeatAnalyser.h"
#include "audio/decoders/DecoderSet.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct FileReport {
    std::string path;
    std::string error;    // empty when the file was analysed
    std::string warning;  // set when reading stopped early on an error
    uint32_t sizeKey = 0; // the file's size when it was opened
    float bpm = 0.0f;     // the refined BPM as the entry received it, 0 when none
    int32_t bpmCount = 0; // the run behind it
    double startS = 0.0;  // start and end points in seconds
    double endS = 0.0;
    double durationS = 0.0;
    int32_t peak = 0;
    int32_t loudness = 0;
    // The record's own values: points as fractions of the track, with their energies.
    float startPoint = 0.0f;
    float endPoint = 0.0f;
    int32_t startEnergy = 0;
    int32_t endEnergy = 0;

    bool ok() const { return error.empty(); }
};

// One decoded block and the decoder's position before and after reading it.
struct DecodedBlock {
    std::array<Frame, kBlockFrames> frames{};
    float positionBefore = 0.0f;
    float positionAfter = 0.0f;
};

// Blocks handed from the decoding thread to the analysing thread, in order. One
// producer (fill) and one consumer (next, release).
class BlockQueue {
public:
    static constexpr uint64_t kSlots = 32;
    // Producer: reads the decoder to its end (or error, or cancel) into the slots,
    // waiting for each block the decoder has not ready yet.
    void fill(Decoder& decoder);
    // Consumer: the producer stops at its next block; next() still gives what it holds.
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    // Consumer: the next block, or null after the last one.
    const DecodedBlock* next();
    // Consumer: the block from next() is no longer needed.
    void release();
    // The decoder's last read result (0 end, -1 error); valid once next() gave null.
    int32_t endResult() const { return endResult_; }

private:
    std::vector<DecodedBlock> slots_ = std::vector<DecodedBlock>(kSlots);
    // Blocks filled (release by the producer, acquire by the consumer; kFinished added
    // after the last) and taken (the reverse), so each side sees the other's slots.
    std::atomic<uint64_t> produced_{0};
    std::atomic<uint64_t> consumed_{0};
    std::atomic<bool> cancelled_{false};
    static constexpr uint64_t kFinished = uint64_t(1) << 63; // in produced_: no more blocks
    int32_t endResult_ = 1; // written before produced_ gets kFinished (release)
    uint64_t next_ = 0;     // consumer only
};

class FileAnalyser {
public:
    FileAnalyser();
    FileAnalyser(const FileAnalyser&) = delete;
    FileAnalyser& operator=(const FileAnalyser&) = delete;

    // Analyses the whole file; stop, when given, ends the work early with an error.
    FileReport analyse(const std::string& path, const std::atomic<bool>* stop = nullptr);

private:
    static constexpr int kSlots = 256; // decoder blocks in a deck's decoded ring

    void feedSilence(int blocks);

    std::atomic<int32_t> decoding_{0};
    std::array<float, kSlots> frameTimes_{};
    DecoderSet decoders_;
    std::unique_ptr<BeatAnalyser> analyser_;
    std::array<Frame, kBlockFrames> frames_{};
    std::array<int16_t, 2 * kBlockFrames> samples_{};
};
