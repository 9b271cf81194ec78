#include "ui/rhythm/RhythmFrames.h"

#include <algorithm>
#include <chrono>
#include <cstring>

void renderRhythmFrame(RhythmFrame& frame, const uint16_t* other, const uint16_t* selected) {
    const int w = frame.width, h = frame.height;
    if (w < 1 || h < 1)
        return;
    std::memset(frame.pixels.data(), 0, frame.pixels.size());
    for (int x = 0; x < w; ++x) {
        const int a = std::min<int>(other[x], h), b = std::min<int>(selected[x], h);
        const int both = std::min(a, b), top = std::max(a, b);
        const uint8_t single = b > a ? 2 : 1;
        uint8_t* column = frame.pixels.data() + x;
        for (int i = 0; i < top; ++i)
            column[size_t(h - 1 - i) * size_t(w)] = i < both ? 3 : single;
    }
}

void RhythmTripleBuffer::resize(int width, int height) {
    for (RhythmFrame& f : frames_) {
        f.width = std::max(width, 0);
        f.height = std::max(height, 0);
        f.pixels.assign(size_t(f.width) * size_t(f.height), 0);
    }
    middle_.store(uint8_t(3 - back_ - front_), std::memory_order_relaxed);
}

bool RhythmTripleBuffer::publish() {
    // Release: the pixels written into the back frame are visible to the reader that
    // takes it with acquire.
    const uint8_t was = middle_.exchange(uint8_t(back_ | kFresh), std::memory_order_acq_rel);
    back_ = was & 3;
    return (was & kFresh) == 0;
}

const RhythmFrame* RhythmTripleBuffer::takeLatest() {
    if ((middle_.load(std::memory_order_relaxed) & kFresh) == 0)
        return nullptr;
    const uint8_t was = middle_.exchange(uint8_t(front_), std::memory_order_acq_rel);
    front_ = was & 3;
    return &frames_[front_];
}

RhythmRenderer::RhythmRenderer(EnvelopeSource source, FrameReady ready)
    : source_(std::move(source)), ready_(std::move(ready)) {}

RhythmRenderer::~RhythmRenderer() {
    stop();
}

bool RhythmRenderer::start(int width, int height) {
    if (thread_.joinable())
        return true;
    buffer_.resize(width, height);
    other_.assign(size_t(std::max(width, 0)), 0);
    selected_.assign(size_t(std::max(width, 0)), 0);
    stop_.store(false, std::memory_order_relaxed);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void RhythmRenderer::stop() {
    if (!thread_.joinable())
        return;
    stop_.store(true, std::memory_order_relaxed);
    if (suspendDepth_ > 0) {
        suspendDepth_ = 0;
        resumed_.release();
    }
    thread_.join();
}

void RhythmRenderer::suspend() {
    if (!thread_.joinable() || suspendDepth_++ > 0)
        return;
    pauseRequested_.store(true, std::memory_order_relaxed);
    parked_.acquire();
}

void RhythmRenderer::resume() {
    if (!thread_.joinable() || suspendDepth_ == 0 || --suspendDepth_ > 0)
        return;
    pauseRequested_.store(false, std::memory_order_relaxed);
    resumed_.release();
}

void RhythmRenderer::setSize(int width, int height) {
    suspend();
    buffer_.resize(width, height);
    other_.assign(size_t(std::max(width, 0)), 0);
    selected_.assign(size_t(std::max(width, 0)), 0);
    resume();
}

void RhythmRenderer::drawOne() {
    RhythmFrame& frame = buffer_.back();
    if (frame.width < 1 || frame.height < 1)
        return;
    source_(other_.data(), selected_.data(), frame.width, frame.height);
    renderRhythmFrame(frame, other_.data(), selected_.data());
    frames_.fetch_add(1, std::memory_order_relaxed);
    if (buffer_.publish() && ready_)
        ready_();
}

void RhythmRenderer::run() {
    while (!stop_.load(std::memory_order_relaxed)) {
        if (pauseRequested_.load(std::memory_order_relaxed)) {
            // Parked between frames: the semaphores order everything the other side
            // changed before resuming.
            parked_.release();
            resumed_.acquire();
            continue;
        }
        drawOne();
        std::this_thread::sleep_for(
            std::chrono::milliseconds(intervalMs_.load(std::memory_order_relaxed)));
    }
}
