// The FFmpeg decoder's own decoding thread against its reader: a reader that goes on
// while the track is still being decoded gets either the exact frames or a silent block
// that takes no time of the track, never anything else; closing mid-decode stops the
// thread and leaves the decoder ready for the next file.

#include "audio/decoders/FfmpegDecoder.h"
#include "audio/decoders/WaitingRead.h"
#include "tests/ScratchDir.h"
#include "tests/audio/decoders/EncodedFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>

namespace {

using namespace fixtures;

constexpr int64_t kFrames = int64_t{90} * kSampleRate;

// Every frame of the signal distinct from its neighbours, so a block from the wrong place
// cannot pass for the right one.
int16_t rampAndTone(int channel, int64_t frame) {
    return channel == 0 ? static_cast<int16_t>(frame % 40009 - 20000)
                        : static_cast<int16_t>(frame / 40009 % 2 ? 9000 : -9000);
}

Frame expectedAt(int64_t frame) {
    return frame < kFrames ? makeFrame(rampAndTone(0, frame), rampAndTone(1, frame)) : 0;
}

class FfmpegThreads : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        ASSERT_EQ(encode(dir_->path("long.flac"), kFlac, kSampleRate, 2, kFrames, rampAndTone), "");
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string path() { return dir_->path("long.flac"); }
    static ScratchDir* dir_;
};

ScratchDir* FfmpegThreads::dir_ = nullptr;

TEST_F(FfmpegThreads, AReaderRacingTheDecoderGetsExactFramesOrSilenceInPlace) {
    FfmpegDecoder decoder;
    ASSERT_EQ(decoder.open(path().c_str()), 90);
    ASSERT_EQ(decoder.lengthFrames(), kFrames);
    int64_t wrong = 0;
    int64_t blocks = 0;
    int32_t last = 1;
    // As the audio thread does: never waits, reads when ready, sometimes reads anyway.
    std::thread reader([&] {
        Frame block[kBlockFrames];
        // Far ahead first, where decoding has most likely not arrived yet.
        decoder.seek(0.9f);
        int64_t at = std::llround(0.9 * double(kFrames));
        for (int turn = 0; last == 1 && turn < 50'000'000; ++turn) {
            const bool ready = decoder.ready();
            if (!ready && turn % 7 != 0) {
                std::this_thread::yield();
                continue;
            }
            const float before = decoder.position;
            last = decoder.read(block);
            if (last != 1)
                break;
            if (!ready) {
                // Read anyway: either silence in place, or the block, had it come since.
                if (decoder.position == before) {
                    wrong +=
                        std::count_if(block, block + kBlockFrames, [](Frame f) { return f != 0; });
                    continue;
                }
            }
            for (int i = 0; i < kBlockFrames; ++i)
                wrong += block[i] != expectedAt(at + i);
            at += kBlockFrames;
            ++blocks;
            if (at >= kFrames && blocks < 1000) {
                decoder.seek(0.0f); // then the whole track from the start
                at = 0;
            }
        }
    });
    reader.join();
    EXPECT_EQ(last, 0);
    EXPECT_EQ(wrong, 0);
    const int64_t tail =
        (kFrames - std::llround(0.9 * double(kFrames)) + kBlockFrames - 1) / kBlockFrames;
    EXPECT_EQ(blocks, tail + (kFrames + kBlockFrames - 1) / kBlockFrames);
}

TEST_F(FfmpegThreads, ClosingMidDecodeStopsTheThreadAndTheDecoderGoesOn) {
    auto decoder = std::make_unique<FfmpegDecoder>();
    Frame block[kBlockFrames];
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(decoder->open(path().c_str()), 90);
        // The decoding thread is still at work (it decodes far ahead of the first block).
        ASSERT_EQ(readWhenReady(*decoder, block), 1);
        EXPECT_EQ(block[100], expectedAt(100));
        if (round % 3 == 0) {
            decoder->seek(0.5f);
            ASSERT_EQ(readWhenReady(*decoder, block), 1);
            EXPECT_EQ(block[0], expectedAt(std::llround(0.5 * double(kFrames))));
        }
        if (round % 4 == 3) {
            decoder = std::make_unique<FfmpegDecoder>(); // destroyed mid-decode
            continue;
        }
        decoder->close();
        EXPECT_EQ(decoder->read(block), -1);
        EXPECT_EQ(decoder->lengthFrames(), 0);
        EXPECT_FALSE(decoder->ready());
    }
}

} // namespace
