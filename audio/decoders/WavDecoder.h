#pragma once
// WAV (RIFF/WAVE PCM) decoder on plain file I/O.
//
// Plays integer PCM (format tag 1, or WAVE_FORMAT_EXTENSIBLE with the PCM sub-format) of
// 8, 16, 24 or 32 bits, 1 to 8 channels (only the first two are heard) and 8000 to
// 96000 Hz; anything else does not open. Higher rates are decimated to 44100 Hz at their
// true speed; lower rates are stretched block by block from the whole frames that cover
// a block's time (rounded to 4 bytes), which at worst (8000 or 12000 Hz mono) plays
// 0.5 % fast.
//
// Threading as for every Decoder: open()/close() on the user-interface thread while the
// deck is suspended, read()/seek() on the audio thread; read() and seek() never allocate
// (every buffer is made at construction).

#include <cstdint>
#include <memory>

#include "audio/decoders/BufferedFile.h"
#include "audio/decoders/Decoder.h"

class WavDecoder : public Decoder {
public:
    WavDecoder();
    ~WavDecoder() override;
    int32_t open(const char* path) override;
    // The same over any source of the file's bytes (a slow disk in the tests).
    int32_t open(std::unique_ptr<ByteSource> source);
    void close() override;
    int32_t read(Frame* out) override;
    int32_t seek(float p) override;
    bool ready() override;

    // Source bytes one block reads from the file at the format of the open file (0 when
    // none is open); for rates above 44100 it varies by a frame from block to block.
    int64_t bytesPerBlock() const;

private:
    struct PcmFormat {
        uint16_t channels = 0;
        uint32_t sampleRate = 0;
        uint16_t blockAlign = 0; // bytes of one frame of all channels
        uint16_t bitsPerSample = 0;
        bool isFloat = false; // 32-bit IEEE float samples (full scale at +-1.0)
    };

    int32_t openLoaded(); // the common part of open()
    bool readHeader();
    int32_t readSpecialised(Frame* out);
    int32_t readStretched(Frame* out);
    int32_t readDecimated(Frame* out);
    // Reads exactly count bytes of the data chunk: 1, 0 at its end (or the file's), -1 on
    // a read error.
    int32_t readData(uint8_t* destination, int64_t count);
    Frame convertFrame(const uint8_t* source) const;

    BufferedFile file_;
    PcmFormat format_;
    int64_t dataOffset_ = 0;     // file offset of the first sample byte
    int64_t dataSize_ = 0;       // bytes of whole frames in the data chunk, within the file
    int64_t bytesPerSecond_ = 0; // sampleRate x blockAlign
    int64_t blockBytes_ = 0;     // bytes per block for rates up to 44100
    // The 8/16-bit mono/stereo formats up to 44100 Hz are converted in place in the
    // caller's block; the others go through raw_.
    bool inPlace_ = false;
    // Decimation phase carried from block to block, 0..44099, so that the rate holds
    // over the whole track and not just within one block.
    int32_t phase_ = 0;
    std::unique_ptr<uint8_t[]> raw_; // one block of source bytes, the largest format
};
