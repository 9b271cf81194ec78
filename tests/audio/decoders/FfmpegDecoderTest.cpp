// The FFmpeg decoder on files the tests encode: every format at several rates and channel
// counts plays at its true speed and level, with the container's exact length; seeks
// land on their frame; bad and mislabelled files end in a status; the choice of decoder
// by name.

#include "audio/decoders/FfmpegDecoder.h"
#include "audio/decoders/DecoderSet.h"
#include "audio/decoders/PlayableFiles.h"
#include "audio/decoders/WaitingRead.h"
#include "tests/audio/decoders/DecoderTestSupport.h"
#include "tests/audio/decoders/EncodedFixtures.h"

#include <algorithm>
#include <filesystem>

namespace {

using namespace decodertest;
using namespace fixtures;

// Reads from the current place to the end, waiting for blocks still being decoded.
Decoded decodeWaiting(Decoder& decoder, int maxBlocks = 100000) {
    Decoded d;
    Frame block[kBlockFrames];
    while (d.blocks < maxBlocks) {
        d.lastResult = readWhenReady(decoder, block);
        if (d.lastResult != 1)
            break;
        d.frames.insert(d.frames.end(), block, block + kBlockFrames);
        ++d.blocks;
    }
    return d;
}

int peakOf(const std::vector<Frame>& frames, int channel, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from; i < to; ++i)
        peak =
            std::max(peak, std::abs(channel == 0 ? frameLeft(frames[i]) : frameRight(frames[i])));
    return peak;
}

struct Case {
    const Encoding* encoding;
    int rate;
    int channels;
};

std::string nameOf(const Case& c) {
    return std::string(c.encoding->name) + "_" + std::to_string(c.rate) + "_" +
           std::to_string(c.channels) + "ch" + c.encoding->extension;
}

constexpr double kLeftHz = 441.0;
constexpr double kRightHz = 882.0;
constexpr double kSeconds = 2.5;

TEST(FfmpegDecoder, EveryFormatPlaysAtItsTrueSpeedLevelAndLength) {
    const Case cases[] = {
        {&kFlac, 22050, 1},   {&kFlac, 44100, 2},   {&kFlac, 48000, 6},   {&kFlac, 96000, 2},
        {&kVorbis, 22050, 2}, {&kVorbis, 44100, 1}, {&kVorbis, 48000, 2}, {&kOpus, 48000, 1},
        {&kOpus, 48000, 2},   {&kAac, 22050, 1},    {&kAac, 44100, 2},    {&kAac, 48000, 2},
        {&kAlac, 22050, 2},   {&kAlac, 44100, 1},   {&kAlac, 48000, 2},   {&kAiff, 22050, 1},
        {&kAiff, 44100, 2},   {&kAiff, 48000, 2},   {&kAdts, 44100, 2},
    };
    const ScratchDir dir;
    FfmpegDecoder decoder;
    for (const Case& c : cases) {
        const std::string name = nameOf(c);
        SCOPED_TRACE(name);
        const std::string path = dir.path(name);
        const auto frames = static_cast<int64_t>(kSeconds * c.rate);
        // Every channel past the first two is silent: the downmix must keep the sides apart.
        const std::vector<double> hz = c.channels == 1
                                           ? std::vector<double>{kLeftHz}
                                           : std::vector<double>{kLeftHz, kRightHz, 0.0};
        ASSERT_EQ(encode(path, *c.encoding, c.rate, c.channels, frames, tones(hz, c.rate)), "");

        ASSERT_EQ(decoder.open(path.c_str()), 2);
        EXPECT_EQ(decoder.sampleRate(), c.rate);
        EXPECT_EQ(decoder.sizeKey, std::filesystem::file_size(path));
        const int64_t expected = frames * kSampleRate / c.rate;
        if (c.encoding == &kAdts) {
            // Raw AAC tells no encoder delay: its length counts the codec's whole frames.
            EXPECT_GE(decoder.lengthFrames(), expected);
            EXPECT_LE(decoder.lengthFrames(), expected + 3 * 1024 * kSampleRate / c.rate);
        } else {
            EXPECT_EQ(decoder.lengthFrames(), expected);
        }

        const Decoded d = decodeWaiting(decoder);
        EXPECT_EQ(d.lastResult, 0);
        // Every frame heard, the last block padded with silence.
        const int64_t length = decoder.lengthFrames();
        EXPECT_EQ(d.blocks, (length + kBlockFrames - 1) / kBlockFrames);
        EXPECT_TRUE(
            std::all_of(d.frames.begin() + length, d.frames.end(), [](Frame f) { return f == 0; }));
        EXPECT_EQ(decoder.position, 1.0f);

        const size_t from = kSampleRate / 4;
        const size_t to = static_cast<size_t>(length) - kSampleRate / 4;
        const double right = c.channels == 1 ? kLeftHz : kRightHz;
        EXPECT_NEAR(measureFrequency(d.frames, 0, from, to), kLeftHz, kLeftHz * 0.003);
        EXPECT_NEAR(measureFrequency(d.frames, 1, from, to), right, right * 0.003);
        // Mono at full level on both sides; a downmix of more channels only softer.
        const int minPeak = c.channels > 2 ? 5000 : 14500;
        EXPECT_GT(peakOf(d.frames, 0, from, to), minPeak);
        EXPECT_GT(peakOf(d.frames, 1, from, to), minPeak);
        EXPECT_LT(peakOf(d.frames, 0, from, to), 17500);
    }
}

