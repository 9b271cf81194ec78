#include "audio/decoders/WavDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/decoders/SampleFormat.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr int64_t kPcmFormatBytes = 16;        // the fields every "fmt " chunk has
constexpr int64_t kExtensibleFormatBytes = 40; // with cbSize, valid bits, mask, GUID
constexpr int kMaxChannels = 8;
constexpr uint32_t kMinRate = 8000;  // Hz
constexpr uint32_t kMaxRate = 96000; // Hz
constexpr int kMaxBytesPerSample = 4;
// Opening waits for this much of the file (about 24 s of CD sound, a fifth of a second
// from a slow USB stick), so that a track starts and seeks near its start without a gap;
// the rest follows while it plays.
constexpr int64_t kStartBytes = 16 * BufferedFile::kChunkBytes;
// Source frames one decimated block can need: (1152 x 96000 + 44099) / 44100.
constexpr int64_t kMaxSourceFrames =
    (int64_t{kBlockFrames} * kMaxRate + kSampleRate - 1) / kSampleRate;
constexpr int64_t kRawBytes = kMaxSourceFrames * kMaxChannels * kMaxBytesPerSample;

// KSDATAFORMAT_SUBTYPE_PCM as stored in the file: {00000001-0000-0010-8000-00aa00389b71}.
constexpr uint8_t kSubtypePcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                     0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The extensible format's sub-format for float samples: the same GUID with tag 3.
constexpr uint8_t kSubtypeFloat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
bool isId(const uint8_t* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

// One little-endian 32-bit float sample as 16 bits, rounded to the nearest and clipped;
// a sample that is not a number is silence.
int16_t floatSample16(const uint8_t* p) {
    const uint32_t bits = le32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (!(value == value))
        return 0;
    const float scaled = std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<int16_t>(std::lrint(scaled));
}

// The top 16 bits of one little-endian sample of the given width.
int16_t sample16(const uint8_t* p, int bytesPerSample) {
    switch (bytesPerSample) {
    case 1:
        return static_cast<int16_t>((p[0] - 128) * 256);
    case 2:
        return static_cast<int16_t>(le16(p));
    case 3:
        return static_cast<int16_t>(le16(p + 1));
    default:
        return static_cast<int16_t>(le16(p + 2));
    }
}

} // namespace

WavDecoder::WavDecoder() : raw_(new uint8_t[kRawBytes]) {}

WavDecoder::~WavDecoder() {
    close();
}

void WavDecoder::close() {
    file_.close();
    format_ = {};
    dataOffset_ = 0;
    dataSize_ = 0;
    bytesPerSecond_ = 0;
    blockBytes_ = 0;
    inPlace_ = false;
    phase_ = 0;
}

int32_t WavDecoder::open(const char* path) {
    close();
    position = 0.0f;
    duration = 0;
    lengthFrames_ = 0;
    sizeKey = 0;
    if (path == nullptr || !file_.open(path)) {
        return 0;
    }
    return openLoaded();
}

int32_t WavDecoder::open(std::unique_ptr<ByteSource> source) {
    close();
    position = 0.0f;
    duration = 0;
    sizeKey = 0;
    if (!file_.open(std::move(source))) {
        return 0;
    }
    return openLoaded();
}

int32_t WavDecoder::openLoaded() {
    sizeKey = static_cast<uint32_t>(file_.size());
    // The header is read on the opening thread, which may wait for the disk.
    file_.setMayWait(true);
    const bool headerRead = readHeader() && file_.waitForStart(kStartBytes);
    file_.setMayWait(false);
    if (!headerRead) {
        close();
        return 0;
    }
    bytesPerSecond_ = int64_t{format_.sampleRate} * format_.blockAlign;
    // The bytes that cover the time of one output block, rounded up, then down to a
    // multiple of 4 and to whole frames: for 16-bit stereo at 22050 Hz 2304 bytes, for
    // 8-bit mono at 11025 Hz 288 bytes, for 16-bit mono at 8000 Hz 416 bytes.
    const int64_t bytes =
        ((bytesPerSecond_ * kBlockFrames + kSampleRate - 1) / kSampleRate) & ~int64_t{3};
    blockBytes_ = bytes / format_.blockAlign * format_.blockAlign;
    inPlace_ = format_.bitsPerSample <= 16 && format_.channels <= 2 &&
               format_.sampleRate <= static_cast<uint32_t>(kSampleRate);
    duration = static_cast<int32_t>(dataSize_ / bytesPerSecond_);
    if (duration == 0) {
        close();
        return 0; // shorter than one second: the deck treats it as unusable
    }
    lengthFrames_ = dataSize_ * kSampleRate / bytesPerSecond_;
    file_.seek(dataOffset_);
    position = 0.0f;
    phase_ = 0;
    return duration;
}

