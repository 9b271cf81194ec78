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
#include <utility>
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
inline std::vector<uint32_t> defaultValues() {
    return {0, 0, 0, 0, 0, 0, 0, 1, 0};
}

// A used block, described field by field: Block("a.mp3").comment("c").sizeKey(1).
struct Block {
    explicit Block(std::string name) : name_(std::move(name)) {}
    Block& comment(std::string v) {
        comment_ = std::move(v);
        return *this;
    }
    Block& sizeKey(uint32_t v) {
        sizeKey_ = v;
        return *this;
    }
    Block& bpm(float v) {
        bpm_ = v;
        return *this;
    }
    Block& lastUse(uint32_t v) {
        lastUse_ = v;
        return *this;
    }
    Block& values(std::vector<uint32_t> v) {
        values_ = std::move(v);
        return *this;
    }
    // Default: as the program writes it.
    Block& blockSize(uint32_t v) {
        blockSize_ = v;
        return *this;
    }
    // Default: the true length.
    Block& descLength(uint32_t v) {
        descLength_ = v;
        return *this;
    }

    std::string name_;
    std::string comment_;
    uint32_t sizeKey_ = 0;
    float bpm_ = 0.0f;
    uint32_t lastUse_ = 0;
    std::vector<uint32_t> values_ = defaultValues();
    std::optional<uint32_t> blockSize_;
    std::optional<uint32_t> descLength_;
};

inline uint32_t trueDescLength(const Block& k) {
    return static_cast<uint32_t>(12 + k.name_.size() + 1 + k.comment_.size() + 1);
}

inline uint32_t programBlockSize(uint32_t descLength) {
    return (descLength + 51) & ~7u;
}

// A used block; the value area holds as many of k.values as fit, then zero padding.
inline Bytes usedBlock(const Block& k) {
    const uint32_t desc = k.descLength_.value_or(trueDescLength(k));
    const uint32_t size = k.blockSize_.value_or(programBlockSize(trueDescLength(k)));
    Bytes b;
    putU32(b, size);
    putU32(b, desc);
    putU32(b, k.sizeKey_);
    putF32(b, k.bpm_);
    putU32(b, k.lastUse_);
    b.insert(b.end(), k.name_.begin(), k.name_.end());
    b.push_back(0);
    b.insert(b.end(), k.comment_.begin(), k.comment_.end());
    b.push_back(0);
    for (uint32_t v : k.values_) {
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
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

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
