#pragma once
// One track file held in memory, read from the disk by a thread of its own.
//
// The file is read in chunks by a loader thread that starts at opening, begins where the
// reader last asked and goes on to the end and round to the start, until the whole file
// is in memory. The decoder's reads on the audio thread only copy chunks already loaded:
// a disk that stalls (a sleeping USB stick, a network share) then costs nothing of what
// is loaded, and a read that reaches a chunk not loaded yet returns short at once, after
// asking the loader for it. While a decoder opens the file (on the user-interface
// thread) its reads may wait for the loader instead (setMayWait).
//
// The memory is the file's size; a track is read once whatever the seeks.
//
// Threading: open(), close() and setMayWait() on one thread while no read runs; the
// reads, seek() and ready() on one thread at a time (the owning decoder's contract).
// Without setMayWait they never block, allocate or touch the file.

#include <cstdint>
#include <memory>

// Where the bytes come from: the loader thread (and nothing else) calls readAt, which
// may block for as long as the disk takes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int64_t size() const = 0;
    // Reads up to count bytes at offset; the count read (0 at the end) or -1 on an error.
    virtual int64_t readAt(int64_t offset, void* destination, int64_t count) = 0;
};

class BufferedFile {
public:
    static constexpr int64_t kChunkBytes = 256 * 1024;

    BufferedFile();
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // Opens a regular file for reading (anything else, such as a FIFO or a folder, is
    // refused so that no read can block forever) and starts loading it. Closes the
    // previous file first.
    bool open(const char* path);
    // The same over any source (tests stand in for a slow disk with one).
    bool open(std::unique_ptr<ByteSource> source);
    // Never waits for the loader: one stalled in a read finishes it on its own.
    void close();
    bool isOpen() const { return state_ != nullptr; }
    // Length in bytes as found by open().
    int64_t size() const { return size_; }

    // While set, a read waits for the chunks it needs; for opening only.
    void setMayWait(bool mayWait) { mayWait_ = mayWait; }
    // Waits until the first `bytes` of the file (all of a smaller one) are loaded, so
    // that a track starts without a gap; false when they cannot be read. Opening only.
    bool waitForStart(int64_t bytes);

    // Places the next read at offset (any value; reads past the end return 0 bytes).
    void seek(int64_t offset) { cursor_ = offset < 0 ? 0 : offset; }
    int64_t tell() const { return cursor_; }
    // True when the next count bytes (up to the end of the file) are loaded; when they
    // are not, the loader is asked to go there first.
    bool ready(int64_t count);
    // Copies up to count bytes; returns the count copied, or -1 on a read error. Short
    // at the end of the file, and, without setMayWait, at a chunk not loaded yet.
    int64_t read(void* destination, int64_t count);

    // What the file shares with its loader thread (defined with the loader).
    struct State;

private:
    // The chunk holding offset when it is loaded, else null (the loader asked for it).
    const uint8_t* chunkAt(int64_t offset, bool& failed);

    std::shared_ptr<State> state_; // shared with the loader thread
    int64_t size_ = 0;
    int64_t cursor_ = 0;
    bool mayWait_ = false;
};
