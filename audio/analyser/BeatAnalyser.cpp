#include "audio/analyser/BeatAnalyser.h"
#include "core/HotLoop.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr int kRingMask = BeatAnalyser::kRingBlocks - 1;
constexpr int kSamplesPerBlock = 72;         // 36 frames, left and right
constexpr int kBlockValueDivisor = 4096;     // block sum to block value
constexpr int kCorrelationWindow = 4344;     // blocks summed per lag (3.5 s)
constexpr int kOldestRead = 6144;            // kCorrelationWindow + kMaxLag
constexpr int kLoudnessWindow = 60;          // decoder blocks per loudness window
constexpr int kBandCheckPeriod = 1024;       // blocks between band selections
constexpr int kBandForceAfter = 4096;        // a selection is forced after this
constexpr float kBlocksPerMinute = 73500.0f; // 1225 blocks per second x 60
constexpr float kAgreeBpm = 2.0f;            // estimates closer than this agree
constexpr float kMinUsableBpm = 1.0f;
constexpr float kMaxUsableBpm = 999.0f;
// The run counter stops one short of the value that marks a BPM typed by the user, so
// that even an endless run can never replace it.
constexpr int32_t kMaxRunCount = std::numeric_limits<int32_t>::max() - 1;

} // namespace

BeatAnalyser::BeatAnalyser(AnalyserOwner owner) : owner_(owner) {
    attach(nullptr, nullptr);
    fullReset();
    blockWrite_ = 0;
    historyWrite_ = 0;
    buildKernels();
    band_ = 0;
    bestBand_ = 0;
    bestBandEnergy_ = 0;
    bandTimer_ = 0;
}

void BeatAnalyser::buildKernels() {
    // Falling chirps from a quarter to a twelfth of the block rate (306 Hz to 102 Hz),
    // shaped like a kick drum; j sets the length, so the chirp's speed.
    const double twoPi = 2.0 * std::acos(-1.0);
    for (int j = 0; j < kKernels; ++j) {
        const float p = static_cast<float>(std::pow(2.0, j * 0.125 - 2.65));
        const int n = static_cast<int>(8.0 / p);
        const double scale = 4096.0 / std::sqrt(static_cast<double>(n));
        kernels_[j].fill(0);
        for (int k = 0; k < n; ++k) {
            const double phase = std::log(1.0 + k * static_cast<double>(p) * 0.25) * twoPi / p;
            kernels_[j][k] = static_cast<int16_t>(std::trunc(std::sin(phase) * scale));
        }
        kernelLength_[j] = n;
    }
}

void BeatAnalyser::reset() {
    blockRing_.fill(0);
    lagSums_.fill(0);
    for (auto& e : envelope_)
        e.store(0, std::memory_order_relaxed);
    for (auto& m : magnitude_)
        m.store(0, std::memory_order_relaxed);
    loudnessSum_ = 0;
    windowBlocks_ = 0;
}

void BeatAnalyser::fullReset() {
    reset();
    attach(nullptr, nullptr);
    currentBpm_.store(0.0f, std::memory_order_relaxed);
    tempoHistory_.fill(Estimate{});
    bpmRunCount_ = 1;
    bpmSum_ = 0.0f;
    lastLoudness_.store(0, std::memory_order_relaxed);
}

void BeatAnalyser::attach(TrackAnalysis* analysis, TrackEntry* entry) {
    analysis_.store(analysis, std::memory_order_relaxed);
    entry_.store(entry, std::memory_order_relaxed);
    learns_.store(analysis != nullptr && !analysis->analysedWhole(), std::memory_order_relaxed);
}

void BeatAnalyser::storeBlock(int w, int16_t v) {
    blockRing_[w] = v;
    const int32_t change = v - blockRing_[(w - 1) & kRingMask];
    magnitude_[w].store(static_cast<int16_t>(std::min(std::abs(change), 32767)),
                        std::memory_order_relaxed);
    if (w < kMirrorBlocks)
        blockRing_[w + kRingBlocks] = v;
}

