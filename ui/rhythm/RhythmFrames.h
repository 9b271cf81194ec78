#pragma once
// The rhythm display without Qt widgets: the picture of one frame (both decks' energy
// envelopes, one over the other), a triple buffer that hands finished frames from the
// drawing thread to the window, and the drawing thread itself with its 17 ms cadence
// and a cooperative pause.
//
// Threading: the drawing thread renders and publishes; the user-interface thread takes
// the latest frame, changes the size, pauses, resumes and stops. Every field both use
// is an atomic or is touched by one side only while the other is parked.

#include <atomic>
#include <cstdint>
#include <functional>
#include <semaphore>
#include <thread>
#include <vector>

// One picture: w x h palette indices 0..3, top row first.
struct RhythmFrame {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

// Column heights (0 .. h - 1) of the other deck (a) and the selected deck (b) drawn
// from the bottom: 3 where both reach, 2 only the selected deck, 1 only the other.
void renderRhythmFrame(RhythmFrame& frame, const uint16_t* other, const uint16_t* selected);

// Three frames: the drawing thread fills one while the window may read another; the
// third holds the latest finished frame. Exchanges are single atomic swaps.
class RhythmTripleBuffer {
public:
    void resize(int width, int height); // only while the drawing thread is parked
    RhythmFrame& back() { return frames_[back_]; }
    // Drawing thread: the back frame becomes the latest; true when the reader had taken
    // the previous one (a repaint must be requested).
    bool publish();
    // Reader: the latest frame, or null when nothing new was published since last time.
    const RhythmFrame* takeLatest();
    const RhythmFrame& front() const { return frames_[front_]; }

private:
    static constexpr uint8_t kFresh = 4; // bit set in middle_ while it holds a new frame
    RhythmFrame frames_[3];
    int back_ = 0;                   // drawing thread only
    int front_ = 1;                  // reader only
    std::atomic<uint8_t> middle_{2}; // index | kFresh
};

class RhythmRenderer {
public:
    // Fills heights of the other and the selected deck, count columns of 0..h - 1 each.
    using EnvelopeSource =
        std::function<void(uint16_t* other, uint16_t* selected, int count, int height)>;
    // Called from the drawing thread when a new frame waits and the last one was taken.
    using FrameReady = std::function<void()>;

    RhythmRenderer(EnvelopeSource source, FrameReady ready);
    ~RhythmRenderer();

    // Starts the thread; false when it cannot be made.
    bool start(int width, int height);
    void stop();
    // Returns once the thread is parked between frames; resume lets it go on. While
    // parked the caller may change what the source reads and the size.
    void suspend();
    void resume();
    void setSize(int width, int height); // parks the thread around the change

    RhythmTripleBuffer& buffer() { return buffer_; }
    uint64_t framesDrawn() const { return frames_.load(std::memory_order_relaxed); }
    void setFrameIntervalMs(int ms) { intervalMs_.store(ms, std::memory_order_relaxed); }

private:
    void run();
    void drawOne();

    EnvelopeSource source_;
    FrameReady ready_;
    RhythmTripleBuffer buffer_;
    std::vector<uint16_t> other_, selected_; // drawing thread, or anyone while parked
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> pauseRequested_{false};
    std::binary_semaphore parked_{0};
    std::binary_semaphore resumed_{0};
    std::atomic<uint64_t> frames_{0};
    std::atomic<int> intervalMs_{17};
    int suspendDepth_ = 0; // user-interface thread only
};
