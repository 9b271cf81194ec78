#include "audio/decoders/BufferedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

BufferedFile::BufferedFile() : buffer_(new uint8_t[kBufferBytes]) {}

BufferedFile::~BufferedFile() {
    close();
}

bool BufferedFile::open(const char* path) {
    close();
    // O_NONBLOCK keeps open() itself from waiting on a FIFO; regular files ignore it.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = info.st_size;
    cursor_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
    return true;
}

void BufferedFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    size_ = 0;
    cursor_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
}

bool BufferedFile::fill() {
    bufferStart_ = cursor_;
    bufferLength_ = 0;
    for (;;) {
        const ssize_t got = pread(fd_, buffer_.get(), kBufferBytes, cursor_);
        if (got >= 0) {
            bufferLength_ = got;
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

int64_t BufferedFile::read(void* destination, int64_t count) {
    if (fd_ < 0) {
        return -1;
    }
    auto* out = static_cast<uint8_t*>(destination);
    // Most reads (a frame header, a byte while searching for one) lie in the buffer.
    const int64_t offset = cursor_ - bufferStart_;
    if (offset >= 0 && count >= 0 && count <= bufferLength_ - offset) {
        std::memcpy(out, buffer_.get() + offset, static_cast<size_t>(count));
        cursor_ += count;
        return count;
    }
    int64_t copied = 0;
    while (copied < count) {
        const bool inBuffer = cursor_ >= bufferStart_ && cursor_ < bufferStart_ + bufferLength_;
        if (!inBuffer) {
            if (!fill()) {
                return -1;
            }
            if (bufferLength_ == 0) {
                break; // end of file (it may also have been cut short while open)
            }
        }
        const int64_t offset = cursor_ - bufferStart_;
        const int64_t take = std::min(count - copied, bufferLength_ - offset);
        std::memcpy(out + copied, buffer_.get() + offset, static_cast<size_t>(take));
        copied += take;
        cursor_ += take;
    }
    return copied;
}
