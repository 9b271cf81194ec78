// The WAV decoder on files built byte by byte.

#include "audio/decoders/WavDecoder.h"
#include "tests/audio/decoders/DecoderTestSupport.h"

#include <cmath>
#include <cstring>

namespace {

using namespace decodertest;

class WavDecoderTest : public testing::Test {
protected:
    // Writes the file and opens it; the result of open().
    int32_t openBytes(const Bytes& bytes, const char* name = "t.wav") {
        return decoder.open(dir.write(name, bytes).c_str());
    }
    ScratchDir dir;
    WavDecoder decoder;
    Frame block[kBlockFrames];
};

// Which source frame each output frame takes, carried exactly across block boundaries:
// lower rates repeat frames, higher rates take the nearest later one.
TEST_F(WavDecoderTest, OutputFramesTakeTheRightSourceFrames) {
    const struct {
        uint32_t rate;
        int64_t (*source)(int64_t n);
    } cases[] = {
        {11025, [](int64_t n) { return n / 4; }},
        {22050, [](int64_t n) { return n / 2; }},
        {88200, [](int64_t n) { return 2 * n; }},
        {48000, [](int64_t n) { return (n * 48000 + 44099) / 44100; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        ASSERT_EQ(openBytes(indexedFile(c.rate, c.rate * 2)), 2);
        decoder.seek(0.0f);
        for (int b = 0; b < 4; ++b) {
            ASSERT_EQ(decoder.read(block), 1);
            for (int j = 0; j < kBlockFrames; ++j)
                ASSERT_EQ(block[j], c.source(int64_t{b} * kBlockFrames + j))
                    << "block " << b << " frame " << j;
        }
    }
}

// Wide samples keep their top 16 bits (the low bytes of 24- and 32-bit samples are a
// pattern that must not show); mono plays on both sides; of more channels the first two
// play.
TEST_F(WavDecoderTest, SamplesAndChannelsBecomeStereo16Bit) {
    const std::vector<int16_t> values = {0, 1, -1, 32767, -32768, 12345, -12345, 256};
    std::vector<std::vector<int16_t>> all(2);
    for (int i = 0; i < 44100; ++i) {
        all[0].push_back(values[i % values.size()]);
        all[1].push_back(static_cast<int16_t>(-values[i % values.size()] / 2));
    }
    struct Case {
        uint16_t bits;
        bool extensible;
        uint16_t channels = 2;
    };
    for (const Case c :
         {Case{8, false}, Case{16, false}, Case{24, false}, Case{32, false}, Case{8, true},
          Case{16, true}, Case{24, true}, Case{32, true}, Case{16, false, 1}, Case{16, true, 3},
          Case{16, true, 6}, Case{16, true, 8}}) {
        SCOPED_TRACE(testing::Message()
                     << c.bits << " bits, extensible " << c.extensible << ", " << c.channels);
        auto channels = all;
        channels.resize(c.channels, std::vector<int16_t>(44100, 0));
        const WavFormat f{.channels = c.channels, .bits = c.bits, .extensible = c.extensible};
        ASSERT_EQ(openBytes(wavFile(f, samples(channels, c.bits))), 1);
        decoder.seek(0.0f);
        ASSERT_EQ(decoder.read(block), 1);
        const int mask = c.bits == 8 ? ~0xff : ~0; // an 8-bit file only has the top byte
        const auto& right = c.channels == 1 ? all[0] : all[1];
        for (int j = 0; j < kBlockFrames; ++j) {
            ASSERT_EQ(frameLeft(block[j]), all[0][j] & mask) << j;
            ASSERT_EQ(frameRight(block[j]), right[j] & mask) << j;
        }
    }
}

// Float samples (as audio editors export them) are rounded to 16 bits and clipped; a
// sample that is not a number is silence.
TEST_F(WavDecoderTest, FloatSamplesAreRoundedAndClipped) {
    const float in[] = {0.5f, -1.0f, 1.5f, -7.0f, std::nanf(""), -0.25f, 0.6f / 32768, 0.0f};
    const int16_t out[] = {16384, -32768, 32767, -32768, 0, -8192, 1, 0};
    for (const bool extensible : {false, true}) {
        Bytes data;
        for (int i = 0; i < 44100; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &in[i % 8], 4);
            putLe(data, bits); // left
            putLe(data, bits); // right
        }
        const WavFormat f{.tag = 3, .bits = 32, .extensible = extensible, .subFormat = 3};
        ASSERT_EQ(openBytes(wavFile(f, data)), 1);
        decoder.seek(0.0f);
        ASSERT_EQ(decoder.read(block), 1);
        for (int j = 0; j < kBlockFrames; ++j)
            ASSERT_EQ(block[j], makeFrame(out[j % 8], out[j % 8])) << j;
    }
}

// Every supported rate plays at its true speed: a 1000 Hz tone on the left and 1500 Hz
// on the right stay within 1 %, and the track lasts its length in output frames. Each
// block takes the data bytes of 1152 output frames, rounded to whole source frames
// (where given, the count is checked, and the position after each block says it).
TEST_F(WavDecoderTest, EveryRatePlaysAtItsTrueSpeed) {
    struct Case {
        uint32_t rate;
        uint16_t bits, channels;
        int64_t bytesPerBlock = 0;
    };
    for (const Case c : {Case{8000, 16, 1, 416}, Case{11025, 8, 2}, Case{11025, 8, 1, 288},
                         Case{11025, 32, 1, 1152}, Case{16000, 16, 2}, Case{22050, 16, 2, 2304},
                         Case{22050, 24, 2, 3456}, Case{32000, 16, 2, 3344},
                         Case{44100, 16, 2, 4608}, Case{48000, 16, 2}, Case{48000, 24, 1},
                         Case{88200, 16, 2}, Case{96000, 32, 2}, Case{96000, 8, 1}}) {
        SCOPED_TRACE(testing::Message()
                     << c.rate << " Hz " << c.bits << " bits " << c.channels << " channels");
        const uint32_t frames = c.rate * 2; // 2 s
        std::vector<std::vector<int16_t>> channels = {sine(1000, c.rate, frames)};
        if (c.channels == 2)
            channels.push_back(sine(1500, c.rate, frames));
        const WavFormat f{.channels = c.channels, .rate = c.rate, .bits = c.bits};
        const Bytes data = samples(channels, c.bits);
        ASSERT_EQ(openBytes(wavFile(f, data)), 2);
        decoder.seek(0.0f);
        if (c.bytesPerBlock != 0) {
            EXPECT_EQ(decoder.bytesPerBlock(), c.bytesPerBlock);
            for (int b = 1; b <= 2; ++b) {
                ASSERT_EQ(decoder.read(block), 1);
                EXPECT_EQ(std::lround(decoder.position * data.size()), b * c.bytesPerBlock);
            }
            decoder.seek(0.0f);
        }
        const Decoded d = decodeAll(decoder);
        EXPECT_EQ(d.lastResult, 0);
        // Every frame, the last block padded with silence.
        EXPECT_GE(static_cast<double>(d.frames.size()), 2.0 * kSampleRate - 8);
        EXPECT_LT(static_cast<double>(d.frames.size()), 2.0 * kSampleRate + kBlockFrames);
        EXPECT_NEAR(measureFrequency(d.frames, 0, 0, d.frames.size()), 1000.0, 10.0);
        EXPECT_NEAR(measureFrequency(d.frames, 1, 0, d.frames.size()),
                    c.channels == 2 ? 1500.0 : 1000.0, c.channels == 2 ? 15.0 : 10.0);
        EXPECT_TRUE(decoder.position > 0.97f && decoder.position <= 1.0f) << decoder.position;
    }
}

TEST_F(WavDecoderTest, SeekLandsOnTheByteOfThePosition) {
    // 44-byte header and 1,000,000 data bytes of 16-bit stereo: 0.5 is byte 500044,
    // frame 125000.
    const Bytes file = indexedFile(44100, 250000);
    ASSERT_EQ(file.size(), 1000044u);
    ASSERT_EQ(openBytes(file), 5);
    EXPECT_EQ(decoder.sizeKey, 1000044u);
    EXPECT_EQ(decoder.seek(0.5f), 1);
    EXPECT_FLOAT_EQ(decoder.position, 0.5f);
    ASSERT_EQ(decoder.read(block), 1);
    EXPECT_EQ(block[0], 125000u);
    EXPECT_EQ(block[kBlockFrames - 1], 125000u + kBlockFrames - 1);
    EXPECT_FLOAT_EQ(decoder.position, (500000.0f + 4608.0f) / 1000000.0f);

    decoder.seek(0.0f);
    ASSERT_EQ(decoder.read(block), 1);
    EXPECT_EQ(block[0], 0u);
    // Out of range and NaN are held to the track.
    decoder.seek(-3.0f);
    EXPECT_EQ(decoder.position, 0.0f);
    decoder.seek(std::nanf(""));
    EXPECT_EQ(decoder.position, 0.0f);
    decoder.seek(1.0f);
    EXPECT_EQ(decoder.read(block), 0);
    decoder.seek(7.0f);
    EXPECT_EQ(decoder.read(block), 0);

    // A 2-byte chunk before "data" puts the samples at byte 54, not a multiple of 4: the
    // seek still lands on a frame boundary.
    ASSERT_EQ(openBytes(riffWave({chunk("fmt ", fmtBody({})), chunk("note", {1, 2}),
                                  chunk("data", indexData(100000))})),
              2);
    for (float p : {0.1f, 0.25f, 0.3333f, 0.77f}) {
        SCOPED_TRACE(p);
        decoder.seek(p);
        ASSERT_EQ(decoder.read(block), 1);
        EXPECT_EQ(block[0], static_cast<uint32_t>(400000.0 * p) / 4);
    }
}

// Each file opens with its length in seconds, or is refused (0): the chunk walk over odd,
// unknown and lying chunks, and the formats that cannot play.
TEST_F(WavDecoderTest, OpensWhatItCanPlayAndRefusesTheRest) {
    const Bytes oneSecond(176400, 0x11);
    const auto with = [&](const WavFormat& f) { return wavFile(f, oneSecond); };
    const auto withBytes = [&](std::initializer_list<std::pair<size_t, uint8_t>> changes) {
        Bytes file = with({});
        for (auto [at, value] : changes)
            file[at] = value;
        return file;
    };
    Bytes headerOnly = with({});
    headerOnly.resize(12);
    Bytes shortFmt = fmtBody({});
    shortFmt.resize(14);
    Bytes longFmt = fmtBody({}); // a cbSize of 0
    putLe(longFmt, 0, 2);
    Bytes hiding =
        riffWave({chunk("fmt ", fmtBody({})), chunk("LIST", {1, 2}), chunk("data", oneSecond)});
    hiding[36 + 4] = 0xf0; // a chunk size past the end hides what would follow it
    hiding[36 + 7] = 0x7f;
    const struct {
        const char* name;
        Bytes file;
        int32_t seconds = 0;
    } cases[] = {
        {"odd, padded and unknown chunks",
         riffWave({chunk("LIST", {1, 2, 3}), chunk("fmt ", fmtBody({})), chunk("junk", Bytes(7, 9)),
                   chunk("data", oneSecond)}),
         1},
        {"data before fmt", riffWave({chunk("data", oneSecond), chunk("fmt ", fmtBody({}))}), 1},
        {"fmt longer than 16", riffWave({chunk("fmt ", longFmt), chunk("data", oneSecond)}), 1},
        {"RIFF size 0", withBytes({{4, 0}, {5, 0}, {6, 0}, {7, 0}}), 1},
        {"RIFF size beyond the file", withBytes({{4, 0xff}, {5, 0xff}, {6, 0xff}, {7, 0xff}}), 1},
        {"a chunk hiding the data", hiding, 0},
        {"float", wavFile({.tag = 3, .bits = 32}, Bytes(352800, 0)), 1},
        {"64-bit float", with({.tag = 3, .bits = 64})},
        {"adpcm", with({.tag = 2, .bits = 4})},
        {"a-law", with({.tag = 6, .bits = 8})},
        {"extensible float",
         wavFile({.bits = 32, .extensible = true, .subFormat = 3}, Bytes(352800, 0)), 1},
        {"12 bits", with({.bits = 12})},
        {"0 bits", with({.bits = 0})},
        {"0 channels", with({.channels = 0})},
        {"9 channels", with({.channels = 9})},
        {"block align 0", with({.blockAlign = 0})},
        {"block align 3 for 16-bit stereo", with({.blockAlign = 3})},
        {"rate 0", with({.rate = 0})},
        {"rate 4000", with({.rate = 4000})},
        {"rate 192000", with({.rate = 192000})},
        {"fmt shorter than 16", riffWave({chunk("fmt ", shortFmt), chunk("data", oneSecond)})},
        {"no fmt", riffWave({chunk("data", oneSecond)})},
        {"no data", riffWave({chunk("fmt ", fmtBody({}))})},
        {"not RIFF", withBytes({{3, 'X'}})},
        {"not WAVE", withBytes({{8, 'A'}})},
        {"shorter than a second", wavFile({}, Bytes(176396, 0))},
        {"empty", Bytes{}},
        {"header only", headerOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openBytes(c.file), c.seconds);
        if (c.seconds == 0) {
            EXPECT_EQ(decoder.read(block), -1); // nothing open
            EXPECT_EQ(decoder.seek(0.5f), 1);
        }
    }
    expectNonFilesRefused(decoder, dir);
}

TEST_F(WavDecoderTest, PlaysOnlyTheDataThatIsThere) {
    // 1 s of index frames (38 blocks and a bit, the bit padded with silence to a 39th),
    // then a chunk that must not play.
    ASSERT_EQ(openBytes(riffWave({chunk("fmt ", fmtBody({})), chunk("data", indexData(44100)),
                                  chunk("LIST", Bytes(20000, 0x55))})),
              1);
    decoder.seek(0.0f);
    Decoded d = decodeAll(decoder);
    EXPECT_EQ(d.lastResult, 0);
    ASSERT_EQ(d.blocks, 44100 / kBlockFrames + 1);
    for (size_t i = 0; i < d.frames.size(); ++i)
        ASSERT_EQ(d.frames[i], i < 44100 ? i : 0u) << i;
    EXPECT_EQ(decoder.position, 1.0f);

    // A data size beyond the file (a file cut short): the samples there play, then the
    // track ends normally.
    Bytes cut = wavFile({}, Bytes(176400 * 3, 0x22));
    cut.resize(44 + 176400 + 1000);
    ASSERT_EQ(openBytes(cut), 1);
    decoder.seek(0.0f);
    d = decodeAll(decoder);
    EXPECT_EQ(d.lastResult, 0);
    EXPECT_EQ(d.blocks, (176400 + 1000) / 4608 + 1);
}

TEST_F(WavDecoderTest, SurvivesTheFileChangingWhilePlaying) {
    expectPlaysOnWhenTheFileChanges(decoder, dir, indexedFile(44100, 44100 * 3));
    // Opening another file replaces the track; closing leaves nothing open.
    ASSERT_EQ(openBytes(indexedFile(22050, 22050 * 4), "b.wav"), 4);
    EXPECT_EQ(decoder.bytesPerBlock(), 2304);
    decoder.close();
    EXPECT_EQ(decoder.read(block), -1);
    EXPECT_EQ(decoder.bytesPerBlock(), 0);
}

} // namespace