void BeatAnalyser::addFrame(const int16_t* samples) {
    int16_t values[kBlocksPerDecoderBlock];
    for (int i = 0; i < kBlocksPerDecoderBlock; ++i) {
        const int16_t* s = samples + i * kSamplesPerBlock;
        int32_t sum = 0;
        for (int n = 0; n < kSamplesPerBlock; ++n)
            sum += s[n];
        values[i] = static_cast<int16_t>(sum / kBlockValueDivisor); // toward zero
    }

    // Every value the lag sums and the kernels read lies at least 19 blocks before the
    // first new block, so the 32 blocks can be taken together: the result is the same
    // as updating block by block.
    const int w0 = blockWrite_;
    updateLagSums(w0, values);
    for (int i = 0; i < kBlocksPerDecoderBlock; ++i) {
        storeBlock(w0 + i, values[i]);
        loudnessSum_ += std::abs(static_cast<int32_t>(values[i]));
    }
    updateEnvelope(w0);
    // The ring holds a whole number of decoder blocks, so the wrap falls on a boundary.
    blockWrite_ = (w0 + kBlocksPerDecoderBlock) & kRingMask;

    estimateTempo();

    if (++windowBlocks_ == kLoudnessWindow) {
        TrackAnalysis* rec = analysis_.load(std::memory_order_relaxed);
        if (rec && learns_.load(std::memory_order_relaxed) &&
            loudnessSum_ > rec->loudness.load(std::memory_order_relaxed))
            rec->loudness.store(loudnessSum_, std::memory_order_relaxed);
        lastLoudness_.store(loudnessSum_, std::memory_order_relaxed);
        loudnessSum_ = 0;
        windowBlocks_ = 0;
    }
}

// For each new block v at w, with y the block leaving the window (w - 4344):
// lagSums[k] += value(w - 1800 + k) * v - value(w - 6144 + k) * y.
namespace {

// sums[k] += a[k] * v - b[k] * y over the lag span: the analyser's hottest loop. Built
// for AVX2 as well as the baseline, the better one chosen when the program starts.
ZV_HOT_LOOP void addLagProducts(int32_t* __restrict sums, const int16_t* __restrict a,
                                const int16_t* __restrict b, int16_t v, int16_t y, int span) {
    for (int k = 0; k < span; ++k)
        sums[k] += a[k] * v - b[k] * y;
}

} // namespace

void BeatAnalyser::updateLagSums(int w0, const int16_t* values) {
    const int16_t* ring = blockRing_.data();
    // Through the mirror, value(w0 + i - 1800 + k) is recent[i + k] for every k < kLagSpan.
    const int16_t* recent = ring + ((w0 - kMaxLag) & kRingMask);
    const int16_t* old = ring + ((w0 - kOldestRead) & kRingMask);
    for (int i = 0; i < kBlocksPerDecoderBlock; ++i) {
        // 16-bit factors, so that the products are widening 16 x 16 multiplies.
        const int16_t v = values[i];
        const int16_t y = ring[(w0 + i - kCorrelationWindow) & kRingMask];
        if (v == 0 && y == 0)
            continue;
        addLagProducts(lagSums_.data(), recent + i, old + i, v, y, kLagSpan);
    }
}

void BeatAnalyser::updateEnvelope(int w0) {
    TrackAnalysis* rec = analysis_.load(std::memory_order_relaxed);
    for (int i = 0; i < kBlocksPerDecoderBlock; ++i) {
        const int pos = (w0 + i - kEnvelopeDelay) & kRingMask;
        const int16_t* x = blockRing_.data() + pos; // the taps look forward from pos
        int32_t e = 0;
        for (int j = 0; j < kKernels; ++j) {
            const int16_t* tap = kernels_[j].data();
            int32_t sum = 0;
            for (int k = 0; k < kEnvelopeTaps; ++k)
                sum += tap[k] * x[k];
            const int32_t response = std::abs(sum);
            if (response > bestBandEnergy_) {
                bestBandEnergy_ = response;
                bestBand_ = j;
            }
            if (j == band_)
                e = response;
        }
        envelope_[pos].store(e, std::memory_order_relaxed);
        if (rec)
            updateRecord(pos, e, rec);
    }
}

