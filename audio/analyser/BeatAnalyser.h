#pragma once
// Beat analyser of one deck: from each decoder block entering the deck's decoded ring
// it keeps a beat-energy envelope over the ring's span (8192 blocks of 36 frames),
// estimates the tempo, and fills the track's analysis record (peak energy, loudness,
// start and end points) and the entry's BPM.
//
// Threading: addFrame(), reset() run on the audio thread; fullReset() and attach()
// on the user-interface thread while the deck is suspended. The user interface reads
// envelope() and the record without locks; torn or stale values are acceptable there,
// so envelope entries are relaxed atomics.
//
// addFrame() neither allocates nor blocks. Every sum is exact in 32 bits: a block
// value is at most 72 x 32768 / 4096 = 576 in size, so a lag sum over 4344 products
// stays below 4344 x 576 x 576 = 1.44e9 and a kernel response below 1.7e7. Sums of two
// lag sums and multiples of record values (which come from the database file and may
// hold any 32-bit value) are taken in 64 bits.

#include "core/TrackRecord.h"

#include <array>
#include <atomic>
#include <cstdint>

// What the analyser reads of its deck.
struct AnalyserOwner {
    const std::atomic<int32_t>* decoding = nullptr; // the deck still decodes sound
    const float* frameTimes = nullptr;              // 256 slot time stamps
    // Without frameTimes the start and end points are left alone.
};

class BeatAnalyser {
public:
    static constexpr int kRingBlocks = 8192; // analysis blocks, 36 frames each
    static constexpr int kBlockFrames36 = 36;
    static constexpr int kBlocksPerDecoderBlock = 32;    // 1152 / 36
    static constexpr int kSamplesPerDecoderBlock = 2304; // interleaved stereo
    static constexpr int kLagCount = 1350;               // lags 1800 down to 451 blocks
    static constexpr int kMaxLag = 1800;
    static constexpr int kHistory = 64;
    static constexpr int kKernels = 16;
    static constexpr int kKernelTaps = 128;
    static constexpr float kNoTempo = 999.9f;

    explicit BeatAnalyser(AnalyserOwner owner);
    BeatAnalyser(const BeatAnalyser&) = delete;
    BeatAnalyser& operator=(const BeatAnalyser&) = delete;

    // Analyses one decoder block of 2304 interleaved 16-bit samples.
    void addFrame(const int16_t* samples);
    void reset();
    void fullReset();
    // Attaches the record of the current track (nullptr detaches). entry receives the
    // refined BPM. A record analysed whole is only read.
    void attach(TrackAnalysis* analysis, TrackEntry* entry);

    int32_t envelopeAt(int block) const {
        return envelope_[block & (kRingBlocks - 1)].load(std::memory_order_relaxed);
    }
    // Frames from the start of block `peak` to the onset of the sound whose envelope peak
    // lies there: the envelope peaks where a kernel best overlaps the sound, which is
    // before the sound starts, by an amount that depends on the kernel's length and on
    // the sound. 0 when no onset stands out. Safe from any thread.
    int32_t onsetOffset(int peak) const;
    TrackAnalysis* analysis() const { return analysis_.load(std::memory_order_relaxed); }
    float currentBpm() const { return currentBpm_.load(std::memory_order_relaxed); }
    float instantBpm() const { return instantBpm_.load(std::memory_order_relaxed); }
    int32_t lastLoudness() const { return lastLoudness_.load(std::memory_order_relaxed); }

    // Audio-thread state, for tests and tools that drive the analyser themselves.
    int band() const { return band_; }
    int blockWrite() const { return blockWrite_; }
    int32_t bpmRunCount() const { return bpmRunCount_; }
    // Lag sum of index k (lag 1800 - k); k may run to kLagSpan - 1.
    int32_t lagSum(int k) const { return lagSums_[k]; }
    int kernelLength(int j) const { return kernelLength_[j]; }
    int16_t kernelTap(int j, int k) const { return kernels_[j][k]; }

    // The octave checks of the tempo estimate look at lags down to 448 (a third or a
    // half of the shortest candidate, less 2), so the sums are kept for lags 1800 down
    // to 441; the extra lags also make the update loop a multiple of the vector width.
    static constexpr int kLagSpan = 1360;

private:
    // Blocks of the ring copied behind its end, so that every run the analysis reads
    // (at most kLagSpan values, or kEnvelopeTaps) is contiguous in memory.
    static constexpr int kMirrorBlocks = 2048;
    // Taps evaluated per kernel: the longest kernel (50) rounded up to whole vectors;
    // the taps past a kernel's length are zero.
    static constexpr int kEnvelopeTaps = 56;
    static constexpr int kEnvelopeDelay = 113; // blocks between the newest block and pos
    // Onset search around an envelope peak, in blocks: the peak may lie up to the longest
    // kernel (50 blocks) and a margin before the onset, or well after it; and the stretch
    // an onset must stand out from (13 ms, more than half a cycle of a 40-Hz kick).
    static constexpr int kOnsetBefore = 40;
    static constexpr int kOnsetAfter = 64;
    static constexpr int kOnsetGap = 16;

    void buildKernels();
    void storeBlock(int w, int16_t v);
    void updateLagSums(int w0, const int16_t* values);
    void updateEnvelope(int w0);
    void updateRecord(int pos, int32_t e, TrackAnalysis* rec);
    void estimateTempo();
    int32_t maxAbsLagSum(int lag) const;

    // blockRing_[i + 8192] mirrors blockRing_[i] for i < kMirrorBlocks.
    alignas(64) std::array<int16_t, kRingBlocks + kMirrorBlocks> blockRing_{};
    int blockWrite_ = 0;
    struct Estimate {
        float bpm = 0.0f;
        int32_t weight = 0;
    };
    std::array<Estimate, kHistory> tempoHistory_{};
    int historyWrite_ = 0;
    float bpmSum_ = 0.0f;
    int32_t bpmRunCount_ = 1;
    AnalyserOwner owner_;
    alignas(64) std::array<std::array<int16_t, kKernelTaps>, kKernels> kernels_{};
    std::array<int32_t, kKernels> kernelLength_{};
    int band_ = 0;
    int bestBand_ = 0;
    int32_t bestBandEnergy_ = 0;
    int32_t bandTimer_ = 0;
    alignas(64) std::array<int32_t, kLagSpan> lagSums_{};
    // Published for the display; relaxed, a stale tempo is fine there.
    std::atomic<float> currentBpm_{0.0f};
    std::atomic<float> instantBpm_{kNoTempo};
    int32_t loudnessSum_ = 0;
    std::atomic<int32_t> lastLoudness_{0};
    int32_t windowBlocks_ = 0;
    // Set by the user-interface thread while the deck is suspended; the command
    // handshake orders it before the audio thread's next use, so relaxed suffices.
    std::atomic<TrackAnalysis*> analysis_{nullptr};
    std::atomic<TrackEntry*> entry_{nullptr};
    std::atomic<bool> learns_{false}; // the attached record takes what is measured
    std::array<std::atomic<int32_t>, kRingBlocks> envelope_{};
    // |change of the block value| from the block before, for onset timing from other
    // threads: a kick starts with a steep change, a bass under it changes slowly.
    std::array<std::atomic<int16_t>, kRingBlocks> magnitude_{};
};
