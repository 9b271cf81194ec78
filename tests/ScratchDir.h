#pragma once
// A folder of its own under the system's temporary folder, removed with its files;
// whole-file reads; little-endian fields of binary files.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

class ScratchDir {
public:
    // No test can go on without its folder: failing to make one ends the program.
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zv-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("no scratch folder");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    bool ok() const { return !path_.empty(); }
    std::string path(const std::string& name) const { return path_ + "/" + name; }
    // Writes the bytes to a file of that name (sub-folders created) and returns its path.
    std::string write(const std::string& name, std::string_view bytes) const {
        const std::string file = path(name);
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return write(name,
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

inline std::vector<uint8_t> readBytes(const std::string& path) {
    const std::string text = ScratchDir::read(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

inline void putLe(std::vector<uint8_t>& b, uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline uint32_t le32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b.at(at)} | uint32_t{b.at(at + 1)} << 8 | uint32_t{b.at(at + 2)} << 16 |
           uint32_t{b.at(at + 3)} << 24;
}
