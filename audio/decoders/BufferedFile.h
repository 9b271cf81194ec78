#pragma once
// Buffered reading of one regular file with positional reads (pread), through a buffer
// allocated once at construction: reading and seeking never allocate, so a decoder may
// use them on the audio thread.
//
// Threading: one thread at a time (the owning decoder's contract).

#include <cstdint>
#include <memory>

class BufferedFile {
public:
    BufferedFile();
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // Opens a regular file for reading (anything else, such as a FIFO or a folder, is
    // refused so that no read can block forever). Closes the previous file first.
    bool open(const char* path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // Length in bytes as found by open().
    int64_t size() const { return size_; }

    // Places the next read at offset (any value; reads past the end return 0 bytes).
    void seek(int64_t offset) { cursor_ = offset < 0 ? 0 : offset; }
    int64_t tell() const { return cursor_; }
    // Copies up to count bytes; returns the count copied (short at the end of the file)
    // or -1 on a read error.
    int64_t read(void* destination, int64_t count);

private:
    static constexpr int64_t kBufferBytes = 64 * 1024;

    bool fill(); // reads the buffer at cursor_; false on error

    int fd_ = -1;
    int64_t size_ = 0;
    int64_t cursor_ = 0;       // file offset of the next byte to hand out
    int64_t bufferStart_ = 0;  // file offset of buffer_[0]
    int64_t bufferLength_ = 0; // valid bytes in buffer_
    std::unique_ptr<uint8_t[]> buffer_;
};
