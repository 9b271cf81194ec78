#pragma once
// MP3 decoder on libmpg123.
//
// Any MPEG audio rate (8000 to 48000 Hz) and channel count comes out as 44100 Hz stereo
// 16-bit: the library resamples (its forced output rate) and doubles mono, and it keeps
// the frames of a decoded MPEG frame that do not fit the current block for the next one.
// The library is told to stay quiet: it never prints.
//
// Threading as for every Decoder: open()/close() on the user-interface thread while the
// deck is suspended, read()/seek() on the audio thread. read() and seek() only read the
// open file into the buffers the library set up at open().

#include <cstdint>

#include "audio/Decoder.h"

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

    // The file's own sample rate in Hz (0 when none is open).
    int32_t sampleRate() const { return sampleRate_; }
    // The track's length in output frames at 44100 Hz (0 when none is open).
    int64_t lengthFrames() const { return lengthFrames_; }

private:
    mpg123_handle_struct* handle_ = nullptr;
    int fd_ = -1;  // the open file; the library reads it but does not own it
    int32_t sampleRate_ = 0;
    int64_t lengthFrames_ = 0;
};
