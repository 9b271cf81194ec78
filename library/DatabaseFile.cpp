#include "library/DatabaseFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kZeroBytes = 64 * 1024;
constexpr int64_t kSectorAtomBytes = 8;

// The test cut (DatabaseWriteCut); the user-interface thread only, like the files.
DatabaseWriteCut::Kind gCutKind = DatabaseWriteCut::Kind::None;
int64_t gCutLeft = 0;
int64_t gWritten = 0;

bool cutBlocksChanges() {
    return gCutKind != DatabaseWriteCut::Kind::None && gCutLeft <= 0;
}

// How many of count bytes at offset the cut lets through.
int64_t bytesAllowed(int64_t offset, int64_t count) {
    if (gCutKind == DatabaseWriteCut::Kind::None)
        return count;
    if (count <= kSectorAtomBytes && offset % kSectorAtomBytes == 0 && count > gCutLeft)
        return 0;
    return std::min(count, gCutLeft);
}

// Opens path and keeps the descriptor only when it names a regular file (a FIFO or a
// device could block every read). O_NONBLOCK keeps open() itself from waiting on a FIFO;
// regular files ignore it.
int openRegular(const std::string& path, int flags, int64_t& size) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    size = info.st_size;
    return fd;
}

} // namespace

void DatabaseWriteCut::set(Kind kind, int64_t bytes) {
    gCutKind = kind;
    gCutLeft = bytes;
    gWritten = 0;
}

int64_t DatabaseWriteCut::written() {
    return gWritten;
}

DatabaseFile::~DatabaseFile() {
    close();
}

DatabaseFile::Access DatabaseFile::open(const std::string& path, bool readOnly) {
    close();
    if (!readOnly) {
        fd_ = openRegular(path, O_RDWR | O_CREAT, size_);
        // The lock stands for the original's "share reading only": a second writer
        // would interleave blocks with ours. Systems without locks just go on.
        if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) {
            access_ = Access::ReadWrite;
            return access_;
        }
    }
    fd_ = openRegular(path, O_RDONLY, size_);
    access_ = fd_ >= 0 ? Access::ReadOnly : Access::None;
    if (fd_ < 0)
        size_ = 0;
    return access_;
}

void DatabaseFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    access_ = Access::None;
    size_ = 0;
}

int64_t DatabaseFile::readAt(int64_t offset, void* destination, int64_t count) const {
    if (fd_ < 0 || offset < 0 || count < 0)
        return -1;
    auto* out = static_cast<uint8_t*>(destination);
    int64_t done = 0;
    while (done < count) {
        const ssize_t got =
            pread(fd_, out + done, static_cast<size_t>(count - done), offset + done);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += got;
    }
    return done;
}

bool DatabaseFile::writeAt(int64_t offset, const void* source, int64_t count) {
    if (fd_ < 0 || access_ != Access::ReadWrite || offset < 0 || count < 0)
        return false;
    const auto* in = static_cast<const uint8_t*>(source);
    const int64_t allowed = bytesAllowed(offset, count);
    if (allowed < count) {
        if (allowed > 0 && pwrite(fd_, in, static_cast<size_t>(allowed), offset) > 0)
            size_ = std::max(size_, offset + allowed);
        gCutLeft = 0;
        gWritten += allowed;
        if (gCutKind == DatabaseWriteCut::Kind::Crash) {
            size_ = std::max(size_, offset + count);
            return true;
        }
        return false;
    }
    if (gCutKind != DatabaseWriteCut::Kind::None)
        gCutLeft -= count;
    gWritten += count;
    int64_t done = 0;
    while (done < count) {
        const ssize_t put =
            pwrite(fd_, in + done, static_cast<size_t>(count - done), offset + done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            size_ = std::max(size_, offset + done);
            return false;
        }
        done += put;
    }
    size_ = std::max(size_, offset + count);
    return true;
}

bool DatabaseFile::writeZerosAt(int64_t offset, int64_t count) {
    static const uint8_t zeros[kZeroBytes] = {};
    while (count > 0) {
        const int64_t part = std::min(count, kZeroBytes);
        if (!writeAt(offset, zeros, part))
            return false;
        offset += part;
        count -= part;
    }
    return true;
}

bool DatabaseFile::append(const void* source, int64_t count) {
    const int64_t oldSize = size_;
    if (writeAt(oldSize, source, count))
        return true;
    truncate(oldSize);
    return false;
}

bool DatabaseFile::truncate(int64_t length) {
    if (fd_ < 0 || access_ != Access::ReadWrite || length < 0 || length > size_)
        return false;
    if (gCutKind == DatabaseWriteCut::Kind::Crash && cutBlocksChanges())
        return true;
    if (ftruncate(fd_, length) != 0)
        return false;
    size_ = length;
    return true;
}

bool DatabaseFile::sync() {
    if (fd_ < 0 || access_ != Access::ReadWrite)
        return false;
    // A cut test reopens the file from the page cache: the disk itself is not its subject.
    if (gCutKind != DatabaseWriteCut::Kind::None)
        return true;
    return fdatasync(fd_) == 0;
}

ChunkReader::ChunkReader(const DatabaseFile& file, int64_t position)
    : file_(file),
      // A small file needs no more than its own length (the database tests open thousands).
      buffer_(static_cast<size_t>(std::clamp(file.size() - position, int64_t{4096}, kChunkBytes))),
      position_(position) {}

int64_t ChunkReader::read(void* destination, int64_t count) {
    auto* out = static_cast<uint8_t*>(destination);
    int64_t done = 0;
    while (done < count) {
        const int64_t inBuffer = position_ - bufferStart_;
        if (inBuffer >= 0 && inBuffer < bufferLength_) {
            const int64_t part = std::min(count - done, bufferLength_ - inBuffer);
            std::memcpy(out + done, buffer_.data() + inBuffer, static_cast<size_t>(part));
            done += part;
            position_ += part;
            continue;
        }
        // A request as large as the buffer goes straight to the file.
        if (count - done >= static_cast<int64_t>(buffer_.size())) {
            const int64_t got = file_.readAt(position_, out + done, count - done);
            if (got < 0)
                return -1;
            done += got;
            position_ += got;
            break;
        }
        const int64_t got =
            file_.readAt(position_, buffer_.data(), static_cast<int64_t>(buffer_.size()));
        if (got < 0)
            return -1;
        bufferStart_ = position_;
        bufferLength_ = got;
        if (got == 0)
            break;
    }
    return done;
}
