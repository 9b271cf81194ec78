#include "audio/decoders/Mp3Decoder.h"

#include <cerrno>
#include <cstring>
#include <mpg123.h>
#include <mutex>

namespace {

constexpr long kMinRate = 8000;  // Hz, the lowest MPEG 2.5 rate
constexpr long kMaxRate = 48000; // Hz, the highest MPEG 1 rate
// New source frames one block can pass over: (44099 + 1152 x 48000) / 44100.
constexpr int64_t kMaxSourceFrames =
    (kSampleRate - 1 + int64_t{kBlockFrames} * kMaxRate) / kSampleRate;
// Library calls in a row that deliver nothing before a read gives up (a format notice
// or a resync may each take one).
constexpr int kMaxIdleCalls = 16;
// The file bytes that must be loaded ahead of the library's read position before a
// block is decoded: far more than the frames of one block, whatever the bit rate.
constexpr int64_t kReadyBytes = 64 * 1024;

// The library's read and seek on the decoder's BufferedFile, with POSIX meanings.
mpg123_ssize_t readCallback(void* file, void* destination, size_t count) {
    const int64_t got = static_cast<BufferedFile*>(file)->read(destination, count);
    if (got < 0) {
        errno = EIO;
    }
    return got;
}

off_t seekCallback(void* file, off_t offset, int whence) {
    auto* f = static_cast<BufferedFile*>(file);
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = f->tell();
    } else if (whence == SEEK_END) {
        base = f->size();
    } else if (whence != SEEK_SET) {
        errno = EINVAL;
        return -1;
    }
    if (offset < -base) {
        errno = EINVAL;
        return -1;
    }
    f->seek(base + offset);
    return f->tell();
}

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
    // so that a tag met while playing costs no allocation. Stereo 16-bit at the file's
    // own rate, never resampled by the library: the output format cannot change halfway.
    bool ok =
        mpg123_param(handle, MPG123_VERBOSE, 0, 0.0) == MPG123_OK &&
        mpg123_param(handle, MPG123_ADD_FLAGS,
                     MPG123_QUIET | MPG123_SKIP_ID3V2 | MPG123_FORCE_STEREO, 0.0) == MPG123_OK &&
        mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0) == MPG123_OK &&
        mpg123_replace_reader_handle(handle, readCallback, seekCallback, nullptr) == MPG123_OK &&
        mpg123_format_none(handle) == MPG123_OK;
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; ok && i < count; ++i) {
        ok = mpg123_format(handle, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    }
    if (!ok) {
        mpg123_delete(handle);
        return nullptr;
    }
    return handle;
}

// The file's rate when the library delivers what this class expects, else 0.
long outputRate(mpg123_handle* handle) {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK || channels != 2 ||
        encoding != MPG123_ENC_SIGNED_16 || rate < kMinRate || rate > kMaxRate) {
        return 0;
    }
    return rate;
}

} // namespace

Mp3Decoder::Mp3Decoder() : handle_(makeHandle()), source_(new Frame[kMaxSourceFrames]) {}

Mp3Decoder::~Mp3Decoder() {
    close();
    if (handle_ != nullptr) {
        mpg123_delete(handle_);
    }
}

void Mp3Decoder::close() {
    if (file_.isOpen()) {
        mpg123_close(handle_);
        file_.close();
    }
    sampleRate_ = 0;
    nextRate_ = 0;
    sourceLength_ = 0;
    lengthFrames_ = 0;
    haveCurrent_ = false;
    phase_ = 0;
}

int32_t Mp3Decoder::open(const char* path) {
    close();
    position = 0.0f;
    duration = 0;
    sizeKey = 0;
    if (handle_ == nullptr || path == nullptr) {
        return 0;
    }
    // Only a regular file is accepted: a FIFO or a device could block the reader forever.
    if (!file_.open(path)) {
        return 0;
    }
    file_.setMayWait(true); // opening reads the first frame
    if (mpg123_open_handle(handle_, &file_) != MPG123_OK) {
        file_.close();
        return 0;
    }
    sizeKey = static_cast<uint32_t>(file_.size());

    // The first frame fixes the format; the scan then reads every frame header, which
    // gives the exact length (also of VBR files without an info frame, or with a damaged
    // one) and a full seek index, so that seeking later reads little.
    // The scan reads the whole file here, on the opening thread, which may wait for the
    // disk; afterwards every byte is in memory and the audio thread never waits.
    const long rate = outputRate(handle_);
    off_t length = 0;
    file_.setMayWait(true);
    const bool scanned = rate != 0 && mpg123_scan(handle_) == MPG123_OK &&
                         (length = mpg123_length(handle_)) > 0 &&
                         mpg123_seek(handle_, 0, SEEK_SET) >= 0;
    file_.setMayWait(false);
    if (!scanned) {
        close();
        return 0;
    }
    sampleRate_ = static_cast<int32_t>(rate);
    nextRate_ = sampleRate_;
    sourceLength_ = length;
    lengthFrames_ = length * kSampleRate / rate;
    duration = static_cast<int32_t>(length / rate);
    if (duration == 0) {
        close();
        return 0; // shorter than one second: the deck treats it as unusable
    }
    return duration;
}