void BeatAnalyser::updateRecord(int pos, int32_t e, TrackAnalysis* rec) {
    const bool learns = learns_.load(std::memory_order_relaxed);
    int32_t peak = rec->peakEnergy.load(std::memory_order_relaxed);
    if (e > peak) {
        peak = e;
        if (learns)
            rec->peakEnergy.store(peak, std::memory_order_relaxed);
    }
    const int64_t e64 = e;
    const int64_t peak64 = peak;

    if (owner_.frameTimes && learns) {
        // Track position of the decoder block holding pos (-1 for silence after the end).
        const float t = owner_.frameTimes[pos / kBlocksPerDecoderBlock];
        if (t > 0.0f && 3 * e64 > 2 * peak64) {
            const int64_t startEnergy = rec->startEnergy.load(std::memory_order_relaxed);
            if (3 * startEnergy < 2 * peak64 ||
                t < rec->startPoint.load(std::memory_order_relaxed)) {
                rec->startPoint.store(t, std::memory_order_relaxed);
                rec->startEnergy.store(e, std::memory_order_relaxed);
            }
        }
        if (t < 1.0f && 2 * e64 > peak64) {
            const int64_t endEnergy = rec->endEnergy.load(std::memory_order_relaxed);
            if (2 * endEnergy < peak64 || t > rec->endPoint.load(std::memory_order_relaxed)) {
                rec->endPoint.store(t, std::memory_order_relaxed);
                rec->endEnergy.store(e, std::memory_order_relaxed);
            }
        }
    }

    // Follow the kernel that answers the track best, but only when it answers strongly
    // enough, or after a long time in any case.
    const int32_t before = bandTimer_++;
    if (before % kBandCheckPeriod == 0) {
        if (2 * static_cast<int64_t>(bestBandEnergy_) >= peak64 || bandTimer_ > kBandForceAfter) {
            band_ = bestBand_;
            bandTimer_ = 1;
        }
        bestBandEnergy_ = 0;
    }
}

int32_t BeatAnalyser::onsetOffset(int peak) const {
    // The onset is the first block whose change reaches a quarter of the largest near
    // the peak and twice the largest of the blocks before it: a stretch longer than half a
    // cycle of the lowest kick, so that the dips of the kick's own waveform do not count,
    // while a bass or a tail that goes on under the kick does not hide it. Between that
    // block and the one before, the crossing is placed by interpolation (block values
    // stand for the centre of their 36 frames).
    auto magnitude = [this](int b) {
        return static_cast<int32_t>(magnitude_[b & kRingMask].load(std::memory_order_relaxed));
    };
    int32_t loudest = 0;
    for (int b = peak - kOnsetBefore; b <= peak + kOnsetAfter; ++b)
        loudest = std::max(loudest, magnitude(b));
    if (loudest / 4 <= 0)
        return 0;
    for (int b = peak - kOnsetBefore; b <= peak + kOnsetAfter; ++b) {
        int32_t earlier = 0;
        for (int k = b - kOnsetGap; k < b; ++k)
            earlier = std::max(earlier, magnitude(k));
        const int32_t threshold = std::max(loudest / 4, 2 * earlier);
        const int32_t m = magnitude(b);
        if (m >= threshold) {
            const int32_t before = magnitude(b - 1); // below threshold: part of `earlier`
            const int32_t fraction = (threshold - before) * kBlockFrames36 / (m - before);
            return (b - 1 - peak) * kBlockFrames36 + kBlockFrames36 / 2 + fraction;
        }
    }
    return 0;
}

int32_t BeatAnalyser::maxAbsLagSum(int lag) const {
    int32_t best = 0;
    for (int l = lag - 2; l <= lag + 2; ++l) {
        // |lagSums| < 1.44e9, so the absolute value cannot overflow.
        const int32_t s = std::abs(lagSums_[kMaxLag - l]);
        if (s > best)
            best = s;
    }
    return best;
}

