#include "audio/recorder/WavWriter.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "core/Frame.h"

namespace {

void putU16(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t* out, uint32_t value) {
    putU16(out, value & 0xffffu);
    putU16(out + 2, value >> 16);
}

void putTag(uint8_t* out, const char* tag) {
    std::copy(tag, tag + 4, out);
}

// Writes all of count bytes at offset; returns the bytes written before an error.
int64_t writeAt(int fd, const uint8_t* bytes, int64_t count, int64_t offset) {
    int64_t done = 0;
    while (done < count) {
        ssize_t n = pwrite(fd, bytes + done, static_cast<size_t>(count - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

void setError(std::string* error, const std::string& path, const std::string& reason) {
    if (error)
        *error = "The recording cannot be saved in the file " + path + ": " + reason;
}

} // namespace

void makeWavHeader(uint8_t* header44, int64_t frames) {
    const uint32_t dataBytes =
        static_cast<uint32_t>(std::clamp<int64_t>(frames, 0, kWavMaxFrames) * kWavFrameBytes);
    putTag(header44, "RIFF");
    putU32(header44 + 4, dataBytes + kWavHeaderBytes - 8);
    putTag(header44 + 8, "WAVE");
    putTag(header44 + 12, "fmt ");
    putU32(header44 + 16, 16);                           // format chunk size
    putU16(header44 + 20, 1);                            // PCM
    putU16(header44 + 22, 2);                            // channels
    putU32(header44 + 24, kSampleRate);                  // samples per second
    putU32(header44 + 28, kSampleRate * kWavFrameBytes); // average bytes per second
    putU16(header44 + 32, kWavFrameBytes);               // block align
    putU16(header44 + 34, 16);                           // bits per sample
    putTag(header44 + 36, "data");
    putU32(header44 + 40, dataBytes);
}

WavWriter::~WavWriter() {
    finish();
}

bool WavWriter::create(const std::string& path, std::string* error) {
    finish();
    // Non-blocking so that a FIFO without a reader is refused instead of hanging; no
    // truncation before we know it is a regular file.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        // ENXIO: a FIFO or a device without its other end.
        setError(error, path,
                 errno == ENXIO ? "it is not a regular file"
                                : std::system_category().message(errno));
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        setError(error, path, "it is not a regular file");
        return false;
    }
    uint8_t header[kWavHeaderBytes];
    makeWavHeader(header, 0);
    if (ftruncate(fd, 0) != 0 || writeAt(fd, header, kWavHeaderBytes, 0) != kWavHeaderBytes) {
        setError(error, path, std::system_category().message(errno));
        close(fd);
        return false;
    }
    fd_ = fd;
    frames_ = 0;
    return true;
}

int64_t WavWriter::append(const uint8_t* bytes, int64_t frames) {
    if (fd_ < 0 || frames <= 0)
        return 0;
    frames = std::min(frames, kWavMaxFrames - frames_);
    const int64_t offset = kWavHeaderBytes + frames_ * kWavFrameBytes;
    // A partial frame at the end is rewritten by the next call or cut off by finish().
    const int64_t whole = writeAt(fd_, bytes, frames * kWavFrameBytes, offset) / kWavFrameBytes;
    frames_ += whole;
    return whole;
}

bool WavWriter::updateSizes() {
    if (fd_ < 0)
        return false;
    uint8_t header[kWavHeaderBytes];
    makeWavHeader(header, frames_);
    return writeAt(fd_, header + 4, 4, 4) == 4 && writeAt(fd_, header + 40, 4, 40) == 4;
}

void WavWriter::finish() {
    if (fd_ < 0)
        return;
    updateSizes();
    // Failures here cannot be reported any more; the sizes written above still describe
    // the frames that reached the file.
    [[maybe_unused]] int rc = ftruncate(fd_, kWavHeaderBytes + frames_ * kWavFrameBytes);
    close(fd_);
    fd_ = -1;
}