int64_t Mp3Decoder::readSource(Frame* destination, int64_t count) {
    auto* bytes = reinterpret_cast<unsigned char*>(destination);
    const size_t wanted = static_cast<size_t>(count) * sizeof(Frame);
    size_t got = 0;
    int idle = 0;
    while (got < wanted) {
        size_t done = 0;
        const int r = mpg123_read(handle_, bytes + got, wanted - got, &done);
        got += done;
        if (r == MPG123_DONE) {
            break;
        }
        if (r == MPG123_NEW_FORMAT) {
            const long rate = outputRate(handle_);
            if (rate == 0) {
                return -1;
            }
            nextRate_ = static_cast<int32_t>(rate);
        } else if (r != MPG123_OK) {
            return -1; // a decoding or read error (also a file cut short in a frame)
        }
        if (done == 0 && ++idle >= kMaxIdleCalls) {
            return -1;
        }
    }
    return static_cast<int64_t>(got / sizeof(Frame));
}

bool Mp3Decoder::ready() {
    return file_.isOpen() && file_.ready(kReadyBytes);
}

int32_t Mp3Decoder::read(Frame* out) {
    if (!file_.isOpen()) {
        return -1;
    }
    // Bytes the disk has not delivered yet (possible only when opening could not load
    // them all): a silent block that takes no time of the track, rather than a short
    // read that the library would take for the end.
    if (!ready()) {
        std::memset(out, 0, kBlockFrames * sizeof(Frame));
        return 1;
    }
    int32_t result;
    if (sampleRate_ == kSampleRate) {
        haveCurrent_ = false;
        const int64_t got = readSource(out, kBlockFrames);
        result = got < 0 ? -1 : got == 0 ? 0 : 1;
        if (result == 1) {
            // The last block of the track is rarely full: pad it with silence rather than
            // drop the end of the music; the next read reports the end.
            std::memset(out + got, 0, (kBlockFrames - got) * sizeof(Frame));
        }
    } else {
        result = readConverted(out);
    }
    if (nextRate_ != sampleRate_) {
        sampleRate_ = nextRate_; // the block just made kept the old rate's timing
        phase_ = 0;
    }
    if (result == 1) {
        // The frame held for the next block has been read but not yet played.
        const off_t told = mpg123_tell(handle_) - (haveCurrent_ ? 1 : 0);
        const double p = told < 0 ? 1.0 : static_cast<double>(told) / sourceLength_;
        position = static_cast<float>(p < 1.0 ? p : 1.0);
    }
    return result;
}

// Each output frame takes the current source frame; the phase then gains the source
// rate, and each whole 44100 in it moves one source frame on. A block reads exactly the
// frames its 1152 steps move onto, so only the current frame and the phase carry over.
int32_t Mp3Decoder::readConverted(Frame* out) {
    if (!haveCurrent_) {
        const int64_t got = readSource(&current_, 1);
        if (got <= 0) {
            return static_cast<int32_t>(got);
        }
        haveCurrent_ = true;
    }
    const int64_t rate = sampleRate_;
    const int64_t steps = (phase_ + kBlockFrames * rate) / kSampleRate;
    const int64_t got = readSource(source_.get(), steps);
    if (got <= 0) {
        return static_cast<int32_t>(got); // at the end the last frame's repeats are dropped
    }
    int64_t phase = phase_;
    int64_t taken = 0; // source_ frames moved onto so far
    int i = 0;
    while (i < kBlockFrames) {
        out[i++] = current_;
        phase += rate;
        const int64_t move = phase / kSampleRate;
        if (move > 0) {
            phase -= move * kSampleRate;
            taken += move;
            if (taken > got) {
                haveCurrent_ = false; // the track ends inside this block
                break;
            }
            current_ = source_[taken - 1];
        }
    }
    std::memset(out + i, 0, (kBlockFrames - i) * sizeof(Frame));
    phase_ = static_cast<int32_t>(phase);
    return 1;
}

int32_t Mp3Decoder::seek(float p) {
    if (!file_.isOpen()) {
        return 1;
    }
    if (!(p > 0.0f)) {
        p = 0.0f; // also NaN
    } else if (p > 1.0f) {
        p = 1.0f;
    }
    // One block earlier than asked: the deck decodes that block and skips inside it to
    // the exact frame.
    double q = p - static_cast<double>(kBlockFrames) / lengthFrames_;
    if (q < 0.0) {
        q = 0.0;
    }
    // The position is that of the source frame the next block starts on, so that the
    // deck's skip to p inside it is exact.
    const auto frame = static_cast<off_t>(q * sourceLength_);
    mpg123_seek(handle_, frame, SEEK_SET);
    haveCurrent_ = false;
    phase_ = 0;
    position = static_cast<float>(static_cast<double>(frame) / sourceLength_);
    return 1;
}
