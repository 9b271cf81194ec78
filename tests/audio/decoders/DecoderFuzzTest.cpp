// Thousands of damaged WAV and MP3 files through both decoders, and of every format the
// FFmpeg decoder plays through it, some cut while open: nothing may crash, hang or read
// outside a buffer (under AddressSanitizer), and every result must be one the interface
// allows.

#include "audio/decoders/FfmpegDecoder.h"
#include "audio/decoders/Mp3Decoder.h"
#include "audio/decoders/WavDecoder.h"
#include "tests/Mutator.h"
#include "tests/audio/decoders/DecoderTestSupport.h"
#include "tests/audio/decoders/EncodedFixtures.h"

namespace {

using namespace decodertest;

constexpr int kMutantsPerKind = 2500;
constexpr int kMutantsPerFfmpegFormat = 2000;
constexpr int kMaxBlocksPerRead = 6;

Bytes wavOf(uint32_t rate, uint16_t bits, uint16_t channels, bool extensible, double seconds,
            const std::vector<Bytes>& before = {}) {
    const WavFormat f{.channels = channels, .rate = rate, .bits = bits, .extensible = extensible};
    std::vector<std::vector<int16_t>> all;
    for (uint16_t c = 0; c < channels; ++c)
        all.push_back(sine(440.0 * (c + 1), static_cast<int>(rate), size_t(rate * seconds)));
    std::vector<Bytes> chunks = before;
    chunks.push_back(chunk("fmt ", fmtBody(f)));
    chunks.push_back(chunk("data", samples(all, bits)));
    chunks.push_back(chunk("LIST", Bytes(33, 'x')));
    return riffWave(chunks);
}

// Where to seek: the ends, beyond them, or anywhere.
float position(Mutator& m) {
    static const float kEdges[] = {0.0f, 1.0f, -0.5f, 2.0f};
    return m.below(5) < 2 ? kEdges[m.below(4)] : static_cast<float>(m.below(1000001)) / 1e6f;
}

struct Tally {
    int opened = 0;
    int blocks = 0;
};

// Runs one file through one decoder; sometimes cuts the file while it is open.
void exercise(Decoder& decoder, const std::string& path, Mutator& m, Tally& tally) {
    const int32_t seconds = decoder.open(path.c_str());
    ASSERT_GE(seconds, 0);
    Frame block[kBlockFrames];
    if (seconds == 0) {
        ASSERT_EQ(decoder.read(block), -1);
        return;
    }
    ++tally.opened;
    for (int pass = 0; pass < 3; ++pass) {
        if (pass == 2 && m.below(4) == 0) {
            ASSERT_EQ(truncate(path.c_str(), m.below(static_cast<size_t>(1) << 16)), 0);
        }
        ASSERT_EQ(decoder.seek(position(m)), 1);
        ASSERT_TRUE(decoder.position >= 0.0f && decoder.position <= 1.0f) << decoder.position;
        for (int i = 0; i < kMaxBlocksPerRead; ++i) {
            const int32_t r = decoder.read(block);
            ASSERT_TRUE(r == 1 || r == 0 || r == -1) << r;
            if (r != 1)
                break;
            ++tally.blocks;
            ASSERT_TRUE(decoder.position >= 0.0f && decoder.position <= 1.0f) << decoder.position;
        }
    }
    decoder.close();
}

void run(const std::vector<Bytes>& bases, uint32_t seed, Tally& wavTally, Tally& mp3Tally) {
    ScratchDir dir;
    Mutator m(seed, {0, 1, 2, 3, 15, 16, 17, 0x7fffffff, 0x80000000, 0xfffffffe, 0xffffffff});
    WavDecoder wav;
    Mp3Decoder mp3;
    for (int i = 0; i < kMutantsPerKind; ++i) {
        const Bytes mutant = m.mutate(bases[i % bases.size()]);
        SCOPED_TRACE(testing::Message() << "mutant " << i << " of seed " << seed);
        const std::string path = dir.write("mutant", mutant);
        exercise(wav, path, m, wavTally);
        dir.write("mutant", mutant); // as it was, if it was cut
        exercise(mp3, path, m, mp3Tally);
        if (testing::Test::HasFatalFailure())
            return;
    }
}

TEST(DecoderFuzz, DamagedWavAndMp3Files) {
    const std::vector<Bytes> wavBases = {
        wavOf(8000, 8, 1, false, 1.2),
        wavOf(11025, 16, 2, false, 1.1),
        wavOf(44100, 16, 1, false, 1.05, {chunk("odd ", {1, 2, 3})}),
        wavOf(48000, 24, 2, true, 1.02),
        wavOf(96000, 8, 3, true, 1.01),
        wavOf(22050, 32, 1, false, 1.1),
    };
    std::vector<Bytes> mp3Bases;
    for (const char* name :
         {"tone_44100.mp3", "tone_48000.mp3", "tone_32000.mp3", "tone_22050.mp3", "tone_11025.mp3",
          "tone_8000_mono.mp3", "tone_44100_mono.mp3", "tone_tagged_vbr.mp3"}) {
        mp3Bases.push_back(readBytes(std::string(ZV_TEST_DATA) + "/" + name));
        ASSERT_FALSE(mp3Bases.back().empty()) << name;
    }
    Tally wav[2];
    Tally mp3[2];
    run(wavBases, 20240601, wav[0], mp3[0]);
    run(mp3Bases, 77, wav[1], mp3[1]);
    // The mutations must leave enough files whole to reach read and seek.
    for (const Tally& t : {wav[0], mp3[1]}) {
        EXPECT_GT(t.opened, kMutantsPerKind / 5);
        EXPECT_GT(t.blocks, kMutantsPerKind);
    }
}

// Two short files of each format (1.1 to 1.3 s, so that decoding stays quick under
// AddressSanitizer), at different rates and channel counts.
TEST(DecoderFuzz, DamagedFfmpegFormats) {
    using namespace fixtures;
    const ScratchDir dir;
    FfmpegDecoder decoder;
    Mutator m(4242, {0, 1, 2, 3, 8, 16, 0x7fffffff, 0x80000000, 0xfffffffe, 0xffffffff});
    const Encoding* formats[] = {&kFlac, &kVorbis, &kOpus, &kAac, &kAlac, &kAiff, &kAdts};
    for (const Encoding* e : formats) {
        SCOPED_TRACE(e->name);
        std::vector<Bytes> bases;
        const int rates[2] = {e == &kOpus ? 48000 : 22050, 48000};
        for (int b = 0; b < 2; ++b) {
            const std::string base = dir.path("base" + std::to_string(b) + e->extension);
            const int64_t frames = rates[b] * (11 + 2 * b) / 10;
            ASSERT_EQ(encode(base, *e, rates[b], 1 + b, frames, tones({440.0, 660.0}, rates[b])),
                      "");
            bases.push_back(readBytes(base));
        }
        Tally tally;
        const std::string name = std::string("mutant") + e->extension;
        for (int i = 0; i < kMutantsPerFfmpegFormat; ++i) {
            SCOPED_TRACE(testing::Message() << "mutant " << i);
            const std::string path = dir.write(name, m.mutate(bases[i % bases.size()]));
            exercise(decoder, path, m, tally);
            if (testing::Test::HasFatalFailure())
                return;
        }
        // Damage to Vorbis's or ALAC's set-up header leaves no file: most opened are many.
        EXPECT_GT(tally.opened, kMutantsPerFfmpegFormat / 12);
        EXPECT_GT(tally.blocks, kMutantsPerFfmpegFormat);
    }
}

} // namespace
