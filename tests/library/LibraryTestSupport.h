#pragma once
// Shared by the library tests: database files built byte by byte from the file layout,
// independently of the product's encoder, and an entry written through the database.

#include <algorithm>
#include <cstring>

#include "core/FatalMessage.h"
#include "library/TrackDatabase.h"
#include "tests/ScratchDir.h"

#include <gtest/gtest.h>

namespace librarytest {

using Bytes = std::vector<uint8_t>;

inline void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Acquires the entry of path, gives it a comment and releases it, which writes it.
inline TrackEntry* remember(TrackDatabase& db, const std::string& path, const std::string& comment,
                            uint32_t sizeKey = 1) {
    TrackEntry* entry = db.openEntry(path, sizeKey);
    db.acquireAnalysis(entry);
    TrackDatabase::setEntryComment(entry, comment);
    db.releaseAnalysis(entry);
    return entry;
}

// The nine values of a new analysis in file order, as raw 32-bit words.
inline std::vector<uint32_t> defaultValues() {
    return {0, 0, 0, 0, 0, 0, 0, 1, 0};
}

// A used block, field by field.
struct Block {
    std::string name{};
    std::string comment{};
    uint32_t sizeKey = 1;
    float bpm = 0.0f;
    uint32_t lastUse = 0;
    std::vector<uint32_t> values = defaultValues();
    uint32_t blockSize = 0;  // 0: as the program writes it
    uint32_t descLength = 0; // 0: the true length
};

inline Bytes header(uint32_t blockSize, uint32_t descLength) {
    Bytes b;
    putLe(b, blockSize);
    putLe(b, descLength);
    return b;
}

// The value area holds as many of the values as fit, then zero padding.
inline Bytes usedBlock(const Block& k) {
    const auto trueDesc = static_cast<uint32_t>(12 + k.name.size() + 1 + k.comment.size() + 1);
    const uint32_t size = k.blockSize != 0 ? k.blockSize : (trueDesc + 51) & ~7u;
    Bytes b = header(size, k.descLength != 0 ? k.descLength : trueDesc);
    uint32_t bpmBits;
    std::memcpy(&bpmBits, &k.bpm, 4);
    for (uint32_t v : {k.sizeKey, bpmBits, k.lastUse})
        putLe(b, v);
    for (const std::string* text : {&k.name, &k.comment}) {
        b.insert(b.end(), text->begin(), text->end());
        b.push_back(0);
    }
    for (uint32_t v : k.values) {
        if (b.size() + 4 <= size)
            putLe(b, v);
    }
    b.resize(std::max<size_t>(b.size(), size), 0);
    return b;
}

inline Bytes freeBlock(uint32_t size) {
    Bytes b = header(size, 0);
    b.resize(size < 8 ? 8 : size, 0);
    return b;
}

inline Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Bytes cut(Bytes bytes, size_t length) {
    bytes.resize(length);
    return bytes;
}

} // namespace librarytest