TEST(FfmpegDecoder, LosslessFilesAt44100GiveTheirSamplesExactly) {
    const ScratchDir dir;
    FfmpegDecoder decoder;
    const Signal signal = tones({kLeftHz, kRightHz}, kSampleRate);
    const int64_t frames = 100000;
    for (const Encoding* e : {&kFlac, &kAlac, &kAiff}) {
        SCOPED_TRACE(e->name);
        const std::string path = dir.path(std::string("exact") + e->extension);
        ASSERT_EQ(encode(path, *e, kSampleRate, 2, frames, signal), "");
        ASSERT_EQ(decoder.open(path.c_str()), 2);
        const Decoded d = decodeWaiting(decoder);
        ASSERT_GE(d.frames.size(), size_t(frames));
        int64_t wrong = 0;
        for (int64_t i = 0; i < frames; ++i)
            wrong += d.frames[i] != makeFrame(signal(0, i), signal(1, i));
        EXPECT_EQ(wrong, 0);
    }
}

TEST(FfmpegDecoder, SeeksLandOnTheRoundedFrame) {
    const ScratchDir dir;
    // Each frame distinct: a ramp on the left, a tone on the right.
    const auto signal = [](int channel, int64_t frame) {
        return channel == 0 ? static_cast<int16_t>(frame % 30011 - 15000)
                            : tones({kRightHz}, kSampleRate)(0, frame);
    };
    for (const Encoding* e : {&kFlac, &kVorbis, &kAac}) {
        SCOPED_TRACE(e->name);
        const std::string path = dir.path(std::string("seek") + e->extension);
        ASSERT_EQ(encode(path, *e, kSampleRate, 2, 3 * kSampleRate + 777, signal), "");
        FfmpegDecoder decoder;
        ASSERT_EQ(decoder.open(path.c_str()), 3);
        const Decoded whole = decodeWaiting(decoder);
        const int64_t length = decoder.lengthFrames();
        for (const float p : {0.0f, 0.25f, 0.5f, 0.123457f, 0.999f, 1.0f, 1.5f, -1.0f}) {
            SCOPED_TRACE(p);
            ASSERT_EQ(decoder.seek(p), 1);
            const int64_t frame = std::llround(std::clamp(double(p), 0.0, 1.0) * double(length));
            EXPECT_FLOAT_EQ(decoder.position, float(double(frame) / double(length)));
            Frame block[kBlockFrames];
            const int32_t r = readWhenReady(decoder, block);
            if (frame == length) {
                EXPECT_EQ(r, 0);
                continue;
            }
            ASSERT_EQ(r, 1);
            const int64_t heard = std::min<int64_t>(kBlockFrames, length - frame);
            EXPECT_TRUE(std::equal(block, block + heard, whole.frames.begin() + frame));
            EXPECT_TRUE(
                std::all_of(block + heard, block + kBlockFrames, [](Frame f) { return f == 0; }));
            EXPECT_FLOAT_EQ(decoder.position, float(double(frame + heard) / double(length)));
        }
    }
}

