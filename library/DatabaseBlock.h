#pragma once
// The blocks of the internal database file, byte by byte. The file is a sequence of
// blocks with no file header; every integer is little-endian and every float IEEE 754
// single precision.
//
//   block header  u32 blockSize (whole block, header included), u32 descLength (0 = free)
//   descriptor    u32 sizeKey, f32 bpm, u32 last use, name NUL, comment NUL
//   value area    the nine TrackAnalysis values, 4 bytes each, then zero padding
//
// A block the program writes is 8 + descLength + 36 bytes rounded up to a multiple of 8.
// A reader takes as many values as whole 4-byte units fit between the descriptor and
// blockSize, so older or shorter blocks keep defaults for the values they lack.
//
// Pure functions over byte buffers; any thread.

#include "core/TrackRecord.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dbblock {

constexpr int64_t kHeaderBytes = 8;
constexpr int64_t kDescFixedBytes = 12; // sizeKey, bpm, last use
constexpr int64_t kMinDescLength = 14;  // the fixed part and two empty strings
constexpr int kValueCount = 9;
constexpr int64_t kValueBytes = 4 * kValueCount;
// Blocks are read with blockSize taken as a signed number, so none may reach 2^31.
constexpr int64_t kMaxBlockSize = 0x7fffffff;

inline uint32_t loadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void storeU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

struct BlockHeader {
    uint32_t blockSize = 0;
    uint32_t descLength = 0;

    static BlockHeader from(const uint8_t* p) { return {loadU32(p), loadU32(p + 4)}; }
    bool isFree() const { return descLength == 0; }
};

// The descriptor of a used block. The strings point into the buffer it was parsed from.
struct Descriptor {
    uint32_t sizeKey = 0;
    float bpm = 0.0f;
    uint32_t lastUse = 0;
    std::string_view name;
    std::string_view comment;
};

// Parses length bytes. False when the descriptor is shorter than its fixed part and two
// terminators, or when the name and the comment are not both NUL-terminated inside it:
// such a block is treated as corrupt rather than cut, since its end cannot be trusted.
bool parseDescriptor(const uint8_t* bytes, size_t length, Descriptor& out);

// The values present in a value area of length bytes, in file order; the rest of into
// is left as it is.
void loadValues(const uint8_t* area, size_t length, TrackAnalysis& into);

// The descriptor length and the block size that the program writes for these strings;
// the size is 0 when the block would not fit the format.
int64_t descriptorLength(std::string_view name, std::string_view comment);
uint32_t writtenBlockSize(int64_t descLength);

// The whole block of an entry as the program writes it (zero padding included), with
// the given effective comment and the entry's current values. Empty when the strings
// are too long for the format.
std::vector<uint8_t> encodeUsedBlock(const TrackEntry& entry, std::string_view comment,
                                     const TrackAnalysis& values);

// Makes an encoded block size bytes long (size >= its current length): the extra bytes
// become padding.
void growBlock(std::vector<uint8_t>& block, uint32_t size);

} // namespace dbblock
