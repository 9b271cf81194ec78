#pragma once
// Captures what the process writes to file descriptors 1 and 2 while it lives (the
// libraries under test write there directly, not through std::cout).

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

class OutputCapture {
public:
    OutputCapture() {
        std::fflush(nullptr);
        for (int fd = 1; file_ != nullptr && fd <= 2; ++fd) {
            saved_[fd - 1] = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            dup2(fileno(file_), fd);
        }
    }
    ~OutputCapture() { text(); }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Ends the capture (once) and returns everything written.
    const std::string& text() {
        if (file_ == nullptr)
            return text_;
        std::fflush(nullptr);
        for (int fd : {1, 2}) {
            dup2(saved_[fd - 1], fd);
            close(saved_[fd - 1]);
        }
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;)
            text_ += static_cast<char>(c);
        std::fclose(file_);
        file_ = nullptr;
        return text_;
    }

private:
    std::FILE* file_ = std::tmpfile();
    int saved_[2] = {-1, -1};
    std::string text_;
};