void BeatAnalyser::estimateTempo() {
    int bestK = 0;
    int32_t m = 0;
    for (int k = 0; k < kLagCount; ++k) {
        if (lagSums_[k] > m) {
            m = lagSums_[k];
            bestK = k;
        }
    }
    const int L = kMaxLag - bestK;
    const float lag = static_cast<float>(L);

    // A beat of L blocks is 73500 / L BPM; long lags are taken as two or three beats,
    // and a middle lag as two beats when its half and one and a half answer strongly.
    float bpm;
    if (L >= 1795) {
        bpm = kNoTempo;
    } else if (L <= 456) {
        bpm = 0.0f; // too fast
    } else if (L <= 899) {
        bpm = kBlocksPerMinute / lag;
    } else if (L <= 1089) {
        const int64_t a = maxAbsLagSum(L / 2);
        const int64_t b = maxAbsLagSum(3 * L / 2);
        bpm = (a + b > m ? 2.0f : 1.0f) * kBlocksPerMinute / lag;
    } else if (L <= 1349) {
        bpm = 2.0f * kBlocksPerMinute / lag;
    } else {
        const int32_t a = maxAbsLagSum(L / 2);
        const int32_t c = maxAbsLagSum(L / 3);
        bpm = (a >= c ? 2.0f : 3.0f) * kBlocksPerMinute / lag;
    }
    instantBpm_.store(bpm, std::memory_order_relaxed);

    tempoHistory_[historyWrite_] = Estimate{bpm, m / 256 + 1};
    historyWrite_ = (historyWrite_ + 1) % kHistory;

    // Vote: each entry gathers the weights of the later entries that agree with it.
    // Weights stay below 5.7e6, so 64 of them fit in 32 bits.
    int32_t bestTotal = 0;
    float winner = 0.0f;
    for (int i = 0; i < kHistory; ++i) {
        int32_t total = tempoHistory_[i].weight;
        for (int j = i + 1; j < kHistory; ++j) {
            if (std::fabs(tempoHistory_[j].bpm - tempoHistory_[i].bpm) < kAgreeBpm)
                total += tempoHistory_[j].weight;
        }
        if (total >= bestTotal) {
            bestTotal = total;
            winner = tempoHistory_[i].bpm;
        }
    }
    if (winner < kMinUsableBpm || winner > kMaxUsableBpm) {
        currentBpm_.store(winner, std::memory_order_relaxed);
        return;
    }

    double weightedSum = 0.0;
    int64_t weights = 0;
    for (const Estimate& est : tempoHistory_) {
        if (std::fabs(est.bpm - winner) < kAgreeBpm) {
            weightedSum += static_cast<double>(est.weight) * est.bpm;
            weights += est.weight;
        }
    }
    // The winner itself has a weight of at least 1, so weights > 0 here.
    const float current = weights > 0 ? static_cast<float>(weightedSum / weights) : winner;
    currentBpm_.store(current, std::memory_order_relaxed);

    const bool decoding = owner_.decoding && owner_.decoding->load(std::memory_order_relaxed) != 0;
    if (decoding) {
        if (std::fabs(current - bpmSum_ / bpmRunCount_) < kAgreeBpm) {
            if (bpmRunCount_ < kMaxRunCount) {
                bpmSum_ += current;
                ++bpmRunCount_;
            }
        } else {
            bpmSum_ = current;
            bpmRunCount_ = 1;
        }
    }

    // A stored BPM gives way only to a run at least as long as the one behind it. No run
    // yet (bpmSum 0, only possible before the first estimate while decoding) writes
    // nothing, so a stored BPM is never replaced by 0.
    TrackAnalysis* rec = analysis_.load(std::memory_order_relaxed);
    TrackEntry* entry = entry_.load(std::memory_order_relaxed);
    if (rec && entry && learns_.load(std::memory_order_relaxed) && bpmSum_ > 0.0f &&
        bpmRunCount_ >= rec->bpmCount.load(std::memory_order_relaxed)) {
        entry->bpm.store(bpmSum_ / bpmRunCount_, std::memory_order_relaxed);
        rec->bpmCount.store(bpmRunCount_, std::memory_order_relaxed);
    }
}
