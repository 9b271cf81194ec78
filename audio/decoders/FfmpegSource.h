#pragma once
// The audio stream of one file opened with FFmpeg's libraries (libavformat, libavcodec,
// libswresample): what opening finds out (the rate and the exact length), and the
// decoding of the whole stream into 44100 Hz stereo 16-bit frames.
//
// Only regular files are opened, only through FFmpeg's "file" protocol and only with the
// demuxers of the formats the program plays: a mislabelled file can neither make FFmpeg
// open other files or addresses (a playlist demuxer would) nor block on a FIFO.
// Mono is doubled to both sides at full level; more than two channels are mixed down.
// The libraries are told once per process to stay quiet.
//
// Threading: open() on one thread; then decodeInto() on one (other) thread. Every call
// may allocate and read the file; none runs on the audio thread. A set stop flag ends
// either at its next packet, and makes any read FFmpeg is blocked in return.

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/Frame.h"

class DecodedTrack;
struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct SwrContext;

class FfmpegSource {
public:
    FfmpegSource() = default;
    ~FfmpegSource();
    FfmpegSource(const FfmpegSource&) = delete;
    FfmpegSource& operator=(const FfmpegSource&) = delete;

    // Opens the file and its best audio stream, and finds its length; false when it has
    // no audio stream FFmpeg can decode or no length. Reads the whole file when the
    // container tells no exact length (raw AAC), so that the length is exact.
    bool open(const char* path, const std::atomic<bool>& stop);

    int64_t fileSize() const { return fileSize_; }
    int32_t sampleRate() const { return sampleRate_; }
    // The stream's length at its own rate, encoder delay taken off.
    int64_t sourceSamples() const { return sourceSamples_; }
    // The same at 44100 Hz.
    int64_t lengthFrames() const;

    // Decodes the stream from its start into track until the track is full, the stream
    // ends (Finished), the stop flag is set, or an error (Failed).
    void decodeInto(DecodedTrack& track);

private:
    bool openInput(const char* url);
    int64_t lengthFromHeaders() const;
    int64_t lengthFromPackets();
    bool openCodec();
    // Frames of the current decoder output into the track; false to stop decoding.
    bool convert(const AVFrame* frame, DecodedTrack& track);
    bool configureResampler(const AVFrame* frame, DecodedTrack& track);
    // What the resampler still holds, into the track.
    bool drainResampler(DecodedTrack& track);
    // Resamples count input samples (none: what the resampler still holds) and appends
    // them to the track; the frames appended, or -1 on a failure.
    int resampleInto(const uint8_t** in, int count, DecodedTrack& track);
    bool receiveFrames(DecodedTrack& track);
    void closeAll();

    const std::atomic<bool>* stop_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* resampler_ = nullptr;
    int stream_ = -1;
    int64_t fileSize_ = 0;
    int32_t sampleRate_ = 0;
    int64_t sourceSamples_ = 0;
    // The input the resampler is set up for.
    int inFormat_ = -1;
    int inRate_ = 0;
    int inChannels_ = 0;
    uint64_t inMask_ = 0;
    std::vector<Frame> converted_; // the resampler's output, grown as needed
};
