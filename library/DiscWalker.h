#pragma once
// The folder walk of both scans: every music file under a mounted volume becomes one
// catalogue line. Files of a folder come before its subfolders, depth first, names in
// byte order so two scans of the same tree give the same lines.
//
// The walk never follows a symbolic link (a linked folder may lead back up the tree or
// onto another disc), never leaves the file system it started on (/proc, /sys and other
// volumes mounted below the root), and skips names holding a carriage return or a line
// feed, which would break the one-line-per-file catalogue. A folder that cannot be read
// or vanishes meanwhile is skipped.
//
// Threading: walk() runs on the scan's worker thread; requestStop() and currentPath()
// may be called from any thread while it runs.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

// What a scan looks for: MP3 files, and the other formats the decoders play (WAV and
// any added later).
enum ScanKinds { kScanMp3 = 1, kScanOthers = 2, kScanAll = 3 };

// True when a file of that name is wanted for the kinds.
bool scanWants(std::string_view name, int kinds);

// A catalogue line: head (a disc's "NAME=" or a drive's "/mount/point:"), the path below
// the volume (starting with '/'), ',' and the size's low 32 bits as a signed number.
std::string catalogueLine(std::string_view head, std::string_view relativePath, uint64_t size);

class DiscWalker {
public:
    // Takes each line (without its line end); false stops the walk (a write failed).
    using LineSink = std::function<bool(std::string_view line)>;
    // The file system of a folder; tests give another answer for some folder to stand
    // for a mount point. Defaults to the device of the folder's stat.
    using DeviceOf = std::function<uint64_t(const std::string& path, uint64_t statDevice)>;

    // Deeper folders are not visited: bounds the open folders and the stack.
    static constexpr int kMaxDepth = 128;

    DiscWalker() = default;
    DiscWalker(const DiscWalker&) = delete;
    DiscWalker& operator=(const DiscWalker&) = delete;

    void setDeviceOf(DeviceOf deviceOf) { deviceOf_ = std::move(deviceOf); }

    // Walks the folder root (a mount point), writing a line per wanted file with the
    // given head. Returns the number of lines written; false in *complete when the root
    // could not be read, the walk was stopped or the sink refused a line.
    uint64_t walk(const std::string& root, std::string_view head, int kinds, const LineSink& sink,
                  bool* complete = nullptr);

    // Ends the walk at the next file or folder, and any later walk at once until cleared.
    void requestStop() { stop_.store(true, std::memory_order_relaxed); }
    void clearStop() { stop_.store(false, std::memory_order_relaxed); }
    bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }
    // The folder or file the walk is at, for the progress window.
    std::string currentPath() const;

private:
    void walkFolder(int parentFd, const char* name, const std::string& path,
                    std::string_view relative, std::string_view head, int kinds,
                    const LineSink& sink, uint64_t device, int depth);
    void publish(const std::string& path);

    DeviceOf deviceOf_;
    // Relaxed: the flag only asks the walk to end soon; nothing is published with it.
    std::atomic<bool> stop_{false};
    bool refused_ = false;
    uint64_t written_ = 0;
    mutable std::mutex pathLock_;
    std::string currentPath_;
};
