#include "core/FatalMessage.h"

#include <atomic>

namespace {
// Release/acquire: a reader on another thread sees the whole constant text.
std::atomic<const char*> gFatalMessage{nullptr};
} // namespace

void setFatalMessage(const char* text) {
    gFatalMessage.store(text, std::memory_order_release);
}

void clearFatalMessage() {
    gFatalMessage.store(nullptr, std::memory_order_release);
}

const char* fatalMessage() {
    return gFatalMessage.load(std::memory_order_acquire);
}
