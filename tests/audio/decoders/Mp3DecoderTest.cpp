// The MP3 decoder on the tone files under tests/data (made by tools/make-test-data): a
// 1000 Hz tone on the left and 1500 Hz on the right, 3 s, at every MPEG family of rates.

#include <random>

#include "audio/decoders/Mp3Decoder.h"
#include "tests/audio/decoders/DecoderTestSupport.h"

namespace {

using namespace decodertest;

std::string data(const char* name) {
    return std::string(ZV_TEST_DATA) + "/" + name;
}

struct Tone {
    const char* file;
    int nativeRate;
    bool mono;
};

// lame pads low-rate files with its encoder delay and does not mark it for removal, so
// they run up to 0.2 s long; the tone itself must keep its pitch.
constexpr double kToneSeconds = 3.0;
constexpr double kMaxPaddingSeconds = 0.2;

class Mp3DecoderTest : public testing::Test {
protected:
    ScratchDir dir;
    const Bytes tone = readBytes(data("tone_44100.mp3"));
    Mp3Decoder decoder;
    Frame block[kBlockFrames];
};

TEST_F(Mp3DecoderTest, EveryRatePlaysAtItsTrueSpeed) {
    for (const Tone t :
         {Tone{"tone_44100.mp3", 44100, false}, Tone{"tone_48000.mp3", 48000, false},
          Tone{"tone_32000.mp3", 32000, false}, Tone{"tone_22050.mp3", 22050, false},
          Tone{"tone_11025.mp3", 11025, false}, Tone{"tone_8000_mono.mp3", 8000, true},
          Tone{"tone_44100_mono.mp3", 44100, true}, Tone{"tone_tagged_vbr.mp3", 44100, false}}) {
        SCOPED_TRACE(t.file);
        const std::string path = data(t.file);
        const int32_t seconds = decoder.open(path.c_str());
        ASSERT_GT(seconds, 0);
        EXPECT_EQ(decoder.sampleRate(), t.nativeRate);
        EXPECT_EQ(decoder.sizeKey, readBytes(path).size());
        const double length = static_cast<double>(decoder.lengthFrames()) / kSampleRate;
        EXPECT_TRUE(length >= kToneSeconds - 0.001 && length <= kToneSeconds + kMaxPaddingSeconds)
            << length;
        EXPECT_EQ(seconds, static_cast<int32_t>(length));

        decoder.seek(0.0f);
        EXPECT_EQ(decoder.position, 0.0f);
        float last = 0.0f;
        std::vector<Frame> frames;
        while (decoder.read(block) == 1) {
            frames.insert(frames.end(), block, block + kBlockFrames);
            ASSERT_GT(decoder.position, last); // advances with every block
            last = decoder.position;
        }
        EXPECT_EQ(decoder.read(block), 0);
        EXPECT_FLOAT_EQ(last, 1.0f);
        // Every frame of the track, the last block padded to its end (less the few repeats
        // of the very last frame at a converted rate).
        const auto count = static_cast<int64_t>(frames.size());
        EXPECT_TRUE(count >= decoder.lengthFrames() - 8 &&
                    count < decoder.lengthFrames() + kBlockFrames)
            << count;

        // Skip the encoder's start; measure over two seconds.
        const size_t from = kSampleRate / 4;
        const size_t to = from + 2 * kSampleRate;
        EXPECT_NEAR(measureFrequency(frames, 0, from, to), 1000.0, 10.0);
        EXPECT_NEAR(measureFrequency(frames, 1, from, to), t.mono ? 1000.0 : 1500.0, 15.0);
        for (size_t i = 0; t.mono && i < frames.size(); ++i)
            ASSERT_EQ(frameLeft(frames[i]), frameRight(frames[i])) << i;
    }
}

TEST_F(Mp3DecoderTest, SeekStartsOneBlockEarlierAtTheSameSamples) {
    struct Case {
        const char* file;
        // Largest sample difference from a plain decode at the same place. Where the
        // rates divide evenly the samples are the same but for the decoder's warm-up; at
        // 48000 Hz the frame picked for an output frame may be the neighbour of the one a
        // plain decode picks (up to ~3500 on these tones), while a block out of place
        // differs by the full swing.
        int tolerance;
    };
    for (const Case c : {Case{"tone_44100.mp3", 16}, Case{"tone_22050.mp3", 16},
                         Case{"tone_11025.mp3", 16}, Case{"tone_48000.mp3", 4000}}) {
        SCOPED_TRACE(c.file);
        ASSERT_GT(decoder.open(data(c.file).c_str()), 0);
        decoder.seek(0.0f);
        const Decoded whole = decodeAll(decoder);
        const auto length = static_cast<double>(decoder.lengthFrames());

        for (float p : {0.5f, 0.25f, 0.9f, 0.0004f}) {
            SCOPED_TRACE(p);
            EXPECT_EQ(decoder.seek(p), 1);
            const double q = std::max(0.0, p - kBlockFrames / length);
            // Within a source frame: up to 5.5 output frames.
            EXPECT_NEAR(decoder.position, q, 6.0 / length);
            const double seekedTo = decoder.position;
            ASSERT_EQ(decoder.read(block), 1);
            EXPECT_NEAR(decoder.position, seekedTo + kBlockFrames / length, 6.0 / length);
            const auto start = static_cast<size_t>(std::lround(seekedTo * length));
            int worst = 0;
            for (int j = 0; j < kBlockFrames; ++j) {
                const Frame plain = whole.frames[start + j];
                worst = std::max(worst, std::abs(frameLeft(block[j]) - frameLeft(plain)));
                worst = std::max(worst, std::abs(frameRight(block[j]) - frameRight(plain)));
            }
            EXPECT_LE(worst, c.tolerance);
        }
        // At the start the step back is clamped, and the first block is the first block.
        decoder.seek(0.0f);
        EXPECT_EQ(decoder.position, 0.0f);
        ASSERT_EQ(decoder.read(block), 1);
        EXPECT_EQ(std::vector<Frame>(block, block + kBlockFrames),
                  std::vector<Frame>(whole.frames.begin(), whole.frames.begin() + kBlockFrames));
        decoder.seek(std::nanf(""));
        EXPECT_EQ(decoder.position, 0.0f);
        // At and past the end: the last block at most, then the end.
        decoder.seek(5.0f);
        int blocks = 0;
        while (decoder.read(block) == 1)
            ++blocks;
        EXPECT_LE(blocks, 2);
    }
}

TEST_F(Mp3DecoderTest, RefusesWhatItCannotPlay) {
    Bytes noise(64 * 1024);
    std::generate(noise.begin(), noise.end(), std::mt19937(7));
    ASSERT_FALSE(tone.empty());
    const std::pair<const char*, std::string> cases[] = {
        {"shorter than a second", data("tone_short.mp3")},
        {"empty", dir.write("empty.mp3", Bytes{})},
        {"noise", dir.write("noise.mp3", noise)},
        {"text", dir.write("text.mp3", Bytes(5000, 'a'))},
        {"cut to half a second", dir.write("cut.mp3", Bytes(tone.begin(), tone.begin() + 6000))},
        {"a WAV file", dir.write("wav.mp3", wavFile(WavFormat{}, Bytes(176400 * 2, 0)))},
    };
    for (const auto& [name, path] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(decoder.open(path.c_str()), 0);
        EXPECT_EQ(decoder.read(block), -1);
        EXPECT_EQ(decoder.seek(0.3f), 1);
    }
    expectNonFilesRefused(decoder, dir);
}

TEST_F(Mp3DecoderTest, PlaysThroughJunkAndSurvivesTheFileChanging) {
    ASSERT_GT(tone.size(), 30000u);
    // A run of junk in the middle: the decoder finds the frames after it again.
    Bytes junked = tone;
    std::fill(junked.begin() + 15000, junked.begin() + 15400, 0x00);
    ASSERT_GT(decoder.open(dir.write("junk.mp3", junked).c_str()), 0);
    decoder.seek(0.0f);
    const Decoded d = decodeAll(decoder);
    EXPECT_EQ(d.lastResult, 0);
    EXPECT_GT(d.frames.size(), 2u * kSampleRate);
    expectPlaysOnWhenTheFileChanges(decoder, dir, tone);
}

} // namespace
