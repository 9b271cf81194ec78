#include "audio/Mp3Decoder.h"

#include <cstring>
#include <fcntl.h>
#include <mpg123.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kBlockBytes = kBlockFrames * sizeof(Frame);
// Library calls in a row that deliver nothing before read() gives up (a format notice
// or a resync may each take one).
constexpr int kMaxIdleCalls = 16;

mpg123_handle* makeHandle() {
    // Needed once per process before libmpg123 1.27 and harmless after.
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });

    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (handle == nullptr) {
        return nullptr;
    }
    // Quiet: the program keeps its own output clean. ID3v2 tags are skipped, not stored,
    // so that a tag met while playing costs no allocation. One fixed output format, so
    // the stream never changes it halfway: mono is doubled, every rate resampled to 44100.
    const bool ok =
        mpg123_param(handle, MPG123_VERBOSE, 0, 0.0) == MPG123_OK &&
        mpg123_param(handle, MPG123_ADD_FLAGS,
                     MPG123_QUIET | MPG123_SKIP_ID3V2 | MPG123_FORCE_STEREO, 0.0) == MPG123_OK &&
        mpg123_param(handle, MPG123_FORCE_RATE, kSampleRate, 0.0) == MPG123_OK &&
        mpg123_format_none(handle) == MPG123_OK &&
        mpg123_format(handle, kSampleRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    if (!ok) {
        mpg123_delete(handle);
        return nullptr;
    }
    return handle;
}

bool isOutputFormat(mpg123_handle* handle) {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    return mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK &&
           rate == kSampleRate && channels == 2 && encoding == MPG123_ENC_SIGNED_16;
}

}  // namespace

Mp3Decoder::Mp3Decoder() : handle_(makeHandle()) {}

Mp3Decoder::~Mp3Decoder() {
    close();
    if (handle_ != nullptr) {
        mpg123_delete(handle_);
    }
}

void Mp3Decoder::close() {
    if (fd_ >= 0) {
        mpg123_close(handle_);
        ::close(fd_);
        fd_ = -1;
    }
    sampleRate_ = 0;
    lengthFrames_ = 0;
}

int32_t Mp3Decoder::open(const char* path) {
    close();
    position = 0.0f;
    duration = 0;
    sizeKey = 0;
    if (handle_ == nullptr || path == nullptr) {
        return 0;
    }
    // The file is opened here rather than by the library so that only a regular file is
    // accepted (a FIFO or a device could block the reader forever).
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        return 0;
    }
    struct stat info;
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) ||
        mpg123_open_fd(handle_, fd_) != MPG123_OK) {
        ::close(fd_);
        fd_ = -1;
        return 0;
    }
    sizeKey = static_cast<uint32_t>(info.st_size);

    // The first frame fixes the format; the scan then reads every frame header, which
    // gives the exact length (also of VBR files without an info frame) and a full seek
    // index, so that seeking later reads little.
    mpg123_frameinfo frame;
    off_t length = 0;
    if (!isOutputFormat(handle_) || mpg123_info(handle_, &frame) != MPG123_OK ||
        mpg123_scan(handle_) != MPG123_OK || (length = mpg123_length(handle_)) <= 0 ||
        mpg123_seek(handle_, 0, SEEK_SET) < 0) {
        close();
        return 0;
    }
    sampleRate_ = static_cast<int32_t>(frame.rate);
    lengthFrames_ = length;
    duration = static_cast<int32_t>(length / kSampleRate);
    if (duration == 0) {
        close();
        return 0;  // shorter than one second: the deck treats it as unusable
    }
    return duration;
}

int32_t Mp3Decoder::read(Frame* out) {
    if (fd_ < 0) {
        return -1;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    size_t got = 0;
    int idle = 0;
    while (got < kBlockBytes) {
        size_t done = 0;
        const int r = mpg123_read(handle_, bytes + got, kBlockBytes - got, &done);
        got += done;
        if (r == MPG123_DONE) {
            break;
        }
        if (r == MPG123_NEW_FORMAT) {
            if (!isOutputFormat(handle_)) {
                return -1;
            }
        } else if (r != MPG123_OK) {
            return -1;  // a decoding or read error (also a file cut short in a frame)
        }
        if (done == 0 && ++idle >= kMaxIdleCalls) {
            return -1;
        }
    }
    if (got == 0) {
        return 0;
    }
    // The last block of the track is rarely full: pad it with silence rather than drop
    // the end of the music; the next read reports the end.
    std::memset(bytes + got, 0, kBlockBytes - got);
    const off_t told = mpg123_tell(handle_);
    const double p = told < 0 ? 1.0 : static_cast<double>(told) / lengthFrames_;
    position = static_cast<float>(p < 1.0 ? p : 1.0);
    return 1;
}

int32_t Mp3Decoder::seek(float p) {
    if (fd_ < 0) {
        return 1;
    }
    if (!(p > 0.0f)) {
        p = 0.0f;  // also NaN
    } else if (p > 1.0f) {
        p = 1.0f;
    }
    // One block earlier than asked: the deck decodes that block and skips inside it to
    // the exact frame.
    double q = p - static_cast<double>(kBlockFrames) / lengthFrames_;
    if (q < 0.0) {
        q = 0.0;
    }
    mpg123_seek(handle_, static_cast<off_t>(q * lengthFrames_), SEEK_SET);
    position = static_cast<float>(q);
    return 1;
}
