// The virtual card's real-time clock against the threads that use its buffers, and
// the default device of a machine without sound output. Run under ThreadSanitizer.
#include "audio/PortAudioCard.h"
#include "audio/SoundCard.h"
#include "audio/VirtualCard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr auto kWaitBound = std::chrono::seconds(20);

// Waits (bounded) until pred() holds; returns whether it did.
template <typename Pred> bool waitFor(Pred pred) {
    const auto end = std::chrono::steady_clock::now() + kWaitBound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Frames that carry their own check: right = left ^ 0x5a5a, never 0 for a written one.
Frame marked(uint32_t n) {
    const auto left = static_cast<int16_t>((n % 30000) + 1);
    return makeFrame(left, static_cast<int16_t>(left ^ 0x5a5a));
}
bool isMarkedOrSilent(Frame f) {
    return f == 0 || frameRight(f) == static_cast<int16_t>(frameLeft(f) ^ 0x5a5a);
}

} // namespace

TEST(VirtualCardRealTime, IsTheDefaultWithoutSoundOutputAndPlaysByItself) {
    if (!listPortAudioOutputs().empty()) {
        GTEST_SKIP() << "this machine has sound outputs: the default is a PortAudio card";
    }
    std::unique_ptr<SoundDevice> device;
    ASSERT_EQ(openSoundCard(nullptr, false, &device), SoundResult::Ok);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->info().isVirtual);
    EXPECT_EQ(device->latencyFrames(), VirtualCard::kLatencyFrames);

    std::unique_ptr<SoundBuffer> buffer;
    ASSERT_EQ(device->createBuffer(22050, &buffer), SoundResult::Ok);
    buffer->play();
    int32_t play = 0, write = 0;
    EXPECT_TRUE(waitFor([&] {
        buffer->getCursors(&play, &write);
        return play != 0;
    })) << "the play cursor never moved";
}

TEST(VirtualCardRealTime, ExclusiveOpenKeepsOthersOut) {
    const SoundCardId id = virtualCardInfo().id;
    std::unique_ptr<SoundDevice> first, second, third;
    ASSERT_EQ(openSoundCard(&id, true, &first), SoundResult::Ok);
    EXPECT_TRUE(first->isExclusive());
    EXPECT_EQ(openSoundCard(&id, false, &second), SoundResult::DeviceBusy);
    EXPECT_EQ(second, nullptr);
    EXPECT_STREQ(soundResultMessage(SoundResult::DeviceBusy),
                 "The sound card is already used by another application");
    first.reset();

    ASSERT_EQ(openSoundCard(&id, false, &first), SoundResult::Ok);
    ASSERT_EQ(openSoundCard(&id, false, &second), SoundResult::Ok) << "shared opens share";
    EXPECT_EQ(openSoundCard(&id, true, &third), SoundResult::DeviceBusy);
    first.reset();
    second.reset();
    EXPECT_EQ(openSoundCard(&id, true, &third), SoundResult::Ok);
}

TEST(VirtualCardRealTime, BuffersAreFilledChangedAndReplacedWhileTheCardPlays) {
    // The sink runs on the card's thread; it only counts, so it never allocates.
    std::atomic<int64_t> bad{0};
    std::atomic<int64_t> markedFrames{0};
    auto card = VirtualCard::createRealTime([&](const Frame* frames, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            if (!isMarkedOrSilent(frames[i])) {
                bad.fetch_add(1, std::memory_order_relaxed);
            } else if (frames[i] != 0) {
                markedFrames.fetch_add(1, std::memory_order_relaxed);
            }
        }
    });
    constexpr int32_t kFrames = 4410;
    std::unique_ptr<SoundBuffer> music;  // full volume: its frames arrive untouched
    std::unique_ptr<SoundBuffer> silent; // zeros: any volume adds nothing
    ASSERT_EQ(card->createBuffer(kFrames, &music), SoundResult::Ok);
    ASSERT_EQ(card->createBuffer(kFrames, &silent), SoundResult::Ok);
    music->play();
    silent->play();

    std::atomic<bool> start{false};
    std::atomic<bool> done{false};
    std::atomic<int64_t> cursorErrors{0};
    // The audio thread's part: keep the music buffer filled up to its play cursor,
    // writing from the write cursor on, as the outputs do.
    std::thread writer([&] {
        while (!start.load()) {
            std::this_thread::yield();
        }
        uint32_t n = 0;
        int32_t position = -1;
        while (!done.load(std::memory_order_relaxed)) {
            int32_t play = 0, write = 0;
            if (music->getCursors(&play, &write) != SoundResult::Ok || play < 0 ||
                play >= kFrames || write < 0 || write >= kFrames) {
                cursorErrors.fetch_add(1);
                continue;
            }
            if (position < 0) {
                position = write;
            }
            int32_t count = play - position;
            if (count <= 0) {
                count += kFrames;
            }
            count = std::min(count, 512);
            LockedRegions r;
            if (music->lock(position, count, &r) == SoundResult::Ok) {
                for (int32_t i = 0; i < r.firstFrames; ++i) {
                    r.first[i] = marked(n++);
                }
                for (int32_t i = 0; i < r.secondFrames; ++i) {
                    r.second[i] = marked(n++);
                }
                music->unlock(r);
                position = (position + count) % kFrames;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // The user-interface thread's part: volumes, play and stop, and buffers created
    // and destroyed while the card mixes them.
    std::thread control([&] {
        while (!start.load()) {
            std::this_thread::yield();
        }
        int round = 0;
        while (!done.load(std::memory_order_relaxed)) {
            silent->setVolume(-(round * 37 % 10001));
            std::unique_ptr<SoundBuffer> extra;
            if (card->createBuffer(1000 + round % 500, &extra) == SoundResult::Ok) {
                extra->setVolume(-600);
                extra->play();
            }
            std::this_thread::yield();
            extra.reset();
            if (round % 50 == 0) {
                silent->stop();
            } else if (round % 50 == 25) {
                silent->play();
            }
            ++round;
        }
    });
    start.store(true);
    const bool playedEnough = waitFor([&] { return markedFrames.load() >= kSampleRate / 4; });
    done.store(true);
    writer.join();
    control.join();
    card.reset(); // joins the card's thread: the counters are final

    EXPECT_TRUE(playedEnough) << "only " << markedFrames.load() << " written frames were played";
    EXPECT_EQ(bad.load(), 0) << "frames that no one wrote reached the card";
    EXPECT_EQ(cursorErrors.load(), 0);
}
