#pragma once
// Decoder for FLAC, Ogg Vorbis, Opus, AAC/M4A, ALAC and AIFF through FFmpeg's libraries.
//
// FFmpeg's demuxing and decoding allocate, so they cannot run on the audio thread. Each
// open track gets a decoding thread of its own that decodes the whole stream from its
// start, at any rate and channel count, into 44100 Hz stereo frames in memory
// (DecodedTrack, about 10 MB a minute; tracks over three hours are refused). read()
// copies decoded frames; ready() is false while the frames of the next block are not
// decoded yet, and a read made anyway gives a block of silence that takes no time of
// the track. The length found by open() never changes: a stream that ends early is
// padded with silence and one that runs on is cut there. Decoding from the start keeps
// every seek exact to the frame, which FFmpeg's own seeking is not for every format.
//
// Threading as for every Decoder: open()/close() on the user-interface thread while the
// deck is suspended, read()/seek()/ready() on the audio thread (or one reader thread);
// those three never allocate, lock, wait or touch the file. open() waits for the first
// seconds to be decoded; close() tells the decoding thread to stop and waits for it at
// most a moment (a thread stuck on a stalled disk is left to end on its own).

#include <cstdint>
#include <memory>
#include <thread>

#include "audio/decoders/Decoder.h"

class DecodedTrack;

class FfmpegDecoder : public Decoder {
public:
    FfmpegDecoder();
    ~FfmpegDecoder() override;
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    int32_t open(const char* path) override;
    void close() override;
    int32_t read(Frame* out) override;
    int32_t seek(float p) override;
    bool ready() override;

    // The file's own sample rate in Hz (0 when none is open).
    int32_t sampleRate() const { return sampleRate_; }

private:
    std::shared_ptr<DecodedTrack> track_; // shared with the decoding thread
    std::thread thread_;
    int64_t next_ = 0; // the frame the next read starts at
    int32_t sampleRate_ = 0;
};
