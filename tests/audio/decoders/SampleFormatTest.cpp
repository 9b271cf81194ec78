// The in-place block conversions. Every buffer is exactly one block long on the heap, so
// AddressSanitizer sees a conversion that reaches past it.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/decoders/SampleFormat.h"

namespace {

std::vector<Frame> block() {
    return std::vector<Frame>(kBlockFrames, 0xDEADBEEFu);
}

TEST(SampleFormat, BytesBecomeSigned16BitSamples) {
    for (int count : {1, 2, 3, 288, 1152, 2304}) {
        SCOPED_TRACE(count);
        auto buffer = block();
        auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
        for (int i = 0; i < count; ++i) {
            bytes[i] = static_cast<uint8_t>(i * 37 + 5);
        }
        expandBytesTo16(buffer.data(), count);
        for (int i = 0; i < count; ++i) {
            int16_t sample;
            std::memcpy(&sample, bytes + 2 * i, 2);
            ASSERT_EQ(sample, (static_cast<uint8_t>(i * 37 + 5) - 128) * 256) << i;
        }
    }
    auto buffer = block();
    auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
    bytes[0] = 0;
    bytes[1] = 128;
    bytes[2] = 255;
    expandBytesTo16(buffer.data(), 3);
    const int16_t* samples = reinterpret_cast<const int16_t*>(bytes);
    EXPECT_EQ(samples[0], -32768);
    EXPECT_EQ(samples[1], 0);
    EXPECT_EQ(samples[2], 32512);
}

TEST(SampleFormat, MonoBecomesTheSameSampleOnBothSides) {
    for (int count : {1, 2, 576, 1151, 1152}) {
        SCOPED_TRACE(count);
        auto buffer = block();
        auto* samples = reinterpret_cast<int16_t*>(buffer.data());
        for (int i = 0; i < count; ++i) {
            samples[i] = static_cast<int16_t>(i * 53 - 30000);
        }
        expandMonoToStereo(buffer.data(), count);
        for (int i = 0; i < count; ++i) {
            const auto expected = static_cast<int16_t>(i * 53 - 30000);
            ASSERT_EQ(frameLeft(buffer[i]), expected) << i;
            ASSERT_EQ(frameRight(buffer[i]), expected) << i;
        }
        if (count < kBlockFrames) {
            EXPECT_EQ(buffer[count], 0xDEADBEEFu) << "wrote past the converted frames";
        }
    }
}

// Source frame k holds the value k, so the output shows which source frame each output
// frame took.
std::vector<Frame> stretched(int count, int rate) {
    auto buffer = block();
    for (int i = 0; i < count; ++i) {
        buffer[i] = static_cast<Frame>(i);
    }
    stretchTo1152(buffer.data(), count, rate);
    return buffer;
}

TEST(SampleFormat, StretchRepeatsFramesInOrder) {
    struct Case {
        int count;
        int rate;
    };
    // Exact fits (22050, 11025), the rounded byte counts the WAV decoder reads (32000:
    // 836 frames, 22050 24-bit: 576) and counts that fall a frame short (8000 Hz: 208 of
    // 208.98).
    for (const Case c : {Case{576, 22050}, Case{288, 11025}, Case{836, 32000}, Case{208, 8000},
                         Case{384, 14700}, Case{1, 8000}}) {
        SCOPED_TRACE(testing::Message() << c.count << " frames at " << c.rate);
        const auto out = stretched(c.count, c.rate);
        EXPECT_EQ(out[kBlockFrames - 1], static_cast<Frame>(c.count - 1));
        EXPECT_EQ(out[0], 0u);
        for (int j = 1; j < kBlockFrames; ++j) {
            ASSERT_LE(out[j - 1], out[j]) << j;
            ASSERT_LE(out[j] - out[j - 1], 1u) << j;
        }
    }
}

TEST(SampleFormat, StretchHalfRateDoublesEveryFrame) {
    const auto out = stretched(576, 22050);
    for (int j = 0; j < kBlockFrames; ++j) {
        ASSERT_EQ(out[j], static_cast<Frame>(j / 2)) << j;
    }
    const auto quarter = stretched(288, 11025);
    for (int j = 0; j < kBlockFrames; ++j) {
        ASSERT_EQ(quarter[j], static_cast<Frame>(j / 4)) << j;
    }
}

TEST(SampleFormat, StretchNeverStepsBeforeTheFirstFrame) {
    // 1152 outputs at 8000 Hz step back 208 times: one more than 208 frames allow. The
    // first frame takes the extra output instead of a read before the buffer.
    const auto out = stretched(208, 8000);
    int firstFrameRepeats = 0;
    int secondFrameRepeats = 0;
    for (int j = 0; j < kBlockFrames; ++j) {
        firstFrameRepeats += out[j] == 0u;
        secondFrameRepeats += out[j] == 1u;
    }
    // The others are taken 5 or 6 times (44100 / 8000 = 5.5).
    EXPECT_GE(secondFrameRepeats, 5);
    EXPECT_LE(secondFrameRepeats, 6);
    EXPECT_GT(firstFrameRepeats, 6);

    // A single frame fills the whole block.
    const auto single = stretched(1, 22050);
    for (int j = 0; j < kBlockFrames; ++j) {
        ASSERT_EQ(single[j], 0u);
    }
}

} // namespace
