// The command mailbox with a real audio thread: a second thread runs the audio loop
// (poll, serve deck 0, serve deck 1, submit) while this thread, as the user interface
// does, posts hundreds of commands and checks the decks after every reply, and a third,
// as the rhythm display does, reads envelopes and analysis records while loads replace
// them. Meant to run under ThreadSanitizer; a watchdog bounds the whole test.

#include "tests/audio/deck/DeckRig.h"

#include "audio/deck/DeckTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <random>
#include <thread>

using namespace std::chrono_literals;

TEST(DeckMailbox, CommandsPostedWhileTheAudioLoopRuns) {
    DeckRig rig;
    for (int i = 0; i < 2; ++i)
        rig.deck(i).testDecoder.configure(sineTrack());

    Watchdog watchdog(300s);

    std::atomic<bool> stop{false};
    audioLoopRunning() = true;
    std::thread audio([&] {
        markAudioThread();
        while (!stop.load(std::memory_order_acquire)) {
            rig.output.poll();
            rig.deck(0).serve();
            rig.deck(1).serve();
            rig.output.submit();
            std::this_thread::sleep_for(100us);
        }
    });

    std::thread display([&] {
        std::array<uint16_t, 128> heights{};
        while (!stop.load(std::memory_order_acquire)) {
            for (int i = 0; i < 2; ++i) {
                rig.deck(i).getEnvelope(heights.data(), int(heights.size()), 100);
                EXPECT_LT(*std::max_element(heights.begin(), heights.end()), 100);
                // A record a load gave back would be freed memory here.
                if (const AnalysisRef values = rig.deck(i).analysis()) {
                    const float memory = values->memoryPoint.load(std::memory_order_relaxed);
                    EXPECT_TRUE(memory >= 0.0f && memory < 1.0f) << memory;
                }
            }
            std::this_thread::sleep_for(50us);
        }
    });

    ASSERT_TRUE(rig.deck(0).load(rig.record("a")));
    ASSERT_TRUE(rig.deck(1).load(rig.record("b")));
    std::mt19937 generator(2024);
    const auto below = [&](int32_t n) { return static_cast<int32_t>(generator() % uint32_t(n)); };
    for (int i = 0; i < 600; ++i) {
        Deck& d = rig.deck(below(2));
        const int action = below(12);
        switch (action) {
        case 0:
        case 1:
            d.play();
            // Playing, unless the track ran out right after the start.
            EXPECT_TRUE(d.playing == 1 || d.position < 0.0f || d.duration < 0);
            break;
        case 2:
            d.pause();
            EXPECT_EQ(d.playing, 0);
            EXPECT_FALSE(rig.output.isPlaying(d.index));
            break;
        case 3: {
            const float p = float(below(900)) / 1000.0f;
            d.playFrom(p);
            const float now = d.position;
            EXPECT_TRUE(now < 0.0f || now >= p - 1e-4f) << now << " after a seek to " << p;
            break;
        }
        case 4: {
            const int32_t s = 2730 + below(5462 - 2730 + 1);
            d.setSpeed(s);
            EXPECT_EQ(d.speed, s);
            break;
        }
        case 5:
            d.shift(below(40001) - 20000);
            break;
        case 6:
            d.skip(below(200001) - 100000);
            break;
        case 7:
            d.refresh();
            break;
        case 8: {
            const bool wasPlaying = d.playing == 1;
            d.stop();
            EXPECT_EQ(d.playing, 0);
            if (wasPlaying) {
                EXPECT_FALSE(rig.output.isPlaying(d.index));
            }
            break;
        }
        case 9:
            d.eject();
            EXPECT_EQ(d.playing, 0);
            EXPECT_FLOAT_EQ(d.position, -1.0f);
            d.play();
            EXPECT_EQ(d.playing, 0);
            break;
        case 10:
            d.setMemory();
            d.goToMemory();
            break;
        default:
            if (below(2) == 0) {
                ASSERT_TRUE(d.load(rig.record(d.index ? "b" : "a")));
                EXPECT_EQ(d.playing, 0);
                EXPECT_EQ(deckStatus(d.index), kStatusLoaded);
                EXPECT_GE(d.position, 0.0f);
            }
            break;
        }
        expectSane(rig.deck(0));
        expectSane(rig.deck(1));
    }

    stop.store(true, std::memory_order_release);
    audio.join();
    display.join();
    // The audio thread really played and moved the decks in between.
    EXPECT_GT(rig.output.started(0) + rig.output.started(1), 20);
    EXPECT_GT(rig.output.resyncs(0) + rig.output.resyncs(1), 100);
    audioLoopRunning() = false;
}
