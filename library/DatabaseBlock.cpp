#include "library/DatabaseBlock.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dbblock {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

float loadF32(const uint8_t* p) {
    return std::bit_cast<float>(loadU32(p));
}
void storeF32(uint8_t* p, float v) {
    storeU32(p, std::bit_cast<uint32_t>(v));
}
int32_t loadI32(const uint8_t* p) {
    return static_cast<int32_t>(loadU32(p));
}
void storeI32(uint8_t* p, int32_t v) {
    storeU32(p, static_cast<uint32_t>(v));
}

} // namespace

bool parseDescriptor(const uint8_t* bytes, size_t length, Descriptor& out) {
    if (length < static_cast<size_t>(kMinDescLength))
        return false;
    const auto* text = reinterpret_cast<const char*>(bytes);
    const size_t nameStart = kDescFixedBytes;
    const void* nameEnd = std::memchr(text + nameStart, 0, length - nameStart);
    if (nameEnd == nullptr)
        return false;
    const size_t nameLength = static_cast<const char*>(nameEnd) - (text + nameStart);
    const size_t commentStart = nameStart + nameLength + 1;
    if (commentStart >= length)
        return false;
    const void* commentEnd = std::memchr(text + commentStart, 0, length - commentStart);
    if (commentEnd == nullptr)
        return false;
    const size_t commentLength = static_cast<const char*>(commentEnd) - (text + commentStart);

    out.sizeKey = loadU32(bytes);
    out.bpm = loadF32(bytes + 4);
    out.lastUse = loadU32(bytes + 8);
    out.name = std::string_view(text + nameStart, nameLength);
    out.comment = std::string_view(text + commentStart, commentLength);
    return true;
}

void loadValues(const uint8_t* area, size_t length, TrackAnalysis& into) {
    const size_t count = std::min<size_t>(length / 4, kValueCount);
    const uint8_t* p = area;
    // File order: reserved, start, end, memory, start energy, end energy, bpm count,
    // peak energy, loudness.
    for (size_t i = 0; i < count; ++i, p += 4) {
        switch (i) {
        case 0:
            into.reserved.store(loadU32(p), kRelaxed);
            break;
        case 1:
            into.startPoint.store(loadF32(p), kRelaxed);
            break;
        case 2:
            into.endPoint.store(loadF32(p), kRelaxed);
            break;
        case 3:
            into.memoryPoint.store(loadF32(p), kRelaxed);
            break;
        case 4:
            into.startEnergy.store(loadI32(p), kRelaxed);
            break;
        case 5:
            into.endEnergy.store(loadI32(p), kRelaxed);
            break;
        case 6:
            into.bpmCount.store(loadI32(p), kRelaxed);
            break;
        case 7:
            into.peakEnergy.store(loadI32(p), kRelaxed);
            break;
        case 8:
            into.loudness.store(loadI32(p), kRelaxed);
            break;
        }
    }
}

int64_t descriptorLength(std::string_view name, std::string_view comment) {
    return kDescFixedBytes + static_cast<int64_t>(name.size()) + 1 +
           static_cast<int64_t>(comment.size()) + 1;
}

uint32_t writtenBlockSize(int64_t descLength) {
    const int64_t size = (descLength + kHeaderBytes + kValueBytes + 7) & ~int64_t{7};
    return size > kMaxBlockSize ? 0 : static_cast<uint32_t>(size);
}

std::vector<uint8_t> encodeUsedBlock(const TrackEntry& entry, std::string_view comment,
                                     const TrackAnalysis& values) {
    const int64_t descLength = descriptorLength(entry.name, comment);
    const uint32_t blockSize = writtenBlockSize(descLength);
    if (blockSize == 0)
        return {};
    std::vector<uint8_t> block(blockSize, 0);
    uint8_t* p = block.data();
    storeU32(p, blockSize);
    storeU32(p + 4, static_cast<uint32_t>(descLength));
    storeU32(p + 8, entry.sizeKey);
    storeF32(p + 12, entry.bpm.load(kRelaxed));
    storeU32(p + 16, entry.lastUse);
    uint8_t* text = p + kHeaderBytes + kDescFixedBytes;
    std::memcpy(text, entry.name.data(), entry.name.size());
    text += entry.name.size() + 1; // the terminator is already zero
    std::memcpy(text, comment.data(), comment.size());

    uint8_t* v = p + kHeaderBytes + descLength;
    storeU32(v, values.reserved.load(kRelaxed));
    storeF32(v + 4, values.startPoint.load(kRelaxed));
    storeF32(v + 8, values.endPoint.load(kRelaxed));
    storeF32(v + 12, values.memoryPoint.load(kRelaxed));
    storeI32(v + 16, values.startEnergy.load(kRelaxed));
    storeI32(v + 20, values.endEnergy.load(kRelaxed));
    storeI32(v + 24, values.bpmCount.load(kRelaxed));
    storeI32(v + 28, values.peakEnergy.load(kRelaxed));
    storeI32(v + 32, values.loudness.load(kRelaxed));
    return block;
}

void growBlock(std::vector<uint8_t>& block, uint32_t size) {
    if (block.size() >= size)
        return;
    block.resize(size, 0);
    storeU32(block.data(), size);
}

} // namespace dbblock
