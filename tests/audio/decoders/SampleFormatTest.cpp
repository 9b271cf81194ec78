// The in-place block conversions. Every buffer is exactly one block long on the heap, so
// AddressSanitizer sees a conversion that reaches past it.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/decoders/SampleFormat.h"

namespace {

std::vector<Frame> block() {
    return std::vector<Frame>(kBlockFrames, 0xDEADBEEFu);
}

TEST(SampleFormat, BytesAndMonoBecomeSigned16BitStereo) {
    for (int count : {1, 2, 3, 288, 1151, 1152}) {
        SCOPED_TRACE(count);
        auto buffer = block();
        auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
        for (int i = 0; i < count; ++i) // the ends and the middle of the range among them
            bytes[i] = i == 0           ? 0
                       : i == count / 2 ? 128
                       : i == count - 1 ? 255
                                        : uint8_t(i * 37 + 5);
        const std::vector<uint8_t> in(bytes, bytes + count);
        expandBytesTo16(buffer.data(), count);
        // Then each 16-bit sample on both sides of a frame.
        expandMonoToStereo(buffer.data(), count);
        for (int i = 0; i < count; ++i) {
            const auto expected = static_cast<int16_t>((in[i] - 128) * 256);
            ASSERT_EQ(frameLeft(buffer[i]), expected) << i;
            ASSERT_EQ(frameRight(buffer[i]), expected) << i;
        }
        EXPECT_TRUE(count == kBlockFrames || buffer[count] == 0xDEADBEEFu)
            << "wrote past the converted frames";
    }
}

// Source frame k holds the value k, so the output shows which source frame each output
// frame took: frames repeat in order, each 44100 / rate times (within one), the last
// source frame ends the block, and the extra output of a count that falls a frame short
// goes to the first frame, not to a read before the buffer.
TEST(SampleFormat, StretchRepeatsFramesInOrder) {
    struct Case {
        int count, rate;
    };
    // Exact fits (22050, 11025), the rounded byte counts the WAV decoder reads (32000:
    // 836 frames, 22050 24-bit: 576) and counts that fall a frame short (8000 Hz: 208 of
    // 208.98).
    for (const Case c : {Case{576, 22050}, Case{288, 11025}, Case{836, 32000}, Case{208, 8000},
                         Case{384, 14700}, Case{1, 8000}, Case{1, 22050}}) {
        SCOPED_TRACE(testing::Message() << c.count << " frames at " << c.rate);
        auto out = block();
        for (int i = 0; i < c.count; ++i)
            out[i] = static_cast<Frame>(i);
        stretchTo1152(out.data(), c.count, c.rate);
        EXPECT_EQ(out[0], 0u);
        EXPECT_EQ(out[kBlockFrames - 1], static_cast<Frame>(c.count - 1));
        std::vector<int> repeats(c.count);
        for (int j = 0; j < kBlockFrames; ++j) {
            ASSERT_LT(out[j], static_cast<Frame>(c.count)) << j;
            ++repeats[out[j]];
            ASSERT_TRUE(j == 0 || out[j] == out[j - 1] || out[j] == out[j - 1] + 1) << j;
            // Exact fits take every frame alike.
            const bool exact = c.count * (44100 / c.rate) == kBlockFrames;
            ASSERT_TRUE(!exact || out[j] == static_cast<Frame>(j * c.rate / 44100)) << j;
        }
        const double each = 44100.0 / c.rate;
        for (int k = 1; k < c.count; ++k)
            ASSERT_NEAR(repeats[k], each, 1.0) << k;
        EXPECT_GE(repeats[0], std::floor(each));
    }
}

} // namespace
