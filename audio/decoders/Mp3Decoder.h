#pragma once
// MP3 decoder on libmpg123.
//
// Any MPEG audio rate (8000 to 48000 Hz) and channel count comes out as 44100 Hz stereo
// 16-bit. The library decodes at the file's own rate and doubles mono; this class then
// takes, for each output frame, the source frame of that moment (repeating frames below
// 44100 Hz, skipping some above), with the phase and the current source frame carried
// from block to block, so every rate plays at its true speed. A stream whose rate
// changes halfway (stitched files) plays on at the new rate. (The library's own forced
// output rate is not used: it counts the length frame by frame from what the file's
// header claims, which a damaged header turns into many seconds of work.)
// The library is told to stay quiet: it never prints. It reads the file through this
// class's buffered reader (its own reads are a system call per frame header, or per byte
// while it searches junk for the next frame).
//
// Threading as for every Decoder: open()/close() on the user-interface thread while the
// deck is suspended, read()/seek() on the audio thread. read() and seek() only read the
// open file into buffers made at construction or by the library at open().

#include <cstdint>
#include <memory>

#include "audio/decoders/BufferedFile.h"
#include "audio/decoders/Decoder.h"

struct mpg123_handle_struct;

class Mp3Decoder : public Decoder {
public:
    Mp3Decoder();
    ~Mp3Decoder() override;
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    int32_t open(const char* path) override;
    void close() override;
    int32_t read(Frame* out) override;
    int32_t seek(float p) override;
    bool ready() override;

    // The file's own sample rate in Hz (0 when none is open).
    int32_t sampleRate() const { return sampleRate_; }

private:
    // Reads up to count source frames; the count read (short at the end) or -1.
    int64_t readSource(Frame* destination, int64_t count);
    int32_t readConverted(Frame* out);

    mpg123_handle_struct* handle_ = nullptr;
    BufferedFile file_; // the open file; the library reads it through callbacks
    int32_t sampleRate_ = 0;
    // A rate met inside the stream (stitched files, or a false frame header in junk),
    // taken up after the block that met it.
    int32_t nextRate_ = 0;
    int64_t sourceLength_ = 0; // frames at the file's rate
    // Rate conversion state, reset by open() and seek(): the source frame being repeated
    // (valid when haveCurrent_) and the phase in 1/44100 of a source frame step.
    Frame current_ = 0;
    bool haveCurrent_ = false;
    int32_t phase_ = 0;
    std::unique_ptr<Frame[]> source_; // the source frames of one block, made at construction
};
