#pragma once
// Test fixtures for the FFmpeg decoder, encoded by the tests themselves with FFmpeg's
// encoders (flac, libvorbis, libopus, aac, alac, pcm_s16be): no file comes from a
// command-line tool or from outside.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fixtures {

// One encoded format: the muxer and the encoder as FFmpeg names them.
struct Encoding {
    const char* name;  // for messages and file names
    const char* muxer; // "flac", "ogg", "opus", "ipod", "aiff", "adts"
    const char* codec; // "flac", "libvorbis", "libopus", "aac", "alac", "pcm_s16be"
    const char* extension;
    bool lossless;
};

inline const Encoding kFlac{"flac", "flac", "flac", ".flac", true};
inline const Encoding kVorbis{"vorbis", "ogg", "libvorbis", ".ogg", false};
inline const Encoding kOpus{"opus", "opus", "libopus", ".opus", false};
inline const Encoding kAac{"aac", "ipod", "aac", ".m4a", false};
inline const Encoding kAlac{"alac", "ipod", "alac", ".m4a", true};
inline const Encoding kAiff{"aiff", "aiff", "pcm_s16be", ".aiff", true};
inline const Encoding kAdts{"adts", "adts", "aac", ".aac", false};

// Sample of one channel at one frame, full scale 32767.
using Signal = std::function<int16_t(int channel, int64_t frame)>;

// Tone of `hz` at about half of full scale; channel c plays hz[c] (the last for the rest,
// 0 Hz for silence).
Signal tones(std::vector<double> hz, int rate);

// Encodes `frames` frames of signal; empty string when it worked, else why not.
std::string encode(const std::string& path, const Encoding& e, int rate, int channels,
                   int64_t frames, const Signal& signal);

// A file holding only a video stream (MPEG-4 Visual in MP4), of about `seconds`.
std::string encodeVideoOnly(const std::string& path, double seconds);

} // namespace fixtures
