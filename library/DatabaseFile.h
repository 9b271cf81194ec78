#pragma once
// The open internal database file: positional reads and writes, its length, and a
// reader that walks it front to back in large chunks (opening a database of a hundred
// thousand blocks must not cost a system call per header).
//
// One running program owns the file for writing: opening for writing takes an
// exclusive lock, and a second copy of the program, which cannot get it, falls back to
// reading only, as it would if the file could not be written at all.
//
// Threading: the user-interface thread only; never the audio thread.

#include <cstdint>
#include <string>
#include <vector>

class DatabaseFile {
public:
    enum class Access { None, ReadWrite, ReadOnly };

    DatabaseFile() = default;
    ~DatabaseFile();
    DatabaseFile(const DatabaseFile&) = delete;
    DatabaseFile& operator=(const DatabaseFile&) = delete;

    // Opens path for reading and writing, creating it when missing; when that fails
    // (or another program holds it), opens an existing file for reading only. With
    // readOnly set only the second way is tried. Anything but a regular file is refused.
    Access open(const std::string& path, bool readOnly);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    Access access() const { return access_; }

    // Length in bytes: found on opening, then kept up to date by the writes made here.
    int64_t size() const { return size_; }

    // Reads up to count bytes at offset; returns the count read (short at the end of the
    // file) or -1 on a read error.
    int64_t readAt(int64_t offset, void* destination, int64_t count) const;
    // Writes all count bytes at offset; false on any failure (the file may then hold a
    // part of them).
    bool writeAt(int64_t offset, const void* source, int64_t count);
    // Writes count zero bytes at offset.
    bool writeZerosAt(int64_t offset, int64_t count);
    // Writes count bytes at the end of the file. On failure the file is cut back to its
    // old length, so that no partial block is left behind.
    bool append(const void* source, int64_t count);
    // Cuts the file to length bytes (never grows it).
    bool truncate(int64_t length);
    // Waits until the data written so far is on the disk (fdatasync): a write made
    // after it cannot reach the disk before the writes made before it.
    bool sync();

private:
    int fd_ = -1;
    Access access_ = Access::None;
    int64_t size_ = 0;
};

// Tests stand in for a crash or a failing disk at every byte of a sequence of writes.
// After `bytes` more bytes have been written, a crash drops every later change to
// every DatabaseFile (writes and cuts report success, as the program would never
// learn otherwise), while a failing disk makes them fail (cuts still work). A write of
// at most 8 bytes at a multiple of 8 lies inside one disk sector, which a disk writes
// whole, so it is never cut in two.
struct DatabaseWriteCut {
    enum class Kind { None, Crash, Fail };
    static void set(Kind kind, int64_t bytes);
    static void clear() { set(Kind::None, 0); }
    // Lets every write through, only counting the bytes. Any cut set, this one too,
    // skips waiting for the disk, which tests of the file's content do not need.
    static void countOnly() { set(Kind::Crash, INT64_MAX); }
    // Bytes written through DatabaseFile since the last set().
    static int64_t written();
};

// Reads a DatabaseFile forwards from a position through a buffer of up to kChunkBytes.
class ChunkReader {
public:
    static constexpr int64_t kChunkBytes = 256 * 1024;

    ChunkReader(const DatabaseFile& file, int64_t position);

    // Copies up to count bytes; returns the count copied (short at the end of the file)
    // or -1 on a read error.
    int64_t read(void* destination, int64_t count);
    // Moves forward by count bytes without reading them.
    void skip(int64_t count) { position_ += count; }
    int64_t position() const { return position_; }

private:
    const DatabaseFile& file_;
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;  // file offset of buffer_[0]
    int64_t bufferLength_ = 0; // valid bytes in buffer_
    int64_t position_ = 0;     // file offset of the next byte to hand out
};
