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
        file_ = std::tmpfile();
        savedOut_ = fcntl(1, F_DUPFD_CLOEXEC, 0);
        savedErr_ = fcntl(2, F_DUPFD_CLOEXEC, 0);
        if (file_ != nullptr) {
            dup2(fileno(file_), 1);
            dup2(fileno(file_), 2);
        }
    }
    ~OutputCapture() { text(); }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Ends the capture (once) and returns everything written.
    const std::string& text() {
        if (savedOut_ < 0 && savedErr_ < 0) {
            return text_;
        }
        std::fflush(nullptr);
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
        savedOut_ = savedErr_ = -1;
        if (file_ != nullptr) {
            std::rewind(file_);
            char chunk[512];
            size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) {
                text_.append(chunk, n);
            }
            std::fclose(file_);
            file_ = nullptr;
        }
        return text_;
    }

private:
    std::FILE* file_ = nullptr;
    int savedOut_ = -1;
    int savedErr_ = -1;
    std::string text_;
};
