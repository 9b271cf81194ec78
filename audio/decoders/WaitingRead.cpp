#include "audio/decoders/WaitingRead.h"

#include <chrono>
#include <thread>

namespace {

// A decoder produces a block in far less than this: a short sleep wastes little.
constexpr auto kPollInterval = std::chrono::microseconds(500);
constexpr auto kGiveUp = std::chrono::seconds(30);

} // namespace

bool waitUntilReady(Decoder& decoder, const std::atomic<bool>* cancel) {
    // With no file open nothing will come: read() itself tells so.
    if (decoder.lengthFrames() == 0 || decoder.ready())
        return true;
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    while (!decoder.ready()) {
        if ((cancel != nullptr && cancel->load(std::memory_order_relaxed)) ||
            std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

int32_t readWhenReady(Decoder& decoder, Frame* out, const std::atomic<bool>* cancel) {
    return waitUntilReady(decoder, cancel) ? decoder.read(out) : -1;
}
