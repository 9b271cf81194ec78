#include "ui/rhythm/RhythmFrames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(RhythmFrames, ColumnsShowWhereEachDeckReaches) {
    RhythmFrame frame{3, 4, std::vector<uint8_t>(12, 9)};
    const uint16_t other[3] = {2, 0, 4};
    const uint16_t selected[3] = {2, 3, 1};
    renderRhythmFrame(frame, other, selected);
    // Rows top to bottom; column 0 both reach 2, column 1 only the selected deck,
    // column 2 the other deck above a shared bottom row.
    const std::vector<uint8_t> expected = {0, 0, 1, //
                                           0, 2, 1, //
                                           3, 2, 1, //
                                           3, 2, 3};
    EXPECT_EQ(frame.pixels, expected);
}

// The drawing thread hands frames over while the reader takes them, pauses and
// resizes: under ThreadSanitizer this proves the hand-over; the checks prove every
// frame read is whole (one value in every pixel) and that a paused thread draws nothing.
TEST(RhythmFrames, HandOverPauseAndStop) {
    std::atomic<int> value{1};
    std::atomic<int> ready{0};
    RhythmRenderer renderer(
        [&](uint16_t* other, uint16_t* selected, int count, int height) {
            const int v = value.load() % height;
            for (int i = 0; i < count; ++i)
                other[i] = selected[i] = uint16_t(v);
        },
        [&] { ready.fetch_add(1); });
    renderer.setFrameIntervalMs(0);
    ASSERT_TRUE(renderer.start(64, 16));
    int whole = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (whole < 200 && std::chrono::steady_clock::now() < deadline) {
        value.fetch_add(1);
        if (const RhythmFrame* f = renderer.buffer().takeLatest()) {
            // Both envelopes equal: a column is index 3 up to its height, 0 above.
            int lit = 0;
            for (int y = 0; y < f->height; ++y)
                lit += f->pixels[size_t(y) * f->width] == 3;
            for (int x = 1; x < f->width; ++x) {
                int litHere = 0;
                for (int y = 0; y < f->height; ++y)
                    litHere += f->pixels[size_t(y) * f->width + x] == 3;
                ASSERT_EQ(litHere, lit) << "a torn frame";
            }
            ++whole;
        }
        if (whole == 100) {
            renderer.suspend();
            const uint64_t frozen = renderer.framesDrawn();
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_EQ(renderer.framesDrawn(), frozen) << "drew while paused";
            renderer.resume();
            renderer.setSize(32, 8);
            ++whole;
        }
    }
    EXPECT_GE(whole, 200);
    EXPECT_GT(ready.load(), 0);
    renderer.suspend(); // stopping a paused thread must not hang
    renderer.stop();
}

} // namespace
