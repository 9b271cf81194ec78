#pragma once
// Writes a recording as a RIFF/WAVE file: PCM, 2 channels, 44100 Hz, 16 bits, a
// 44-byte header followed by the frames. The RIFF and "data" sizes in the header can be
// brought up to date at any time, so a file cut short by a crash is still a valid WAV
// up to the last update.
//
// Threading: one thread at a time (the recorder creates it on the user-interface thread
// and then hands it to its writer thread).

#include <cstdint>
#include <string>

constexpr int kWavHeaderBytes = 44;
constexpr int kWavFrameBytes = 4; // 16-bit left, 16-bit right
// The RIFF size field (36 + data bytes) must fit in 32 bits: about 6 h 45 min of sound.
constexpr int64_t kWavMaxFrames = (int64_t{0xffffffff} - 36) / kWavFrameBytes;

// The 44 header bytes for a file holding frames frames of sound.
void makeWavHeader(uint8_t* header44, int64_t frames);

// Stores a frame as it goes to the file: left sample then right, each little-endian.
inline void putFrameBytes(uint8_t* out, uint32_t frame) {
    out[0] = static_cast<uint8_t>(frame);
    out[1] = static_cast<uint8_t>(frame >> 8);
    out[2] = static_cast<uint8_t>(frame >> 16);
    out[3] = static_cast<uint8_t>(frame >> 24);
}

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter(); // finishes an open file
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or empties) the regular file at path and writes the header of an empty
    // recording. On failure nothing stays open and *error (when given) says why.
    bool create(const std::string& path, std::string* error);
    bool isOpen() const { return fd_ >= 0; }

    // Appends frames frames, given as file bytes (kWavFrameBytes each). Returns how many
    // whole frames reached the file: fewer on a write error (a full disk) or at the
    // format's size limit. A later call continues right after the last whole frame.
    int64_t append(const uint8_t* bytes, int64_t frames);
    int64_t frames() const { return frames_; }

    // Rewrites the RIFF and "data" sizes for the frames appended so far.
    bool updateSizes();
    // Brings the sizes up to date, cuts any partial write off the end and closes.
    void finish();

private:
    int fd_ = -1;
    int64_t frames_ = 0;
};
