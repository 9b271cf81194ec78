#pragma once
// Shared by the database tests: database files built byte by byte (written here from the
// file layout, independently of the product's encoder), a scratch folder, and whole-file
// reads and writes.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace dbtest {

using Bytes = std::vector<uint8_t>;

inline void putU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void putF32(Bytes& b, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    putU32(b, bits);
}

inline uint32_t u32At(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}

// The nine values of an analysis in file order, as raw 32-bit words.
inline std::vector<uint32_t> defaultValues() { return {0, 0, 0, 0, 0, 0, 0, 1, 0}; }

struct Block {
    std::string name;
    std::string comment;
    uint32_t sizeKey = 0;
    float bpm = 0.0f;
    uint32_t lastUse = 0;
    std::vector<uint32_t> values = defaultValues();
    std::optional<uint32_t> blockSize;  // default: as the program writes it
    std::optional<uint32_t> descLength; // default: the true length
};

inline uint32_t trueDescLength(const Block& k) {
    return static_cast<uint32_t>(12 + k.name.size() + 1 + k.comment.size() + 1);
}

inline uint32_t programBlockSize(uint32_t descLength) { return (descLength + 51) & ~7u; }

// A used block; the value area holds as many of k.values as fit, then zero padding.
inline Bytes usedBlock(const Block& k) {
    const uint32_t desc = k.descLength.value_or(trueDescLength(k));
    const uint32_t size = k.blockSize.value_or(programBlockSize(trueDescLength(k)));
    Bytes b;
    putU32(b, size);
    putU32(b, desc);
    putU32(b, k.sizeKey);
    putF32(b, k.bpm);
    putU32(b, k.lastUse);
    b.insert(b.end(), k.name.begin(), k.name.end());
    b.push_back(0);
    b.insert(b.end(), k.comment.begin(), k.comment.end());
    b.push_back(0);
    for (uint32_t v : k.values) {
        if (b.size() + 4 > size)
            break;
        putU32(b, v);
    }
    if (b.size() < size)
        b.resize(size, 0);
    return b;
}

inline Bytes freeBlock(uint32_t size) {
    Bytes b;
    putU32(b, size);
    putU32(b, 0);
    b.resize(size < 8 ? 8 : size, 0);
    return b;
}

inline Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// A fresh folder under the temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = "/tmp/zv-database-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~ScratchDir() {
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored_);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool isValid() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::error_code ignored_;
};

} // namespace dbtest