// Walks the chunks of the RIFF form for the first "fmt " and the first "data". Every
// size comes from the file, so each is checked against what the file holds.
bool WavDecoder::readHeader() {
    const int64_t fileSize = file_.size();
    uint8_t header[12];
    file_.seek(0);
    if (file_.read(header, 12) != 12 || !isId(header, "RIFF") || !isId(header + 8, "WAVE")) {
        return false;
    }
    // A RIFF size too small to hold even the form type is a writer that never came back
    // to fill it in: take the file as the form.
    const int64_t riffSize = le32(header + 4);
    const int64_t riffEnd = riffSize < 4 ? fileSize : std::min(fileSize, 8 + riffSize);

    bool haveFormat = false;
    bool haveData = false;
    int64_t offset = 12;
    while (offset + 8 <= riffEnd && !(haveFormat && haveData)) {
        uint8_t chunk[8];
        file_.seek(offset);
        if (file_.read(chunk, 8) != 8) {
            return false;
        }
        const int64_t size = le32(chunk + 4);
        const int64_t body = offset + 8;
        if (!haveFormat && isId(chunk, "fmt ")) {
            if (size < kPcmFormatBytes) {
                return false;
            }
            uint8_t fmt[kExtensibleFormatBytes] = {};
            const int64_t want = std::min(size, kExtensibleFormatBytes);
            if (file_.read(fmt, want) != want) {
                return false;
            }
            const uint16_t tag = le16(fmt);
            if (tag == kFormatExtensible) {
                // cbSize must cover valid bits, channel mask and the sub-format GUID.
                if (want < kExtensibleFormatBytes || le16(fmt + 16) < 22) {
                    return false;
                }
                format_.isFloat = std::memcmp(fmt + 24, kSubtypeFloat, sizeof kSubtypeFloat) == 0;
                if (!format_.isFloat &&
                    std::memcmp(fmt + 24, kSubtypePcm, sizeof kSubtypePcm) != 0) {
                    return false;
                }
            } else if (tag == kFormatFloat) {
                format_.isFloat = true;
            } else if (tag != kFormatPcm) {
                return false;
            }
            format_.channels = le16(fmt + 2);
            format_.sampleRate = le32(fmt + 4);
            // fmt + 8 holds the average byte rate; it is derived from the fields below
            // and is not trusted (a zero there would divide by zero).
            format_.blockAlign = le16(fmt + 12);
            format_.bitsPerSample = le16(fmt + 14);
            const int bits = format_.bitsPerSample;
            if (format_.channels < 1 || format_.channels > kMaxChannels ||
                (bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
                (format_.isFloat && bits != 32) ||
                format_.blockAlign != format_.channels * (bits / 8) ||
                format_.sampleRate < kMinRate || format_.sampleRate > kMaxRate) {
                return false;
            }
            haveFormat = true;
        } else if (!haveData && isId(chunk, "data")) {
            // A data size beyond the file is a file cut short (or written by a streaming
            // writer): play what is there.
            dataOffset_ = body;
            dataSize_ = std::min(size, fileSize - body);
            haveData = true;
        }
        offset = body + size + (size & 1); // chunks are padded to an even length
    }
    if (!haveFormat || !haveData) {
        return false;
    }
    dataSize_ -= dataSize_ % format_.blockAlign;
    return true;
}

int64_t WavDecoder::bytesPerBlock() const {
    if (!file_.isOpen()) {
        return 0;
    }
    if (format_.sampleRate <= static_cast<uint32_t>(kSampleRate)) {
        return blockBytes_;
    }
    const int64_t frames =
        (int64_t{kBlockFrames} * format_.sampleRate - phase_ + kSampleRate - 1) / kSampleRate;
    return frames * format_.blockAlign;
}

int32_t WavDecoder::readData(uint8_t* destination, int64_t count) {
    const int64_t left = dataOffset_ + dataSize_ - file_.tell();
    if (left <= 0) {
        return 0;
    }
    // The last block of a track is rarely whole: what is left is read and the rest is
    // silence (0x80 for 8-bit samples, which are unsigned), so the end is heard.
    const int64_t want = count < left ? count : left;
    const int64_t got = file_.read(destination, want);
    if (got < 0) {
        return -1;
    }
    if (got == 0) {
        return 0; // the file was cut while open: its end came early
    }
    std::memset(destination + got, format_.bitsPerSample == 8 ? 0x80 : 0, count - got);
    return 1;
}

Frame WavDecoder::convertFrame(const uint8_t* source) const {
    const int width = format_.bitsPerSample / 8;
    if (format_.isFloat) {
        const int16_t left = floatSample16(source);
        return makeFrame(left, format_.channels > 1 ? floatSample16(source + width) : left);
    }
    const int16_t left = sample16(source, width);
    const int16_t right = format_.channels > 1 ? sample16(source + width, width) : left;
    return makeFrame(left, right);
}

bool WavDecoder::ready() {
    return file_.isOpen() && file_.ready(bytesPerBlock());
}

int32_t WavDecoder::read(Frame* out) {
    if (!file_.isOpen()) {
        return -1;
    }
    // Bytes the disk has not delivered yet: a silent block that takes no time of the
    // track, rather than waiting on the audio thread.
    if (!ready()) {
        std::fill_n(out, kBlockFrames, Frame{0});
        return 1;
    }
    int32_t result;
    if (inPlace_) {
        result = readSpecialised(out);
    } else if (format_.sampleRate <= static_cast<uint32_t>(kSampleRate)) {
        result = readStretched(out);
    } else {
        result = readDecimated(out);
    }
    if (result == 1) {
        const int64_t consumed = file_.tell() - dataOffset_;
        position = static_cast<float>(static_cast<double>(consumed) / dataSize_);
    }
    return result;
}

// 8/16-bit mono or stereo up to 44100 Hz: read into the block itself and widen it there.
int32_t WavDecoder::readSpecialised(Frame* out) {
    const int32_t r = readData(reinterpret_cast<uint8_t*>(out), blockBytes_);
    if (r != 1) {
        return r;
    }
    int count = static_cast<int>(blockBytes_);
    if (format_.bitsPerSample == 8) {
        expandBytesTo16(out, count);
    } else {
        count /= 2;
    }
    if (format_.channels == 1) {
        expandMonoToStereo(out, count);
    } else {
        count /= 2;
    }
    if (format_.sampleRate != static_cast<uint32_t>(kSampleRate)) {
        stretchTo1152(out, count, static_cast<int>(format_.sampleRate));
    }
    return 1;
}

// Wider samples or more channels up to 44100 Hz: the same byte count per block, converted
// frame by frame, then stretched.
int32_t WavDecoder::readStretched(Frame* out) {
    const int32_t r = readData(raw_.get(), blockBytes_);
    if (r != 1) {
        return r;
    }
    const int frames = static_cast<int>(blockBytes_ / format_.blockAlign);
    for (int i = 0; i < frames; ++i) {
        out[i] = convertFrame(raw_.get() + int64_t{i} * format_.blockAlign);
    }
    if (format_.sampleRate != static_cast<uint32_t>(kSampleRate)) {
        stretchTo1152(out, frames, static_cast<int>(format_.sampleRate));
    }
    return 1;
}

// Above 44100 Hz: nearest-frame decimation. Each output frame takes the current source
// frame, then the phase loses the source rate and, when it turns negative, the source
// steps ahead by as many frames as bring it back to 0..44099. A block reads exactly the
// frames its 1152 steps pass over, so nothing waits between blocks but the phase.
int32_t WavDecoder::readDecimated(Frame* out) {
    const int64_t rate = format_.sampleRate;
    const int64_t frames = (kBlockFrames * rate - phase_ + kSampleRate - 1) / kSampleRate;
    const int32_t r = readData(raw_.get(), frames * format_.blockAlign);
    if (r != 1) {
        return r;
    }
    int64_t accumulator = phase_;
    int64_t source = 0;
    for (int i = 0; i < kBlockFrames; ++i) {
        out[i] = convertFrame(raw_.get() + source * format_.blockAlign);
        accumulator -= rate;
        if (accumulator < 0) {
            const int64_t step = (kSampleRate - 1 - accumulator) / kSampleRate;
            accumulator += step * kSampleRate;
            source += step;
        }
    }
    phase_ = static_cast<int32_t>(accumulator);
    return 1;
}

int32_t WavDecoder::seek(float p) {
    if (!file_.isOpen()) {
        return 1;
    }
    if (!(p > 0.0f)) {
        p = 0.0f; // also NaN
    } else if (p > 1.0f) {
        p = 1.0f;
    }
    // Whole frames from the start of the data, so that an odd header length cannot shift
    // the samples out of step.
    int64_t offset = static_cast<int64_t>(static_cast<double>(dataSize_) * p);
    offset -= offset % format_.blockAlign;
    file_.seek(dataOffset_ + offset);
    phase_ = 0;
    position = p;
    return 1;
}
