#pragma once
// Shared by the decoder tests: RIFF/WAVE files built byte by byte, a whole-track decode,
// a frequency measure, the refusal of paths that are no files and a file that changes
// while it plays.

#include <cmath>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/decoders/Decoder.h"
#include "tests/audio/WavCheck.h"

namespace decodertest {

using Bytes = std::vector<uint8_t>;

// One chunk: id, size, body, and the pad byte after an odd body.
inline Bytes chunk(const char* id, const Bytes& body) {
    Bytes b(id, id + 4);
    putLe(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1)
        b.push_back(0);
    return b;
}

// The RIFF/WAVE form around the given chunks, RIFF size filled in.
inline Bytes riffWave(const std::vector<Bytes>& chunks) {
    Bytes body = {'W', 'A', 'V', 'E'};
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return chunk("RIFF", body);
}

struct WavFormat {
    uint16_t tag = 1;
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    bool extensible = false; // WAVE_FORMAT_EXTENSIBLE with subFormat below
    uint16_t subFormat = 1;  // 1 PCM, 3 float
    int blockAlign = -1;     // -1: channels x bits / 8
};

inline Bytes fmtBody(const WavFormat& f) {
    const uint32_t align =
        f.blockAlign >= 0 ? static_cast<uint32_t>(f.blockAlign) : f.channels * (f.bits / 8u);
    Bytes b;
    putLe(b, f.extensible ? 0xFFFE : f.tag, 2);
    putLe(b, f.channels, 2);
    putLe(b, f.rate);
    putLe(b, f.rate * align);
    putLe(b, align, 2);
    putLe(b, f.bits, 2);
    if (f.extensible) {
        putLe(b, 22, 2);     // cbSize
        putLe(b, f.bits, 2); // valid bits
        putLe(b, 3);         // channel mask: front left and right
        putLe(b, f.subFormat, 2);
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.insert(b.end(), tail, tail + sizeof tail);
    }
    return b;
}

// A plain WAV file: "fmt ", then the data.
inline Bytes wavFile(const WavFormat& f, const Bytes& data) {
    return riffWave({chunk("fmt ", fmtBody(f)), chunk("data", data)});
}

// Little-endian sample data of the given width from full-scale 16-bit values, one vector
// per channel, widened as a real file of that width would hold them (low bits set to a
// pattern that must not reach the output's top 16 bits).
inline Bytes samples(const std::vector<std::vector<int16_t>>& channels, int bits) {
    Bytes b;
    const size_t frames = channels.empty() ? 0 : channels[0].size();
    for (size_t i = 0; i < frames; ++i) {
        for (const auto& ch : channels) {
            const auto v = static_cast<uint16_t>(ch[i]);
            if (bits == 8) {
                b.push_back(static_cast<uint8_t>((v >> 8) + 128));
                continue;
            }
            if (bits == 24)
                b.push_back(0x7F);
            if (bits == 32)
                putLe(b, 0x7FFF, 2);
            putLe(b, v, 2);
        }
    }
    return b;
}

// Data whose frame i holds the value i (low 16 bits on the left, high bits on the right),
// so that every output frame, as a Frame, is the index of its source frame.
inline Bytes indexData(uint32_t frames) {
    Bytes data;
    for (uint32_t i = 0; i < frames; ++i)
        putLe(data, i);
    return data;
}

inline Bytes indexedFile(uint32_t rate, uint32_t frames) {
    return wavFile(WavFormat{.rate = rate}, indexData(frames));
}

// A sine of the given frequency, amplitude about half of full scale.
inline std::vector<int16_t> sine(double hz, int rate, size_t frames) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i)
        s[i] = static_cast<int16_t>(std::lround(16000.0 * std::sin(2.0 * M_PI * hz * i / rate)));
    return s;
}

// Paths that are not a regular file are refused, a FIFO without waiting for a writer.
inline void expectNonFilesRefused(Decoder& decoder, const ScratchDir& dir) {
    const std::string folder = dir.path("folder");
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.path("missing"), folder, fifo}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(decoder.open(path.c_str()), 0);
        Frame block[kBlockFrames];
        EXPECT_EQ(decoder.read(block), -1);
    }
}

struct Decoded {
    std::vector<Frame> frames;
    int32_t lastResult = 0; // what the read that ended the loop returned
    int blocks = 0;
};

// Reads from the current place until read() stops returning 1 (at most maxBlocks blocks).
inline Decoded decodeAll(Decoder& decoder, int maxBlocks = 100000) {
    Decoded d;
    Frame block[kBlockFrames];
    while (d.blocks < maxBlocks) {
        d.lastResult = decoder.read(block);
        if (d.lastResult != 1)
            break;
        d.frames.insert(d.frames.end(), block, block + kBlockFrames);
        ++d.blocks;
    }
    return d;
}

// Frequency of a steady tone in Hz at 44100 frames per second, from the rising crossings
// of a band around zero (the band keeps coding noise near zero from adding crossings).
// Uses frames [from, to) of one channel (0 left, 1 right); 0 when under two periods.
inline double measureFrequency(const std::vector<Frame>& frames, int channel, size_t from,
                               size_t to, int band = 2000) {
    long first = -1;
    long last = -1;
    long crossings = 0;
    bool low = false;
    for (size_t i = from; i < to && i < frames.size(); ++i) {
        const int v = channel == 0 ? frameLeft(frames[i]) : frameRight(frames[i]);
        if (v < -band) {
            low = true;
        } else if (v > band && low) {
            low = false;
            first = first < 0 ? static_cast<long>(i) : first;
            last = static_cast<long>(i);
            ++crossings;
        }
    }
    return crossings < 3 ? 0.0
                         : (crossings - 1) * static_cast<double>(kSampleRate) /
                               static_cast<double>(last - first);
}

// A file deleted, cut short or emptied while it plays: the track was read whole at
// opening, so it plays on to its very end and still seeks.
inline void expectPlaysOnWhenTheFileChanges(Decoder& decoder, const ScratchDir& dir,
                                            const Bytes& file) {
    const std::string path = dir.write("changing", file);
    ASSERT_GT(decoder.open(path.c_str()), 0);
    decoder.seek(0.0f);
    const int blocks = decodeAll(decoder).blocks;
    for (const off_t size : {off_t{-1}, off_t(file.size() / 3), off_t{0}}) { // -1: deleted
        SCOPED_TRACE(size);
        ASSERT_GT(decoder.open(dir.write("changing", file).c_str()), 0);
        decoder.seek(0.0f);
        Frame block[kBlockFrames];
        ASSERT_EQ(decoder.read(block), 1);
        ASSERT_EQ(size < 0 ? unlink(path.c_str()) : truncate(path.c_str(), size), 0);
        const Decoded rest = decodeAll(decoder);
        EXPECT_EQ(rest.lastResult, 0);
        EXPECT_EQ(rest.blocks + 1, blocks);
        decoder.seek(0.6f);
        EXPECT_EQ(decoder.read(block), 1);
    }
}

} // namespace decodertest
