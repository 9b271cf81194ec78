#include "library/DiscWalker.h"

#include "audio/decoders/PlayableFiles.h"
#include "core/AsciiCase.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string joinPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.ends_with('/'))
        path += '/';
    path += name;
    return path;
}

bool lineSafe(std::string_view name) {
    return name.find_first_of("\r\n") == std::string_view::npos;
}

struct Entry {
    std::string name;
    unsigned char type;
};

} // namespace

bool scanWants(std::string_view name, int kinds) {
    if (!isPlayableFileName(name))
        return false;
    const bool mp3 = name.size() > 4 && endsWithIgnoringCase(name, ".mp3");
    return (kinds & (mp3 ? kScanMp3 : kScanOthers)) != 0;
}

std::string catalogueLine(std::string_view head, std::string_view relativePath, uint64_t size) {
    std::string line;
    line.reserve(head.size() + relativePath.size() + 12);
    line += head;
    line += relativePath;
    line += ',';
    line += std::to_string(static_cast<int32_t>(static_cast<uint32_t>(size)));
    return line;
}

std::string DiscWalker::currentPath() const {
    std::lock_guard lock(pathLock_);
    return currentPath_;
}

void DiscWalker::publish(const std::string& path) {
    std::lock_guard lock(pathLock_);
    currentPath_ = path;
}

uint64_t DiscWalker::walk(const std::string& root, std::string_view head, int kinds,
                          const LineSink& sink, bool* complete) {
    refused_ = false;
    written_ = 0;
    struct stat info {};
    bool whole = false;
    // The root itself may be reached through a link (a mount point given by its alias).
    if (::stat(root.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        const uint64_t device = deviceOf_ ? deviceOf_(root, info.st_dev) : info.st_dev;
        walkFolder(AT_FDCWD, root.c_str(), root, {}, head, kinds, sink, device, 0);
        whole = true;
    }
    if (complete)
        *complete = whole && !refused_ && !stopRequested();
    return written_;
}

void DiscWalker::walkFolder(int parentFd, const char* name, const std::string& path,
                            std::string_view relative, std::string_view head, int kinds,
                            const LineSink& sink, uint64_t device, int depth) {
    if (depth > kMaxDepth)
        return;
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (depth > 0 ? O_NOFOLLOW : 0);
    const int fd = ::openat(parentFd, name, flags);
    if (fd < 0)
        return; // vanished or unreadable: skipped
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) ||
        (deviceOf_ ? deviceOf_(path, info.st_dev) : info.st_dev) != device) {
        ::close(fd);
        return;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    publish(path);
    std::vector<Entry> entries;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view n = e->d_name;
        if (n == "." || n == ".." || !lineSafe(n))
            continue;
        entries.push_back({std::string(n), e->d_type});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });

    const int folderFd = ::dirfd(dir);
    std::vector<const Entry*> folders;
    std::string childRelative;
    for (const Entry& entry : entries) {
        if (stopRequested() || refused_)
            break;
        if (entry.type == DT_DIR) {
            folders.push_back(&entry);
            continue;
        }
        if ((entry.type != DT_REG && entry.type != DT_UNKNOWN) ||
            (entry.type == DT_REG && !scanWants(entry.name, kinds)))
            continue; // links, devices, sockets and unwanted files: no stat needed
        struct stat item {};
        if (::fstatat(folderFd, entry.name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(item.st_mode)) {
            folders.push_back(&entry);
            continue;
        }
        if (!S_ISREG(item.st_mode) || !scanWants(entry.name, kinds))
            continue;
        childRelative.assign(relative);
        childRelative += '/';
        childRelative += entry.name;
        publish(joinPath(path, entry.name));
        if (!sink(catalogueLine(head, childRelative, uint64_t(item.st_size)))) {
            refused_ = true;
            break;
        }
        ++written_;
    }
    for (const Entry* entry : folders) {
        if (stopRequested() || refused_)
            break;
        std::string childPath = joinPath(path, entry->name);
        std::string nextRelative = std::string(relative) + '/' + entry->name;
        walkFolder(folderFd, entry->name.c_str(), childPath, nextRelative, head, kinds, sink,
                   device, depth + 1);
    }
    ::closedir(dir);
}