TEST(FfmpegDecoder, BadAndMislabelledFilesEndInAStatus) {
    const ScratchDir dir;
    FfmpegDecoder decoder;
    expectNonFilesRefused(decoder, dir);
    EXPECT_EQ(decoder.open(nullptr), 0);

    // No audio stream: a video alone, named as a video or as music.
    const std::string video = dir.path("video.mp4");
    ASSERT_EQ(encodeVideoOnly(video, 2.0), "");
    EXPECT_EQ(decoder.open(video.c_str()), 0);
    std::filesystem::copy_file(video, dir.path("no-audio.m4a"));
    EXPECT_EQ(decoder.open(dir.path("no-audio.m4a").c_str()), 0);
    // Under a second, noise, an empty file.
    ASSERT_EQ(encode(dir.path("short.flac"), kFlac, 44100, 2, 40000, tones({440}, 44100)), "");
    EXPECT_EQ(decoder.open(dir.path("short.flac").c_str()), 0);
    Bytes noise(50000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 7919 >> 3);
    EXPECT_EQ(decoder.open(dir.write("noise.flac", noise).c_str()), 0);
    EXPECT_EQ(decoder.open(dir.write("empty.ogg", Bytes{}).c_str()), 0);
    Frame block[kBlockFrames];
    EXPECT_EQ(decoder.read(block), -1);

    // Cut short: what is there plays, the rest of the length the header claims is
    // silence or an error, never more blocks than the length.
    for (const Encoding* e : {&kFlac, &kVorbis, &kOpus, &kAac, &kAlac, &kAiff, &kAdts}) {
        SCOPED_TRACE(e->name);
        const int rate = e == &kOpus ? 48000 : 44100;
        const std::string whole = dir.path(std::string("whole") + e->extension);
        ASSERT_EQ(encode(whole, *e, rate, 2, 3 * rate, tones({440}, rate)), "");
        const Bytes bytes = readBytes(whole);
        for (const size_t keep : {bytes.size() * 2 / 3, bytes.size() / 3, size_t{200}}) {
            SCOPED_TRACE(keep);
            const std::string cut = dir.write(std::string("cut") + e->extension,
                                              Bytes(bytes.begin(), bytes.begin() + keep));
            const int32_t seconds = decoder.open(cut.c_str());
            ASSERT_GE(seconds, 0);
            const Decoded d = decodeWaiting(decoder);
            EXPECT_NE(d.lastResult, 1);
            EXPECT_LE(d.blocks, (decoder.lengthFrames() + kBlockFrames - 1) / kBlockFrames);
            if (seconds > 0 && keep > bytes.size() / 2) {
                EXPECT_GT(measureFrequency(d.frames, 0, 0, kSampleRate), 430.0);
            }
        }
    }

    // Two Ogg Vorbis streams one after the other (a chained Ogg file): it ends.
    ASSERT_EQ(encode(dir.path("a.ogg"), kVorbis, 44100, 2, 88200, tones({440}, 44100)), "");
    ASSERT_EQ(encode(dir.path("b.ogg"), kVorbis, 22050, 1, 44100, tones({660}, 22050)), "");
    Bytes chained = readBytes(dir.path("a.ogg"));
    const Bytes second = readBytes(dir.path("b.ogg"));
    chained.insert(chained.end(), second.begin(), second.end());
    ASSERT_GT(decoder.open(dir.write("chained.ogg", chained).c_str()), 0);
    const Decoded d = decodeWaiting(decoder);
    EXPECT_NE(d.lastResult, 1);
    EXPECT_GE(d.blocks, 30); // the length the last page claims, here of the second stream
}

TEST(DecoderSet, ChoosesByNameAndHandsRefusedFilesToFfmpeg) {
    const ScratchDir dir;
    DecoderSet set;
    EXPECT_EQ(&set.forName("x.wav"), &set.wav);
    EXPECT_EQ(&set.forName("x.MP3"), &set.mp3);
    EXPECT_EQ(&set.forName("x.mp4"), &set.mp3);
    EXPECT_EQ(&set.forName("noextension"), &set.mp3);
    for (const char* name :
         {"a.flac", "a.OGG", "a.oga", "a.opus", "a.m4a", "a.aac", "a.aif", "a.Aiff"}) {
        EXPECT_EQ(&set.forName(name), &set.ffmpeg) << name;
        EXPECT_TRUE(isPlayableFileName(name)) << name;
    }
    for (const char* name : {".flac", "a.flac.txt", "a.mp4", "a.wma", "flac"})
        EXPECT_FALSE(isPlayableFileName(name)) << name;

    // A FLAC named .mp3 or .wav plays through FFmpeg; noise named .mp3 fails as before.
    ASSERT_EQ(encode(dir.path("real.flac"), kFlac, 44100, 2, 88200, tones({440}, 44100)), "");
    for (const char* name : {"mislabelled.mp3", "mislabelled.wav"}) {
        SCOPED_TRACE(name);
        std::filesystem::copy_file(dir.path("real.flac"), dir.path(name));
        const DecoderSet::Opened opened = set.open(dir.path(name).c_str());
        EXPECT_EQ(opened.decoder, &set.ffmpeg);
        EXPECT_EQ(opened.seconds, 2);
    }
    const DecoderSet::Opened refused = set.open(dir.write("noise.mp3", Bytes(9000, 0x55)).c_str());
    EXPECT_EQ(refused.decoder, &set.mp3);
    EXPECT_EQ(refused.seconds, 0);
    Frame block[kBlockFrames];
    EXPECT_EQ(set.ffmpeg.read(block), -1); // closed again
}

} // namespace
