// The beat analyser: exact agreement with a plain block-by-block reference, tempo of
// click tracks, silence, start and end points, the stored tempo's run-count rule and
// loudness.

#include "audio/analyser/BeatAnalyser.h"
#include "tests/audio/ClickTrack.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <tuple>

namespace {

constexpr int kSlots = 256;
constexpr int kDecoderBlock = 1152;
constexpr double kRate = 44100.0;

// The analyser with what a deck gives it: the decoding flag, the slot time stamps of
// the decoded ring, and the record and entry of a loaded track of the given length.
struct Deckish {
    std::atomic<int32_t> decoding{1};
    float frameTimes[kSlots] = {};
    TrackAnalysis record;
    TrackEntry entry;
    BeatAnalyser analyser{AnalyserOwner{&decoding, frameTimes}};
    int64_t frame = 0;
    int64_t trackFrames;
    std::vector<int16_t> samples = std::vector<int16_t>(2 * kDecoderBlock);

    explicit Deckish(double trackSeconds = 30.0) : trackFrames(int64_t(trackSeconds * kRate)) {
        analyser.attach(&record, &entry);
    }
    // One decoder block of the track, stamped with its position as the deck stamps it.
    template <typename Track> void feed(Track& track) {
        frameTimes[analyser.blockWrite() / 32] = static_cast<float>(frame) / trackFrames;
        track.render(frame, kDecoderBlock, samples.data());
        analyser.addFrame(samples.data());
        frame += kDecoderBlock;
    }
    void feedSeconds(ClickTrack& track, double seconds) {
        for (int n = static_cast<int>(seconds * kRate / kDecoderBlock); n > 0; --n)
            feed(track);
    }
    // Blocks of one sample value; a slot time of -1 is the silence after the end of the
    // file, as the deck renders it.
    void feedConstant(int16_t value, int blocks, std::optional<float> slotTime = {}) {
        std::fill(samples.begin(), samples.end(), value);
        for (int n = 0; n < blocks; ++n) {
            if (slotTime)
                frameTimes[analyser.blockWrite() / 32] = *slotTime;
            analyser.addFrame(samples.data());
        }
    }
};

// Lag sums, envelope and band taken one block at a time, straight from the definition,
// with modulo indexing and 64-bit lag sums: the fast path (32 blocks at once through a
// mirrored ring, kernels padded to whole vectors) must give exactly the same numbers.
// Equal envelopes also prove every kernel's length and taps.
class ReferenceAnalyser {
public:
    static constexpr int kLags = 1353; // lags 1800 down to 448

    ReferenceAnalyser() {
        for (int j = 0; j < 16; ++j) {
            const float p = static_cast<float>(std::pow(2.0, j * 0.125 - 2.65));
            length_[j] = static_cast<int>(8.0 / p);
            for (int k = 0; k < length_[j]; ++k)
                taps_[j][k] = static_cast<int16_t>(
                    std::trunc(std::sin(std::log(1.0 + k * double(p) * 0.25) * 2.0 * M_PI / p) *
                               4096.0 / std::sqrt(double(length_[j]))));
        }
    }
    void reset() {
        ring_.fill(0);
        lags_.fill(0);
        envelope_.fill(0);
    }
    void addFrame(const int16_t* samples) {
        for (int i = 0; i < 32; ++i, write_ = (write_ + 1) & 8191) {
            int32_t sum = 0;
            for (int n = 0; n < 72; ++n)
                sum += samples[72 * i + n];
            const int64_t v = static_cast<int16_t>(sum / 4096);
            const int w = write_;
            const int64_t y = value(w - 4344);
            for (int k = 0; k < kLags; ++k)
                lags_[k] += value(w - 1800 + k) * v - value(w - 6144 + k) * y;
            ring_[w] = static_cast<int16_t>(v);
            envelopeStep((w - 113) & 8191);
        }
    }

    int64_t lagSum(int k) const { return lags_[k]; }
    int32_t envelope(int b) const { return envelope_[b]; }
    int band() const { return band_; }

private:
    int64_t value(int b) const { return ring_[b & 8191]; }
    // The envelope of the current band; every 1024 blocks the band that answered best
    // takes over if it reached half the peak (or after 4096 blocks in any case).
    void envelopeStep(int pos) {
        int32_t e = 0;
        for (int j = 0; j < 16; ++j) {
            int32_t sum = 0;
            for (int k = 0; k < length_[j]; ++k)
                sum += taps_[j][k] * static_cast<int32_t>(value(pos + k));
            const int32_t r = std::abs(sum);
            if (r > bestEnergy_) {
                bestEnergy_ = r;
                bestBand_ = j;
            }
            if (j == band_)
                e = r;
        }
        envelope_[pos] = e;
        peak_ = std::max<int64_t>(peak_, e);
        if (timer_++ % 1024 == 0) {
            if (2 * bestEnergy_ >= peak_ || timer_ > 4096) {
                band_ = bestBand_;
                timer_ = 1;
            }
            bestEnergy_ = 0;
        }
    }

    std::array<int16_t, 8192> ring_{};
    std::array<int64_t, kLags> lags_{};
    std::array<int32_t, 8192> envelope_{};
    std::array<std::array<int16_t, 64>, 16> taps_{};
    std::array<int, 16> length_{};
    int write_ = 0, band_ = 0, bestBand_ = 0, timer_ = 0;
    int64_t bestEnergy_ = 0, peak_ = 1; // as a new record holds it
};

// The energies and points the envelope keeps (peak, start, end).
std::tuple<int32_t, float, int32_t, float, int32_t> pointsOf(const TrackAnalysis& a) {
    return {a.peakEnergy, a.startPoint, a.startEnergy, a.endPoint, a.endEnergy};
}

// Block by block against the reference, through ring wraps, a seek, a switch of the
// band and full-scale square waves (the largest possible block values).
TEST(BeatAnalyser, BlockwiseAnalysisMatchesReference) {
    auto deck = std::make_unique<Deckish>();
    auto ref = std::make_unique<ReferenceAnalyser>();
    ClickTrack music{.bpm = 126.0,
                     .amplitude = 24000.0,
                     .noise = 2000.0,
                     .loudFromS = 4.0,
                     .loudToS = 14.0,
                     .quietGain = 0.2};
    // Full scale, period 2048 frames: every block value is +576 or -576.
    struct {
        void render(int64_t first, int count, int16_t* out) {
            for (int i = 0; i < count; ++i)
                out[2 * i] = out[2 * i + 1] = ((first + i) / 1024) % 2 ? -32768 : 32767;
        }
    } square;
    std::vector<int> bands;
    for (int n = 0; n < 800; ++n) {
        if (n == 300) { // a seek: rings cleared, block indices kept
            deck->analyser.reset();
            ref->reset();
        }
        if (n >= 500 && n < 700)
            deck->feed(square);
        else
            deck->feed(music);
        ref->addFrame(deck->samples.data());
        for (int k = 0; k < ReferenceAnalyser::kLags; ++k)
            ASSERT_EQ(deck->analyser.lagSum(k), ref->lagSum(k)) << "block " << n << " k " << k;
        for (int b = 0; b < 8192; ++b)
            ASSERT_EQ(deck->analyser.envelopeAt(b), ref->envelope(b)) << "block " << n;
        ASSERT_EQ(deck->analyser.band(), ref->band()) << "block " << n;
        if (bands.empty() || bands.back() != ref->band())
            bands.push_back(ref->band());
    }
    EXPECT_GE(bands.size(), 3u) << "the band should have switched";
}

TEST(BeatAnalyser, ClickTracksGiveTheirTempo) {
    const struct {
        const char* name;
        double bpm, expected;
    } cases[] = {
        {"120 (two-beat lag 1225)", 120.0, 120.0},
        {"60 (reported doubled)", 60.0, 120.0},
        {"95", 95.0, 95.0},
        {"140", 140.0, 140.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto deck = std::make_unique<Deckish>();
        ClickTrack track{.bpm = c.bpm};
        deck->feedSeconds(track, 6.0);
        EXPECT_NEAR(deck->analyser.currentBpm(), c.expected, 0.5) << "after 6 s";
        deck->feedSeconds(track, 14.0);
        EXPECT_NEAR(deck->analyser.instantBpm(), c.expected, 0.2);
        EXPECT_NEAR(deck->entry.bpm.load(), c.expected, 0.2);
        EXPECT_GT(deck->record.bpmCount.load(), 100);
    }
}

TEST(BeatAnalyser, SilenceGivesNoTempoAndLeavesTheRecordAlone) {
    auto deck = std::make_unique<Deckish>(20.0);
    deck->entry.bpm = 123.0f;
    ClickTrack silence{.amplitude = 0.0, .noise = 0.0};
    deck->feedSeconds(silence, 10.0);

    EXPECT_FLOAT_EQ(deck->analyser.currentBpm(), 999.9f);
    EXPECT_EQ(deck->entry.bpm.load(), 123.0f);
    EXPECT_EQ(deck->record.bpmCount.load() + deck->record.loudness.load(), 0);
    EXPECT_EQ(pointsOf(deck->record), pointsOf(TrackAnalysis{}));
}

TEST(BeatAnalyser, StartAndEndPointsFindTheLoudPart) {
    struct Case {
        const char* name;
        double loudFrom, loudTo, length;
    };
    // Beats fall every 0.5 s; the loud part starts and ends on a beat.
    const Case cases[] = {
        {"quiet intro and outro", 8.0, 32.0, 40.0},
        {"loud from the first frame", 0.0, 30.0, 30.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto deck = std::make_unique<Deckish>(c.length);
        ClickTrack track{.loudFromS = c.loudFrom, .loudToS = c.loudTo, .quietGain = 0.1};
        deck->feedSeconds(track, c.length);
        deck->decoding = 0;
        deck->feedConstant(0, 4, -1.0f); // covers the 113-block delay of the envelope

        const float start = deck->record.startPoint.load();
        const float end = deck->record.endPoint.load();
        // Slot time 0.0 never counts. The band settles at its second selection (block
        // 1024, 0.84 s), which raises the peak and moves the start to the next beat.
        EXPECT_GT(start, 0.0f);
        EXPECT_NEAR(start * c.length, std::max(c.loudFrom, 1.0), 0.1);
        // The last loud beat is at loudTo - 0.5 s.
        EXPECT_NEAR(end * c.length, c.loudTo - 0.5, 0.1);
        EXPECT_GT(3 * int64_t(deck->record.startEnergy.load()),
                  2 * int64_t(deck->record.peakEnergy.load()));
        EXPECT_GT(2 * int64_t(deck->record.endEnergy.load()),
                  int64_t(deck->record.peakEnergy.load()));
    }
}

// A new record takes the first refined estimate at once; a stored count of 300 holds its
// tempo until 300 estimates in a row agree; a tempo typed by hand, or a deck that is not
// decoding, changes nothing.
TEST(BeatAnalyser, StoredBpmGivesWayOnlyToALongerRun) {
    const struct {
        const char* name;
        int32_t bpmCount;
        float bpm;
        bool decoding;
    } cases[] = {
        {"new record", 0, 0.0f, true},
        {"count 300", 300, 100.0f, true},
        {"typed by the user", TrackAnalysis::kBpmSetByHand, 100.0f, true},
        {"not decoding: no run, nothing written", 0, 128.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto deck = std::make_unique<Deckish>();
        deck->record.bpmCount = c.bpmCount;
        deck->entry.bpm = c.bpm;
        deck->decoding = c.decoding ? 1 : 0;
        ClickTrack track{.bpm = 120.0};
        const bool changes = c.decoding && c.bpmCount != TrackAnalysis::kBpmSetByHand;
        int changedAt = -1;
        for (int n = 0; n < 1100 && changedAt < 0; ++n) { // up to 28.7 s
            deck->feed(track);
            const float bpm = deck->entry.bpm.load();
            const int32_t count = deck->record.bpmCount.load();
            if (bpm == c.bpm && count == c.bpmCount)
                continue;
            changedAt = n;
            ASSERT_TRUE(changes) << "block " << n;
            if (c.bpmCount == 0) {
                EXPECT_EQ(bpm, deck->analyser.currentBpm());
                EXPECT_EQ(count, 1);
            } else {
                EXPECT_EQ(deck->analyser.bpmRunCount(), 300);
                EXPECT_NEAR(bpm, 120.0f, 0.2);
                EXPECT_EQ(count, 300);
            }
        }
        EXPECT_EQ(changedAt >= 0, changes);
    }
}

TEST(BeatAnalyser, LoudnessIsTheLargestSixtyBlockSum) {
    auto deck = std::make_unique<Deckish>();
    // 72 samples of 1000 sum to 72000, block value 17; of -500, -36000 / 4096 = -8
    // (toward zero).
    deck->feedConstant(1000, 59);
    EXPECT_EQ(deck->analyser.lastLoudness(), 0);
    deck->feedConstant(1000, 1);
    EXPECT_EQ(deck->analyser.lastLoudness(), 17 * 32 * 60);
    EXPECT_EQ(deck->record.loudness.load(), 17 * 32 * 60);
    deck->feedConstant(-500, 60);
    EXPECT_EQ(deck->analyser.lastLoudness(), 8 * 32 * 60);
    EXPECT_EQ(deck->record.loudness.load(), 17 * 32 * 60);

    // A seek restarts the window; a load also forgets the last window and the record.
    deck->feedConstant(1000, 30);
    deck->analyser.reset();
    deck->feedConstant(-500, 59);
    EXPECT_EQ(deck->analyser.lastLoudness(), 8 * 32 * 60);
    deck->feedConstant(-500, 1);
    EXPECT_EQ(deck->analyser.lastLoudness(), 8 * 32 * 60);
    deck->analyser.fullReset();
    EXPECT_EQ(deck->analyser.analysis(), nullptr);
    EXPECT_EQ(deck->analyser.currentBpm(), 0.0f);
    deck->feedConstant(3000, 60);
    EXPECT_EQ(deck->record.loudness.load(), 17 * 32 * 60);
    EXPECT_EQ(deck->analyser.lastLoudness(), 52 * 32 * 60);
}

} // namespace
